#include "libs/durable_file/new_file.h"

#include "libs/durable_file/helper_names.h"

#include <cerrno>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace durable {

namespace {

constexpr int kNameAttempts = 100;

// File systems and kernels without unnamed files answer O_TMPFILE with one of these.
bool unnamedUnsupported(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Gives an unnamed file a name. Through /proc any process may; the file descriptor itself
// (AT_EMPTY_PATH) needs a capability on older kernels, so it comes second.
int linkDescriptor(int fd, int folder, const char* name) {
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, proc.c_str(), folder, name, AT_SYMLINK_FOLLOW) == 0)
        return 0;
    const int error = errno;
    if (error == ENOENT && ::linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0)
        return 0;
    errno = error;
    return -1;
}

} // namespace

NewFile::NewFile(const std::filesystem::path& folder) : folder_(openFolder(folder)) {
    file_ = FileDescriptor(::openat(folder_.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (file_.get() >= 0)
        return;
    if (!unnamedUnsupported(errno))
        fail("cannot write to folder '" + folder.string() + "'");
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = helperName(".tmp");
        file_ = FileDescriptor(
            ::openat(folder_.get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file_.get() >= 0) {
            helper_ = folder / name;
            return;
        }
        if (errno != EEXIST)
            break;
    }
    fail("cannot write to folder '" + folder.string() + "'");
}

NewFile::~NewFile() {
    discard();
}

void NewFile::write(const void* data, std::size_t size) {
    if (!writeAll(file_.get(), data, size))
        fail("cannot write a temporary file");
}

void NewFile::setMode(unsigned mode) {
    if (::fchmod(file_.get(), static_cast<mode_t>(mode)) != 0)
        fail("cannot set a temporary file's mode");
}

void NewFile::commit(const std::filesystem::path& target, Placement placement,
                     FolderSync folderSync) {
    // The data first: a name that survives a crash must not lead to missing content.
    if (::fdatasync(file_.get()) != 0) {
        const int error = errno;
        discard();
        errno = error;
        fail("cannot write '" + target.string() + "'");
    }
    try {
        if (helper_.empty())
            linkUnnamed(target, placement);
        else
            renameHelper(target, placement);
    } catch (...) {
        discard();
        throw;
    }
    helper_.clear();
    file_.reset();
    if (folderSync == FolderSync::Now && ::fsync(folder_.get()) != 0)
        fail("cannot sync the folder of '" + target.string() + "'");
    folder_.reset();
}

void NewFile::linkUnnamed(const std::filesystem::path& target, Placement placement) {
    if (placement == Placement::NoReplace) {
        if (linkDescriptor(file_.get(), AT_FDCWD, target.c_str()) != 0)
            fail("cannot create '" + target.string() + "'");
        return;
    }
    // link() never replaces: a second name first, then a rename over the target.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = helperName(".tmp");
        if (linkDescriptor(file_.get(), folder_.get(), name.c_str()) != 0) {
            if (errno == EEXIST)
                continue;
            fail("cannot create '" + target.string() + "'");
        }
        if (::renameat(folder_.get(), name.c_str(), AT_FDCWD, target.c_str()) != 0) {
            const int error = errno;
            ::unlinkat(folder_.get(), name.c_str(), 0);
            errno = error;
            fail("cannot create '" + target.string() + "'");
        }
        return;
    }
    fail("cannot create '" + target.string() + "'");
}

void NewFile::renameHelper(const std::filesystem::path& target, Placement placement) {
    const int folder = folder_.get();
    const std::filesystem::path name = helper_.filename();
    const char* from = name.c_str();
    if (placement == Placement::Replace) {
        if (::renameat(folder, from, AT_FDCWD, target.c_str()) != 0)
            fail("cannot create '" + target.string() + "'");
        return;
    }
    if (::renameat2(folder, from, AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return;
    // File systems without that rename: a hard link does not replace either.
    if (errno != EINVAL && errno != ENOSYS)
        fail("cannot create '" + target.string() + "'");
    if (::linkat(folder, from, AT_FDCWD, target.c_str(), 0) != 0)
        fail("cannot create '" + target.string() + "'");
    ::unlinkat(folder, from, 0);
}

void NewFile::discard() noexcept {
    file_.reset();
    if (!helper_.empty())
        ::unlinkat(folder_.get(), helper_.filename().c_str(), 0);
    helper_.clear();
}

} // namespace durable
