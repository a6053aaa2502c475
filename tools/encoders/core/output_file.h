#pragma once

#include "libs/durable_file/file_identity.h"
#include "libs/durable_file/new_file.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace encoders {

// The encoded file under construction. It is written to a new file in the target's directory,
// unnamed where the file system allows, and given the target's name only by commit(), once its
// data is on the disk, so a run that fails or is cut short never leaves a partial file under
// the target's name. A named temporary file that was not committed is removed, also when the
// process is ended by one of the signals of temp_cleanup.h.
class OutputFile {
public:
    // Refuses a target that exists but is not a regular file, or that is the file `input`, and
    // with Placement::NoReplace any existing target.
    explicit OutputFile(std::filesystem::path target,
                        std::optional<durable::FileIdentity> input = std::nullopt,
                        durable::Placement placement = durable::Placement::Replace);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::span<const unsigned char> bytes);
    // Replaces bytes already written, e.g. a header frame completed at the end.
    void overwrite(std::uint64_t offset, std::span<const unsigned char> bytes);
    std::uint64_t size() const { return written_ + buffer_.size(); }

    // Finishes the file, syncs it and gives it the target's name (replacing a file there only
    // with Placement::Replace), then syncs the directory, unless the program that runs this one
    // says it does that itself (SONABOX_FOLDER_SYNCED_BY_CALLER=1: a batch syncs its output
    // folder once, before it reports the batch done or deletes a source).
    void commit();

    const std::filesystem::path& target() const { return target_; }
    // The named temporary file; empty while the file has no name.
    const std::filesystem::path& temporary() const { return file_->helperPath(); }

private:
    void createTemporary(const std::filesystem::path& directory);
    void flush();
    void discard() noexcept;

    std::filesystem::path target_;
    durable::Placement placement_;
    durable::FolderSync folderSync_;
    std::optional<durable::NewFile> file_;
    int cleanupSlot_ = -1;
    std::vector<unsigned char> buffer_;
    std::uint64_t written_ = 0;
};

} // namespace encoders
