#include "platform/temporary_file.h"

#include <array>
#include <cerrno>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// ".sbx" and six random letters or digits: short, so it fits wherever the target's name fits.
std::string randomName() {
    static constexpr std::array<char, 36> alphabet{
        'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r',
        's', 't', 'u', 'v', 'w', 'x', 'y', 'z', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string name = ".sbx";
    for (int i = 0; i < 6; ++i)
        name += alphabet[pick(generator)];
    return name;
}

void syncFolder(const std::filesystem::path& folder) {
    const std::filesystem::path name = folder.empty() ? "." : folder;
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

TemporaryFile::TemporaryFile(const std::filesystem::path& folder) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = folder / randomName();
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            return;
        if (errno != EEXIST)
            fail("create a temporary file");
    }
    fail("create a temporary file");
}

TemporaryFile::~TemporaryFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!placed_)
        ::unlink(path_.c_str());
}

void TemporaryFile::write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail("write a temporary file");
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void TemporaryFile::setMode(unsigned mode) {
    if (::fchmod(fd_, static_cast<mode_t>(mode)) != 0)
        fail("set a temporary file's mode");
}

void TemporaryFile::sync() {
    if (::fsync(fd_) != 0)
        fail("sync a temporary file");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        fail("close a temporary file");
}

void TemporaryFile::replace(const std::filesystem::path& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0)
        fail("rename a temporary file");
    placed_ = true;
    syncFolder(target.parent_path());
}

void TemporaryFile::placeNew(const std::filesystem::path& target) {
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        // File systems without that rename: a hard link also fails when the target exists.
        if (errno != EINVAL && errno != ENOSYS)
            fail("rename a temporary file");
        if (::link(path_.c_str(), target.c_str()) != 0)
            fail("link a temporary file");
        ::unlink(path_.c_str());
    }
    placed_ = true;
    syncFolder(target.parent_path());
}

} // namespace platform
