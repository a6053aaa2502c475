// The house encoder coding a file in chunks on several threads: the joined stream must decode
// cleanly in mpg123 and ffmpeg, have the input's length, and sound as good as a one-thread
// coding of the same file. Small chunks put several joins into a few seconds of audio.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>

namespace encoders::testing {
namespace {

enum class Signal { Silence, Clicks, PinkNoise, Sweep };

struct Case {
    const char* name;
    const char* layer; // "", "-L1" or "-L2"
    int channels, rate;
    int mode; // -M: 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int kbps;
    Signal signal;
};

// Lengths that are no multiple of any frame size.
constexpr double kSeconds = 3.37;

std::vector<float> makeSignal(Signal signal, int channels, int rate) {
    const long frames = std::lround(kSeconds * rate);
    std::vector<float> out(static_cast<std::size_t>(frames * channels), 0.0f);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> white(-1.0f, 1.0f);
    std::array<double, 3> pink{};
    for (long n = 0; n < frames; ++n) {
        for (int ch = 0; ch < channels; ++ch) {
            float& s = out[n * channels + ch];
            switch (signal) {
            case Signal::Silence:
                break;
            case Signal::Clicks: // a short pulse every 93 ms, off the frame grid
                s = (n + 97 * ch) % (rate * 93 / 1000) < 2 ? 0.9f : 0.0f;
                break;
            case Signal::PinkNoise: { // a three-pole approximation of a -3 dB/octave slope
                const double w = white(random);
                pink = {0.99765 * pink[0] + w * 0.0990460, 0.96300 * pink[1] + w * 0.2965164,
                        0.57000 * pink[2] + w * 1.0526913};
                s = static_cast<float>(0.12 * (pink[0] + pink[1] + pink[2] + w * 0.1848));
                break;
            }
            case Signal::Sweep: { // exponential, 40 Hz to 0.45 of the sample rate
                const double t = static_cast<double>(n) / rate;
                const double k = std::log(0.45 * rate / 40.0) / kSeconds;
                s = static_cast<float>(
                    0.5 * std::sin(2 * std::numbers::pi * 40.0 * (std::exp(k * t) - 1) / k + ch));
                break;
            }
            }
        }
    }
    return out;
}

void writeSamples(const std::filesystem::path& path, const std::vector<float>& samples,
                  int channels, int rate) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(file);
}

// The decoder's delay against the input: the lag that best matches the two, up to two frames.
long delayOf(const Audio& decoded, const std::vector<float>& input) {
    const int c = decoded.channels;
    const long from = static_cast<long>(input.size()) / c / 3;
    long best = 0;
    double bestScore = -1;
    for (long lag = 0; lag <= 2304; ++lag) {
        double score = 0;
        for (long n = from;
             n < from + 4096 && (n + lag) * c < static_cast<long>(decoded.samples.size()); ++n) {
            score += decoded.samples[(n + lag) * c] * input[n * c];
        }
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

// The error energy against the input over the whole file and in its worst 50 ms window.
struct Error {
    double total = 0, worstWindow = 0;
};

Error errorOf(const Audio& decoded, const std::vector<float>& input, long delay, int rate) {
    const int c = decoded.channels;
    const long frames =
        std::min<long>(static_cast<long>(input.size()) / c, decoded.frames() - delay);
    const long window = rate / 20;
    Error error;
    for (long start = 0; start < frames; start += window) {
        double energy = 0;
        for (long i = start * c; i < std::min(frames, start + window) * c; ++i) {
            const double d = decoded.samples[i + delay * c] - input[i];
            energy += d * d;
        }
        error.total += energy;
        error.worstWindow = std::max(error.worstWindow, energy);
    }
    return error;
}

class ParallelEncoding : public ::testing::TestWithParam<Case> {};

TEST_P(ParallelEncoding, JoinedStreamIsValidGaplessAndAsGoodAsOneThread) {
    const Case& c = GetParam();
    TempDir dir;
    const std::string codec = codecIn(dir);
    const auto input = makeSignal(c.signal, c.channels, c.rate);
    writeSamples(dir / "in.wav", input, c.channels, c.rate);
    const bool layer3 = std::string(c.layer).empty();

    auto encode = [&](const char* threads, const std::string& name) {
        ::setenv("SONABOX_ENCODER_THREADS", threads, 1);
        ::setenv("SONABOX_ENCODER_CHUNK_FRAMES", "24", 1);
        std::vector<std::string> args = {codec, (dir / "in.wav").string(), (dir / name).string(),
                                         "-M" + std::to_string(c.mode),
                                         "-B" + std::to_string(c.kbps / 2)};
        if (!layer3) {
            args.emplace_back(c.layer);
        }
        const ProcessResult result = run(args);
        ::unsetenv("SONABOX_ENCODER_THREADS");
        ::unsetenv("SONABOX_ENCODER_CHUNK_FRAMES");
        ASSERT_EQ(result.exitCode, 0) << result.err;
    };
    encode("1", "single.mp3");
    encode("2", "joined.mp3");
    const auto joined = dir / "joined.mp3";

    for (const auto& check :
         {std::vector<std::string>{"mpg123", "-q", "-t", joined.string()},
          {"ffmpeg", "-v", "error", "-i", joined.string(), "-f", "null", "-"}}) {
        const ProcessResult result = run(check);
        EXPECT_TRUE(result.exitCode == 0 && result.err.empty()) << check[0] << ": " << result.err;
    }

    const Audio single = mpg123Decode(dir / "single.mp3", dir / "single.wav");
    const Audio decoded = mpg123Decode(joined, dir / "joined.wav");
    const long inputFrames = static_cast<long>(input.size()) / c.channels;
    if (layer3) {
        // The Info frame's delay and padding give back exactly the input's samples.
        EXPECT_EQ(decoded.frames(), inputFrames);
        EXPECT_EQ(ffmpegDecode(joined, dir / "joined-ffmpeg.wav").frames(), inputFrames);
    } else {
        EXPECT_EQ(decoded.frames(), single.frames());
    }

    // Each decode is lined up with the input on its own (Layers I and II keep the coder's delay).
    auto error = [&](const Audio& audio) {
        return errorOf(audio, input, c.signal == Signal::Silence ? 0 : delayOf(audio, input),
                       c.rate);
    };
    const Error one = error(single);
    const Error many = error(decoded);
    // SNR within 0.5 dB and no 50 ms window more than 3 dB worse than one thread's worst.
    EXPECT_LE(many.total, one.total * std::pow(10.0, 0.05) + 1e-6);
    EXPECT_LE(many.worstWindow, one.worstWindow * std::pow(10.0, 0.3) + 1e-6);
}

// Four seconds of music-like stereo at 44.1 kHz made by sox (-R: the same noise every run): a
// chord with a tremolo, bursts of pink noise and chirps, none of them on the frame grid.
std::vector<float> writeMusic(const TempDir& dir) {
    const auto at = [&](const char* name) {
        return (dir / name).string();
    };
    const std::vector<std::vector<std::string>> steps = {
        {"-n",      at("tones.wav"), "synth", "4",   "sine",  "220", "sine", "277", "synth",
         "4",       "sine",          "mix",   "330", "synth", "4",   "sine", "mix", "1760",
         "tremolo", "0.7",           "60",    "vol", "0.5"},
        {"-n", at("burst.wav"), "synth", "0.23", "pinknoise", "fade", "0.01", "0.23", "0.05", "pad",
         "0.31", "0.33", "vol", "0.6"},
        {"-n", at("chirp.wav"), "synth", "1.7", "sine", "150-9000", "sine", "9000-150", "fade",
         "0.02", "1.7", "0.02", "pad", "0", "0.6", "vol", "0.4"},
        {at("burst.wav"), at("bursts.wav"), "repeat", "5", "trim", "0", "4"},
        {at("chirp.wav"), at("chirps.wav"), "repeat", "1", "trim", "0", "4"},
        {"-m", at("tones.wav"), at("bursts.wav"), at("chirps.wav"), at("in.wav"), "vol", "0.8"},
    };
    for (const auto& step : steps) {
        std::vector<std::string> argv = {"sox", "-R", "-r", "44100", "-c", "2", "-b", "16"};
        if (step.front() != "-n" && step.front() != "-m") {
            argv.resize(1); // the format options would apply to the input files
            argv.emplace_back("-R");
        }
        argv.insert(argv.end(), step.begin(), step.end());
        const ProcessResult result = run(argv);
        EXPECT_EQ(result.exitCode, 0) << result.err;
    }
    return readAudio(dir / "in.wav").samples;
}

// Signal over error in dB, over the whole of aligned audio and over its 50 ms windows.
struct Snr {
    double file = 0;
    std::vector<double> windows;
};

Snr snrOf(const Audio& decoded, const std::vector<float>& input) {
    const int c = decoded.channels;
    const long window = decoded.sampleRate / 20;
    const long frames = static_cast<long>(input.size()) / c;
    Snr snr;
    double signal = 0, error = 0;
    for (long start = 0; start + window <= frames; start += window) {
        double s = 0, e = 0;
        for (long i = start * c; i < (start + window) * c; ++i) {
            const double d = decoded.samples[i] - input[i];
            s += input[i] * input[i];
            e += d * d;
        }
        snr.windows.push_back(10 * std::log10(s / std::max(e, 1e-12)));
        signal += s;
        error += e;
    }
    snr.file = 10 * std::log10(signal / std::max(error, 1e-12));
    return snr;
}

struct TraceCase {
    const char* name;
    int mode, kbps;
};

class JoinTrace : public ::testing::TestWithParam<TraceCase> {};

// A chunk's coder starts afresh; by its first kept frame it must code as the whole-file coder
// does, so that the windows after a join are as good as the same windows coded on one thread.
TEST_P(JoinTrace, WindowsAfterEachJoinAreAsGoodAsOneThreads) {
    const TraceCase& c = GetParam();
    constexpr int kRate = 44100, kChunkFrames = 30, kFrameSamples = 1152;
    TempDir dir;
    const std::string codec = codecIn(dir);
    const auto input = writeMusic(dir);
    ASSERT_EQ(input.size(), 2u * 4 * kRate);
    auto encode = [&](const char* threads, const std::string& name) {
        ::setenv("SONABOX_ENCODER_THREADS", threads, 1);
        ::setenv("SONABOX_ENCODER_CHUNK_FRAMES", std::to_string(kChunkFrames).c_str(), 1);
        const ProcessResult result =
            run({codec, (dir / "in.wav").string(), (dir / (name + ".mp3")).string(),
                 "-M" + std::to_string(c.mode), "-B" + std::to_string(c.kbps / 2)});
        ::unsetenv("SONABOX_ENCODER_THREADS");
        ::unsetenv("SONABOX_ENCODER_CHUNK_FRAMES");
        EXPECT_EQ(result.exitCode, 0) << result.err;
        // mpg123 honours the gapless delay and padding: the decode lines up with the input.
        const Audio audio = mpg123Decode(dir / (name + ".mp3"), dir / (name + ".wav"));
        EXPECT_EQ(audio.samples.size(), input.size());
        return snrOf(audio, input);
    };
    const Snr one = encode("1", "single");
    const Snr many = encode("2", "joined");
    ASSERT_EQ(one.windows.size(), many.windows.size());
    EXPECT_NEAR(many.file, one.file, 0.2);

    // A join falls from four frames before a chunk's first frame to eight after it: the
    // windows over that stretch and the 100 ms after it.
    const long window = kRate / 20;
    const auto windows = static_cast<long>(one.windows.size());
    int joins = 0;
    for (long start = kChunkFrames; (start - 4) * kFrameSamples / window < windows;
         start += kChunkFrames, ++joins) {
        const long first = (start - 4) * kFrameSamples / window;
        const long last =
            std::min(((start + 8) * kFrameSamples + kRate / 10) / window, windows - 1);
        for (long w = first; w <= last; ++w) {
            EXPECT_GE(many.windows[w], one.windows[w] - 1.0)
                << "50 ms window at " << w * 0.05 << " s, after the join near frame " << start;
        }
    }
    EXPECT_GE(joins, 4);
}

INSTANTIATE_TEST_SUITE_P(Joins, JoinTrace,
                         ::testing::Values(TraceCase{"joint_320", 1, 320},
                                           TraceCase{"stereo_128", 0, 128}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Joins, ParallelEncoding,
    ::testing::Values(Case{"L3_stereo_44k_128_pink", "", 2, 44100, 0, 128, Signal::PinkNoise},
                      Case{"L3_joint_48k_320_clicks", "", 2, 48000, 1, 320, Signal::Clicks},
                      Case{"L3_joint_44k_64_sweep", "", 2, 44100, 1, 64, Signal::Sweep},
                      Case{"L3_mono_16k_32_sweep", "", 1, 16000, 3, 32, Signal::Sweep},
                      Case{"L3_stereo_22k_96_silence", "", 2, 22050, 0, 96, Signal::Silence},
                      Case{"L3_mono_32k_48_clicks", "", 1, 32000, 3, 48, Signal::Clicks},
                      Case{"L2_stereo_44k_192_pink", "-L2", 2, 44100, 0, 192, Signal::PinkNoise},
                      Case{"L2_dual_48k_256_clicks", "-L2", 2, 48000, 2, 256, Signal::Clicks},
                      Case{"L2_mono_16k_32_sweep", "-L2", 1, 16000, 3, 32, Signal::Sweep},
                      Case{"L1_joint_32k_128_pink", "-L1", 2, 32000, 1, 128, Signal::PinkNoise},
                      Case{"L1_dual_44k_320_sweep", "-L1", 2, 44100, 2, 320, Signal::Sweep},
                      Case{"L1_mono_22k_32_silence", "-L1", 1, 22050, 3, 32, Signal::Silence}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace encoders::testing
