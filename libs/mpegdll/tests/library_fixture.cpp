#include "libs/mpegdll/tests/library_fixture.h"

#include <map>
#include <thread>

using namespace testsupport;

namespace {

struct Recipe {
    const char* name;
    int rate;
    int channels;
    double seconds;
    const char* lameOptions; // null: ffmpeg's Layer II at `kbps`
    int kbps;
};

const Recipe recipes[] = {
    {"stereo44", 44100, 2, 3.0, "-b 128 -m j", 0},
    {"mono24", 24000, 1, 2.0, nullptr, 64},
    // lame without its Info frame gives plain frames that can be joined end to end.
    {"part", 44100, 2, 3.0, "-t -b 128", 0},
};

Input make(const TempDir& dir, Clip clip) {
    const Recipe& recipe = recipes[static_cast<int>(clip)];
    const auto wav = dir / (recipe.name + std::string(".wav"));
    writeTestWav(wav, recipe.rate, recipe.channels, recipe.seconds);
    Input input{dir / (recipe.name + std::string(recipe.lameOptions ? ".mp3" : ".mp2")), {}};
    if (recipe.lameOptions)
        lame(wav, input.file, recipe.lameOptions);
    else
        ffmpegMp2(wav, input.file, recipe.kbps);
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

void LibraryTest::SetUp() {
    ASSERT_TRUE(init());
    ASSERT_EQ(LastError(), 0);
}

void LibraryTest::TearDown() {
    deinit();
    EXPECT_EQ(LastError(), 0);
}

int LibraryTest::openFile(const std::filesystem::path& file) {
    return Open(file.c_str(), MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr);
}

bool LibraryTest::waitFor(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

Pcm LibraryTest::decode(const std::filesystem::path& file, int startMs, int endMs) {
    const auto wav = out_ / (file.stem().string() + ".out.wav");
    SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, wav.c_str());
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(openFile(file), 0);
    EXPECT_EQ(Play(startMs, endMs, endFlag()), 0);
    EXPECT_TRUE(waitForEnd());
    EXPECT_TRUE(ResetPlayerMode());
    return readWav(wav);
}

::testing::AssertionResult samePcm(const Pcm& actual, const Pcm& expected) {
    const std::string difference = pcmDifference(actual, expected);
    return difference.empty() ? ::testing::AssertionSuccess()
                              : ::testing::AssertionFailure() << difference;
}
