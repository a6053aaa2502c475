#pragma once

#include <string>
#include <string_view>

namespace encoders {

// The MIME type of an image told by its first bytes (JPEG, PNG, GIF, BMP, WebP, TIFF);
// bytes it does not know give "image/jpeg", what covers mostly are.
std::string imageMime(std::string_view data);

} // namespace encoders
