#include "libs/mpegdll/tests/library_fixture.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

using namespace testsupport;

namespace {

Input make(const TempDir& dir, Clip clip) {
    const std::string name = clip == Clip::Layer3Long ? "part" : "stereo44";
    writeTestWav(dir / (name + ".wav"), 44100, 2, 3.0);
    Input input{dir / (name + ".mp3"), {}};
    // lame without its Info frame gives plain frames that can be joined end to end.
    lame(dir / (name + ".wav"), input.file, clip == Clip::Layer3Long ? "-t -b 128" : "-b 128 -m j");
    if (clip == Clip::Layer3Long) {
        const auto part = readBytes(input.file);
        std::vector<unsigned char> joined;
        for (int i = 0; i < 20; ++i)
            joined.insert(joined.end(), part.begin(), part.end());
        input.file = dir / "long.mp3";
        writeBytes(input.file, joined);
    }
    input.reference = mpg123Decode(input.file, dir / (input.file.stem().string() + ".ref.wav"));
    return input;
}

} // namespace

const Input& media(Clip clip) {
    static const TempDir dir;
    static std::map<Clip, Input> made;
    if (!made.contains(clip))
        made.emplace(clip, make(dir, clip));
    return made.at(clip);
}

int openFile(const std::filesystem::path& file) {
    return Open(file.c_str(), MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr);
}

bool LibraryTest::waitFor(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (; !condition(); std::this_thread::sleep_for(std::chrono::milliseconds(1)))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    return true;
}

Pcm LibraryTest::decode(const std::filesystem::path& file, int startMs, int endMs) {
    const auto wav = out_ / (file.stem().string() + ".out.wav");
    EXPECT_EQ((SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, wav.c_str()), LastError()), 0);
    EXPECT_EQ(openFile(file), 0);
    EXPECT_EQ(Play(startMs, endMs, endFlag()), 0);
    EXPECT_TRUE(waitForEnd());
    EXPECT_EQ(withError(ResetPlayerMode()), std::pair(1, 0)); // ended without a failure
    return readWav(wav);
}

::testing::AssertionResult samePcm(const Pcm& actual, const Pcm& expected) {
    const std::string difference = pcmDifference(actual, expected);
    return difference.empty() ? ::testing::AssertionSuccess()
                              : ::testing::AssertionFailure() << difference;
}

std::string commandOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string text;
    char buffer[256];
    while (pipe && fgets(buffer, sizeof buffer, pipe.get()))
        text += buffer;
    if (!pipe || pclose(pipe.release()) != 0)
        throw std::runtime_error("command failed: " + command);
    return text;
}

WavFormat probeWav(const std::filesystem::path& wav) {
    std::istringstream fields(commandOutput(
        "ffprobe -v error -show_entries stream=sample_rate,channels,duration_ts -of csv=p=0 " +
        quoted(wav)));
    WavFormat format;
    char comma = 0;
    long long samples = 0;
    fields >> format.rate >> comma >> format.channels >> comma >> samples;
    format.seconds = format.rate > 0 ? static_cast<double>(samples) / format.rate : 0.0;
    return format;
}

namespace {

// The count follows the tag's name and flags, when the lowest flag says that it is there.
std::size_t infoCountOffset(const std::vector<unsigned char>& mp3) {
    const std::string tag = "Info";
    const auto at = std::search(mp3.begin(), mp3.end(), tag.begin(), tag.end());
    if (mp3.end() - at < 12 || (at[7] & 1) == 0)
        throw std::runtime_error("no Info frame count");
    return static_cast<std::size_t>(at - mp3.begin()) + 8;
}

} // namespace

std::uint32_t infoCount(const std::vector<unsigned char>& mp3) {
    const std::size_t at = infoCountOffset(mp3);
    return std::uint32_t{mp3[at]} << 24 | mp3[at + 1] << 16 | mp3[at + 2] << 8 | mp3[at + 3];
}

std::vector<unsigned char> withInfoCount(std::vector<unsigned char> mp3, std::uint32_t count) {
    const std::size_t at = infoCountOffset(mp3);
    for (std::size_t i = 0; i < 4; ++i)
        mp3[at + i] = static_cast<unsigned char>(count >> (24 - 8 * i));
    return mp3;
}
