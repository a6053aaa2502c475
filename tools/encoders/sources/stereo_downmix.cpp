#include "tools/encoders/sources/stereo_downmix.h"

#include "tools/encoders/core/encoder_error.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <bit>
#include <cmath>
#include <string>

namespace encoders {

StereoDownmix::StereoDownmix(int channels, std::uint64_t mask)
    : channels_(channels), left_(static_cast<std::size_t>(channels)),
      right_(static_cast<std::size_t>(channels)) {
    // The library's own messages would go to the standard error; the refusal says enough.
    av_log_set_level(AV_LOG_QUIET);
    AVChannelLayout in{};
    if (mask != 0 && std::popcount(mask) == channels) {
        av_channel_layout_from_mask(&in, mask);
    } else {
        av_channel_layout_default(&in, channels);
    }
    const AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
    // The library scales its whole matrix of kMaxChannels rows, whatever the layouts.
    constexpr std::size_t kMaxChannels = 64;
    if (channels > static_cast<int>(kMaxChannels)) {
        throw EncoderError(std::to_string(channels) + " channels are more than can be mixed");
    }
    std::vector<double> matrix(kMaxChannels * kMaxChannels);
    // A largest sum of one output's gains of 1: full-scale inputs stay within full scale.
    const int error =
        swr_build_matrix2(&in, &out, M_SQRT1_2, M_SQRT1_2, 0.0, 1.0, 1.0, matrix.data(),
                          kMaxChannels, AV_MATRIX_ENCODING_NONE, nullptr);
    av_channel_layout_uninit(&in);
    if (error < 0) {
        throw EncoderError("no stereo mix is known for " + std::to_string(channels) + " channels");
    }
    for (int c = 0; c < channels; ++c) {
        left_[static_cast<std::size_t>(c)] =
            static_cast<float>(matrix[static_cast<std::size_t>(c)]);
        right_[static_cast<std::size_t>(c)] =
            static_cast<float>(matrix[kMaxChannels + static_cast<std::size_t>(c)]);
    }
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
