#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Our reading of coded MPEG audio frames: the 4-byte header of any layer, and for Layer III
// the side information that places each frame's main data in the bit reservoir.
namespace encoders::parallel {

struct FrameHeader {
    int version = 1; // 1 (MPEG-1), 2 (MPEG-2) or 25 (MPEG-2.5)
    int layer = 3;
    bool crc = false; // a 16-bit check word follows the header
    int bitrateIndex = 0;
    int kbps = 0;
    int sampleRate = 0;
    bool padding = false;
    int channelMode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int channels() const { return channelMode == 3 ? 1 : 2; }
    int samples() const;       // per frame
    int frameBytes() const;    // the whole frame, header included
    int sideInfoBytes() const; // Layer III only
    int headBytes() const { return 4 + (crc ? 2 : 0) + (layer == 3 ? sideInfoBytes() : 0); }
};

// Reads a header from the first four bytes; nothing when they are not a valid header
// (free format is not accepted: our encoders never write it).
std::optional<FrameHeader> parseHeader(std::span<const std::uint8_t> bytes);

// Writes the bitrate index into a header (and clears the padding bit).
void setBitrateIndex(std::span<std::uint8_t> header, int index);
// The bitrate in kbit/s for an index of the header's version and layer; 0 for none.
int bitrateFor(const FrameHeader& header, int index);

// Splits a stream of whole frames; throws EncoderError on anything else.
std::vector<std::vector<std::uint8_t>> splitFrames(std::span<const std::uint8_t> stream);

} // namespace encoders::parallel
