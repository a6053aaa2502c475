#pragma once

#include <QString>

#include <cstddef>
#include <string>

namespace platform {

// Keeps an existing file reachable under a second, hidden name in its folder (a hard link)
// while something else may replace it. restore() puts it back at its path; otherwise the second
// name goes when the object does. Should the process end first, the next
// restoreLeftAside() in that folder (removeStaleHelperFiles() calls it) puts it back: the
// second name records the first. Where the file does not exist or cannot be linked, nothing is
// kept and restore() does nothing.
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

// Puts back at their names the files that KeptFile objects of ended processes kept aside in
// the folder, replacing what stands there now (what those processes left unfinished). Returns
// how many came back.
std::size_t restoreLeftAside(const QString& folder);

} // namespace platform
