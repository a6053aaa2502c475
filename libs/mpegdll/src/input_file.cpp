#include "libs/mpegdll/src/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace mpegdll {

InputFile::InputFile(const std::filesystem::path& path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer, maybe forever; only a regular file
    // is read, and its reads never wait for another process.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "open");
    struct stat status {};
    int error = 0;
    if (::fstat(fd_, &status) != 0)
        error = errno;
    else if (!S_ISREG(status.st_mode))
        error = EINVAL;
    else if (::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd_);
        throw std::system_error(error, std::generic_category(), "not a readable regular file");
    }
    size_ = status.st_size;
}

InputFile::~InputFile() {
    ::close(fd_);
}

std::int64_t InputFile::readAt(void* buffer, std::size_t bytes, std::int64_t offset) const {
    return readFully(buffer, bytes, [&](char* to, std::size_t count, std::size_t done) {
        ssize_t got = 0;
        do
            got = ::pread(fd_, to, count, offset + static_cast<std::int64_t>(done));
        while (got < 0 && errno == EINTR);
        return got;
    });
}

} // namespace mpegdll
