#pragma once

#include "libs/durable_file/new_file.h"

#include <sys/types.h>

#include <filesystem>
#include <optional>

namespace mpegdll {

// A file written as a new file in its target's folder (unnamed where the file system allows)
// and put onto the target once complete and synced, so the target either stays as it was or
// holds the whole new content, also after a power cut.
// A symbolic link as the target is followed: the file it names is replaced, the link stays.
class AtomicFile {
public:
    // Creates the temporary file; throws LibraryError(MPEGDLL_ERR_OUTPUT) when the target
    // exists but is not a writable regular file, or its folder cannot take a new file.
    explicit AtomicFile(const std::filesystem::path& target);
    // Removes the temporary file unless it has been committed.
    ~AtomicFile();

    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The temporary file, open for writing; owned by this object.
    int descriptor() const { return file_ ? file_->descriptor() : -1; }
    // Syncs the temporary file, puts it onto the target (or, with Placement::NoReplace, only
    // where no file is) and syncs the folder; false (and the temporary file removed, the target
    // untouched) when that fails.
    bool commit(durable::Placement placement = durable::Placement::Replace);
    // Removes the temporary file; the target stays as it was.
    void discard();

private:
    std::filesystem::path target_;
    std::optional<durable::NewFile> file_;
};

} // namespace mpegdll
