// Every error code of the library, each from a real cause.

#include "libs/mpegdll/tests/library_fixture.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

using namespace testsupport;

TEST(LibraryWithoutInit, EveryCallIsInTheWrongOrder) {
    const auto file = Media::get().layer3Stereo44().file;
    EXPECT_EQ(Open(file.c_str(), MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr),
              MPEGDLL_ERR_MODE);
    unsigned char flag = 0;
    EXPECT_EQ(Play(0, 0, &flag), MPEGDLL_ERR_MODE);
    const auto expectModeError = [](auto call) {
        call();
        EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    };
    expectModeError([] { Pause(0); });
    expectModeError([] { Restart(); });
    expectModeError([] { Stop(); });
    expectModeError([] { SetPriority(0); });
    expectModeError([] { SetOutputDevice(0, ""); });
    expectModeError([] { Close(); });
    expectModeError([] { GetFrequency(); });
    expectModeError([] { GetBitrate(); });
    expectModeError([] { GetStereoMode(); });
    expectModeError([] { GetLayer(); });
    expectModeError([] { GetPlayerMode(); });
    expectModeError([] { GetCurrentPos(); });
    expectModeError([] { GetLength(); });
    expectModeError([] { ResetPlayerMode(); });
    expectModeError([] { Seek(0); });
    expectModeError([] { SetSndDevice(0); });
    expectModeError([] { deinit(); });

    // init and deinit are counted.
    ASSERT_TRUE(init());
    ASSERT_TRUE(init());
    deinit();
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_CLOSED);
    EXPECT_EQ(LastError(), 0);
    deinit();
    expectModeError([] { GetPlayerMode(); });
}

TEST_F(LibraryTest, CallsInTheWrongOrderOrOutOfRange) {
    unsigned char flag = 0;
    EXPECT_EQ(Play(0, 0, &flag), MPEGDLL_ERR_MODE); // nothing open
    Restart();
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    EXPECT_EQ(GetFrequency(), 0);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    EXPECT_EQ(GetStereoMode(), -1);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_CLOSED);
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(GetLength(), 0);
    EXPECT_EQ(LastError(), 0);

    SetOutputDevice(1, "x.wav");
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, nullptr);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    SetPriority(7);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    for (int priority : {-15, -2, -1, 0, 1, 2, 15}) {
        SetPriority(priority);
        EXPECT_EQ(LastError(), 0) << priority;
    }
    EXPECT_EQ(Open(nullptr, 7, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              MPEGDLL_ERR_MODE);

    ASSERT_EQ(openFile(Media::get().layer3Stereo44().file), 0);
    Restart(); // no Play since Open
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    for (const auto& [start, end] :
         {std::pair{-1, 0}, {0, -5}, {2000, 1000}, {1000, 1000}, {9000, 0}}) {
        EXPECT_EQ(Play(start, end, &flag), MPEGDLL_ERR_MODE) << start << " " << end;
        EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
    }
    Pause(0);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    Pause(1);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    Stop();
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    EXPECT_EQ(Seek(0), -1);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);

    // A playing stream cannot be started a second time. (The long input is still decoding
    // when Pause comes.)
    ASSERT_EQ(openFile(Media::get().layer3Long().file), 0);
    SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, (out_ / "twice.wav").c_str());
    ASSERT_EQ(Play(0, 0, endFlag()), 0);
    Pause(0);
    ASSERT_EQ(GetPlayerMode(), MPEGDLL_MODE_PAUSED);
    EXPECT_EQ(Play(0, 0, endFlag()), MPEGDLL_ERR_MODE);
    Stop();
    EXPECT_EQ(LastError(), 0);
}

TEST_F(LibraryTest, InputThatIsMissingOrNotMpegAudio) {
    EXPECT_EQ(openFile(out_ / "missing.mp3"), MPEGDLL_ERR_INPUT);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_INPUT);

    const auto wav = out_ / "plain.wav";
    writeTestWav(wav, 44100, 2, 1.0);
    EXPECT_EQ(openFile(wav), MPEGDLL_ERR_INPUT);

    const auto text = out_ / "notes.mp3";
    std::ofstream(text) << std::string(20000, 'x') << "\nnot audio at all\n";
    EXPECT_EQ(openFile(text), MPEGDLL_ERR_INPUT);

    EXPECT_EQ(openFile(out_.path()), MPEGDLL_ERR_INPUT); // a directory
    EXPECT_EQ(Open(nullptr, MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr),
              MPEGDLL_ERR_INPUT);
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_CLOSED);
}

TEST_F(LibraryTest, NoSoundDevice) {
    ASSERT_EQ(openFile(Media::get().layer3Stereo44().file), 0);
    SetOutputDevice(MPEGDLL_OUTPUT_SOUNDCARD, nullptr);
    ASSERT_EQ(LastError(), 0);
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(Play(0, 0, endFlag()), MPEGDLL_ERR_OUTPUT);
    unsetenv("SDL_AUDIODRIVER");
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SONABOX_SANITIZED 1
#endif

#ifndef SONABOX_SANITIZED
namespace {

// Runs in a fresh child process: a few megabytes of address space beyond what is mapped now,
// too little for the playback thread's stack. Exits with the code of Play.
[[noreturn]] void playWithoutMemory(const std::filesystem::path& file,
                                    const std::filesystem::path& wav) {
    if (!init() || Open(file.c_str(), MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr) != 0)
        std::_Exit(100);
    SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, wav.c_str());
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4 << 20);
    const rlimit tight{limit, limit};
    setrlimit(RLIMIT_AS, &tight);
    static unsigned char ended = 0;
    std::_Exit(Play(0, 0, &ended));
}

} // namespace
#endif

TEST(LibraryOutOfMemory, IsAnInternalDecoderError) {
#ifdef SONABOX_SANITIZED
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#else
    const auto file = Media::get().layer3Stereo44().file;
    const testsupport::TempDir out;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(playWithoutMemory(file, out / "out.wav"),
                ::testing::ExitedWithCode(MPEGDLL_ERR_INTERNAL), "");
#endif
}
