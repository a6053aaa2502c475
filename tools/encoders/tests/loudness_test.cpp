// The loudness meter against levels that BS.1770 fixes: a 997 Hz tone reads its RMS level in
// LUFS (less 3 dB for one channel of two), at every sample rate the encoders take; and the
// gates, which leave out silence and passages 10 LU or more below the rest.
#include "tools/encoders/core/loudness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <vector>

#include <unistd.h>

namespace encoders {
namespace {

// `seconds` of a 997 Hz tone of peak `amplitude` in the channels that `inChannel` selects.
std::vector<float> tone(int channels, int rate, double seconds, double amplitude,
                        std::vector<bool> inChannel = {true, true}) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> samples(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        const double s = amplitude * std::sin(2 * std::numbers::pi * 997.0 * double(i) / rate);
        for (int c = 0; c < channels; ++c)
            samples[i * channels + c] = inChannel[std::size_t(c)] ? float(s) : 0.0f;
    }
    return samples;
}

double lufs(const ReplayGain& gain) {
    return kReplayGainReference - gain.gainDb;
}

struct ToneCase {
    int channels;
    int rate;
    double amplitude;
    std::vector<bool> inChannel;
    double expectedLufs;
};

class ToneLevels : public ::testing::TestWithParam<ToneCase> {};

TEST_P(ToneLevels, ReadTheirLevel) {
    const ToneCase& c = GetParam();
    LoudnessMeter meter(c.channels, c.rate);
    const auto samples = tone(c.channels, c.rate, 5.0, c.amplitude, c.inChannel);
    // In uneven pieces, as a reader hands them over.
    for (std::size_t at = 0; at < samples.size();) {
        const std::size_t n = std::min<std::size_t>(samples.size() - at, 2 * 3001);
        meter.add(std::span(samples).subspan(at, n));
        at += n;
    }
    const auto gain = replayGain(meter.measured());
    ASSERT_TRUE(gain);
    EXPECT_NEAR(lufs(*gain), c.expectedLufs, 0.05);
    EXPECT_NEAR(gain->peak, c.amplitude, 1e-3);
}

// RMS of a sine is its peak less 3.01 dB; each full-scale channel then reads -3.01 LUFS.
INSTANTIATE_TEST_SUITE_P(Meter, ToneLevels,
                         ::testing::Values(ToneCase{2, 48000, 1.0, {true, true}, 0.0},
                                           ToneCase{2, 44100, 0.5, {true, true}, -6.02},
                                           ToneCase{2, 44100, 0.5, {true, false}, -9.03},
                                           ToneCase{1, 44100, 0.1, {true}, -23.01},
                                           ToneCase{2, 8000, 0.5, {true, true}, -6.02},
                                           ToneCase{2, 22050, 0.25, {true, true}, -12.04},
                                           ToneCase{2, 96000, 0.5, {true, true}, -6.02}));

TEST(LoudnessGates, SilenceHasNoGainAndQuietPassagesDoNotCount) {
    LoudnessMeter silent(2, 44100);
    silent.add(std::vector<float>(2 * 44100 * 3, 0.0f));
    EXPECT_FALSE(replayGain(silent.measured()));

    // 10 s at -6 LUFS, then 10 s 40 dB lower: below the relative gate, left out.
    LoudnessMeter meter(2, 44100);
    meter.add(tone(2, 44100, 10.0, 0.5));
    meter.add(tone(2, 44100, 10.0, 0.005));
    const auto gain = replayGain(meter.measured());
    ASSERT_TRUE(gain);
    EXPECT_NEAR(lufs(*gain), -6.02, 0.1);

    // Two tracks pooled: the album reads their blocks together, not the mean of their levels.
    LoudnessMeter loud(2, 44100), soft(2, 48000);
    loud.add(tone(2, 44100, 6.0, 0.5));
    soft.add(tone(2, 48000, 2.0, 0.25));
    const TrackLoudness* tracks[] = {&loud.measured(), &soft.measured()};
    const auto album = replayGain(tracks);
    ASSERT_TRUE(album);
    const double energy = (57 * std::pow(10, -6.02 / 10) + 17 * std::pow(10, -12.04 / 10)) / 74;
    EXPECT_NEAR(lufs(*album), 10 * std::log10(energy), 0.05);
    EXPECT_NEAR(album->peak, 0.5, 1e-3);
}

TEST(LoudnessFile, KeepsTheMeasurementExactlyAndRefusesAnythingElse) {
    const auto path =
        std::filesystem::temp_directory_path() / ("loudness_test_" + std::to_string(::getpid()));
    LoudnessMeter meter(2, 44100);
    meter.add(tone(2, 44100, 2.0, 0.3));
    saveLoudness(path, meter.measured());
    const TrackLoudness back = loadLoudness(path);
    EXPECT_EQ(back.blocks, meter.measured().blocks);
    EXPECT_EQ(back.peak, meter.measured().peak);

    for (const char* text :
         {"", "loudness 2\npeak 0x1p-1\nblocks 0\n", "loudness 1\npeak 0x1p-1\nblocks 2\n0x1p-3\n",
          "loudness 1\npeak -1\nblocks 0\n", "loudness 1\npeak 0x1p-1\nblocks 1\nnan\n",
          "loudness 1\npeak 0x1p-1\nblocks 99999999999\n"}) {
        std::ofstream(path) << text;
        EXPECT_THROW(loadLoudness(path), std::runtime_error) << text;
    }
    std::filesystem::remove(path);
    EXPECT_THROW(loadLoudness(path), std::runtime_error);
}

} // namespace
} // namespace encoders
