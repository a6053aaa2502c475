#pragma once

#include "libs/durable_file/file_descriptor.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace mpegdll {

// Calls `read(to, count, done)` (the bytes read, 0 at the end, negative on failure) until
// `bytes` bytes are in `buffer`; the count read, short only at the end, or -1 on a failure.
template <typename Read> std::int64_t readFully(void* buffer, std::size_t bytes, Read read) {
    std::size_t done = 0;
    while (done < bytes) {
        const auto got = read(static_cast<char*>(buffer) + done, bytes - done, done);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

// A regular file opened for reading at explicit offsets; pread makes it safe to share between
// threads.
class InputFile {
public:
    // Throws std::system_error when the file cannot be opened or is not a regular file (a FIFO,
    // a device, a folder), without waiting for one.
    explicit InputFile(const std::filesystem::path& path);
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::int64_t size() const { return size_; }
    int descriptor() const { return fd_.get(); }
    // Reads up to `bytes` bytes at `offset`; the count read, short only at the end of the file;
    // -1 on a read error.
    std::int64_t readAt(void* buffer, std::size_t bytes, std::int64_t offset) const;

private:
    durable::FileDescriptor fd_;
    std::int64_t size_ = 0;
};

// Reads an InputFile from a position through a buffer: libmpg123 asks for each frame's header
// and body apart, and one system call per 64 KiB instead of two per frame keeps the walk over
// all frames at Open short.
class BufferedReader {
public:
    explicit BufferedReader(const InputFile& file) : file_(file) {}
    // Up to `bytes` bytes from the position on (0 at the end), or -1 on a read error.
    std::int64_t read(void* to, std::size_t bytes);
    // Moves as lseek does (SEEK_SET, SEEK_CUR, SEEK_END); the new position, or -1.
    std::int64_t seek(std::int64_t offset, int whence);

private:
    const InputFile& file_;
    std::int64_t position_ = 0;
    std::int64_t bufferStart_ = 0; // the file offset of buffer_[0]
    std::vector<unsigned char> buffer_;
};

} // namespace mpegdll
