#pragma once

#include "tools/encoders/core/wav_tags.h"

#include <vector>

namespace encoders {

// The ID3v2.4 tag that goes before the audio: one UTF-8 text frame per non-empty field (the
// year as TDRC, the comment as COMM). Empty when there are no tags.
std::vector<unsigned char> id3v2Tag(const Tags& tags);

// The 128-byte ID3v1.1 tag that goes after the audio, when every field fits it: Latin-1 text
// within the field sizes, a track number from 1 to 255, a year of up to four characters and a
// genre from the ID3v1 list. Empty when there are no tags or one does not fit.
std::vector<unsigned char> id3v1Tag(const Tags& tags);

} // namespace encoders
