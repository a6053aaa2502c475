#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>

namespace durable {

// A file as the file system knows it: two names with the same identity are the same file,
// whether through a hard link or a symbolic link.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The file that `path` names (through any symbolic links); nothing when there is none.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);
// The file that `fd` has open; nothing when it cannot be asked.
std::optional<FileIdentity> identityOf(int fd);

} // namespace durable
