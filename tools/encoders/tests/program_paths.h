#pragma once

#include "tools/encoders/tests/test_support.h"

#include <filesystem>
#include <string>

namespace encoders::testing {

// The programs as the build lays them out in the program directory.
inline const std::string kHouseEncoder = SONABOX_HOUSE_ENCODER;
inline const std::string kBladeenc = SONABOX_BLADEENC;
inline const std::string kPlugger = SONABOX_PLUGGER;

// The house encoder is run as "codec", a copy of "mp3.dll", as the program runs it.
inline std::string codecIn(const TempDir& dir) {
    const auto codec = dir / "codec";
    std::filesystem::copy_file(kHouseEncoder, codec,
                               std::filesystem::copy_options::overwrite_existing);
    return codec.string();
}

} // namespace encoders::testing
