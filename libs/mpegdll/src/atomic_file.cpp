#include "libs/mpegdll/src/atomic_file.h"

#include "libs/mpegdll/src/library_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>

namespace mpegdll {

namespace {

constexpr int nameAttempts = 64;

// ".sbx" and six random letters or digits: short enough beside any valid file name.
std::string temporaryName(std::mt19937& random) {
    static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
    std::string name = ".sbx";
    for (int i = 0; i < 6; ++i)
        name += alphabet[pick(random)];
    return name;
}

} // namespace

std::optional<FileId> identify(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return FileId{status.st_dev, status.st_ino};
}

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

    const std::filesystem::path folder =
        target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < nameAttempts && descriptor_ < 0; ++attempt) {
        temporary_ = folder / temporaryName(random);
        descriptor_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor_ < 0 && errno != EEXIST)
            break;
    }
    if (descriptor_ < 0)
        throw LibraryError(MPEGDLL_ERR_OUTPUT);
    pending_ = true;
    // A replaced file keeps its permissions.
    if (exists)
        ::fchmod(descriptor_, existing.st_mode & 07777);
}

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::closeDescriptor() {
    if (descriptor_ < 0)
        return true;
    const bool closed = ::close(descriptor_) == 0;
    descriptor_ = -1;
    return closed;
}

bool AtomicFile::commit() {
    if (!pending_)
        return false;
    if (!closeDescriptor() || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        discard();
        return false;
    }
    pending_ = false;
    return true;
}

void AtomicFile::discard() {
    closeDescriptor();
    if (pending_)
        ::unlink(temporary_.c_str());
    pending_ = false;
}

} // namespace mpegdll
