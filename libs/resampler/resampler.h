#pragma once

#include <span>
#include <vector>

typedef struct SRC_STATE_tag SRC_STATE;

namespace resampler {

// Streaming sample-rate conversion of interleaved floats through libsamplerate, for the
// encoder programs and the decoder library alike. Errors are std::runtime_error with
// libsamplerate's own words.
class Resampler {
public:
    Resampler(int channels, int inputRate, int outputRate);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Converts a block; the result is valid until the next call. `last` marks the end of the
    // input, after which the converter gives out what it still holds.
    std::span<const float> convert(std::span<const float> interleaved, bool last);

private:
    SRC_STATE* state_ = nullptr;
    int channels_;
    double ratio_;
    std::vector<float> output_;
};

} // namespace resampler
