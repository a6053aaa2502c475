#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Support for tests that need no Qt (the decoder library's and the encoders').
namespace testsupport {

// A fresh directory below the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // The names of the directory's entries, sorted.
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

} // namespace testsupport
