// The encoder programs run as processes on generated WAV files; every output is checked with
// ffprobe, ffmpeg and mpg123.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace encoders::testing {
namespace {

struct Expected {
    std::string codec; // mp1, mp2 or mp3
    int kbps, sampleRate, channels;
    std::string mode; // as mpg123 names it: stereo, j-s, dual, mono
};

int frameSamples(const std::string& codec, int sampleRate) {
    if (codec == "mp1") {
        return 384;
    }
    // Layer III at the half and quarter rates has half-size frames.
    return codec == "mp3" && sampleRate < 32000 ? 576 : 1152;
}

// The format that ffprobe finds in an encoded file.
void expectProbedFormat(std::map<std::string, std::string>& info, const Expected& expected) {
    EXPECT_EQ(info["exit"], "0") << info["stderr"];
    EXPECT_EQ(info["codec_name"], expected.codec);
    EXPECT_EQ(info["bit_rate"], std::to_string(expected.kbps * 1000));
    EXPECT_EQ(info["sample_rate"], std::to_string(expected.sampleRate));
    EXPECT_EQ(info["channels"], std::to_string(expected.channels));
    EXPECT_EQ(info["channel_layout"], expected.channels == 1 ? "mono" : "stereo");
}

// The encoded file's length, within a frame of its source's.
void expectDuration(const std::filesystem::path& file, double probedSeconds,
                    const Expected& expected, double sourceSeconds, const TempDir& scratch) {
    const double frameSeconds =
        static_cast<double>(frameSamples(expected.codec, expected.sampleRate)) /
        expected.sampleRate;
    if (expected.codec != "mp3") {
        EXPECT_NEAR(probedSeconds, sourceSeconds, frameSeconds);
        return;
    }
    // ffprobe counts Layer III frames including LAME's delay of 1105 samples and the padding of
    // the last frame (as for files of the lame command line); the decoded length, trimmed by the
    // file's Info frame, is exact.
    constexpr double kLameDelaySamples = 1105;
    EXPECT_GE(probedSeconds, sourceSeconds);
    EXPECT_LE(probedSeconds,
              sourceSeconds + kLameDelaySamples / expected.sampleRate + frameSeconds);
    const Audio decoded = ffmpegDecode(file, scratch / "ffmpeg.wav");
    EXPECT_NEAR(static_cast<double>(decoded.frames()) / decoded.sampleRate, sourceSeconds,
                frameSeconds);
}

// mpg123 decodes the file without a complaint and finds the layer and mode asked for.
void expectMpg123Accepts(const std::filesystem::path& file, const Expected& expected) {
    const Mpg123Report report = mpg123Check(file);
    EXPECT_EQ(report.exitCode, 0) << report.output;
    for (const char* trouble : {"rror", "arning", "llegal", "Junk"}) {
        EXPECT_EQ(report.output.find(trouble), std::string::npos) << report.output;
    }
    const std::string layer = expected.codec == "mp1"   ? " L I "
                              : expected.codec == "mp2" ? " L II "
                                                        : " L III ";
    EXPECT_NE(report.streamLine.find(layer), std::string::npos) << report.streamLine;
    EXPECT_TRUE(report.streamLine.ends_with(" " + expected.mode)) << report.streamLine;
}

// Checks one encoded file against what was asked for and against its source.
void expectStream(const std::filesystem::path& file, const Expected& expected, long sourceFrames,
                  int sourceRate, const TempDir& scratch) {
    SCOPED_TRACE(file.filename().string());
    ASSERT_TRUE(std::filesystem::exists(file));
    auto info = probe(file);
    expectProbedFormat(info, expected);
    const double sourceSeconds = static_cast<double>(sourceFrames) / sourceRate;
    expectDuration(file, std::stod(info["duration"]), expected, sourceSeconds, scratch);
    expectMpg123Accepts(file, expected);
}

// A successful run: exit code 0, a few progress lines, and the notes on standard error.
void expectSuccess(const ProcessResult& result, std::size_t notes = 0) {
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(lines(result.err).size(), notes) << result.err;
    const auto progress = lines(result.out);
    EXPECT_GE(progress.size(), 3u) << result.out;
    EXPECT_LE(progress.size(), 10u) << result.out;
    if (!progress.empty()) {
        EXPECT_TRUE(progress.back().starts_with("Written ")) << result.out;
    }
}

class EncoderPrograms : public ::testing::Test {
protected:
    TempDir programs; // where the house encoder's "codec" copy lies
    TempDir work;
    std::string codec = codecIn(programs);
};

TEST_F(EncoderPrograms, HouseLayersIIAndIIIInEveryMode) {
    const auto wav = work / "song.wav";
    const long frames = writeWav(
        wav, {.channels = 2, .sampleRate = 48000, .seconds = 1.0, .format = SF_FORMAT_PCM_24});
    const std::pair<std::string, std::string> modes[] = {
        {"-M0", "stereo"}, {"-M1", "j-s"}, {"-M2", "dual"}, {"-M3", "mono"}};
    for (const std::string layer : {"-L2", "-L3"}) {
        for (const auto& [flag, mode] : modes) {
            SCOPED_TRACE(layer + flag);
            const auto out = work / ("song" + flag).append(layer).append(".mp3");
            const ProcessResult result =
                run({codec, wav.string(), out.string(), flag, "-B96", layer});
            // Dual channel does not exist in Layer III, which the run says.
            const bool dualInIII = layer == "-L3" && flag == "-M2";
            expectSuccess(result, dualInIII ? 1 : 0);
            EXPECT_EQ(result.err.find("dual channel") != std::string::npos, dualInIII);
            expectStream(out,
                         {layer == "-L2" ? "mp2" : "mp3", 192, 48000, mode == "mono" ? 1 : 2,
                          dualInIII ? "stereo" : mode},
                         frames, 48000, work);
            // Each stereo channel holds one of the tones.
            const Audio decoded = mpg123Decode(out, work / "decoded.wav");
            for (int ch = 0; ch < decoded.channels && decoded.channels == 2; ++ch) {
                EXPECT_GT(sineFitSnrDb(decoded.channel(ch), 48000, ch == 0 ? 440 : 660), 25);
            }
        }
    }
}

TEST_F(EncoderPrograms, HouseLayerIDecodesToItsInput) {
    struct Case {
        std::string mode, half;
        int rate, format, kbps;
        std::string mpg123Mode;
        double minSnrDb;
    };
    const Case cases[] = {
        {"-M0", "-B192", 44100, SF_FORMAT_PCM_16, 384, "stereo", 40},
        {"-M2", "-B112", 48000, SF_FORMAT_FLOAT, 224, "dual", 30},
        {"-M1", "-B64", 32000, SF_FORMAT_PCM_32, 128, "j-s", 25},
        {"-M3", "-B96", 48000, SF_FORMAT_PCM_U8, 192, "mono", 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode + " " + c.half);
        const auto wav = work / "song.wav";
        const int channels = c.mode == "-M3" ? 1 : 2;
        const long frames = writeWav(
            wav, {.channels = channels, .sampleRate = c.rate, .seconds = 1.0, .format = c.format});
        const auto out = work / "song.mp1";
        expectSuccess(run({codec, wav.string(), out.string(), c.mode, c.half, "-L1"}));
        expectStream(out, {"mp1", c.kbps, c.rate, channels, c.mpg123Mode}, frames, c.rate, work);
        // Our encoder makes up for the filter banks' delay: sample n decodes to sample n.
        const Audio source = readAudio(wav);
        const Audio decoded = mpg123Decode(out, work / "decoded.wav");
        ASSERT_EQ(decoded.channels, channels);
        EXPECT_EQ(decoded.frames(), (frames + 383) / 384 * 384);
        for (int ch = 0; ch < channels; ++ch) {
            EXPECT_GT(alignedSnrDb(source.channel(ch), decoded.channel(ch), 1000), c.minSnrDb)
                << "channel " << ch;
        }
    }
}

TEST_F(EncoderPrograms, HouseLayersIAndIIAtHalfRatesAndResampled) {
    struct Case {
        std::string layer;
        int inputRate, format, outputRate;
        std::string half;
        int kbps;
    };
    const Case cases[] = {
        {"-L1", 22050, SF_FORMAT_PCM_16, 22050, "-B56", 112}, // MPEG-2 Layer I allows 112
        {"-L2", 22050, SF_FORMAT_PCM_16, 22050, "-B32", 64},
        {"-L2", 11025, SF_FORMAT_PCM_U8, 22050, "-B32", 64},
        {"-L1", 96000, SF_FORMAT_FLOAT, 48000, "-B64", 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layer + " at " + std::to_string(c.inputRate));
        const auto wav = work / "voice.wav";
        const long frames = writeWav(wav, {.channels = 1,
                                           .sampleRate = c.inputRate,
                                           .seconds = 1.0,
                                           .format = c.format,
                                           .frequencies = {440.0}});
        const auto out = work / "voice.mp3";
        const ProcessResult result =
            run({codec, wav.string(), out.string(), "-M3", c.half, c.layer});
        const bool resampled = c.inputRate != c.outputRate;
        expectSuccess(result, resampled ? 1 : 0);
        if (resampled) {
            EXPECT_NE(result.err.find("resampling to " + std::to_string(c.outputRate) + " Hz"),
                      std::string::npos)
                << result.err;
        }
        expectStream(out, {c.layer == "-L1" ? "mp1" : "mp2", c.kbps, c.outputRate, 1, "mono"},
                     frames, c.inputRate, work);
        const Audio decoded = mpg123Decode(out, work / "decoded.wav");
        double amplitude = 0;
        EXPECT_GT(sineFitSnrDb(decoded.channel(0), decoded.sampleRate, 440.0, &amplitude), 25);
        EXPECT_NEAR(amplitude, 0.5, 0.05);
    }
}

TEST_F(EncoderPrograms, HouseSnapsBitratesTheFormatLacksAndSaysSo) {
    struct Case {
        std::vector<std::string> switches;
        int rate, channels;
        std::string codec;
        int kbps;
        std::string mode;
    };
    const Case cases[] = {
        {{"-M0", "-B24", "-L1"}, 44100, 2, "mp1", 64, "stereo"}, // 48: Layer I has none
        {{"-M3", "-B56", "-L1"}, 44100, 1, "mp1", 128, "mono"},  // 112
        {{"-M3", "-B160", "-L2"}, 44100, 1, "mp2", 192, "mono"}, // 320 mono
        {{"-M1", "-B24", "-L2"}, 44100, 2, "mp2", 64, "j-s"},    // 48 in two channels
        {{"-M0", "-B160"}, 22050, 2, "mp3", 160, "stereo"},      // 320 at MPEG-2
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.switches[1]);
        const auto wav = work / "song.wav";
        const long frames =
            writeWav(wav, {.channels = c.channels, .sampleRate = c.rate, .seconds = 0.5});
        const auto out = work / "song.mp3";
        std::vector<std::string> argv = {codec, wav.string(), out.string()};
        argv.insert(argv.end(), c.switches.begin(), c.switches.end());
        const ProcessResult result = run(argv);
        expectSuccess(result, 1);
        EXPECT_NE(result.err.find("using " + std::to_string(c.kbps) + " kbit/s"), std::string::npos)
            << result.err;
        expectStream(out, {c.codec, c.kbps, c.rate, c.channels, c.mode}, frames, c.rate, work);
    }
}

TEST_F(EncoderPrograms, BladeencWritesBesideItsInput) {
    const auto wav = work / "song.wav";
    const long frames = writeWav(wav, {.channels = 2, .sampleRate = 44100, .seconds = 1.0});
    // "in.wav"  -128 -QUIT  -PRIO=HIGHEST  -PRIO=HIGHEST
    expectSuccess(
        run({kBladeenc, wav.string(), "-128", "-QUIT", "-PRIO=HIGHEST", "-PRIO=HIGHEST"}));
    EXPECT_EQ(work.entries(), (std::vector<std::string>{"song.MP3", "song.wav"}));
    expectStream(work / "song.MP3", {"mp3", 128, 44100, 2, "stereo"}, frames, 44100, work);

    // "in.wav" -MONO -128 -QUIT -PRIO=HIGHEST, on an 8-bit 48 kHz file with a blank in its path.
    std::filesystem::create_directory(work / "my music");
    const auto other = work / "my music" / "take two.wav";
    const long otherFrames = writeWav(
        other, {.channels = 2, .sampleRate = 48000, .seconds = 0.7, .format = SF_FORMAT_PCM_U8});
    expectSuccess(run({kBladeenc, other.string(), "-MONO", "-128", "-QUIT", "-PRIO=HIGHEST"}));
    expectStream(work / "my music" / "take two.MP3", {"mp3", 128, 48000, 1, "mono"}, otherFrames,
                 48000, work);
}

// Names are the file system's bytes, not text: a name that is not UTF-8 (a Latin-1 letter, a
// lone 0xFF) is read and written as it stands, and BladeEnc's output name keeps its bytes.
TEST_F(EncoderPrograms, NamesThatAreNotUtf8KeepTheirBytes) {
    const std::string stem = "caf\xe9 \xff";
    const auto wav = work / (stem + ".wav");
    const long frames = writeWav(wav, {.channels = 1, .sampleRate = 44100, .seconds = 0.5});
    expectSuccess(
        run({codec, wav.string(), (work / (stem + ".mp1")).string(), "-M3", "-B64", "-L1"}));
    expectSuccess(run({kPlugger, wav.string(), (work / (stem + ".mp3")).string(), "-b", "64"}));
    expectSuccess(run({kBladeenc, wav.string(), "-64", "-QUIT"}));
    EXPECT_EQ(work.entries(), (std::vector<std::string>{stem + ".MP3", stem + ".mp1", stem + ".mp3",
                                                        stem + ".wav"}));
    EXPECT_EQ(probe(work / (stem + ".mp1"))["codec_name"], "mp1");
    for (const char* extension : {".MP3", ".mp3"}) {
        EXPECT_EQ(mpg123Decode(work / (stem + extension), work / "decoded.wav").frames(), frames);
    }
}

// LAME's Info frame records the quality the file was made with, after the frame count, byte
// count and seek table that a constant-bitrate file's Info frame always holds.
int lameQualityField(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), {});
    const auto info = data.find("Info");
    if (info == std::string::npos || data.substr(info + 4, 4) != std::string("\0\0\0\x0f", 4)) {
        return -1;
    }
    return static_cast<unsigned char>(data[info + 8 + 4 + 4 + 100 + 3]);
}

TEST_F(EncoderPrograms, PluggerEncodesWithTheBestQualityMixesDownAndResamples) {
    const auto wav = work / "song.wav";
    const long frames = writeWav(
        wav, {.channels = 2, .sampleRate = 48000, .seconds = 1.0, .format = SF_FORMAT_FLOAT});
    const auto stereo = work / "stereo.mp3";
    const auto mono = work / "mono.mp3";
    const auto standard = work / "standard.mp3";
    expectSuccess(run({kPlugger, wav.string(), stereo.string(), "-b", "128", "-z"}));
    expectSuccess(run({kPlugger, wav.string(), mono.string(), "-b", "128", "-z", "-dm"}));
    // A rate Layer III cannot code is resampled, which the run says.
    const auto odd = work / "odd.wav";
    const long oddFrames = writeWav(odd, {.channels = 2, .sampleRate = 37800, .seconds = 1.0});
    expectSuccess(run({kPlugger, odd.string(), standard.string(), "-b", "96"}), 1);
    expectStream(standard, {"mp3", 96, 44100, 2, "stereo"}, oddFrames, 37800, work);
    expectStream(stereo, {"mp3", 128, 48000, 2, "stereo"}, frames, 48000, work);
    expectStream(mono, {"mp3", 128, 48000, 1, "mono"}, frames, 48000, work);
    // The mix holds both tones.
    const Audio decoded = mpg123Decode(mono, work / "decoded.wav");
    double a440 = 0, a660 = 0;
    sineFitSnrDb(decoded.channel(0), 48000, 440, &a440);
    sineFitSnrDb(decoded.channel(0), 48000, 660, &a660);
    EXPECT_NEAR(a440, 0.25, 0.03);
    EXPECT_NEAR(a660, 0.25, 0.03);
    // -z asks LAME for its best (slowest) search, which the file records.
    EXPECT_GT(lameQualityField(stereo), lameQualityField(standard));
    EXPECT_GT(lameQualityField(standard), 0);
}

// Tags travel from the WAV's INFO or ID3 chunk into the MP3; damaged ones are skipped with a
// warning and the audio is still encoded whole.
TEST_F(EncoderPrograms, TagsSurviveAndDamageIsToldButNotFatal) {
    using Tags = std::map<std::string, std::string>;
    // Title, artist, album, track, year, genre and comment as ffprobe must read them back
    // from an INFO chunk of these values (an empty entry is no field).
    auto fields = [](const std::vector<std::string>& values) {
        const char* names[] = {"title", "artist", "album", "track", "date", "genre", "comment"};
        Tags tags;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!values[i].empty()) {
                tags[names[i]] = values[i];
            }
        }
        return tags;
    };
    const std::vector<std::string> all = {
        "Café Ünïcode 日本語", "Sigur Rós",       "Ágætis byrjun", "7", "1999",
        "Post-Rock",           "東京 → Reykjavík"};
    // Latin-1 that also fits an ID3v1 tag.
    const std::vector<std::string> latin1 = {"Post", "Bj\xf6rk", "Post", "3", "1995", "Rock", ""};
    // ID3v2.3 with a UTF-16 title, Latin-1 texts and a comment; an INFO album beside it.
    const std::string id3 =
        riffChunk("id3 ", std::string("ID3\3\0\0\0\0\0\x3f"
                                      "TIT2\0\0\0\7\0\0\1\xff\xfe\xe5\x65\x2c\x67"
                                      "TPE1\0\0\0\4\0\0\0M\xfam"
                                      "TYER\0\0\0\5\0\0\0002003"
                                      "COMM\0\0\0\7\0\0\0eng\0hi",
                                      73));
    std::string badInfo = infoChunk({"lost"});
    // An entry that is no name and a size of -8, on which libsndfile loops forever.
    badInfo.replace(12, 8, std::string("IP\0\0\xf8\xff\xff\xff", 8));
    const std::string truncatedId3 = "id3 " + std::string{'\xff', '\xff', 0, 0} + "ID3";

    struct Case {
        std::string program; // codec switches, or the program path
        RawWav wav;
        Tags tags;
        std::string warning;
        bool id3v1 = false;
    };
    const Case cases[] = {
        {"-L1", {.chunksBefore = infoChunk(all)}, fields(all), ""},
        {"-L2", {.chunksAfter = infoChunk(all)}, fields(all), ""},
        {"-L3", {.chunksBefore = infoChunk(all)}, fields(all), ""},
        {kBladeenc,
         {.chunksBefore = infoChunk(latin1)},
         fields({"Post", "Björk", "Post", "3", "1995", "Rock"}),
         "",
         true},
        {kPlugger,
         {.chunksBefore = infoChunk({"", "", "Finally"}) + id3},
         {{"title", "日本"},
          {"artist", "Múm"},
          {"album", "Finally"},
          {"date", "2003"},
          {"comment", "hi"}},
         ""},
        {"-L3", {.chunksBefore = badInfo}, {}, "LIST/INFO chunk is malformed"},
        {kPlugger, {.chunksAfter = truncatedId3}, {}, "'id3 ' chunk is truncated"},
        {"-L2", {.frames = 44100, .declaredFrames = 22050}, {}, "declares 88200 bytes"},
        {"-L1", {}, {}, ""},
    };
    for (const Case& c : cases) {
        const auto wav = work / "tagged.wav";
        writeRawWav(wav, c.wav);
        const bool house = c.program.starts_with("-L");
        const auto out = work / (house || c.program == kPlugger ? "tagged.mp3" : "tagged.MP3");
        SCOPED_TRACE(c.program + " " + c.warning);
        const ProcessResult result =
            c.program == kBladeenc ? run({kBladeenc, wav.string(), "-128"})
            : house ? run({codec, wav.string(), out.string(), "-M0", "-B64", c.program})
                    : run({kPlugger, wav.string(), out.string(), "-b", "128"});
        expectSuccess(result, c.warning.empty() ? 0 : 1);
        EXPECT_NE(result.err.find(c.warning), std::string::npos) << result.err;
        const std::string codecName = c.program == "-L1"   ? "mp1"
                                      : c.program == "-L2" ? "mp2"
                                                           : "mp3";
        expectStream(out, {codecName, 128, 44100, 2, "stereo"}, 22050, 44100, work);
        Tags read = probeTags(out);
        // Every file gets its loudness (checked against an independent meter elsewhere).
        EXPECT_TRUE(read.contains("REPLAYGAIN_TRACK_GAIN") &&
                    read.contains("REPLAYGAIN_TRACK_PEAK"));
        read.erase("REPLAYGAIN_TRACK_GAIN");
        read.erase("REPLAYGAIN_TRACK_PEAK");
        EXPECT_EQ(read, c.tags);
        if (codecName == "mp3") { // a tag before the Info frame keeps decoding gapless
            EXPECT_EQ(mpg123Decode(out, work / "decoded.wav").frames(), 22050);
        }
        std::ifstream in(out, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_TRUE(bytes.starts_with("ID3"));
        EXPECT_EQ(bytes.substr(bytes.size() - 128, 3) == "TAG", c.id3v1);
        std::filesystem::remove(out);
    }
}

} // namespace
} // namespace encoders::testing
