#pragma once

#include <cstdint>
#include <vector>

namespace encoders {

// The gains of each input channel in the left and the right output.
struct StereoMatrix {
    std::vector<float> left;
    std::vector<float> right;
};

// libswresample's matrix from `channels` channels (their FFmpeg mask, or 0 for the usual order
// of that many) to stereo (ITU-R BS.775: centre and surrounds at -3 dB, the LFE left out),
// scaled so that no output can exceed the full scale that the inputs keep to. Throws
// EncoderError for a layout that has no stereo matrix.
StereoMatrix stereoMatrix(int channels, std::uint64_t mask);

} // namespace encoders
