#include "tools/encoders/core/environment_value.h"

#include "tools/encoders/core/encoder_error.h"

#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>

namespace encoders {

std::string quotedValue(std::string_view value) {
    constexpr std::size_t kShown = 40;
    // Appended, not prepended to: see the input name in audio_source.cpp.
    std::string text = "'";
    text += value.substr(0, kShown);
    text += value.size() > kShown ? "...'" : "'";
    return text;
}

std::optional<int> environmentNumber(const char* name, int min, int max) {
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::string_view value(text);
    int number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
        number < min || number > max) {
        throw EncoderError(std::string(name) + "=" + quotedValue(value) +
                           " is not a whole number from " + std::to_string(min) + " to " +
                           std::to_string(max));
    }
    return number;
}

std::optional<bool> environmentSwitch(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::string_view value(text);
    if (value != "0" && value != "1") {
        throw EncoderError(std::string(name) + "=" + quotedValue(value) + " is neither 0 nor 1");
    }
    return value == "1";
}

} // namespace encoders
