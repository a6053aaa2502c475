#pragma once

#include "tools/encoders/core/id3_frames.h"
#include "tools/encoders/core/wav_tags.h"

#include <vector>

namespace encoders {

// The ID3v2.4 tag that goes before the audio: one UTF-8 text frame per non-empty field (the
// year as TDRC, the disc as TPOS, the album artist as TPE2, the comment as COMM), the cover as
// APIC, then the user texts as TXXX; padded with zeros to `totalSize` bytes when that is not 0
// (EncoderError when the frames need more). Empty when there is nothing to write and no size.
std::vector<unsigned char> id3v2Tag(const Tags& tags, const std::vector<UserText>& userTexts = {},
                                    std::size_t totalSize = 0);

// The 128-byte ID3v1.1 tag that goes after the audio, when every field fits it: Latin-1 text
// within the field sizes, a track number from 1 to 255, a year of up to four characters and a
// genre from the ID3v1 list. Empty when none of its fields is set or one does not fit.
std::vector<unsigned char> id3v1Tag(const Tags& tags);

} // namespace encoders
