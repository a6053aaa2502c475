#pragma once

#include "tools/encoders/core/loudness.h"
#include "tools/encoders/parallel/frame_header.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace encoders::parallel {

// CRC-16 with the reflected polynomial 0xA001, as the LAME tag uses for its two check words.
std::uint16_t tagCrc(std::span<const std::uint8_t> data, std::uint16_t crc = 0);

// Counts the audio frames of a Layer III stream as they are written: number, bytes, the check
// word over them and enough positions for a seek table, in memory that stays small for any
// length.
class StreamSummary {
public:
    void add(std::span<const std::uint8_t> frame);
    std::int64_t frames() const { return frames_; }
    std::int64_t bytes() const { return bytes_; }
    std::uint16_t crc() const { return crc_; }
    // The 100-entry seek table: entry i is the position of the frame at i % of the playing time
    // as a share (0..255) of `totalBytes`, counted from `offset` bytes before the first frame.
    std::vector<std::uint8_t> seekTable(std::int64_t offset, std::int64_t totalBytes) const;

private:
    std::int64_t frames_ = 0;
    std::int64_t bytes_ = 0;
    std::uint16_t crc_ = 0;
    std::int64_t stride_ = 1;
    std::vector<std::int64_t> positions_; // of every stride_-th frame
};

// The fixed facts the tag reports about the coding.
struct TagFacts {
    std::string encoderVersion; // e.g. "3.100"
    int encoderDelay = 0;       // samples before the input's first one
    int padding = 0;            // samples after its last one
    int lowpassHz = 0;
    int athType = 0;
    int quality = 0; // the Xing quality field, 0..100
    int kbps = 0;
    int vbrMethod = 1; // the LAME tag's: 1 constant bitrate, 2 average, 4 variable
    std::optional<ReplayGain> trackGain; // the peak and radio gain fields; absent: not analysed
};

// The size of the Info frame for a stream whose audio frames have this header: a frame of the
// stream's own bitrate, or the smallest higher one that holds the tag.
int infoFrameBytes(std::span<const std::uint8_t> audioHeader);

// The Info frame (a Layer III frame that decodes as silence and carries the frame count,
// byte count, seek table and the LAME extension with encoder delay, padding and check words),
// named "Xing" instead of "Info" when the bitrate is not constant.
std::vector<std::uint8_t> infoFrame(std::span<const std::uint8_t> audioHeader,
                                    const StreamSummary& summary, const TagFacts& facts);

} // namespace encoders::parallel
