#pragma once

#include "libs/durable_file/system_calls.h"

#include <cstddef>
#include <filesystem>

namespace durable {

enum class Placement {
    Replace,  // an existing file at the target is replaced in one step
    NoReplace // an existing file at the target stays; the commit fails with EEXIST
};

enum class FolderSync {
    Now,     // the commit syncs the folder, so the name survives a crash at once
    ByCaller // the caller syncs the folder (syncFolder) before anything relies on the name
};

// A file written beside its target and put in place only once complete and on the disk, so
// the target holds either what it held before or the whole new content, also after a crash or
// a power cut. Where the file system allows, the file has no name until the commit (O_TMPFILE)
// and a killed process leaves nothing; elsewhere it is a hidden helper file named after its
// owner (see helper_names.h), removed again when the object goes without a commit.
// Every failure throws std::system_error.
class NewFile {
public:
    // Creates the file in `folder`, with mode 0666 less the umask.
    explicit NewFile(const std::filesystem::path& folder);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Open for reading and writing until the commit.
    int descriptor() const { return file_.get(); }
    // The helper file's path; empty for an unnamed file.
    const std::filesystem::path& helperPath() const { return helper_; }

    // Writes all bytes at the current position.
    void write(const void* data, std::size_t size);
    void setMode(unsigned mode);

    // Syncs the data, gives the file the target's name (the target lies in the folder given at
    // the start, a symbolic link there is replaced itself) and syncs the folder, so the name
    // survives a crash. The file is closed afterwards. A caller that puts many files in one
    // folder may sync the folder once for all of them: a crash before then leaves each name
    // with its old content or its whole new one.
    void commit(const std::filesystem::path& target, Placement placement,
                FolderSync folderSync = FolderSync::Now);
    // Drops the file; the target stays as it was.
    void discard() noexcept;

private:
    void linkUnnamed(const std::filesystem::path& target, Placement placement);
    void renameHelper(const std::filesystem::path& target, Placement placement);

    FileDescriptor folder_;
    FileDescriptor file_;
    std::filesystem::path helper_;
};

} // namespace durable
