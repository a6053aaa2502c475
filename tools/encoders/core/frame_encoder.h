#pragma once

#include "tools/encoders/core/loudness.h"
#include "tools/encoders/core/output_file.h"

#include <span>

namespace encoders {

// One MPEG audio layer's encoder: takes interleaved samples at full scale +/-1 with the channel
// count and sample rate it was made for, and writes the coded frames to the output.
class FrameEncoder {
public:
    virtual ~FrameEncoder() = default;
    virtual void encode(std::span<const float> interleaved, OutputFile& out) = 0;
    // The track's loudness, measured while its samples came, for a header frame that has room
    // for it (the LAME tag's radio gain); called before finish().
    virtual void setTrackGain(const ReplayGain&) {}
    // Codes what is still buffered and completes the file's contents.
    virtual void finish(OutputFile& out) = 0;
};

} // namespace encoders
