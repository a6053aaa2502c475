#pragma once

#include <filesystem>

// Small pieces shared by the library's files.
namespace durable {

// Throws std::system_error with the current errno and `what` as its text.
[[noreturn]] void fail(const std::string& what);

// An open file descriptor, closed when the object goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    int release() noexcept;
    void reset() noexcept;

private:
    int fd_ = -1;
};

// The folder a file lies in, "." for a bare name.
std::filesystem::path folderOf(const std::filesystem::path& file);

// Opens a folder for reading its entries and syncing it; throws std::system_error.
Descriptor openFolder(const std::filesystem::path& folder);

// Writes all bytes at the current position, going on after short writes; false with errno set.
bool writeAll(int fd, const void* data, std::size_t size);

} // namespace durable
