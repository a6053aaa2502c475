#pragma once

#include "tools/encoders/core/mpeg_format.h"

#include <filesystem>

namespace encoders {

// LAME's quality scale: 0 is its slowest, best search; 3 is its standard setting.
inline constexpr int kLameBestQuality = 0;
inline constexpr int kLameStandardQuality = 3;

// One encoder run as a command line asks for it.
struct EncodeRequest {
    std::filesystem::path input;
    std::filesystem::path output;
    Layer layer = Layer::III;
    ChannelMode mode = ChannelMode::Stereo;
    // The total bitrate asked for, in kbit/s; the run uses the nearest one the format allows.
    int kbps = 128;
    // Layer III only: with RateControl::Average, kbps is the mean asked for.
    RateControl rateControl = RateControl::Constant;
    int vbrQuality = 4; // LAME's -V scale, for RateControl::Variable
    int lameQuality = kLameStandardQuality;
    // False for a program that names its output itself: a file there is never the user's
    // choice to lose.
    bool replaceOutput = true;
};

} // namespace encoders
