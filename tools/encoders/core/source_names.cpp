#include "tools/encoders/core/source_names.h"

#include <algorithm>
#include <cctype>

namespace encoders {

namespace {

bool inMask(const std::string& extension) {
    const std::string pattern = "*." + extension;
    for (std::size_t at = 0; at < kSourceMask.size();) {
        const std::size_t end = std::min(kSourceMask.find(' ', at), kSourceMask.size());
        if (kSourceMask.substr(at, end - at) == pattern) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

} // namespace

std::size_t replacedNameEnd(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.find('/', dot) != std::string_view::npos) {
        return 3;
    }
    std::string extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension != "wav" && inMask(extension) ? extension.size() : 3;
}

} // namespace encoders
