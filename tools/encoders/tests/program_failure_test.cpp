// Runs that must be refused: one line on standard error, a non-zero exit code, and no output
// file or temporary file left behind.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace encoders::testing {
namespace {

class Refusals : public ::testing::Test {
protected:
    TempDir programs;
    TempDir work;
    std::string codec = codecIn(programs);
    std::string at(const std::string& name) const { return (work / name).string(); }
};

TEST_F(Refusals, EachBadInputOrOutputFailsCleanly) {
    writeWav(work / "song.wav", {.channels = 2, .sampleRate = 44100, .seconds = 0.3});
    writeWav(work / "empty.wav", {.channels = 1, .sampleRate = 44100, .seconds = 0.0});
    writeWav(work / "wav.MP3", {.channels = 1, .sampleRate = 44100, .seconds = 0.2});
    writeRawWav(work / "nine.wav", {.channels = 9, .frames = 4410});
    writeRawWav(work / "none.wav", {.channels = 0, .frames = 0});
    writeRawWav(work / "slow.wav", {.channels = 1, .sampleRate = 7, .frames = 7});
    writeRawWav(work / "fast.wav", {.channels = 1, .sampleRate = 3000000, .frames = 300});
    std::ofstream(work / "notes.wav") << "These are not the samples you are looking for.\n";
    std::filesystem::create_symlink("song.wav", work / "link.mp3");
    std::filesystem::create_hard_link(work / "song.wav", work / "hard.mp3");
    ASSERT_EQ(::mkfifo(at("pipe.wav").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(at("pipe.mp3").c_str(), 0644), 0);
    std::filesystem::create_directories(work / "dir.mp3" / "keep");
    std::filesystem::create_directories(work / "song.MP3" / "keep");
    writeWav(work / "taken.wav", {.channels = 1, .sampleRate = 44100, .seconds = 0.2});
    std::ofstream(work / "taken.MP3") << "the user's own file";
    const std::string song = at("song.wav");
    const std::string out = at("out.mp3");
    struct Case {
        std::vector<std::string> argv;
        std::string text;
        int exitCode = 1;
    };
    const Case cases[] = {
        {{codec, at("gone.wav"), out, "-M0", "-B64"}, "does not exist"},
        {{kBladeenc, at("gone.wav"), "-128", "-QUIT"}, "does not exist"},
        {{codec, at("notes.wav"), out, "-M0", "-B64", "-L1"}, "as audio"},
        {{codec, at("empty.wav"), out, "-M3", "-B64", "-L1"}, "no audio samples"},
        {{codec, at("nine.wav"), out, "-M0", "-B64", "-L2"}, "9 channels"},
        {{kBladeenc, at("nine.wav"), "-128"}, "9 channels"},
        {{kPlugger, at("none.wav"), out, "-b", "128"}, "none.wav"},
        {{codec, at("slow.wav"), out, "-M3", "-B64", "-L1"}, "7 Hz; only 4000 to 384000 Hz"},
        {{kPlugger, at("fast.wav"), out, "-b", "128"}, "3000000 Hz; only 4000 to 384000 Hz"},
        {{codec, song, song, "-M0", "-B64", "-L1"}, "is the input"},
        {{kPlugger, song, song, "-b", "128"}, "is the input"},
        {{codec, song, at("link.mp3"), "-M0", "-B64"}, "is the input"},
        {{kPlugger, song, at("hard.mp3"), "-b", "128"}, "is the input"},
        {{kBladeenc, at("wav.MP3"), "-128", "-QUIT"}, "is the input"},
        {{kPlugger, work.path().string(), out, "-b", "128"}, "not a regular file"},
        {{codec, at("pipe.wav"), out, "-M0", "-B64", "-L2"}, "not a regular file"},
        {{kPlugger, "/dev/zero", out, "-b", "128"}, "not a regular file"},
        {{codec, song, at("pipe.mp3"), "-M0", "-B64", "-L1"}, "not a regular file"},
        {{kPlugger, song, "/dev/null", "-b", "128"}, "not a regular file"},
        {{codec, song, at("dir.mp3"), "-M0", "-B64", "-L1"}, "not a regular file"},
        {{kBladeenc, song, "-128", "-QUIT", "-PRIO=HIGHEST"}, "not a regular file"},
        {{kBladeenc, at("taken.wav"), "-128", "-QUIT"}, "already exists and is not replaced"},
        {{codec, song, at("no such dir/song.mp3"), "-M1", "-B64"}, "cannot write"},
        {{kPlugger, song, at("no such dir/song.mp3"), "-b", "128"}, "cannot write"},
        {{codec}, "usage", 2},
        {{codec, song, out, "-M0"}, "-B", 2},
        {{codec, song, out, "-M7", "-B64"}, "-M7", 2},
        {{codec, song, out, "-M0", "-B64", "-L9"}, "-L9", 2},
        {{kBladeenc}, "4000 to 384000 Hz", 2},
        {{kBladeenc, song, "other.wav"}, "other.wav", 2},
        {{kPlugger, song}, "usage", 2},
        {{kPlugger, song, out, "-b", "-z"}, "-b", 2},
    };
    const auto before = work.entries();
    const auto songSize = std::filesystem::file_size(work / "song.wav");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argv.size() > 2 ? c.argv[0] + " " + c.argv[1] + " " + c.argv[2] : c.argv[0]);
        const ProcessResult result = run(c.argv);
        EXPECT_EQ(result.exitCode, c.exitCode);
        const auto errorLines = lines(result.err);
        ASSERT_EQ(errorLines.size(), 1u) << result.err;
        EXPECT_NE(errorLines[0].find(c.text), std::string::npos) << errorLines[0];
        EXPECT_EQ(work.entries(), before);
    }
    EXPECT_EQ(std::filesystem::file_size(work / "song.wav"), songSize);
    EXPECT_EQ(std::filesystem::file_size(work / "taken.MP3"), 19u);
}

// Temporary names are short: any output name the file system takes works.
TEST_F(Refusals, OutputNamesOfTheLongestLengthWork) {
    const std::string stem(251, 'n');
    writeWav(work / (stem + ".wav"), {.channels = 1, .sampleRate = 32000, .seconds = 0.2});
    const std::string in = at(stem + ".wav");
    EXPECT_EQ(run({codec, in, at(stem + ".mp1"), "-M3", "-B32", "-L1"}).exitCode, 0);
    EXPECT_EQ(run({kPlugger, in, at(stem + ".mp3"), "-b", "64"}).exitCode, 0);
    EXPECT_EQ(run({kBladeenc, in, "-64", "-QUIT"}).exitCode, 0);
    EXPECT_EQ(work.entries(), (std::vector<std::string>{stem + ".MP3", stem + ".mp1", stem + ".mp3",
                                                        stem + ".wav"}));
}

} // namespace
} // namespace encoders::testing
