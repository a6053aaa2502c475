#include "platform/file_system.h"

#include "platform/paths.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool fileExists(const QString& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(toFsPath(path), error));
}

bool copyFileReplacing(const QString& from, const QString& to) {
    std::error_code error;
    std::filesystem::copy_file(toFsPath(from), toFsPath(to),
                               std::filesystem::copy_options::overwrite_existing, error);
    return !error;
}

bool moveFileNoReplace(const QString& from, const QString& to) {
    const auto source = toFsPath(from);
    const auto target = toFsPath(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EXDEV)
        return false;
    // Another file system: copy beside the target, then put the copy in place without
    // replacing anything, and only then remove the source.
    std::error_code error;
    auto partial = target;
    partial += ".part";
    std::filesystem::copy_file(source, partial, std::filesystem::copy_options::none, error);
    if (error)
        return false;
    if (::renameat2(AT_FDCWD, partial.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        std::filesystem::remove(partial, error);
        return false;
    }
    std::filesystem::remove(source, error);
    return true;
}

bool deleteFile(const QString& path) {
    return ::unlink(toFsPath(path).c_str()) == 0;
}

std::optional<FileTime> modificationTime(const QString& path) {
    struct stat info {};
    if (::stat(toFsPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileTime(std::chrono::seconds(info.st_mtim.tv_sec) +
                    std::chrono::duration_cast<FileTime::duration>(
                        std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
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
