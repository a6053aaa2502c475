#include "platform/file_system.h"

#include <QFileInfo>

#include "platform/paths.h"
#include "platform/temporary_file.h"

#include <array>
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

namespace {

// A file descriptor closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// Copies a regular file with its permissions to a target that must not exist yet, through a
// temporary file beside the target that no failure leaves behind.
void copyToNewFile(const std::filesystem::path& source, const std::filesystem::path& target) {
    const Descriptor input(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (input.get() < 0 || ::fstat(input.get(), &info) != 0)
        fail("open the source");
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        fail("open the source");
    }
    const auto folder = target.parent_path();
    TemporaryFile copy(folder.empty() ? std::filesystem::path(".") : folder);
    copy.setMode(info.st_mode & 07777);
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t got = ::read(input.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail("read the source");
        if (got == 0)
            break;
        copy.write(buffer.data(), static_cast<std::size_t>(got));
    }
    copy.sync();
    copy.placeNew(target);
}

} // namespace

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
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without that rename: a hard link does not replace either.
        if (::link(source.c_str(), target.c_str()) != 0)
            return false;
        ::unlink(source.c_str());
        return true;
    }
    if (errno != EXDEV)
        return false;
    try {
        copyToNewFile(source, target);
    } catch (const std::system_error&) {
        return false;
    }
    // The target is in place; a source that cannot be removed is left as a copy.
    ::unlink(source.c_str());
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

QString fileIdentity(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
}

} // namespace platform
