#include "tests/plain/temp_dir.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include <stdlib.h>

namespace testsupport {

namespace {

constexpr const char* kRunFolderVariable = "SONABOX_TEST_RUN_FOLDER";

std::filesystem::path makeUniqueDirectory(const std::filesystem::path& parent, const char* prefix) {
    std::string pattern = (parent / (std::string(prefix) + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary directory");
    return pattern;
}

// The folder that holds every TempDir of one test run, removed when the process that made it
// ends. Processes that the run starts (GoogleTest runs the test program again for a death test)
// inherit it through the environment: they end without running destructors, and whatever they
// left is removed with the folder.
class RunFolder {
public:
    RunFolder() {
        if (const char* inherited = ::getenv(kRunFolderVariable)) {
            path_ = inherited;
            return;
        }
        path_ = makeUniqueDirectory(std::filesystem::temp_directory_path(), "sonabox-test-");
        owned_ = true;
        ::setenv(kRunFolderVariable, path_.c_str(), 1);
    }
    ~RunFolder() {
        if (!owned_)
            return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        ::unsetenv(kRunFolderVariable);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool owned_ = false;
};

const std::filesystem::path& runFolder() {
    // Made no later than the first TempDir, so it outlives every TempDir, static ones included.
    static const RunFolder folder;
    return folder.path();
}

// Made at start-up, before the test program can start a process that should inherit it.
[[maybe_unused]] const std::filesystem::path& madeAtStart = runFolder();

} // namespace

TempDir::TempDir() : path_(makeUniqueDirectory(runFolder(), "dir-")) {}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace testsupport
