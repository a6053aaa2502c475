#include "tools/encoders/core/output_file.h"

#include "tools/encoders/core/encoder_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

OutputFile::OutputFile(std::filesystem::path target) : target_(std::move(target)) {
    if (target_.empty() || !target_.has_filename()) {
        throw EncoderError("output file name '" + target_.string() + "' names no file");
    }
    std::filesystem::path directory = target_.parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    std::string pattern = (directory / ("." + target_.filename().string() + ".XXXXXX")).string();
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) {
        throw EncoderError("cannot write to output directory '" + directory.string() +
                           "': " + systemError());
    }
    temporary_ = pattern;
    // mkstemp makes the file private; the finished file gets the usual permissions.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    buffer_.reserve(kBufferSize);
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
}

} // namespace encoders
