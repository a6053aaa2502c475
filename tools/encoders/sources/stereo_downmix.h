#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace encoders {

// Mixes more than two channels down to stereo with libswresample's matrix (stereoMatrix, from
// the FFmpeg reader's module).
class StereoDownmix {
public:
    // `mask` is the channels' FFmpeg mask, or 0 for the usual order of `channels` channels.
    // Throws EncoderError for a layout that has no stereo matrix.
    StereoDownmix(int channels, std::uint64_t mask);

    // Mixes `frames` frames of `in` into the first 2 * frames samples of `out`; `out` may be
    // `in`.
    void apply(std::span<const float> in, std::span<float> out, std::size_t frames) const;

private:
    int channels_;
    std::vector<float> left_;
    std::vector<float> right_;
};

} // namespace encoders
