#include "mpegplay/mpeg_error.h"

#include <array>

TMPEGError::TMPEGError(const std::string& message, std::uint8_t code)
    : std::runtime_error(message), ErrorCode(code) {}

TMPEGError decoderError(int code) {
    static const std::array<const char*, 6> texts = {
        "MPEG library not loaded", "Internal decoder error",       "Incorrect mode",
        "Input stream error",      "Input stream is non-seekable", "Output device failure",
    };
    if (code >= 0 && code < static_cast<int>(texts.size()))
        return TMPEGError(texts[static_cast<std::size_t>(code)], static_cast<std::uint8_t>(code));
    return TMPEGError("Decoder error " + std::to_string(code), static_cast<std::uint8_t>(code));
}
