#include "platform/working_directory.h"

#include "platform/paths.h"

#include <system_error>

namespace platform {

QString currentDirectory() {
    std::error_code error;
    const auto path = std::filesystem::current_path(error);
    if (error)
        return separator();
    return fromFsPath(path);
}

bool setCurrentDirectory(const QString& directory) {
    if (directory.isEmpty())
        return false;
    std::error_code error;
    std::filesystem::current_path(toFsPath(directory), error);
    return !error;
}

} // namespace platform
