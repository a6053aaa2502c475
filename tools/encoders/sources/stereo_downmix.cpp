#include "tools/encoders/sources/stereo_downmix.h"

#include "tools/encoders/sources/ffmpeg_reader.h"
#include "tools/encoders/sources/stereo_matrix.h"

#include <utility>

namespace encoders {

StereoDownmix::StereoDownmix(int channels, std::uint64_t mask) : channels_(channels) {
    StereoMatrix gains = ffmpegReader().stereoMatrix(channels, mask);
    left_ = std::move(gains.left);
    right_ = std::move(gains.right);
}

void StereoDownmix::apply(std::span<const float> in, std::span<float> out,
                          std::size_t frames) const {
    const auto channels = static_cast<std::size_t>(channels_);
    // Forwards in place is safe: frame i's two outputs land at or before its inputs.
    for (std::size_t i = 0; i < frames; ++i) {
        const float* frame = in.data() + i * channels;
        float left = 0.0f;
        float right = 0.0f;
        for (std::size_t c = 0; c < channels; ++c) {
            left += left_[c] * frame[c];
            right += right_[c] * frame[c];
        }
        out[2 * i] = left;
        out[2 * i + 1] = right;
    }
}

} // namespace encoders
