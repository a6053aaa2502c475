#pragma once

#include <span>
#include <vector>

typedef struct SRC_STATE_tag SRC_STATE;

namespace encoders {

// Streaming sample-rate conversion of interleaved floats through libsamplerate.
class RateConverter {
public:
    RateConverter(int channels, int inputRate, int outputRate);
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // Converts a block; the result is valid until the next call. `last` marks the end of the
    // input, after which the converter gives out what it still holds.
    std::span<const float> convert(std::span<const float> interleaved, bool last);

private:
    SRC_STATE* state_ = nullptr;
    int channels_;
    double ratio_;
    std::vector<float> output_;
};

} // namespace encoders
