// The kinds FFmpeg's libraries read, made by ffmpeg's own encoders and muxers, through each
// program: the exact length ffmpeg decodes, a 5.1 source mixed down at the loudness an
// independent mix measures, and a film without sound, truncated files and unknown bytes
// refused with one line and nothing written.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace encoders::testing {
namespace {

struct Kind {
    std::string name;      // the file's name
    std::string arguments; // ffmpeg's, after the sound's input
    std::string skipped;   // why the row cannot run, when ffmpeg cannot write the kind
};

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Arguments split at spaces (none of the test's arguments holds one).
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) {
            out.push_back(text.substr(at, end - at));
        }
        at = end + 1;
    }
    return out;
}

class FfmpegSources : public ::testing::TestWithParam<Kind> {
protected:
    // 1.2 s of stereo pink noise, encoded into the row's kind.
    std::filesystem::path makeSource() {
        const auto wav = work_ / "noise.wav";
        EXPECT_EQ(run({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav.string(), "synth",
                       "1.2", "pinknoise", "vol", "0.3"})
                      .exitCode,
                  0);
        const auto source = work_ / GetParam().name;
        std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y", "-i", wav.string()};
        for (std::string& word : words(GetParam().arguments)) {
            argv.push_back(word);
        }
        argv.push_back(source.string());
        const ProcessResult made = run(argv);
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return source;
    }

    TempDir work_;
};

TEST_P(FfmpegSources, EachProgramCodesTheLengthFfmpegDecodes) {
    if (!GetParam().skipped.empty()) {
        GTEST_SKIP() << GetParam().skipped;
    }
    const auto source = makeSource();
    const long frames = ffmpegDecode(source, work_ / "reference.wav").frames();
    ASSERT_GT(frames, 44100);
    const auto out = work_ / "song.mp3";
    const std::string stem = source.stem().string();
    const std::vector<std::pair<std::vector<std::string>, std::filesystem::path>> programs = {
        {{codecIn(work_), source.string(), out.string(), "-M1", "-B64", "-L3"}, out},
        {{kBladeenc, source.string(), "-128", "-QUIT"}, work_ / (stem + ".MP3")},
        {{kPlugger, source.string(), out.string(), "-b", "128"}, out},
    };
    for (const auto& [argv, written] : programs) {
        SCOPED_TRACE(argv[0]);
        // Plugger codes by small chunks on several threads: the length must be exact there too.
        ::setenv("SONABOX_ENCODER_CHUNK_FRAMES", "20", 1);
        const ProcessResult result = run(argv);
        ::unsetenv("SONABOX_ENCODER_CHUNK_FRAMES");
        ASSERT_EQ(result.exitCode, 0) << result.err;
        // Progress by the length the file declares, exact or not.
        EXPECT_NE(result.out.find("50% done"), std::string::npos) << result.out;
        EXPECT_EQ(ffmpegDecode(written, work_ / "decoded.wav").frames(), frames);
        std::filesystem::remove(written);
    }
}

TEST_P(FfmpegSources, ATruncatedFileIsRefusedInOneLineAndLeftAlone) {
    if (!GetParam().skipped.empty()) {
        GTEST_SKIP() << GetParam().skipped;
    }
    const auto source = makeSource();
    const std::string whole = slurp(source);
    const auto cut = work_ / ("cut" + source.extension().string());
    std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() * 6 / 10);
    const std::string before = slurp(cut);
    const auto out = work_ / "cut.mp3";
    const ProcessResult result =
        run({codecIn(work_), cut.string(), out.string(), "-M1", "-B64", "-L3"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find("'" + cut.string() + "'"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(slurp(cut), before);
    // Nothing half-written is left beside the output either.
    for (const auto& entry : std::filesystem::directory_iterator(work_.path())) {
        EXPECT_EQ(entry.path().string().find("cut.mp3"), std::string::npos) << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FfmpegSources,
    ::testing::Values(Kind{"aac.m4a", "-c:a aac -b:a 96k", ""}, Kind{"alac.m4a", "-c:a alac", ""},
                      Kind{"song.m4b", "-c:a aac -f mp4", ""}, Kind{"song.wma", "-c:a wmav2", ""},
                      Kind{"song.wv", "-c:a wavpack", ""}, Kind{"song.tta", "-c:a tta", ""},
                      Kind{"flac.mka", "-c:a flac", ""}, Kind{"opus.mkv", "-c:a libopus", ""},
                      Kind{"vorbis.webm", "-c:a libvorbis", ""},
                      Kind{"pcm.mov", "-c:a pcm_s24le", ""},
                      Kind{"film.mp4",
                           "-f lavfi -i testsrc=duration=1.2:size=32x32:rate=10 -c:v mpeg4 "
                           "-c:a aac -shortest",
                           ""},
                      Kind{"song.dsf", "",
                           "ffmpeg has no DSF or DFF writer (FfmpegSourcesDsd writes one)"},
                      Kind{"song.ape", "", "ffmpeg has no APE encoder"}),
    [](const ::testing::TestParamInfo<Kind>& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

// A 5.1 FLAC is mixed down with the standard matrix, scaled to keep within full scale, and
// its gain is that of an independent mix of the same coefficients.
TEST(FfmpegSourcesMixdown, SixChannelsAreMixedDownAndMeasuredAsCoded) {
    const TempDir work;
    const auto source = work / "six.flac";
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y"};
    for (const char* tone : {"300", "500", "700", "50", "900", "1100"}) {
        argv.insert(argv.end(), {"-f", "lavfi", "-i", std::string("sine=") + tone + ":d=1.5"});
    }
    argv.insert(argv.end(),
                {"-filter_complex", "[0][1][2][3][4][5]join=inputs=6:channel_layout=5.1", "-c:a",
                 "flac", source.string()});
    ASSERT_EQ(run(argv).exitCode, 0);
    // ITU-R BS.775: L = FL + 0.7071 C + 0.7071 BL, scaled by 1 / (1 + 2 * 0.7071).
    const auto mix = work / "mix.wav";
    ASSERT_EQ(run({"ffmpeg", "-v", "error", "-y", "-i", source.string(), "-af",
                   "pan=stereo|FL=0.414214*FL+0.292893*FC+0.292893*BL|"
                   "FR=0.414214*FR+0.292893*FC+0.292893*BR",
                   "-c:a", "pcm_f32le", mix.string()})
                  .exitCode,
              0);
    const double expectedGain = -18.0 - ffmpegLoudness({mix});
    const auto out = work / "six.mp3";
    const ProcessResult result =
        run({codecIn(work), source.string(), out.string(), "-M1", "-B64", "-L3"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE((result.out + result.err).find("mixed down from 6 channels"), std::string::npos);
    EXPECT_EQ(probe(out)["channels"], "2");
    EXPECT_NEAR(std::stod(probeTags(out)["REPLAYGAIN_TRACK_GAIN"]), expectedGain, 0.1);
    EXPECT_EQ(ffmpegDecode(out, work / "decoded.wav").frames(), readAudio(mix).frames());
}

// A DSD file (DSF: one bit per sample at 2.8224 MHz) is read as PCM at a 352.8 kHz rate and
// coded at 44.1 kHz, exactly one second of it. ffmpeg writes no DSF, so the test lays one out
// itself: a 1 kHz tone through a second-order sigma-delta modulator, bits least significant first,
// in blocks of 4096 bytes per channel.
TEST(FfmpegSourcesDsd, ADsfFileIsDecodedAndResampled) {
    const TempDir work;
    constexpr std::uint64_t kRate = 2822400;
    constexpr std::uint64_t kBlock = 4096;
    const std::uint64_t samples = kRate; // one second
    const std::uint64_t blocks = (samples / 8 + kBlock - 1) / kBlock;
    std::string data(blocks * kBlock * 2, '\0');
    for (int channel = 0; channel < 2; ++channel) {
        double first = 0;
        double second = 0;
        for (std::uint64_t n = 0; n < samples; ++n) {
            const double x = 0.4 * std::sin(2 * M_PI * 1000.0 * static_cast<double>(n) / kRate);
            const double bit = first + second >= 0 ? 1.0 : -1.0;
            first += x - bit;
            second += first - bit;
            if (bit > 0) {
                const std::uint64_t byte = n / 8;
                data[(byte / kBlock * 2 + static_cast<std::uint64_t>(channel)) * kBlock +
                     byte % kBlock] |= static_cast<char>(1 << (n % 8));
            }
        }
    }
    const auto le = [](std::uint64_t value, int bytes) {
        return littleEndian(value, bytes);
    };
    const std::string format = "fmt " + le(52, 8) + le(1, 4) + le(0, 4) + le(2, 4) + le(2, 4) +
                               le(kRate, 4) + le(1, 4) + le(samples, 8) + le(kBlock, 4) + le(0, 4);
    const std::string body = format + "data" + le(12 + data.size(), 8) + data;
    const auto source = work / "tone.dsf";
    std::ofstream(source, std::ios::binary)
        << "DSD " + le(28, 8) + le(28 + body.size(), 8) + le(0, 8) + body;
    ASSERT_EQ(probe(source)["sample_rate"], "352800");
    const auto out = work / "tone.mp3";
    const ProcessResult result =
        run({codecIn(work), source.string(), out.string(), "-M1", "-B64", "-L3"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Audio decoded = ffmpegDecode(out, work / "decoded.wav");
    EXPECT_EQ(decoded.sampleRate, 44100); // an eighth of the DSD rate, coded as it is
    EXPECT_EQ(decoded.frames(), 44100);
    EXPECT_GT(sineFitSnrDb(decoded.channel(0), decoded.sampleRate, 1000.0), 20.0);
}

// Refusals in one line: a film without sound, and bytes no library reads.
TEST(FfmpegSourcesRefusals, NoSoundStreamAndUnknownBytesAreRefused) {
    const TempDir work;
    const auto film = work / "film.mkv";
    ASSERT_EQ(run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                   "testsrc=duration=0.5:size=32x32:rate=10", "-c:v", "mpeg4", film.string()})
                  .exitCode,
              0);
    const auto junk = work / "junk.m4a";
    std::ofstream(junk, std::ios::binary) << std::string(5000, 'x');
    for (const auto& [file, reason] : {std::pair{film, std::string("holds no audio stream")},
                                       std::pair{junk, std::string("cannot read")}}) {
        const auto out = work / "out.mp3";
        const ProcessResult result =
            run({codecIn(work), file.string(), out.string(), "-M1", "-B64", "-L3"});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

} // namespace
} // namespace encoders::testing

namespace encoders::testing {
namespace {

// FFmpeg's libraries are loaded only for a source that needs them: the loader's own account of
// the files it maps (LD_DEBUG=files) names libavformat only for the M4A.
TEST(FfmpegSourcesLoading, OnlyASourceOfAnFfmpegKindLoadsFfmpegsLibraries) {
    const TempDir work;
    const auto wav = work / "tone.wav";
    writeWav(wav, {});
    const auto flac = work / "tone.flac";
    const auto m4a = work / "tone.m4a";
    ASSERT_EQ(run({"flac", "-s", wav.string(), "-o", flac.string()}).exitCode, 0);
    ASSERT_EQ(
        run({"ffmpeg", "-v", "error", "-i", wav.string(), "-c:a", "aac", m4a.string()}).exitCode,
        0);
    const auto out = work / "out.mp3";
    const std::string codec = codecIn(work);
    const struct {
        std::vector<std::string> argv;
        bool loads;
    } rows[] = {
        {{codec, wav.string(), out.string(), "-M1", "-B64"}, false},
        {{kPlugger, flac.string(), out.string(), "-b", "128"}, false},
        {{codec, m4a.string(), out.string(), "-M1", "-B64"}, true},
        {{kBladeenc, m4a.string(), "-128", "-QUIT"}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.argv[1] + " " + row.argv[0]);
        const auto trace = work / "loader";
        std::vector<std::string> argv = {"env", "LD_DEBUG=files",
                                         "LD_DEBUG_OUTPUT=" + trace.string()};
        argv.insert(argv.end(), row.argv.begin(), row.argv.end());
        const ProcessResult result = run(argv);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::string loaded;
        for (const auto& entry : std::filesystem::directory_iterator(work.path())) {
            if (entry.path().filename().string().starts_with("loader.")) {
                loaded += slurp(entry.path());
                std::filesystem::remove(entry.path());
            }
        }
        ASSERT_NE(loaded.find("libsndfile"), std::string::npos) << "no loader trace";
        EXPECT_EQ(loaded.find("libavformat") != std::string::npos, row.loads);
        EXPECT_EQ(loaded.find("libsonabox-ffmpeg.so") != std::string::npos, row.loads);
        std::filesystem::remove(out);
        std::filesystem::remove(work / "tone.MP3");
    }
}

} // namespace
} // namespace encoders::testing
