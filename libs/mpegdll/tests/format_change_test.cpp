// Streams whose format changes part-way (joined files of other rates or channel counts): the WAV
// file and the sound card keep the first frame's format and every part keeps its speed, as
// ffprobe and numpy find. The parts are plain lame frames without Info frame.

#include "libs/mpegdll/src/frame_index.h"
#include "libs/mpegdll/tests/library_fixture.h"

#include <sstream>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// The strongest frequency of each channel of `wav` from `from` to `to` seconds, by numpy's FFT
// (the system's Python, which has Debian's python3-numpy).
std::vector<double> peaks(const fs::path& wav, double from, double to) {
    std::istringstream values(commandOutput(
        "/usr/bin/python3 -c \"import sys, wave, numpy as np\n"
        "w = wave.open(sys.argv[1]); r = w.getframerate(); c = w.getnchannels()\n"
        "x = np.frombuffer(w.readframes(w.getnframes()), '<i2').reshape(-1, c)\n"
        "a, b = int(float(sys.argv[2]) * r), int(float(sys.argv[3]) * r)\n"
        "for k in range(c): print(np.argmax(np.abs(np.fft.rfft(x[a:b, k] * np.hanning(b - "
        "a)))) * r "
        "/ (b - a))\" " +
        quoted(wav) + " " + std::to_string(from) + " " + std::to_string(to)));
    std::vector<double> result;
    for (double value = 0; values >> value;)
        result.push_back(value);
    return result;
}

struct Part {
    int rate, channels, tone; // Hz
};

const struct {
    const char* name;
    Part first, second;
} changes[] = {
    {"44.1 kHz then 48 kHz", {44100, 2, 440}, {48000, 2, 660}},
    {"mono then stereo", {44100, 1, 440}, {44100, 2, 660}},
    {"stereo then mono at 22.05 kHz", {44100, 2, 440}, {22050, 1, 660}},
};
constexpr double partSeconds = 2.0;

class FormatChangeTest : public LibraryTest {
protected:
    // Joins the two parts; `expected_` gets their length as mpg123 decodes each alone.
    fs::path join(const Part& first, const Part& second) {
        const auto joined = out_ / "joined.mp3";
        std::vector<unsigned char> bytes;
        expectedSeconds_ = 0;
        for (const Part& part : {first, second}) {
            const auto wav = out_ / "part.wav", mp3 = out_ / "part.mp3";
            run("sox -n -r " + std::to_string(part.rate) + " -c " + std::to_string(part.channels) +
                " " + quoted(wav) + " synth " + std::to_string(partSeconds) + " sine " +
                std::to_string(part.tone) + " vol 0.5");
            lame(wav, mp3, "-t -b 128 --resample " + std::to_string(part.rate / 1000.0));
            mpg123Decode(mp3, out_ / "part.ref.wav");
            expectedSeconds_ += probeWav(out_ / "part.ref.wav").seconds;
            const auto encoded = readBytes(mp3);
            bytes.insert(bytes.end(), encoded.begin(), encoded.end());
        }
        writeBytes(joined, bytes);
        return joined;
    }
    // Both parts at their own tones in every channel, in the first part's format.
    void expectParts(const fs::path& wav, const Part& first, const Part& second, double start) {
        const WavFormat format = probeWav(wav);
        EXPECT_EQ(format.rate, first.rate);
        EXPECT_EQ(format.channels, first.channels);
        for (const auto& [part, from] :
             {std::pair(first, start + 0.3), std::pair(second, start + partSeconds + 0.3)})
            for (const double peak : peaks(wav, from, from + 1.4))
                EXPECT_NEAR(peak, part.tone, 2.0) << "from " << from << " s";
    }
    double expectedSeconds_ = 0;
};

} // namespace

TEST_F(FormatChangeTest, TheWavFileKeepsTheFirstFormatAndEveryPartItsSpeed) {
    for (const auto& row : changes) {
        SCOPED_TRACE(row.name);
        const fs::path file = join(row.first, row.second);
        const double frame = 1152.0 / row.first.rate;
        for (const bool chunked : {false, true}) {
            SCOPED_TRACE(chunked ? "on several threads" : "on one thread");
            const SmallChunks chunks;
            const ScopedEnvironment threads("SONABOX_DECODER_THREADS", chunked ? "3" : "1");
            // The chunked decode cannot cover a change of format: it leaves it to one thread.
            EXPECT_FALSE(mpegdll::indexFrames(file));
            decode(file);
            const auto wav = out_ / "joined.out.wav";
            EXPECT_NEAR(probeWav(wav).seconds, expectedSeconds_, frame);
            EXPECT_NEAR(GetLength() / 1000.0, expectedSeconds_, frame);
            EXPECT_EQ(GetCurrentPos(), GetLength());
            expectParts(wav, row.first, row.second, 0.0);
            Close();
        }
    }
}

// The sound card gets the first format as well, and plays the second part at its own speed.
TEST_F(FormatChangeTest, TheSoundCardPlaysEveryPartAtItsSpeed) {
    const auto& row = changes[0];
    const fs::path file = join(row.first, row.second);
    const auto disk = out_ / "disk.raw";
    const ScopedEnvironment driver("SDL_AUDIODRIVER", "disk");
    const ScopedEnvironment diskFile("SDL_DISKAUDIOFILE", disk.c_str());
    ASSERT_EQ((SetOutputDevice(MPEGDLL_OUTPUT_SOUNDCARD, nullptr), LastError()), 0);
    ASSERT_EQ(openFile(file), 0);
    ASSERT_EQ(Play(0, 0, endFlag()), 0);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(withError(ResetPlayerMode()), std::pair(1, 0));
    // The device plays the first part's format; the sound starts after the silence SDL plays
    // before the first samples are queued.
    const auto wav = out_ / "disk.wav";
    run("sox -t raw -r 44100 -e signed -b 16 -c 2 " + quoted(disk) + " " + quoted(wav));
    const auto bytes = readBytes(disk);
    std::size_t first = 0;
    while (first + 1 < bytes.size() && bytes[first] == 0 && bytes[first + 1] == 0)
        first += 2;
    expectParts(wav, row.first, row.second, static_cast<double>(first / 4) / 44100);
}
