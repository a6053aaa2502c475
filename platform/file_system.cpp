#include "platform/file_system.h"

#include "platform/paths.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include <sys/stat.h>

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

void createDirectory(const QString& path) {
    if (::mkdir(toFsPath(path).c_str(), 0777) == 0)
        return;
    const int cause = errno;
    switch (cause) {
    case EACCES:
    case EPERM:
    case EROFS:
        throw std::runtime_error("File access denied");
    case ENOENT:
        throw std::runtime_error("Invalid filename");
    default:
        throw std::runtime_error("I/O error " + std::to_string(cause));
    }
}

} // namespace platform
