// A program asked for one track of a cue sheet album codes exactly that track's samples, on
// one thread or in chunks: the decoded tracks, joined, are the album's samples.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace encoders::testing {
namespace {

// 44100 Hz: a CD frame is 588 samples. Track 2 has a pregap, which goes with track 1.
constexpr char kSheet[] = "FILE \"album.wav\" WAVE\n"
                          "TRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                          "TRACK 02 AUDIO\nINDEX 00 00:01:00\nINDEX 01 00:01:40\n"
                          "TRACK 03 AUDIO\nINDEX 01 00:02:17\n";
constexpr long kStarts[] = {0, 44100 + 40 * 588, 2 * 44100 + 17 * 588};
constexpr double kSeconds = 3.5;

struct ScopedEnv {
    ScopedEnv(const char* name, const std::string& value) : name(name) {
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { ::unsetenv(name); }
    const char* name;
};

class AlbumTrack : public ::testing::TestWithParam<bool> {};

TEST_P(AlbumTrack, CodesExactlyItsRange) {
    TempDir dir;
    const long frames = writeWav(dir / "album.wav", {.seconds = kSeconds});
    std::ofstream(dir / "album.cue") << kSheet;
    const ScopedEnv sheet("SONABOX_CUE_SHEET", (dir / "album.cue").string());
    const ScopedEnv threads("SONABOX_ENCODER_THREADS", GetParam() ? "2" : "1");
    const ScopedEnv chunks("SONABOX_ENCODER_CHUNK_FRAMES", "24");
    long joined = 0;
    for (int track = 1; track <= 3; ++track) {
        const ScopedEnv number("SONABOX_CUE_TRACK", std::to_string(track));
        const auto out = dir / ("t" + std::to_string(track) + ".mp3");
        const ProcessResult result =
            run({codecIn(dir), (dir / "album.wav").string(), out.string(), "-M0", "-B64"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const long end = track < 3 ? kStarts[track] : frames;
        const long decoded = mpg123Decode(out, dir / "d.wav").frames();
        EXPECT_EQ(decoded, end - kStarts[track - 1]) << "track " << track;
        EXPECT_EQ(ffmpegDecode(out, dir / "f.wav").frames(), decoded) << "track " << track;
        joined += decoded;
        // The tags, which the batch's tests check field by field, come from the sheet.
        EXPECT_EQ(probeTags(out).at("track"), std::to_string(track) + "/3");
    }
    EXPECT_EQ(joined, frames);
}

INSTANTIATE_TEST_SUITE_P(Threads, AlbumTrack, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "chunked" : "whole"; });

// A value the program cannot use is a command line it cannot use; a sheet that does not fit
// its input is a failed run with the reason. Neither leaves an output.
TEST(AlbumTrackRefusal, SaysWhyAndWritesNothing) {
    TempDir dir;
    writeWav(dir / "album.wav", {.seconds = kSeconds});
    std::ofstream(dir / "album.cue") << kSheet;
    std::ofstream(dir / "short.cue") << "FILE \"album.wav\" WAVE\nTRACK 01 AUDIO\n"
                                        "INDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:05:00\n";
    struct Case {
        std::string sheet, track;
        int exitCode;
        std::string reason;
    };
    for (const Case& c : std::vector<Case>{
             {(dir / "album.cue").string(), "0", 2,
              "SONABOX_CUE_TRACK='0' is not a track number from 1 to 99"},
             {(dir / "album.cue").string(), "1x", 2, "SONABOX_CUE_TRACK='1x' is not a track"},
             {"", "1", 2, "SONABOX_CUE_SHEET='' is not the path of a cue sheet"},
             {(dir / "album.cue").string(), "7", 1, "the cue sheet has no track 7"},
             {(dir / "short.cue").string(), "1", 1,
              "track 2 INDEX 01 at 00:05:00 lies beyond the end of 'album.wav'"},
         }) {
        const ScopedEnv sheet("SONABOX_CUE_SHEET", c.sheet);
        const ScopedEnv number("SONABOX_CUE_TRACK", c.track);
        const ProcessResult result =
            run({codecIn(dir), (dir / "album.wav").string(), (dir / "o.mp3").string(), "-B64"});
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "o.mp3"));
    }
}

} // namespace
} // namespace encoders::testing
