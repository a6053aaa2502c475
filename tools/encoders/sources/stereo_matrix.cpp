#include "tools/encoders/sources/stereo_matrix.h"

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

StereoMatrix stereoMatrix(int channels, std::uint64_t mask) {
    // The library's own messages would go to the standard error; the refusal says enough.
    av_log_set_level(AV_LOG_QUIET);
    // The library scales its whole matrix of kMaxChannels rows, whatever the layouts.
    constexpr std::size_t kMaxChannels = 64;
    if (channels > static_cast<int>(kMaxChannels)) {
        throw EncoderError(std::to_string(channels) + " channels are more than can be mixed");
    }
    AVChannelLayout in{};
    if (mask != 0 && std::popcount(mask) == channels) {
        av_channel_layout_from_mask(&in, mask);
    } else {
        av_channel_layout_default(&in, channels);
    }
    const AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
    std::vector<double> matrix(kMaxChannels * kMaxChannels);
    // A largest sum of one output's gains of 1: full-scale inputs stay within full scale.
    const int error =
        swr_build_matrix2(&in, &out, M_SQRT1_2, M_SQRT1_2, 0.0, 1.0, 1.0, matrix.data(),
                          kMaxChannels, AV_MATRIX_ENCODING_NONE, nullptr);
    av_channel_layout_uninit(&in);
    if (error < 0) {
        throw EncoderError("no stereo mix is known for " + std::to_string(channels) + " channels");
    }
    StereoMatrix gains;
    for (std::size_t c = 0; c < static_cast<std::size_t>(channels); ++c) {
        gains.left.push_back(static_cast<float>(matrix[c]));
        gains.right.push_back(static_cast<float>(matrix[kMaxChannels + c]));
    }
    return gains;
}

} // namespace encoders
