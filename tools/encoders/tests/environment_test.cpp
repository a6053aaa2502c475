// What the programs read from their environment besides the command line: a value they cannot
// use is refused before any work, in one line that names it, and a good file already at the
// output is left as it was; a source whose length is not known is coded by what it holds.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace encoders::testing {
namespace {

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Sets one variable for the scope of a case.
class Setting {
public:
    Setting(const char* name, const std::string& value) : name_(name) {
        ::setenv(name, value.c_str(), 1);
    }
    ~Setting() { ::unsetenv(name_); }
    Setting(const Setting&) = delete;
    Setting& operator=(const Setting&) = delete;

private:
    const char* name_;
};

TEST(Environment, ValuesOutOfRangeAreRefusedAndLeaveTheOutputAlone) {
    const TempDir work;
    const std::string codec = codecIn(work);
    const auto song = work / "song.wav";
    // Long enough for several chunks, so that the chunk and thread values are used.
    writeWav(song, {.channels = 2, .sampleRate = 44100, .seconds = 2.0});
    const auto out = work / "out.mp3";
    ASSERT_EQ(run({kPlugger, song.string(), out.string(), "-b", "128"}).exitCode, 0);
    const std::string good = fileBytes(out);
    ASSERT_EQ(::mkfifo((work / "fifo").c_str(), 0644), 0);
    std::filesystem::create_directory(work / "folder");
    std::ofstream(work / "slots") << std::string(4, '\0');
    const std::string slots = (work / "slots").string();
    struct Case {
        const char* name;
        std::string value;
        std::string refusal;
    };
    const Case cases[] = {
        {"SONABOX_ENCODER_THREADS", "0", "is not a whole number from 1 to 1024"},
        {"SONABOX_ENCODER_THREADS", "-3", "from 1 to 1024"},
        {"SONABOX_ENCODER_THREADS", "2x", "from 1 to 1024"},
        {"SONABOX_ENCODER_THREADS", "", "from 1 to 1024"},
        {"SONABOX_ENCODER_THREADS", "99999999999999999999", "from 1 to 1024"},
        {"SONABOX_ENCODER_THREADS", "100000", "from 1 to 1024"},
        {"SONABOX_ENCODER_CHUNK_FRAMES", "0", "is not a whole number from 1 to 10000"},
        {"SONABOX_ENCODER_CHUNK_FRAMES", "2147483647", "from 1 to 10000"},
        {"SONABOX_ENCODER_CHUNK_FRAMES", "9223372036854775807", "from 1 to 10000"},
        {"SONABOX_ENCODER_CHUNK_FRAMES", " 24", "from 1 to 10000"},
        {"SONABOX_JOB_SLOTS", slots, "is not <file>:<count>"},
        {"SONABOX_JOB_SLOTS", slots + ":0", "with a count from 1 to 4096"},
        {"SONABOX_JOB_SLOTS", slots + ":4097", "with a count from 1 to 4096"},
        {"SONABOX_ENCODER_LOUDNESS", "off", "SONABOX_ENCODER_LOUDNESS='off' is neither 0 nor 1"},
        {"SONABOX_FOLDER_SYNCED_BY_CALLER", "2", "is neither 0 nor 1"},
        {"SONABOX_LOUDNESS_FILE", (work / "fifo").string(), "names no regular file"},
        {"SONABOX_LOUDNESS_FILE", (work / "folder").string(), "names no regular file"},
        {"SONABOX_LOUDNESS_FILE", "/dev/null", "names no regular file"},
        {"SONABOX_LOUDNESS_FILE", "", "names no regular file"},
    };
    for (const Case& c : cases) {
        const std::vector<std::vector<std::string>> programs = {
            {codec, song.string(), out.string(), "-M1", "-B64"},
            {kBladeenc, song.string(), "-128", "-QUIT"},
            {kPlugger, song.string(), out.string(), "-b", "128"},
        };
        for (const auto& argv : programs) {
            SCOPED_TRACE(std::string(c.name) + "=" + c.value + " " + argv[0]);
            const Setting setting(c.name, c.value);
            // A program that waits on a fifo is ended by timeout(1), with its exit code 124.
            std::vector<std::string> timed = {"timeout", "20"};
            timed.insert(timed.end(), argv.begin(), argv.end());
            const ProcessResult result = run(timed);
            EXPECT_EQ(result.exitCode, 1);
            const auto errorLines = lines(result.err);
            ASSERT_EQ(errorLines.size(), 1u) << result.err;
            EXPECT_NE(errorLines[0].find(c.refusal), std::string::npos) << errorLines[0];
            EXPECT_EQ(fileBytes(out), good);
            EXPECT_EQ(work.entries(),
                      (std::vector<std::string>{"codec", "fifo", "folder", "libsonabox-ffmpeg.so",
                                                "out.mp3", "slots", "song.wav"}));
        }
    }
}

// An Ogg stream cut short has lost the page that tells its length. Each program codes what it
// holds, with no share of an unknown whole printed before the end. (Sizes and shares that
// were computed from libsndfile's "unknown" mark overflowed.)
TEST(Environment, ASourceOfUnknownLengthIsCodedByWhatItHolds) {
    const TempDir work;
    const std::string codec = codecIn(work);
    const auto wav = work / "long.wav";
    ASSERT_EQ(run({"sox", "-n", "-r", "48000", "-c", "2", "-b", "16", wav.string(), "synth", "20",
                   "sine", "440", "vol", "0.5"})
                  .exitCode,
              0);
    ASSERT_EQ(run({"opusenc", "--quiet", wav.string(), (work / "whole.opus").string()}).exitCode,
              0);
    ASSERT_EQ(run({"oggenc", "-Q", wav.string(), "-o", (work / "whole.ogg").string()}).exitCode, 0);
    for (const auto& [extension, kept] : {std::pair{"opus", 150000}, {"ogg", 60000}}) {
        const auto cut = work / (std::string("cut.") + extension);
        std::ofstream(cut, std::ios::binary)
            << fileBytes(work / (std::string("whole.") + extension)).substr(0, kept);
        const long held = ffmpegDecode(cut, work / "held.wav").frames();
        ASSERT_GT(held, 48000);
        const auto out = work / "out.mp3";
        const std::vector<std::vector<std::string>> programs = {
            {codec, cut.string(), out.string(), "-M1", "-B64"},
            {kBladeenc, cut.string(), "-128", "-QUIT"},
            {kPlugger, cut.string(), out.string(), "-b", "128"},
        };
        for (const auto& argv : programs) {
            SCOPED_TRACE(argv[0] + " " + extension);
            const ProcessResult result = run(argv);
            ASSERT_EQ(result.exitCode, 0) << result.err;
            // libsndfile gives a cut Ogg Vorbis no length; FFmpeg measures a cut Opus stream by
            // its last whole page, so its progress may show.
            if (std::string(extension) == "ogg") {
                EXPECT_EQ(result.out.find("25% done"), std::string::npos) << result.out;
            }
            EXPECT_NE(result.out.find("100% done"), std::string::npos) << result.out;
            const auto written = argv[0] == kBladeenc ? work / "cut.MP3" : out;
            EXPECT_EQ(mpg123Decode(written, work / "decoded.wav").frames(), held);
            std::filesystem::remove(written);
        }
    }
}

} // namespace
} // namespace encoders::testing
