#include "libs/durable_file/durable_moves.h"

#include "libs/durable_file/new_file.h"
#include "libs/durable_file/system_calls.h"

#include <array>
#include <cerrno>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace durable {

namespace {

// Copies a regular file with its permissions to a target that must not exist yet.
void copyToNewFile(const std::filesystem::path& source, const std::filesystem::path& target) {
    const FileDescriptor input(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (input.get() < 0 || ::fstat(input.get(), &info) != 0)
        fail("cannot open '" + source.string() + "'");
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        fail("cannot copy '" + source.string() + "'");
    }
    NewFile copy(folderOf(target));
    copy.setMode(info.st_mode & 07777);
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t got = ::read(input.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail("cannot read '" + source.string() + "'");
        if (got == 0)
            break;
        copy.write(buffer.data(), static_cast<std::size_t>(got));
    }
    copy.commit(target, Placement::NoReplace);
}

} // namespace

void syncFolder(const std::filesystem::path& folder) {
    const FileDescriptor fd = openFolder(folder);
    if (::fsync(fd.get()) != 0)
        fail("cannot sync folder '" + folder.string() + "'");
}

void syncFileAndFolder(const std::filesystem::path& file) {
    const FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 || ::fdatasync(fd.get()) != 0)
        fail("cannot sync '" + file.string() + "'");
    syncFolder(folderOf(file));
}

void moveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EXDEV) {
            // The copy syncs its data and the target's folder itself.
            copyToNewFile(from, to);
        } else if (errno == EINVAL || errno == ENOSYS) {
            // A file system without that rename: a hard link does not replace either.
            if (::link(from.c_str(), to.c_str()) != 0)
                fail("cannot move '" + from.string() + "'");
        } else {
            fail("cannot move '" + from.string() + "'");
        }
        // The target is in place; a source that cannot be removed stays as a copy.
        ::unlink(from.c_str());
    }
    syncFolder(folderOf(to));
    syncFolder(folderOf(from));
}

} // namespace durable
