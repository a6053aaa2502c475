#pragma once

#include "tools/encoders/core/output_file.h"

#include <span>

namespace encoders {

// One MPEG audio layer's encoder: takes interleaved samples at full scale +/-1 with the channel
// count and sample rate it was made for, and writes the coded frames to the output.
class FrameEncoder {
public:
    virtual ~FrameEncoder() = default;
    virtual void encode(std::span<const float> interleaved, OutputFile& out) = 0;
    // Codes what is still buffered and completes the file's contents.
    virtual void finish(OutputFile& out) = 0;
};

} // namespace encoders
