#include "libs/durable_file/file_descriptor.h"

#include <unistd.h>

namespace durable {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int FileDescriptor::release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void FileDescriptor::reset() noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace durable
