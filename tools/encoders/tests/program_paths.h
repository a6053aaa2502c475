#pragma once

#include "tools/encoders/tests/test_support.h"

#include <filesystem>
#include <string>

namespace encoders::testing {

// The programs as the build lays them out in the program directory.
inline const std::string kHouseEncoder = SONABOX_HOUSE_ENCODER;
inline const std::string kBladeenc = SONABOX_BLADEENC;
inline const std::string kPlugger = SONABOX_PLUGGER;

// The house encoder is run as "codec", a copy of "mp3.dll", as the program runs it; the FFmpeg
// reader's module lies beside it, as in the program directory.
inline std::string codecIn(const TempDir& dir) {
    const auto codec = dir / "codec";
    std::filesystem::copy_file(kHouseEncoder, codec,
                               std::filesystem::copy_options::overwrite_existing);
    const auto module = std::filesystem::path(kHouseEncoder).parent_path() / "libsonabox-ffmpeg.so";
    std::error_code ignored;
    std::filesystem::create_symlink(module, dir / module.filename(), ignored);
    return codec.string();
}

} // namespace encoders::testing
