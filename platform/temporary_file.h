#pragma once

#include <cstddef>
#include <filesystem>

// A new file under a unique short name in a given folder, for writing a file's next content
// beside it and putting it in place in one step. Unless put in place, the file is removed again
// when the object goes, so no failure leaves it behind.
namespace platform {

class TemporaryFile {
public:
    // Creates the file (exclusive create, mode 0666 less the umask). Throws std::system_error.
    explicit TemporaryFile(const std::filesystem::path& folder);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::filesystem::path& path() const { return path_; }
    int descriptor() const { return fd_; }

    // Writes all bytes, going on after short writes; throws std::system_error on any failure.
    void write(const char* data, std::size_t size);

    // Gives the file these permission bits; throws std::system_error.
    void setMode(unsigned mode);

    // Flushes the content to the disk and closes the file; throws std::system_error.
    void sync();

    // Puts the synced file at the target, replacing what is there; throws std::system_error.
    void replace(const std::filesystem::path& target);

    // Puts the synced file at the target only when nothing is there (std::system_error with
    // EEXIST otherwise).
    void placeNew(const std::filesystem::path& target);

    // Both then flush the folder's entries too. A failure of that flush is not reported: the
    // file is in place by then and cannot be taken back.

private:
    std::filesystem::path path_;
    int fd_ = -1;
    bool placed_ = false;
};

} // namespace platform
