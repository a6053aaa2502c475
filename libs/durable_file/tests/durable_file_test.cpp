// The durable file library on the real file system: new files, their commit, moves and the
// clean-up of helper files. Run once as it is and once with O_TMPFILE failing.
#include "libs/durable_file/helper_names.h"
#include "libs/durable_file/new_file.h"
#include "tests/plain/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <system_error>

#include <sys/wait.h>
#include <unistd.h>

namespace durable {
namespace {

using testsupport::TempDir;
using Names = std::vector<std::string>;

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool namedOnly() {
    return std::getenv("SONABOX_TEST_NAMED_ONLY") != nullptr;
}

int errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    return 0;
}

TEST(NewFile, CommitsWholeOrLeavesTheTargetAsItWas) {
    struct Case {
        const char* name;
        const char* before; // nullptr: no file at the target
        Placement placement;
        bool commit;
        int error;
        const char* after;
    };
    const Case cases[] = {
        {"new file", nullptr, Placement::Replace, true, 0, "new"},
        {"replaced", "old", Placement::Replace, true, 0, "new"},
        {"new, never replacing", nullptr, Placement::NoReplace, true, 0, "new"},
        {"existing kept", "old", Placement::NoReplace, true, EEXIST, "old"},
        {"discarded", "old", Placement::Replace, false, 0, "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto target = dir / "song.mp3";
        if (c.before)
            std::ofstream(target) << c.before;
        {
            NewFile file(dir.path());
            EXPECT_EQ(file.helperPath().empty(), !namedOnly());
            file.write("new", 3);
            EXPECT_EQ(dir.entries().size(), (c.before ? 1u : 0u) + (namedOnly() ? 1u : 0u));
            if (c.commit) {
                EXPECT_EQ(errorOf([&] { file.commit(target, c.placement); }), c.error);
            }
        }
        EXPECT_EQ(dir.entries(), Names{"song.mp3"});
        EXPECT_EQ(contents(target), c.after);
    }
}

TEST(NewFile, AMissingFolderFails) {
    TempDir dir;
    EXPECT_EQ(errorOf([&] { NewFile file(dir / "missing"); }), ENOENT);
}

// A helper file named by a process that has ended, by this one, and by a process that had this
// process's id before: only the ended owners' files go; names without an owner stay.
TEST(HelperNames, OnlyFilesOfEndedOwnersAreRemoved) {
    TempDir dir;
    const pid_t child = ::fork();
    if (child == 0) {
        std::ofstream(dir / helperName(".tmp")) << "partial";
        std::ofstream(dir / helperName(".keep")) << "older";
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const std::string own = helperName(".keep");
    const std::string reusedId = ".sbx" + std::to_string(::getpid()) + ".1.abcdef.tmp";
    const Names kept = {".sbx12345678.tmp", ".sbx1.2.abcdef.txt", own, "song.wav"};
    for (const std::string& name : kept)
        std::ofstream(dir / name) << "x";
    std::ofstream(dir / reusedId) << "x";
    EXPECT_EQ(dir.entries().size(), 7u);
    EXPECT_EQ(removeStaleHelpers(dir.path()), 3u);
    Names sorted = kept;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(dir.entries(), sorted);
}

// A kept file's name records the file it was kept for: an ended owner's is found with that
// name, a running owner's is not, and a name too long to record is refused.
TEST(HelperNames, KeptNamesTellWhatTheyWereKeptFor) {
    TempDir dir;
    const pid_t child = ::fork();
    if (child == 0) {
        std::ofstream(dir / keptName("song.keep.mp3")) << "older";
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    std::ofstream(dir / keptName("mine.mp3")) << "older";
    const auto found = leftAsideByEndedOwners(dir.path());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "song.keep.mp3");
    EXPECT_EQ(contents(dir / found[0].helper), "older");
    EXPECT_EQ(keptName(std::string(240, 'x')), "");
}

} // namespace
} // namespace durable
