#pragma once

#include "tools/encoders/core/loudness.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// The pieces of an ID3v2.4 tag: frames, the tag around them with padding, and the rewriting of
// user text frames inside a tag of fixed size, so that the audio after it never moves.
namespace encoders {

using Bytes = std::vector<unsigned char>;

// Room for the ReplayGain frames of track and album that an encoded file's tag keeps free.
inline constexpr std::size_t kReplayGainRoom = 512;

struct UserText {
    std::string description; // e.g. "REPLAYGAIN_TRACK_GAIN"
    std::string value;
};

void appendFrame(Bytes& frames, const char* id, std::span<const unsigned char> content);
void appendFrame(Bytes& frames, const char* id, const std::string& content);
// TXXX with UTF-8 description and value.
void appendUserText(Bytes& frames, const UserText& text);

// REPLAYGAIN_<scope>_GAIN and REPLAYGAIN_<scope>_PEAK, scope "TRACK" or "ALBUM".
std::vector<UserText> replayGainTexts(const std::string& scope, const ReplayGain& gain);

// The tag holding `frames`, padded with zeros to `totalSize` bytes (or to none when 0).
// Throws EncoderError when the frames do not fit.
Bytes assembleTag(const Bytes& frames, std::size_t totalSize = 0);

// The whole size of the ID3v2 tag that starts `head` (10 bytes at least), or 0 when there is none.
std::size_t tagSize(std::span<const unsigned char> head);

// The same tag, of the same size, with each text put in place of any TXXX frame of its
// description. Throws EncoderError for a tag this program did not write in this form (not
// ID3v2.4, with unsynchronisation or an extended header) or when the texts do not fit its padding.
Bytes withUserTexts(std::span<const unsigned char> tag, const std::vector<UserText>& texts);

} // namespace encoders
