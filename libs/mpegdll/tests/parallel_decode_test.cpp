// Decoding into WAV files in chunks on several threads: with chunks of 16 frames a few seconds
// of audio hold many joins, and the samples must still equal, bit for bit, the one-thread
// decode's and mpg123's, on every layer and on signals and files that stress the joins.

#include "libs/mpegdll/src/parallel_pcm_decode.h"
#include "libs/mpegdll/tests/library_fixture.h"

#include <unistd.h>

#include <regex>
#include <string>

using namespace testsupport;

namespace {

struct Case {
    const char* name;
    const char* signal; // an ffmpeg lavfi source; RATE stands for the sample rate
    int rate;
    int channels;
    double seconds;      // none is a whole number of 1152-sample frames
    const char* encoder; // "lame OPTIONS", "mp2 KBPS" or "layer1"
    bool split;          // decoded in chunks (free format is decoded in one piece)
};

const char* const clicks = "aevalsrc=if(lt(mod(t\\,0.05)\\,0.0004)\\,0.9\\,0):s=RATE";
const char* const noise = "anoisesrc=color=pink:sample_rate=RATE:amplitude=0.4:seed=7";
const char* const sweep = "aevalsrc=0.6*sin(2*PI*(30*t+900*t*t)):s=RATE";
const char* const silence = "anullsrc=r=RATE:cl=mono";

const Case cases[] = {
    {"L3 44.1 kHz joint stereo noise", noise, 44100, 2, 3.1, "lame -b 128 -m j", true},
    {"L3 48 kHz mono clicks", clicks, 48000, 1, 2.3, "lame -b 32 -m m --resample 48", true},
    {"L3 32 kHz stereo CRC sweep", sweep, 32000, 2, 2.2, "lame -p -b 96 -m s", true},
    {"L3 22.05 kHz mono sweep", sweep, 22050, 1, 2.7, "lame -b 24 -m m --resample 22.05", true},
    {"L3 8 kHz stereo noise", noise, 8000, 2, 4.3, "lame -b 16 -m s --resample 8", true},
    {"L3 44.1 kHz silence", silence, 44100, 2, 2.1, "lame -b 128", true},
    {"L3 VBR sweep", sweep, 44100, 2, 3.3, "lame -V 2", true},
    {"L3 VBR clicks without Info frame", clicks, 44100, 1, 2.4, "lame -t -V 0", true},
    {"L3 free format", noise, 44100, 2, 2.2, "lame --freeformat -b 400", false},
    {"L2 48 kHz stereo clicks", clicks, 48000, 2, 2.6, "mp2 192", true},
    {"L2 24 kHz mono noise", noise, 24000, 1, 3.3, "mp2 64", true},
    {"L1 44.1 kHz stereo sweep", sweep, 44100, 2, 1.3, "layer1", true},
};

// Makes the case's file in `dir`; empty when its encoder is not there.
std::filesystem::path encode(const Case& test, const std::filesystem::path& dir) {
    const auto wav = dir / "input.wav";
    run("ffmpeg -nostdin -loglevel error -y -f lavfi -i \"" +
        std::regex_replace(test.signal, std::regex("RATE"), std::to_string(test.rate)) + "\" -t " +
        std::to_string(test.seconds) + " -ac " + std::to_string(test.channels) + " " + quoted(wav));
    const std::string encoder = test.encoder;
    const auto file = dir / "input.mpa";
    if (encoder.starts_with("lame ")) {
        lame(wav, file, encoder.substr(5));
    } else if (encoder.starts_with("mp2 ")) {
        ffmpegMp2(wav, file, std::stoi(encoder.substr(4)));
    } else {
        // Neither lame nor ffmpeg writes Layer I; the house encoder program does, once built.
        const auto program = std::filesystem::path(SONABOX_PROGRAM_DIR) / "mp3.dll";
        if (access(program.c_str(), X_OK) != 0)
            return {};
        run(quoted(program) + " " + quoted(wav) + " " + quoted(file) + " -M0 -B96 -L1 >/dev/null");
    }
    return file;
}

} // namespace

TEST_F(LibraryTest, ChunkedDecodeEqualsOneThreadAndMpg123) {
    const SmallChunks chunks;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const auto dir = out_ / std::regex_replace(test.name, std::regex(" "), "_");
        std::filesystem::create_directories(dir);
        const auto file = encode(test, dir);
        if (file.empty())
            continue;
        const Pcm reference = mpg123Decode(file, dir / "mpg123.wav");
        ASSERT_EQ(reference.rate, test.rate);
        // The file is split into many chunks, or (free format) deliberately left whole.
        EXPECT_EQ(mpegdll::planParallelDecode(file, reference.frames(), -1, 0).has_value(),
                  test.split);

        const Pcm chunked = decode(file);
        EXPECT_TRUE(samePcm(chunked, reference));
        EXPECT_EQ(GetCurrentPos(), toMs(reference.frames(), test.rate));
        // An end position cuts the chunked decode too.
        EXPECT_TRUE(samePcm(decode(file, 0, 1000), reference.slice(0, test.rate)));
        Close();
        const ScopedEnvironment oneThread("SONABOX_DECODER_THREADS", "1");
        EXPECT_TRUE(samePcm(decode(file), chunked));
        Close();
    }
}
