#include "libs/mpegdll/src/atomic_file.h"

#include "libs/mpegdll/src/library_error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

namespace mpegdll {

AtomicFile::AtomicFile(const std::filesystem::path& target) : target_(target) {
    std::error_code error;
    if (std::filesystem::is_symlink(target_, error)) {
        const auto resolved = std::filesystem::canonical(target_, error);
        if (!error)
            target_ = resolved;
    }
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    // Renaming would replace a file that its owner protected from writing.
    if (exists && (!S_ISREG(existing.st_mode) || ::access(target_.c_str(), W_OK) != 0))
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
    if (target_.filename().empty())
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
    try {
        file_.emplace(target_.has_parent_path() ? target_.parent_path()
                                                : std::filesystem::path("."));
        // A replaced file keeps its permissions.
        if (exists)
            file_->setMode(existing.st_mode & 07777);
    } catch (const std::system_error&) {
        file_.reset();
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
    }
}

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::commit(durable::Placement placement) {
    if (!file_)
        return false;
    try {
        file_->commit(target_, placement);
    } catch (const std::system_error&) {
        discard();
        return false;
    }
    file_.reset();
    return true;
}

void AtomicFile::discard() {
    file_.reset();
}

} // namespace mpegdll
