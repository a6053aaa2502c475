#include "tools/encoders/core/output_file.h"

#include "tools/encoders/core/batch_protocol.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/environment_value.h"
#include "tools/encoders/core/temp_cleanup.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
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

OutputFile::OutputFile(std::filesystem::path target, std::optional<durable::FileIdentity> input,
                       durable::Placement placement)
    : target_(std::move(target)), placement_(placement),
      folderSync_(environmentSwitch(protocol::kFolderSyncedByCaller).value_or(false)
                      ? durable::FolderSync::ByCaller
                      : durable::FolderSync::Now) {
    if (target_.empty() || !target_.has_filename()) {
        throw EncoderError("output file name '" + target_.string() + "' names no file");
    }
    struct stat existing {};
    if (::stat(target_.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            throw EncoderError("output '" + target_.string() +
                               "' exists and is not a regular file");
        }
        if (input && *input == durable::FileIdentity{existing.st_dev, existing.st_ino}) {
            throw EncoderError("output '" + target_.string() + "' is the input file");
        }
        if (placement_ == durable::Placement::NoReplace) {
            throw EncoderError("output '" + target_.string() +
                               "' already exists and is not replaced");
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
    // Created and registered in one step: a signal in between is handled after it.
    const CleanupSignalsHeld held;
    try {
        file_.emplace(directory);
    } catch (const std::system_error& error) {
        throw EncoderError("cannot write to output directory '" + directory.string() +
                           "': " + error.code().message());
    }
    if (!temporary().empty()) {
        try {
            cleanupSlot_ = registerTemporary(temporary());
        } catch (...) {
            discard();
            throw;
        }
    }
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::write(std::span<const unsigned char> bytes) {
    if (buffer_.size() + bytes.size() > kBufferSize) {
        flush();
    }
    if (bytes.size() > kBufferSize) {
        if (!writeAllAt(file_->descriptor(), bytes.data(), bytes.size(),
                        static_cast<off_t>(written_))) {
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
    if (!writeAllAt(file_->descriptor(), bytes.data(), bytes.size(), static_cast<off_t>(offset))) {
        throw EncoderError("writing '" + target_.string() + "' failed: " + systemError());
    }
}

void OutputFile::flush() {
    if (buffer_.empty()) {
        return;
    }
    if (!writeAllAt(file_->descriptor(), buffer_.data(), buffer_.size(),
                    static_cast<off_t>(written_))) {
        throw EncoderError("writing '" + target_.string() + "' failed: " + systemError());
    }
    written_ += buffer_.size();
    buffer_.clear();
}

void OutputFile::commit() {
    flush();
    try {
        // A signal during the commit comes after it: the named temporary file is either still
        // registered or already the target.
        const CleanupSignalsHeld held;
        file_->commit(target_, placement_, folderSync_);
    } catch (const std::system_error& error) {
        discard();
        throw EncoderError(error.what());
    }
    releaseTemporary(cleanupSlot_);
    cleanupSlot_ = -1;
}

void OutputFile::discard() noexcept {
    if (file_)
        file_->discard();
    releaseTemporary(cleanupSlot_);
    cleanupSlot_ = -1;
}

} // namespace encoders
