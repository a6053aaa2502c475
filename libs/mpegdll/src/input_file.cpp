#include "libs/mpegdll/src/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace mpegdll {

InputFile::InputFile(const std::filesystem::path& path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer, maybe forever; only a regular file
    // is read, and its reads never wait for another process.
    fd_ = durable::FileDescriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd_.get() < 0)
        throw std::system_error(errno, std::generic_category(), "open");
    struct stat status {};
    int error = 0;
    const bool known = ::fstat(fd_.get(), &status) == 0;
    if (known && !S_ISREG(status.st_mode))
        error = EINVAL;
    else if (!known || ::fcntl(fd_.get(), F_SETFL, ::fcntl(fd_.get(), F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0)
        throw std::system_error(error, std::generic_category(), "not a readable regular file");
    size_ = status.st_size;
}

std::int64_t InputFile::readAt(void* buffer, std::size_t bytes, std::int64_t offset) const {
    return readFully(buffer, bytes, [&](char* to, std::size_t count, std::size_t done) {
        ssize_t got = 0;
        do
            got = ::pread(fd_.get(), to, count, offset + static_cast<std::int64_t>(done));
        while (got < 0 && errno == EINTR);
        return got;
    });
}

std::int64_t BufferedReader::read(void* to, std::size_t bytes) {
    constexpr std::size_t bufferBytes = 64 * 1024;
    const std::int64_t end = bufferStart_ + static_cast<std::int64_t>(buffer_.size());
    if (position_ < bufferStart_ || position_ >= end) {
        // A large read goes straight to the caller.
        if (bytes >= bufferBytes) {
            const std::int64_t got = file_.readAt(to, bytes, position_);
            if (got > 0)
                position_ += got;
            return got;
        }
        buffer_.resize(bufferBytes);
        const std::int64_t got = file_.readAt(buffer_.data(), bufferBytes, position_);
        buffer_.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        bufferStart_ = position_;
        if (got <= 0)
            return got;
    }
    const auto offset = static_cast<std::size_t>(position_ - bufferStart_);
    const std::size_t count = std::min(bytes, buffer_.size() - offset);
    std::memcpy(to, buffer_.data() + offset, count);
    position_ += static_cast<std::int64_t>(count);
    return static_cast<std::int64_t>(count);
}

std::int64_t BufferedReader::seek(std::int64_t offset, int whence) {
    std::int64_t target = offset;
    if (whence == SEEK_CUR)
        target += position_;
    else if (whence == SEEK_END)
        target += file_.size();
    else if (whence != SEEK_SET)
        return -1;
    if (target < 0)
        return -1;
    position_ = target;
    return position_;
}

} // namespace mpegdll
