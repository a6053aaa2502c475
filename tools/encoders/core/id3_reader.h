#pragma once

#include "tools/encoders/core/wav_tags.h"

#include <string_view>

namespace encoders {

// Reads the text fields of an ID3v2 tag (versions 2.2 to 2.4) from the start of `bytes`:
// TIT2, TPE1, TALB, TRCK, TDRC or TYER, TCON and the first COMM. Fields the tag lacks are
// left as they are. Throws EncoderError for a tag it cannot read: what it says is wrong.
void readId3v2(std::string_view bytes, Tags& tags);

} // namespace encoders
