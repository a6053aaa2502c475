// Streams whose format changes part-way (plain lame files of other rates or channel counts,
// joined): the WAV file and the sound card get the first frame's format and every part keeps its
// speed, as ffprobe and numpy find.

#include "libs/mpegdll/src/frame_index.h"
#include "libs/mpegdll/tests/library_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <tuple>

using namespace testsupport;

namespace {

// The strongest frequency of each channel of a WAV file from `from` for 1.4 s, by numpy's FFT
// (the system's Python has Debian's python3-numpy).
std::vector<double> peaks(const std::filesystem::path& wav, double from) {
    std::istringstream values(commandOutput(
        "/usr/bin/python3 -c \"import sys, wave, numpy as n; w = wave.open(sys.argv[1]); "
        "r = w.getframerate(); a = int(float(sys.argv[2]) * r); b = a + int(1.4 * r); "
        "x = n.frombuffer(w.readframes(w.getnframes()), '<i2').reshape(-1, w.getnchannels()); "
        "[print(n.argmax(abs(n.fft.rfft(c[a:b] * n.hanning(b - a)))) * r / (b - a)) for c in "
        "x.T]\" " +
        quoted(wav) + " " + std::to_string(from)));
    return {std::istream_iterator<double>(values), std::istream_iterator<double>()};
}

struct Part {
    int rate, channels, tone; // Hz; each part lasts 2 s
};

} // namespace

TEST_F(LibraryTest, AFormatChangeKeepsTheFirstFormatAndEveryPartItsSpeed) {
    const struct {
        const char* name;
        Part parts[2];
    } rows[] = {
        {"44.1 kHz then 48 kHz", {{44100, 2, 440}, {48000, 2, 660}}},
        {"mono then stereo", {{44100, 1, 440}, {44100, 2, 660}}},
        {"stereo then mono at 22.05 kHz", {{44100, 2, 440}, {22050, 1, 660}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto file = out_ / "joined.mp3", wav = out_ / "joined.out.wav";
        std::vector<unsigned char> joined;
        double seconds = 0; // the parts' length as mpg123 decodes each alone
        for (const Part& part : row.parts) {
            run("sox -n -r " + std::to_string(part.rate) + " -c " + std::to_string(part.channels) +
                " " + quoted(out_ / "part.wav") + " synth 2 sine " + std::to_string(part.tone) +
                " vol 0.5");
            lame(out_ / "part.wav", out_ / "part.mp3",
                 "-t -b 128 --resample " + std::to_string(part.rate / 1000.0));
            mpg123Decode(out_ / "part.mp3", out_ / "part.ref.wav");
            seconds += probeWav(out_ / "part.ref.wav").seconds;
            const auto bytes = readBytes(out_ / "part.mp3");
            joined.insert(joined.end(), bytes.begin(), bytes.end());
        }
        writeBytes(file, joined);
        // Checks `output` from `start` seconds on: the first part's format, each part's tone.
        const auto expectParts = [&](const std::filesystem::path& output, double start) {
            const WavFormat format = probeWav(output);
            EXPECT_EQ(std::pair(format.rate, format.channels),
                      std::pair(row.parts[0].rate, row.parts[0].channels));
            for (int i = 0; i < 2; ++i)
                for (const double peak : peaks(output, start + 2 * i + 0.3))
                    EXPECT_NEAR(peak, row.parts[i].tone, 2.0) << "part " << i;
        };
        // The chunked decode cannot cover a change of format: it leaves it to one thread.
        EXPECT_FALSE(mpegdll::indexFrames(file));
        for (const char* threads : {"1", "3"}) {
            const SmallChunks chunks;
            const ScopedEnvironment threadCount("SONABOX_DECODER_THREADS", threads);
            decode(file);
            EXPECT_NEAR(probeWav(wav).seconds, seconds, 1152.0 / row.parts[0].rate);
            EXPECT_NEAR(GetLength() / 1000.0, seconds, 1152.0 / row.parts[0].rate);
            EXPECT_EQ(GetCurrentPos(), GetLength());
            expectParts(wav, 0.0);
        }
        if (&row != rows)
            continue;
        // The sound card (SDL's disk driver, in real time) plays the parts at their speed too,
        // after the silence it plays before the first samples come.
        const auto disk = out_ / "disk.raw";
        const ScopedEnvironment driver("SDL_AUDIODRIVER", "disk");
        const ScopedEnvironment diskFile("SDL_DISKAUDIOFILE", disk.c_str());
        ASSERT_EQ((SetOutputDevice(MPEGDLL_OUTPUT_SOUNDCARD, nullptr), Play(0, 0, endFlag())), 0);
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(withError(ResetPlayerMode()), std::pair(1, 0));
        run("sox -t raw -r 44100 -e signed -b 16 -c 2 " + quoted(disk) + " " + quoted(wav));
        const auto played = readBytes(disk);
        const auto sound = std::ranges::find_if(played, [](unsigned char b) { return b != 0; });
        const auto silentFrames = (sound - played.begin()) / 4; // whole 16-bit stereo frames
        expectParts(wav, static_cast<double>(silentFrames) / 44100);
        Close();
    }
}

// Frames cut from two encodes of one tone, mono and stereo, and joined at frame boundaries, so
// the audio goes on through each change (no encoder delay there). Every sample, the first frames
// after each change too, is within a few LSB of mpg123's decode of the encode it came from.
TEST_F(LibraryTest, AChangeBetweenMonoAndStereoIsAsCleanAsTheRestOfTheStream) {
    std::vector<unsigned char> encodes[3]; // by channel count
    Pcm references[3];
    for (const int channels : {1, 2}) {
        const auto wav = out_ / "tone.wav", mp3 = out_ / "tone.mp3";
        run("sox -n -r 44100 -c " + std::to_string(channels) + " " + quoted(wav) +
            " synth 6 sine 440 vol 0.5");
        // Without the bit reservoir no frame's data lies in a frame of the other encode.
        lame(wav, mp3, "-t --nores -b 128");
        encodes[channels] = readBytes(mp3);
        references[channels] = mpg123Decode(mp3, out_ / "tone.ref.wav");
    }
    // The frames of an encode, as offsets.
    const auto frameStarts = [](const std::vector<unsigned char>& bytes) {
        std::vector<std::size_t> starts;
        for (std::size_t at = 0; at + 4 <= bytes.size();) {
            starts.push_back(at);
            at += static_cast<std::size_t>(mpegdll::parseFrameHeader(&bytes[at])->length);
        }
        starts.push_back(bytes.size());
        return starts;
    };
    constexpr std::size_t part = 80; // frames
    for (const int first : {1, 2}) {
        SCOPED_TRACE(first == 1 ? "mono, stereo, mono" : "stereo, mono, stereo");
        const int layouts[] = {first, 3 - first, first};
        std::vector<unsigned char> joined;
        Pcm expected{44100, first, {}};
        for (std::size_t i = 0; i < 3; ++i) {
            const auto& bytes = encodes[layouts[i]];
            const auto starts = frameStarts(bytes);
            const std::size_t end = i == 2 ? starts.size() - 1 : (i + 1) * part;
            joined.insert(joined.end(), bytes.begin() + static_cast<long>(starts[i * part]),
                          bytes.begin() + static_cast<long>(starts[end]));
            // The reference's samples of these frames in the output's layout.
            const Pcm& from = references[layouts[i]];
            for (std::int64_t s = static_cast<std::int64_t>(i * part * 1152);
                 s < std::min<std::int64_t>(static_cast<std::int64_t>(end * 1152), from.frames());
                 ++s) {
                const std::int16_t* sample =
                    &from.samples[static_cast<std::size_t>(s * from.channels)];
                const int mixed = from.channels == 1 ? sample[0] : (sample[0] + sample[1]) / 2;
                for (int c = 0; c < first; ++c)
                    expected.samples.push_back(
                        first == from.channels ? sample[c] : static_cast<std::int16_t>(mixed));
            }
        }
        const auto file = out_ / "switching.mp3";
        writeBytes(file, joined);
        const Pcm output = decode(file);
        ASSERT_EQ(std::pair(output.channels, output.frames()), std::pair(first, expected.frames()));
        int worst = 0;
        std::size_t where = 0;
        for (std::size_t i = 0; i < output.samples.size(); ++i) {
            const int difference = std::abs(output.samples[i] - expected.samples[i]);
            if (difference > worst)
                std::tie(worst, where) = std::pair(difference, i / static_cast<std::size_t>(first));
        }
        EXPECT_LE(worst, 4) << "at sample " << where << ", frame " << where / 1152;
        Close();
    }
}
