#include "platform/file_system.h"

#include <QFileInfo>

#include "libs/durable_file/durable_moves.h"
#include "libs/durable_file/helper_names.h"
#include "platform/kept_file.h"
#include "platform/paths.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

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

namespace {

// Whether a step of the durable file library went through.
template <typename Step> bool succeeds(Step step) {
    try {
        step();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

} // namespace

bool copyFileReplacing(const QString& from, const QString& to) {
    std::error_code error;
    std::filesystem::copy_file(toFsPath(from), toFsPath(to),
                               std::filesystem::copy_options::overwrite_existing, error);
    return !error;
}

bool linkOrCopyFile(const QString& from, const QString& to) {
    std::error_code error;
    std::filesystem::create_hard_link(toFsPath(from), toFsPath(to), error);
    return !error || copyFileReplacing(from, to);
}

bool moveFileNoReplace(const QString& from, const QString& to) {
    try {
        durable::moveNoReplace(toFsPath(from), toFsPath(to));
        return true;
    } catch (const std::system_error&) {
        // Only a sync after the move failed when the file is at its new name alone: it has moved
        // (the encode batch syncs again, and stops, before it deletes anything).
        return !fileExists(from) && fileExists(to);
    }
}

bool syncToDisk(const QString& file) {
    return succeeds([&] { durable::syncFileAndFolder(toFsPath(file)); });
}

bool syncFolder(const QString& folder) {
    return succeeds([&] { durable::syncFolder(toFsPath(folder)); });
}

void removeStaleHelperFiles(const QString& folder) {
    restoreLeftAside(folder);
    durable::removeStaleHelpers(toFsPath(folder));
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

QString fileIdentity(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
}

} // namespace platform
