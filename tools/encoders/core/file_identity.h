#pragma once

#include <sys/types.h>

namespace encoders {

// A file as the file system knows it: two names with the same identity are the same file,
// whether through a hard link or a symbolic link.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

} // namespace encoders
