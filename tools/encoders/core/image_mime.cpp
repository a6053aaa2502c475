#include "tools/encoders/core/image_mime.h"

#include <utility>

namespace encoders {

std::string imageMime(std::string_view data) {
    using namespace std::string_view_literals;
    const std::pair<std::string_view, const char*> signatures[] = {
        {"\xFF\xD8\xFF"sv, "image/jpeg"}, {"\x89PNG"sv, "image/png"},
        {"GIF8"sv, "image/gif"},          {"BM"sv, "image/bmp"},
        {"II*\0"sv, "image/tiff"},        {"MM\0*"sv, "image/tiff"},
    };
    for (const auto& [magic, mime] : signatures) {
        if (data.starts_with(magic)) {
            return mime;
        }
    }
    if (data.size() >= 12 && data.starts_with("RIFF") && data.substr(8, 4) == "WEBP") {
        return "image/webp";
    }
    return "image/jpeg";
}

} // namespace encoders
