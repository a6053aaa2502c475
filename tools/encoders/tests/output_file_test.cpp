#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/output_file.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace encoders {
namespace {

using testing::TempDir;

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<unsigned char> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(OutputFile, AppearsUnderItsNameOnlyWhenCommitted) {
    TempDir dir;
    const auto target = dir / "song.mp3";
    {
        OutputFile out(target);
        // Unnamed until the commit, where the file system allows.
        EXPECT_EQ(out.temporary(), std::filesystem::path());
        out.write(bytes("hello "));
        // Larger than the buffer, to go straight to the file.
        std::string big(100000, 'x');
        out.write(bytes(big));
        out.overwrite(0, bytes("HELLO"));
        EXPECT_EQ(out.size(), 6u + big.size());
        EXPECT_TRUE(dir.entries().empty());
        out.commit();
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"song.mp3"});
    const std::string text = contents(target);
    EXPECT_EQ(text.substr(0, 7), "HELLO x");
    EXPECT_EQ(text.size(), 100006u);
    // The usual permissions, not the temporary file's private ones.
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IRGRP, 0u);
}

TEST(OutputFile, ReplacesAnExistingFile) {
    TempDir dir;
    const auto target = dir / "song.mp3";
    std::ofstream(target) << "old";
    OutputFile out(target);
    out.write(bytes("new"));
    out.commit();
    EXPECT_EQ(contents(target), "new");
}

TEST(OutputFile, AnUncommittedFileLeavesNothing) {
    TempDir dir;
    std::ofstream(dir / "song.mp3") << "old";
    {
        OutputFile out(dir / "song.mp3");
        out.write(bytes("partial"));
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"song.mp3"});
    EXPECT_EQ(contents(dir / "song.mp3"), "old");
}

TEST(OutputFile, FailuresThrowAndClearUp) {
    TempDir dir;
    EXPECT_THROW(OutputFile(dir / "missing" / "song.mp3"), EncoderError);
    std::filesystem::create_directory(dir / "taken.mp3");
    EXPECT_THROW(OutputFile(dir / "taken.mp3"), EncoderError);
    // A directory that appears during the run is found at the rename.
    OutputFile out(dir / "later.mp3");
    out.write(bytes("data"));
    std::filesystem::create_directories(dir / "later.mp3" / "inside");
    EXPECT_THROW(out.commit(), EncoderError);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"later.mp3", "taken.mp3"}));
}

} // namespace
} // namespace encoders
