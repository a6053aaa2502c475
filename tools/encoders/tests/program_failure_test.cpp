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
        {{codec, song, at(std::string(252, 'n') + ".mp3"), "-M1", "-B64"}, "at most 255"},
        {{kPlugger, at("gone.wav"), at(std::string(256, 'n')), "-b", "128"}, "at most 255"},
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

// Only a WAV file's one "fmt " and one "data" chunk reach the audio library, whose own parser
// loops forever on some repeated or malformed chunks: a file that repeats either is refused at
// once, and any other layout holding one stream of audio encodes to exactly its samples.
TEST_F(Refusals, WavLayoutsAreCheckedBeforeTheAudioLibrarySeesThem) {
    const long frames = 4410;
    writeRawWav(work / "plain.wav", {.channels = 1, .frames = frames});
    std::ifstream plainFile(work / "plain.wav", std::ios::binary);
    const std::string plain{std::istreambuf_iterator<char>(plainFile), {}};
    const std::string format = plain.substr(20, 16);
    const std::string samples = plain.substr(44);
    const std::string data = riffChunk("data", samples);
    auto riff = [](const std::string& chunks) {
        return "RIFF" + littleEndian(4 + chunks.size(), 4) + "WAVE" + chunks;
    };
    // An INFO list whose sub-chunk size jumps back onto its own header.
    std::string looping = "INFOINAM"
                          "IKEY" +
                          littleEndian(0xFFFFFFF8, 4);
    looping.resize(106, '\0');
    const std::string extensible = littleEndian(0xFFFE, 2) + format.substr(2) +
                                   littleEndian(22, 2) + littleEndian(16, 2) + littleEndian(4, 4) +
                                   littleEndian(1, 4) +
                                   std::string("\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 12);
    const std::string rf64 =
        "RF64" + littleEndian(0xFFFFFFFF, 4) + "WAVE" +
        riffChunk("ds64", littleEndian(0, 8) + littleEndian(samples.size(), 8) +
                              littleEndian(frames, 8) + littleEndian(0, 4)) +
        riffChunk("fmt ", format) + riffChunk("LIST", looping) + "data" +
        littleEndian(0xFFFFFFFF, 4) + samples;
    struct Case {
        const char* name;
        std::string bytes;
        const char* refusal; // nullptr: encodes
    } const cases[] = {
        {"second_fmt", riff(riffChunk("fmt ", format) + riffChunk("fmt ", looping) + data),
         "more than one 'fmt ' chunk"},
        {"fmt_after_data", riff(riffChunk("fmt ", format) + data + riffChunk("fmt ", format)),
         "more than one 'fmt ' chunk"},
        {"second_data", riff(riffChunk("fmt ", format) + data + riffChunk("data", "abcd")),
         "more than one 'data' chunk"},
        {"no_data", riff(riffChunk("fmt ", format) + riffChunk("LIST", looping)),
         "no 'data' chunk"},
        {"nested",
         riff(riffChunk("LIST", "INFO" + riffChunk("LIST", looping)) +
              riffChunk("RIFF", "WAVE" + riffChunk("fmt ", looping) + data) +
              riffChunk("fmt ", format) + riffChunk("note", "odd") + data),
         nullptr},
        {"data_first", riff(data + riffChunk("fmt ", format)), nullptr},
        {"data_past_end",
         riff(riffChunk("fmt ", format) + "data" + littleEndian(1u << 31, 4) + samples), nullptr},
        {"extensible", riff(riffChunk("fmt ", extensible) + data), nullptr},
        {"rf64", rf64, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = at(std::string(c.name) + ".wav");
        const std::string out = at(std::string(c.name) + ".mp3");
        std::ofstream(in, std::ios::binary) << c.bytes;
        // A run that hangs ends by timeout(1), with its exit code 124.
        const ProcessResult result = run({"timeout", "20", kPlugger, in, out, "-b", "128"});
        if (c.refusal != nullptr) {
            EXPECT_EQ(result.exitCode, 1);
            ASSERT_EQ(lines(result.err).size(), 1u) << result.err;
            EXPECT_NE(result.err.find(c.refusal), std::string::npos) << result.err;
            EXPECT_FALSE(std::filesystem::exists(out));
        } else {
            ASSERT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(mpg123Decode(out, work / "decoded.wav").frames(), frames);
        }
    }
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
