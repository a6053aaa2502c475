#include "platform/file_system.h"

#include "platform/paths.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace platform {

bool isReadableDirectory(const QString& directory) {
    if (directory.isEmpty())
        return false;
    std::error_code error;
    std::filesystem::directory_iterator entries(toFsPath(directory), error);
    return !error;
}

bool isReadableFile(const QString& file) {
    std::error_code error;
    const auto path = toFsPath(file);
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    return std::ifstream(path).is_open();
}

} // namespace platform
