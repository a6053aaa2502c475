#pragma once

#include <QString>

#include <string>

namespace platform {

// Keeps an existing file reachable under a second, hidden name in its folder (a hard link)
// while something else may replace it. restore() puts it back at its path; otherwise the second
// name goes when the object does, or, should the process end first, with the next
// removeStaleHelperFiles() in that folder. Where the file does not exist or cannot be linked,
// nothing is kept and restore() does nothing.
class KeptFile {
public:
    explicit KeptFile(const QString& path);
    ~KeptFile();
    KeptFile(const KeptFile&) = delete;
    KeptFile& operator=(const KeptFile&) = delete;

    bool kept() const { return !link_.empty(); }
    // Puts the kept file back at its path, replacing what is there now.
    bool restore();

private:
    std::string path_;
    std::string link_;
};

} // namespace platform
