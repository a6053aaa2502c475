#pragma once

#include "tools/encoders/core/image_mime.h"
#include "tools/encoders/core/wav_tags.h"

#include <string>
#include <string_view>

namespace TagLib {
class File;
}

namespace encoders {

// The embedded picture of a file TagLib has opened, of whichever kind: a FLAC PICTURE block,
// an Ogg METADATA_BLOCK_PICTURE, an ID3v2 APIC frame (AIFF, TTA, DSDIFF), an MP4 `covr` atom, an
// ASF WM/Picture attribute or an APEv2 "Cover Art (...)" item (APE, WavPack). The front cover when
// there is one, else the first picture; no data when there is none.
Picture taglibCover(TagLib::File* file);

} // namespace encoders
