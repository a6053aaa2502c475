#include "libs/mpegdll/tests/library_fixture.h"

#include <thread>

using namespace testsupport;

Media& Media::get() {
    static Media media;
    return media;
}

Input Media::make(const std::string& name, int rate, int channels, double seconds,
                  const std::string& encoder, const std::string& options) {
    const auto wav = dir_ / (name + ".wav");
    writeTestWav(wav, rate, channels, seconds);
    Input input;
    input.file = dir_ / (name + (encoder == "lame" ? ".mp3" : ".mp2"));
    if (encoder == "lame")
        lame(wav, input.file, options);
    else
        ffmpegMp2(wav, input.file, std::stoi(options));
    input.reference = mpg123Decode(input.file, dir_ / (name + ".ref.wav"));
    return input;
}

const Input& Media::layer3Stereo44() {
    if (!stereo44_)
        stereo44_ = std::make_unique<Input>(make("stereo44", 44100, 2, 3.0, "lame", "-b 128 -m j"));
    return *stereo44_;
}

const Input& Media::layer3Mono22() {
    if (!mono22_)
        mono22_ = std::make_unique<Input>(make("mono22", 22050, 1, 2.0, "lame", "-b 64 -m m"));
    return *mono22_;
}

const Input& Media::layer3Stereo8() {
    if (!stereo8_)
        stereo8_ = std::make_unique<Input>(make("stereo8", 8000, 2, 2.0, "lame", "-b 32 -m s"));
    return *stereo8_;
}

const Input& Media::layer2Stereo48() {
    if (!mp2Stereo48_)
        mp2Stereo48_ = std::make_unique<Input>(make("stereo48", 48000, 2, 2.0, "ffmpeg", "192"));
    return *mp2Stereo48_;
}

const Input& Media::layer2Mono24() {
    if (!mp2Mono24_)
        mp2Mono24_ = std::make_unique<Input>(make("mono24", 24000, 1, 2.0, "ffmpeg", "64"));
    return *mp2Mono24_;
}

const Input& Media::layer3Long() {
    if (!long_) {
        // lame without its Info frame gives plain frames that can be joined end to end.
        const auto wav = dir_ / "part.wav";
        writeTestWav(wav, 44100, 2, 3.0);
        lame(wav, dir_ / "part.mp3", "-t -b 128");
        const auto part = readBytes(dir_ / "part.mp3");
        std::vector<unsigned char> joined;
        for (int i = 0; i < 20; ++i)
            joined.insert(joined.end(), part.begin(), part.end());
        auto input = std::make_unique<Input>();
        input->file = dir_ / "long.mp3";
        writeBytes(input->file, joined);
        input->reference = mpg123Decode(input->file, dir_ / "long.ref.wav");
        long_ = std::move(input);
    }
    return *long_;
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

bool LibraryTest::waitForEnd(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ended()) {
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
    if (difference.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << difference;
}
