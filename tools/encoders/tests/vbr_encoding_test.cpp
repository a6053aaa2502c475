// The house encoder at a variable or average bitrate, coded in small chunks on two threads: the
// joined stream must be valid for mp3val, decode to exactly the input's length, carry a Xing
// frame whose counts are the stream's own and whose seek table lands ffmpeg where it is asked
// to, spend about the bits lame spends at the same setting, and sound as good as a one-thread
// coding of the same file.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace encoders::testing {
namespace {

struct Case {
    const char* name;
    const char* rateSwitch; // for our program
    std::vector<std::string> lameRate;
    int rate;
    int mode; // -M: 0 stereo, 1 joint stereo, 2 dual channel (stereo in Layer III), 3 mono
};

constexpr double kSeconds = 3.37; // no multiple of any frame size

// Pink-ish noise with a slow swell, different in each channel: no two stretches alike, so a
// decoded piece lines up with the input at one place only.
std::vector<float> makeNoise(int rate) {
    const long frames = std::lround(kSeconds * rate);
    std::vector<float> out(static_cast<std::size_t>(frames * 2));
    std::mt19937 random(11);
    std::uniform_real_distribution<float> white(-1.0f, 1.0f);
    double low[2] = {0, 0};
    for (long n = 0; n < frames; ++n) {
        const double swell = 0.25 + 0.2 * std::sin(n * 6.0 / rate);
        for (int ch = 0; ch < 2; ++ch) {
            low[ch] = 0.97 * low[ch] + 0.03 * white(random);
            out[n * 2 + ch] = static_cast<float>(swell * (4 * low[ch] + 0.15 * white(random)));
        }
    }
    return out;
}

void writeSamples(const std::filesystem::path& path, const std::vector<float>& samples, int rate) {
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()) / 2);
    sf_close(file);
}

std::vector<std::uint8_t> bytesOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t big32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// The stream as its headers give it, read from the ISO tables here rather than by our parser.
struct Walk {
    std::size_t xingAt = 0;       // the first frame, which must be the Xing frame
    std::string tagName;          // "Xing" or "Info"
    std::uint32_t xingFrames = 0; // its counts
    std::uint32_t xingBytes = 0;
    std::vector<std::uint8_t> toc; // its seek table
    int delay = 0, padding = 0;    // from the LAME extension
    long audioFrames = 0;          // the frames after it
    long streamBytes = 0;          // from the Xing frame to the last frame's end
    int samplesPerFrame = 0;
    std::vector<std::size_t> starts; // of the audio frames
};

int frameBytesAt(const std::vector<std::uint8_t>& b, std::size_t at, int* samples) {
    static const int kMpeg1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kMpeg2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int kRates[] = {44100, 48000, 32000};
    if (at + 4 > b.size() || b[at] != 0xFF || (b[at + 1] & 0xE6) != 0xE2) {
        return 0; // no Layer III frame header
    }
    const int version = (b[at + 1] >> 3) & 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int index = b[at + 2] >> 4;
    const int rateIndex = (b[at + 2] >> 2) & 3;
    if (version == 1 || index == 0 || index == 15 || rateIndex == 3) {
        return 0;
    }
    const int rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const int kbps = version == 3 ? kMpeg1[index] : kMpeg2[index];
    *samples = version == 3 ? 1152 : 576;
    return (version == 3 ? 144000 : 72000) * kbps / rate + ((b[at + 2] >> 1) & 1);
}

Walk walk(const std::filesystem::path& path) {
    const auto b = bytesOf(path);
    Walk w;
    std::size_t at = 0;
    if (b.size() > 10 && b[0] == 'I' && b[1] == 'D' && b[2] == '3') {
        at = 10 + (b[6] << 21 | b[7] << 14 | b[8] << 7 | b[9]);
    }
    w.xingAt = at;
    int samples = 0;
    const int first = frameBytesAt(b, at, &samples);
    if (first == 0) {
        ADD_FAILURE() << path << ": no frame where the audio starts";
        return w;
    }
    const bool mpeg1 = samples == 1152;
    const bool mono = (b[at + 3] >> 6) == 3;
    const std::size_t tag = at + 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    w.tagName.assign(b.begin() + tag, b.begin() + tag + 4);
    w.xingFrames = big32(b, tag + 8);
    w.xingBytes = big32(b, tag + 12);
    w.toc.assign(b.begin() + tag + 16, b.begin() + tag + 116);
    const std::size_t lame = tag + 120;
    w.delay = b[lame + 21] << 4 | b[lame + 22] >> 4;
    w.padding = (b[lame + 22] & 0x0F) << 8 | b[lame + 23];
    w.samplesPerFrame = samples;
    at += first;
    while (at < b.size()) {
        const int size = frameBytesAt(b, at, &samples);
        if (size == 0 || at + size > b.size()) {
            break; // an ID3v1 tag, or the end
        }
        w.starts.push_back(at);
        ++w.audioFrames;
        at += size;
    }
    w.streamBytes = static_cast<long>(at - w.xingAt);
    return w;
}

// Error energy against the input over the file and in its worst 50 ms.
struct Error {
    double total = 0, worstWindow = 0;
};

// The stereo input as a decoding of `channels` channels should give it back.
std::vector<float> asCoded(const std::vector<float>& input, int channels) {
    if (channels == 2) {
        return input;
    }
    std::vector<float> mono(input.size() / 2);
    for (std::size_t n = 0; n < mono.size(); ++n) {
        mono[n] = 0.5f * (input[2 * n] + input[2 * n + 1]);
    }
    return mono;
}

Error errorOf(const Audio& decoded, const std::vector<float>& stereo, int rate) {
    const int c = decoded.channels;
    const auto input = asCoded(stereo, c);
    const long frames = std::min<long>(static_cast<long>(input.size()) / c, decoded.frames());
    const long window = rate / 20;
    Error error;
    for (long start = 0; start < frames; start += window) {
        double energy = 0;
        for (long i = start * c; i < std::min(frames, start + window) * c; ++i) {
            const double d = decoded.samples[i] - input[i];
            energy += d * d;
        }
        error.total += energy;
        error.worstWindow = std::max(error.worstWindow, energy);
    }
    return error;
}

// Where in the input a decoded piece best fits, searched 0.7 s either side of `near`.
double placeOf(const Audio& piece, const std::vector<float>& stereo, int rate, double near) {
    const int c = piece.channels;
    const auto input = asCoded(stereo, c);
    const long length = std::min<long>(2048, piece.frames() - 600);
    const long from = 600; // past the decoder's start-up after the seek
    const long centre = std::lround(near * rate);
    const long inputFrames = static_cast<long>(input.size()) / c;
    long best = 0;
    double bestScore = -1e300;
    for (long at = std::max(0L, centre - rate * 7 / 10);
         at <= std::min(inputFrames - length - from, centre + rate * 7 / 10); ++at) {
        double score = 0;
        for (long n = 0; n < length; ++n) {
            score += piece.samples[(from + n) * c] * input[(at + from + n) * c];
        }
        if (score > bestScore) {
            bestScore = score;
            best = at;
        }
    }
    return static_cast<double>(best) / rate;
}

class VbrEncoding : public ::testing::TestWithParam<Case> {};

TEST_P(VbrEncoding, JoinedStreamIsValidExactSeekableAndAsGoodAsOneThread) {
    const Case& c = GetParam();
    TempDir dir;
    const std::string codec = codecIn(dir);
    const auto input = makeNoise(c.rate);
    const auto wav = dir / "in.wav";
    writeSamples(wav, input, c.rate);
    const long inputFrames = static_cast<long>(input.size()) / 2;

    auto encode = [&](const char* threads, const std::string& name) {
        ::setenv("SONABOX_ENCODER_THREADS", threads, 1);
        ::setenv("SONABOX_ENCODER_CHUNK_FRAMES", "24", 1);
        const ProcessResult result = run({codec, wav.string(), (dir / name).string(),
                                          "-M" + std::to_string(c.mode), "-B64", c.rateSwitch});
        ::unsetenv("SONABOX_ENCODER_THREADS");
        ::unsetenv("SONABOX_ENCODER_CHUNK_FRAMES");
        ASSERT_EQ(result.exitCode, 0) << result.err;
    };
    encode("1", "single.mp3");
    encode("2", "joined.mp3");
    const auto joined = dir / "joined.mp3";

    const ProcessResult validator = run({"mp3val", joined.string()});
    EXPECT_EQ(validator.out.find("WARNING"), std::string::npos) << validator.out;
    EXPECT_EQ(validator.out.find("ERROR"), std::string::npos) << validator.out;
    for (const auto& check :
         {std::vector<std::string>{"mpg123", "-q", "-t", joined.string()},
          {"ffmpeg", "-v", "error", "-i", joined.string(), "-f", "null", "-"}}) {
        const ProcessResult result = run(check);
        EXPECT_TRUE(result.exitCode == 0 && result.err.empty()) << check[0] << ": " << result.err;
    }

    // The Xing frame counts what follows it; delay and padding give back the input exactly.
    const Walk w = walk(joined);
    EXPECT_EQ(w.tagName, "Xing");
    EXPECT_EQ(static_cast<long>(w.xingFrames), w.audioFrames);
    EXPECT_EQ(static_cast<long>(w.xingBytes), w.streamBytes);
    EXPECT_EQ(w.delay + inputFrames + w.padding, w.audioFrames * w.samplesPerFrame);
    ASSERT_EQ(w.toc.size(), 100u);
    EXPECT_TRUE(std::is_sorted(w.toc.begin(), w.toc.end()));
    // Entry 50 points at the frame halfway through.
    const double half = (w.starts[w.audioFrames / 2] - w.xingAt) * 256.0 / w.streamBytes;
    EXPECT_NEAR(w.toc[50], half, 1.5);

    EXPECT_EQ(mpg123Decode(joined, dir / "joined.wav").frames(), inputFrames);
    const Audio decoded = ffmpegDecode(joined, dir / "joined-ffmpeg.wav");
    EXPECT_EQ(decoded.frames(), inputFrames);
    // ffprobe's duration counts every frame after the Xing frame, the delay included.
    EXPECT_NEAR(std::stod(probe(joined).at("duration")),
                static_cast<double>(w.audioFrames) * w.samplesPerFrame / c.rate, 0.001);

    for (const double time : {1.0, 2.2}) {
        const auto piece = dir / ("seek" + std::to_string(time) + ".wav");
        const ProcessResult seek =
            run({"ffmpeg", "-v", "error", "-y", "-ss", std::to_string(time), "-i", joined.string(),
                 "-t", "0.3", "-f", "wav", piece.string()});
        ASSERT_EQ(seek.exitCode, 0) << seek.err;
        EXPECT_NEAR(placeOf(readAudio(piece), input, c.rate, time), time, 0.5) << time;
    }

    // About the bits lame spends at the same setting on the same input, coded at the input's
    // rate as ours is (lame left to itself raises the -V quality below 44.1 kHz).
    std::vector<std::string> lame = {"lame",       "--quiet",
                                     "-q",         "3",
                                     "--resample", std::to_string(c.rate / 1000.0),
                                     "-m",         c.mode == 1 ? "j" : c.mode == 3 ? "m" : "s"};
    lame.insert(lame.end(), c.lameRate.begin(), c.lameRate.end());
    lame.insert(lame.end(), {wav.string(), (dir / "lame.mp3").string()});
    ASSERT_EQ(run(lame).exitCode, 0);
    const Walk reference = walk(dir / "lame.mp3");
    EXPECT_NEAR(static_cast<double>(w.streamBytes) / reference.streamBytes, 1.0, 0.10);

    // SNR within 0.2 dB of one thread's over the file, and within 3 dB in the worst 50 ms.
    const Error one = errorOf(ffmpegDecode(dir / "single.mp3", dir / "single.wav"), input, c.rate);
    const Error many = errorOf(decoded, input, c.rate);
    EXPECT_LE(many.total, one.total * std::pow(10.0, 0.02));
    EXPECT_LE(many.worstWindow, one.worstWindow * std::pow(10.0, 0.3));
}

INSTANTIATE_TEST_SUITE_P(
    RatesAndModes, VbrEncoding,
    ::testing::Values(Case{"V2_stereo_44k", "-RV2", {"-V2"}, 44100, 0},
                      Case{"V2_joint_44k", "-RV2", {"-V2"}, 44100, 1},
                      Case{"V5_dual_48k", "-RV5", {"-V5"}, 48000, 2},
                      Case{"V0_mono_44k", "-RV0", {"-V0"}, 44100, 3},
                      Case{"V4_joint_22k", "-RV4", {"-V4"}, 22050, 1},
                      Case{"ABR192_stereo_44k", "-RA192", {"--abr", "192"}, 44100, 0},
                      Case{"ABR192_joint_44k", "-RA192", {"--abr", "192"}, 44100, 1},
                      Case{"ABR128_dual_32k", "-RA128", {"--abr", "128"}, 32000, 2},
                      Case{"ABR96_mono_44k", "-RA96", {"--abr", "96"}, 44100, 3},
                      Case{"ABR64_mono_16k", "-RA64", {"--abr", "64"}, 16000, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// A quality or average rate out of its range, or one asked of Layer I or II, is refused in one
// line before anything is written.
TEST(VbrSwitches, OutOfRangeIsRefusedInOneLine) {
    TempDir dir;
    const std::string codec = codecIn(dir);
    const auto wav = dir / "in.wav";
    writeSamples(wav, makeNoise(8000), 8000);
    for (const std::vector<std::string>& extra : {std::vector<std::string>{"-RV10"},
                                                  {"-RV-1"},
                                                  {"-RVx"},
                                                  {"-RV"},
                                                  {"-RA7"},
                                                  {"-RA321"},
                                                  {"-RA"},
                                                  {"-RX2"},
                                                  {"-RV2", "-L2"},
                                                  {"-RA128", "-L1"}}) {
        std::vector<std::string> args = {codec, wav.string(), (dir / "out.mp3").string(), "-B64"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProcessResult result = run(args);
        EXPECT_EQ(result.exitCode, 2) << extra[0];
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.mp3")) << extra[0];
    }
}

} // namespace
} // namespace encoders::testing
