// Decoding into WAV files compared sample by sample with what mpg123 writes for the same input,
// on every MPEG version and layer: on one thread, and in chunks on several threads. With chunks
// of 16 frames a few seconds of audio hold many joins, on signals and files that stress them.

#include "libs/mpegdll/src/parallel_pcm_decode.h"
#include "libs/mpegdll/tests/library_fixture.h"

#include <unistd.h>

#include <cmath>
#include <regex>
#include <string>

using namespace testsupport;

namespace {

constexpr int vary = -9; // a stream property the row does not check

struct Case {
    const char* name;
    const char* signal; // an ffmpeg lavfi source; RATE stands for the sample rate
    int rate, channels;
    double seconds;      // none is a whole number of 1152-sample frames
    const char* encoder; // "lame OPTIONS", "mp2 KBPS" or "layer1"
    int layer, kbps, stereoMode;
    bool split; // decoded in chunks (free format is decoded in one piece)
};

const char* const clicks = "aevalsrc=if(lt(mod(t\\,0.05)\\,0.0004)\\,0.9\\,0):s=RATE";
const char* const noise = "anoisesrc=color=pink:sample_rate=RATE:amplitude=0.4:seed=7";
const char* const sweep = "aevalsrc=0.6*sin(2*PI*(30*t+900*t*t)):s=RATE";

// clang-format off
const Case cases[] = {
    {"L3 44.1 kHz joint stereo noise", noise, 44100, 2, 3.1, "lame -b 128 -m j", 3, 128, 1, true},
    {"L3 48 kHz mono clicks", clicks, 48000, 1, 2.3, "lame -b 32 -m m --resample 48", 3, 32, 3, true},
    {"L3 32 kHz stereo CRC sweep", sweep, 32000, 2, 2.2, "lame -p -b 96 -m s", 3, 96, 0, true},
    {"MPEG 2 L3 mono sweep", sweep, 22050, 1, 2.7, "lame -b 24 -m m --resample 22.05", 3, 24, 3, true},
    {"MPEG 2.5 L3 stereo noise", noise, 8000, 2, 4.3, "lame -b 16 -m s --resample 8", 3, 16, 0, true},
    {"L3 44.1 kHz silence", "anullsrc=r=RATE:cl=mono", 44100, 2, 2.1, "lame -b 128", 3, 128, vary, true},
    {"L3 VBR sweep", sweep, 44100, 2, 3.3, "lame -V 2", 3, vary, vary, true},
    {"L3 VBR clicks without Info frame", clicks, 44100, 1, 2.4, "lame -t -V 0", 3, vary, 3, true},
    {"L3 free format", noise, 44100, 2, 2.2, "lame --freeformat -b 400", 3, vary, vary, false},
    {"L2 48 kHz stereo clicks", clicks, 48000, 2, 2.6, "mp2 192", 2, 192, 0, true},
    {"MPEG 2 L2 mono noise", noise, 24000, 1, 3.3, "mp2 64", 2, 64, 3, true},
    {"L1 44.1 kHz stereo sweep", sweep, 44100, 2, 1.3, "layer1", 1, 192, vary, true},
};
// clang-format on

// Makes the case's file in `dir`; empty when its encoder is not there.
std::filesystem::path encode(const Case& test, const std::filesystem::path& dir) {
    const auto wav = dir / "input.wav";
    run("ffmpeg -nostdin -loglevel error -y -f lavfi -i \"" +
        std::regex_replace(test.signal, std::regex("RATE"), std::to_string(test.rate)) + "\" -t " +
        std::to_string(test.seconds) + " -ac " + std::to_string(test.channels) + " " + quoted(wav));
    const std::string encoder = test.encoder;
    auto file = dir / "input.mpa";
    // Neither lame nor ffmpeg writes Layer I; the house encoder program does, once built. It
    // takes half the total bitrate: -B96 makes 192 kbit/s.
    const auto program = std::filesystem::path(SONABOX_PROGRAM_DIR) / "mp3.dll";
    if (encoder.starts_with("lame "))
        lame(wav, file, encoder.substr(5));
    else if (encoder.starts_with("mp2 "))
        ffmpegMp2(wav, file, std::stoi(encoder.substr(4)));
    else if (access(program.c_str(), X_OK) != 0)
        return {};
    else
        run(quoted(program) + " " + quoted(wav) + " " + quoted(file) + " -M0 -B96 -L1 >/dev/null");
    return file;
}

} // namespace

TEST_F(LibraryTest, DecodesEveryLayerLikeMpg123OnOneThreadAndInChunks) {
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const auto file = encode(test, out_.path());
        if (file.empty())
            continue;
        const Pcm reference = mpg123Decode(file, out_ / "mpg123.wav");
        ASSERT_EQ(reference.rate, test.rate);
        ASSERT_EQ(reference.channels, test.channels);
        for (const bool chunked : {false, true}) {
            SCOPED_TRACE(chunked ? "in chunks" : "on one thread");
            const SmallChunks chunks;
            const ScopedEnvironment threads("SONABOX_DECODER_THREADS", chunked ? "3" : "1");
            // The file is split into many chunks, or (free format) deliberately left whole.
            EXPECT_EQ(mpegdll::planParallelDecode(file, reference.frames(), -1, 0).has_value(),
                      chunked && test.split);
            ASSERT_EQ(openFile(file), 0);
            // What the library tells of the stream as soon as it is open, the length included.
            const int actual[] = {GetFrequency(), GetLayer(),      GetBitrate(),   GetStereoMode(),
                                  GetLength(),    GetCurrentPos(), GetPlayerMode()};
            const int length = toMs(reference.frames(), test.rate);
            const int expected[] = {test.rate, test.layer, test.kbps,        test.stereoMode,
                                    length,    0,          MPEGDLL_MODE_OPEN};
            for (std::size_t i = 0; i < std::size(actual); ++i)
                EXPECT_EQ(actual[i], expected[i] == vary ? actual[i] : expected[i]) << i;

            EXPECT_TRUE(samePcm(decode(file), reference));
            EXPECT_EQ(GetCurrentPos(), GetLength());
            EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
            // An end position cuts the output.
            EXPECT_TRUE(samePcm(decode(file, 0, 1000), reference.slice(0, test.rate)));
            Close();
        }
    }
}

TEST_F(LibraryTest, StartAndEndPositionsCutTheOutput) {
    const Input& input = media(Clip::Layer3Stereo44);
    // libmpg123 seeks sample-exactly from its frame index, so the cut matches the whole.
    EXPECT_TRUE(samePcm(decode(input.file, 1000, 2000), input.reference.slice(44100, 44100)));
    EXPECT_EQ(GetCurrentPos(), 2000);
    const std::int64_t tail = 2500 * 44100 / 1000; // from a start to the end of the stream
    EXPECT_TRUE(samePcm(decode(input.file, 2500, 0),
                        input.reference.slice(tail, input.reference.frames() - tail)));
}

TEST_F(LibraryTest, OddThreadAndChunkSettingsDecodeWellOrLeaveTheOldFile) {
    const Input& input = media(Clip::Layer3Stereo44);
    const auto wav = out_ / "out.wav";
    const auto tone = out_ / "tone.wav";
    run("sox -n -r 22050 -c 1 " + quoted(tone) + " synth 1 sine 500");
    const struct {
        const char* variable;
        const char* value;
    } rows[] = {
        {"SONABOX_DECODER_CHUNK_FRAMES", "9223372036854775807"},
        {"SONABOX_DECODER_CHUNK_FRAMES", "9223372036854775808"},
        {"SONABOX_DECODER_CHUNK_FRAMES", "99999999999999999999999999"},
        {"SONABOX_DECODER_CHUNK_FRAMES", "-9223372036854775808"},
        {"SONABOX_DECODER_CHUNK_FRAMES", "4611686018427387904"},
        {"SONABOX_DECODER_CHUNK_FRAMES", "0"},
        {"SONABOX_DECODER_CHUNK_FRAMES", "-16"},
        {"SONABOX_DECODER_CHUNK_FRAMES", "16k"},
        {"SONABOX_DECODER_CHUNK_FRAMES", " 16"},
        {"SONABOX_DECODER_CHUNK_FRAMES", ""},
        {"SONABOX_DECODER_CHUNK_FRAMES", "1"},
        {"SONABOX_DECODER_THREADS", "4294967299"},
        {"SONABOX_DECODER_THREADS", "2147483648"},
        {"SONABOX_DECODER_THREADS", "100000"},
        {"SONABOX_DECODER_THREADS", "-3"},
        {"SONABOX_DECODER_THREADS", "three"},
        {"SONABOX_DECODER_THREADS", "0x3"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.variable) + "=" + row.value);
        const SmallChunks chunks;
        const ScopedEnvironment odd(row.variable, row.value);
        std::filesystem::copy_file(tone, wav, std::filesystem::copy_options::overwrite_existing);
        const auto before = readBytes(wav);
        ASSERT_EQ(openFile(input.file), 0);
        ASSERT_EQ((SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, wav.c_str()), Play(0, 0, endFlag())), 0);
        ASSERT_TRUE(waitForEnd());
        // Either a whole decode, or a failure that leaves the old file as it was.
        if (withError(ResetPlayerMode()) == std::pair(1, 0)) {
            const WavFormat format = probeWav(wav);
            EXPECT_EQ(std::pair(format.rate, format.channels), std::pair(44100, 2));
            EXPECT_EQ(std::lround(format.seconds * 44100), input.reference.frames());
            EXPECT_TRUE(samePcm(readWav(wav), input.reference));
        } else {
            EXPECT_EQ(readBytes(wav), before);
        }
        Close();
    }
}
