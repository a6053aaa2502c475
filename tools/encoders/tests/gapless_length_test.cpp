// Every Layer III stream our programs write starts with an Info frame telling players its exact
// length, whatever its bitrate, mode, sample rate, thread count and length: mpg123 and ffmpeg
// decode exactly the input's samples (at the coded rate). LAME itself leaves the frame out at
// the lowest bitrates, where the frames are too small to hold it.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace encoders::testing {
namespace {

enum class Program { House, Bladeenc, Plugger };

struct LengthCase {
    Program program;
    int kbps; // the total bitrate
    int channels;
    int rate;
    bool chunked; // two threads and small chunks, so the input is coded in several chunks
};

class GaplessLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(GaplessLength, DecodesToExactlyTheInputsSamples) {
    const LengthCase& c = GetParam();
    TempDir dir;
    const int coded = c.rate > 48000 ? 48000 : c.rate;
    const int frameSamples = coded >= 32000 ? 1152 : 576;
    // Past one chunk of 24 frames with its overlap when chunked; no whole number of frames.
    const double seconds = ((c.chunked ? 40 : 3) * frameSamples + 333.0) * c.rate / coded / c.rate;
    const long frames = writeWav(dir / "in.wav", {.channels = c.channels,
                                                  .sampleRate = c.rate,
                                                  .seconds = seconds,
                                                  .frequencies = {440.0, 660.0}});
    const bool mono = c.channels == 1;
    const std::string in = (dir / "in.wav").string();
    auto out = dir / "out.mp3";
    std::vector<std::string> argv;
    switch (c.program) {
    case Program::House:
        argv = {codecIn(dir), in, out.string(), mono ? "-M3" : "-M0",
                "-B" + std::to_string(c.kbps / 2)};
        break;
    case Program::Bladeenc:
        argv = {kBladeenc, in, "-" + std::to_string(c.kbps), "-QUIT"};
        if (mono) {
            argv.insert(argv.begin() + 2, "-MONO");
        }
        out = dir / "in.MP3";
        break;
    case Program::Plugger:
        argv = {kPlugger, in, out.string(), "-b", std::to_string(c.kbps)};
        if (mono) {
            argv.emplace_back("-dm");
        }
        break;
    }
    ::setenv("SONABOX_ENCODER_THREADS", c.chunked ? "2" : "1", 1);
    ::setenv("SONABOX_ENCODER_CHUNK_FRAMES", "24", 1);
    const ProcessResult result = run(argv);
    ::unsetenv("SONABOX_ENCODER_THREADS");
    ::unsetenv("SONABOX_ENCODER_CHUNK_FRAMES");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_NE(mpg123Check(out).streamLine.find("cbr" + std::to_string(c.kbps)), std::string::npos)
        << mpg123Check(out).output;

    const long expected = frames * coded / c.rate;
    EXPECT_EQ(mpg123Decode(out, dir / "mpg123.wav").frames(), expected);
    EXPECT_EQ(ffmpegDecode(out, dir / "ffmpeg.wav").frames(), expected);
}

std::string caseName(const ::testing::TestParamInfo<LengthCase>& info) {
    const LengthCase& c = info.param;
    static const char* const names[] = {"house", "bladeenc", "plugger"};
    return std::string(names[static_cast<int>(c.program)]) + "_" + std::to_string(c.kbps) +
           (c.channels == 1 ? "_mono_" : "_stereo_") + std::to_string(c.rate) +
           (c.chunked ? "_chunked" : "_one_thread");
}

constexpr auto H = Program::House;
constexpr auto B = Program::Bladeenc;
constexpr auto P = Program::Plugger;

INSTANTIATE_TEST_SUITE_P(
    BitratesModesRatesAndThreads, GaplessLength,
    ::testing::Values(
        // MPEG-1: the Info frame outgrows stereo frames up to 56 kbit/s and mono up to 48.
        LengthCase{P, 32, 2, 44100, false}, LengthCase{P, 40, 2, 44100, false},
        LengthCase{P, 48, 2, 48000, false}, LengthCase{P, 56, 2, 44100, false},
        LengthCase{P, 64, 2, 44100, false}, LengthCase{P, 32, 1, 44100, false},
        LengthCase{P, 40, 1, 32000, false}, LengthCase{H, 48, 1, 44100, false},
        LengthCase{B, 56, 1, 48000, false}, LengthCase{H, 56, 2, 32000, false},
        LengthCase{P, 320, 2, 44100, false}, LengthCase{P, 48, 2, 96000, false},
        // MPEG-2 and MPEG-2.5.
        LengthCase{P, 32, 2, 22050, false}, LengthCase{B, 56, 2, 24000, false},
        LengthCase{P, 32, 1, 16000, false}, LengthCase{B, 32, 1, 11025, false},
        LengthCase{P, 48, 2, 8000, false}, LengthCase{H, 64, 1, 12000, false},
        // The chunked coder at the same bitrates.
        LengthCase{P, 32, 2, 44100, true}, LengthCase{H, 48, 1, 48000, true},
        LengthCase{B, 56, 2, 44100, true}, LengthCase{P, 40, 2, 22050, true},
        LengthCase{B, 32, 1, 8000, true}, LengthCase{P, 48, 1, 96000, true}),
    caseName);

} // namespace
} // namespace encoders::testing
