#include "tools/encoders/core/output_file.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/temp_cleanup.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace encoders {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

std::string systemError() {
    return std::strerror(errno);
}

// Writes all bytes at the offset, retrying short writes.
bool writeAllAt(int fd, const unsigned char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        ssize_t done = ::pwrite(fd, data, size, offset);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
        offset += done;
    }
    return true;
}

} // namespace

OutputFile::OutputFile(std::filesystem::path target, std::optional<FileIdentity> input)
    : target_(std::move(target)) {
    if (target_.empty() || !target_.has_filename()) {
        throw EncoderError("output file name '" + target_.string() + "' names no file");
    }
    struct stat existing {};
    if (::stat(target_.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            throw EncoderError("output '" + target_.string() +
                               "' exists and is not a regular file");
        }
        if (input && *input == FileIdentity{existing.st_dev, existing.st_ino}) {
            throw EncoderError("output '" + target_.string() + "' is the input file");
        }
    }
    std::filesystem::path directory = target_.parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    createTemporary(directory);
    buffer_.reserve(kBufferSize);
}

void OutputFile::createTemporary(const std::filesystem::path& directory) {
    // Short, so that it fits wherever the target's own name fits.
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = ".sbx";
        for (int i = 0; i < 8; ++i) {
            name += kLetters[pick(random)];
        }
        const std::filesystem::path candidate = directory / (name + ".tmp");
        const CleanupSignalsHeld held;
        fd_ = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temporary_ = candidate;
            try {
                cleanupSlot_ = registerTemporary(temporary_);
            } catch (...) {
                discard();
                throw;
            }
            return;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    throw EncoderError("cannot write to output directory '" + directory.string() +
                       "': " + systemError());
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::write(std::span<const unsigned char> bytes) {
    if (buffer_.size() + bytes.size() > kBufferSize) {
        flush();
    }
    if (bytes.size() > kBufferSize) {
        if (!writeAllAt(fd_, bytes.data(), bytes.size(), static_cast<off_t>(written_))) {
            throw EncoderError("writing '" + target_.string() + "' failed: " + systemError());
        }
        written_ += bytes.size();
        return;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void OutputFile::overwrite(std::uint64_t offset, std::span<const unsigned char> bytes) {
    flush();
    if (offset + bytes.size() > written_) {
        throw EncoderError("internal error: overwrite beyond the end of the output");
    }
    if (!writeAllAt(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset))) {
        throw EncoderError("writing '" + target_.string() + "' failed: " + systemError());
    }
}

void OutputFile::flush() {
    if (buffer_.empty()) {
        return;
    }
    if (!writeAllAt(fd_, buffer_.data(), buffer_.size(), static_cast<off_t>(written_))) {
        throw EncoderError("writing '" + target_.string() + "' failed: " + systemError());
    }
    written_ += buffer_.size();
    buffer_.clear();
}

void OutputFile::commit() {
    flush();
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        std::string reason = systemError();
        discard();
        throw EncoderError("writing '" + target_.string() + "' failed: " + reason);
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        std::string reason = systemError();
        discard();
        throw EncoderError("cannot create '" + target_.string() + "': " + reason);
    }
    temporary_.clear();
    releaseTemporary(cleanupSlot_);
    cleanupSlot_ = -1;
}

void OutputFile::discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    releaseTemporary(cleanupSlot_);
    cleanupSlot_ = -1;
}

} // namespace encoders
