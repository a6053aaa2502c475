#pragma once

#include "tools/encoders/core/file_identity.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace encoders {

// The encoded file under construction. It is written to a hidden temporary file with a short
// unique name in the target's directory and renamed to the target only by commit(), so a run
// that fails or is cut short never leaves a partial file under the target's name; an
// uncommitted temporary is removed, also when the process is ended by SIGTERM, SIGINT or SIGHUP.
class OutputFile {
public:
    // Refuses a target that exists but is not a regular file, or that is the file `input`.
    explicit OutputFile(std::filesystem::path target,
                        std::optional<FileIdentity> input = std::nullopt);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::span<const unsigned char> bytes);
    // Replaces bytes already written, e.g. a header frame completed at the end.
    void overwrite(std::uint64_t offset, std::span<const unsigned char> bytes);
    std::uint64_t size() const { return written_ + buffer_.size(); }

    // Finishes the file and gives it the target's name, replacing any file there.
    void commit();

    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temporary() const { return temporary_; }

private:
    void createTemporary(const std::filesystem::path& directory);
    void flush();
    void discard() noexcept;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    int cleanupSlot_ = -1;
    std::vector<unsigned char> buffer_;
    std::uint64_t written_ = 0;
};

} // namespace encoders
