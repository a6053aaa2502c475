// Runs that must fail: one line on standard error, a non-zero exit code, and no output file
// or temporary file left behind.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <fstream>

namespace encoders::testing {
namespace {

class FailingRuns : public ::testing::Test {
protected:
    // Runs the command in `work` and checks the failure was clean.
    void expectCleanFailure(const std::vector<std::string>& argv, const std::string& expectedText) {
        SCOPED_TRACE(argv.size() > 1 ? argv[0] + " " + argv[1] : argv[0]);
        const auto before = work.entries();
        const ProcessResult result = run(argv);
        EXPECT_NE(result.exitCode, 0);
        const auto errorLines = lines(result.err);
        ASSERT_EQ(errorLines.size(), 1u) << result.err;
        EXPECT_NE(errorLines[0].find(expectedText), std::string::npos) << errorLines[0];
        EXPECT_EQ(work.entries(), before);
    }

    TempDir programs;
    TempDir work;
    std::string codec = codecIn(programs);
};

TEST_F(FailingRuns, MissingInput) {
    const std::string missing = (work / "missing.wav").string();
    const std::string out = (work / "missing.mp3").string();
    expectCleanFailure({codec, missing, out, "-M0", "-B64"}, "does not exist");
    expectCleanFailure({kBladeenc, missing, "-128", "-QUIT"}, "does not exist");
    expectCleanFailure({kPlugger, missing, out, "-b", "128", "-z"}, "does not exist");
}

TEST_F(FailingRuns, InputThatIsNotAudio) {
    const auto text = work / "notes.wav";
    std::ofstream(text) << "These are not the samples you are looking for.\n";
    const std::string out = (work / "notes.mp3").string();
    expectCleanFailure({codec, text.string(), out, "-M0", "-B64", "-L1"}, "as audio");
    expectCleanFailure({kBladeenc, text.string(), "-128", "-QUIT"}, "as audio");
    expectCleanFailure({kPlugger, text.string(), out, "-b", "128"}, "as audio");
    expectCleanFailure({kPlugger, work.path().string(), out, "-b", "128"}, "directory");
}

TEST_F(FailingRuns, MoreThanTwoChannels) {
    const auto wav = work / "surround.wav";
    writeWav(wav, {.channels = 3, .sampleRate = 44100, .seconds = 0.2});
    const std::string out = (work / "surround.mp3").string();
    expectCleanFailure({codec, wav.string(), out, "-M0", "-B64", "-L2"}, "3 channels");
    expectCleanFailure({kBladeenc, wav.string(), "-128"}, "3 channels");
    expectCleanFailure({kPlugger, wav.string(), out, "-b", "128"}, "3 channels");
}

TEST_F(FailingRuns, InputWithoutSamples) {
    const auto wav = work / "empty.wav";
    writeWav(wav, {.channels = 1, .sampleRate = 44100, .seconds = 0.0});
    expectCleanFailure({codec, wav.string(), (work / "e.mp3").string(), "-M3", "-B64", "-L1"},
                       "no audio samples");
}

TEST_F(FailingRuns, UnwritableOutput) {
    const auto wav = work / "song.wav";
    writeWav(wav, {.channels = 2, .sampleRate = 44100, .seconds = 0.3});
    const std::string nowhere = (work / "no such dir" / "song.mp3").string();
    expectCleanFailure({codec, wav.string(), nowhere, "-M1", "-B64"}, "cannot write");
    expectCleanFailure({kPlugger, wav.string(), nowhere, "-b", "128"}, "cannot write");
    // A directory where the output should go: found only after the whole encode, when the
    // finished file is renamed into place.
    std::filesystem::create_directories(work / "song.MP3" / "keep");
    std::filesystem::create_directories(work / "taken.mp3" / "keep");
    const std::string taken = (work / "taken.mp3").string();
    expectCleanFailure({kBladeenc, wav.string(), "-128", "-QUIT", "-PRIO=HIGHEST"},
                       "cannot create");
    expectCleanFailure({codec, wav.string(), taken, "-M0", "-B64", "-L1"}, "cannot create");
    expectCleanFailure({kPlugger, wav.string(), taken, "-b", "64", "-z"}, "cannot create");
}

TEST_F(FailingRuns, BadArguments) {
    const auto wav = work / "song.wav";
    writeWav(wav, {.channels = 1, .sampleRate = 44100, .seconds = 0.2});
    const std::string in = wav.string();
    const std::string out = (work / "song.mp3").string();
    expectCleanFailure({codec}, "usage");
    expectCleanFailure({codec, in, out, "-M0"}, "-B");
    expectCleanFailure({codec, in, out, "-M7", "-B64"}, "-M7");
    expectCleanFailure({codec, in, out, "-M0", "-Bx"}, "-Bx");
    expectCleanFailure({codec, in, out, "-M0", "-B64", "-L9"}, "-L9");
    expectCleanFailure({kBladeenc}, "usage");
    expectCleanFailure({kBladeenc, in, "other.wav"}, "other.wav");
    expectCleanFailure({kPlugger, in}, "usage");
    expectCleanFailure({kPlugger, in, out, "-b", "-z"}, "-b");
    // A usage error exits with 2, other failures with 1.
    EXPECT_EQ(run({kPlugger, in}).exitCode, 2);
    EXPECT_EQ(run({kPlugger, (work / "gone.wav").string(), out, "-b", "64"}).exitCode, 1);
}

} // namespace
} // namespace encoders::testing
