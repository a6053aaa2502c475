// The player's errors, each from a real cause, and what stays changed after one.

#include "mpegplay/tests/player_fixture.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

using namespace testsupport;

TEST_F(PlayerTest, ModeErrors) {
    expectError([this] { player_->Stop(); }, "Incorrect mode", 2);
    expectError([this] { player_->setPaused(true); }, "Incorrect mode", 2);
    expectError([this] { player_->Restart(); }, "Incorrect mode", 2);
    player_->setPaused(false); // silent

    // The library refuses a start beyond the stream's end.
    player_->setStreamName(qpath(shortInput().file));
    player_->setStartPos(60000);
    expectError([this] { player_->Play(); }, "Incorrect mode", 2);
    EXPECT_EQ(player_->PlayedXTimes(), 1);
}

TEST_F(PlayerTest, StreamErrors) {
    expectError([this] { player_->Open(); }, "Can't play non-specified stream", 254);
    expectError([this] { player_->Play(); }, "Can't play non-specified stream", 254);

    player_->setStreamName(qpath(dir_ / "missing.mp3"));
    expectError([this] { player_->Play(); }, "Input stream error", 3);

    const auto wav = dir_ / "plain.wav";
    writeTestWav(wav, 44100, 2, 1.0);
    player_->setStreamName(qpath(wav));
    expectError([this] { player_->Open(); }, "Input stream error", 3);
    EXPECT_EQ(player_->PlayedXTimes(), 0);
}

TEST_F(PlayerTest, OutputErrorsLeaveTheFullStartToBeDoneAgain) {
    player_->setStreamName(qpath(shortInput().file));
    player_->setOutFilename(qpath(dir_ / "no-such-dir" / "out.wav"));
    expectError([this] { player_->Play(); }, "Output device failure", 5);
    EXPECT_EQ(player_->PlayedXTimes(), 1);
    EXPECT_FALSE(player_->CheckPlayEnd());

    player_->setOutFilename(qpath(wav_));
    playToEnd();
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    EXPECT_EQ(pcmDifference(readWav(wav_), shortInput().reference), "");
}

TEST(PlayerWithoutSound, NoSoundDeviceIsAnOutputFailure) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    TMPEGPlayer player;
    player.setPathToDLL(SONABOX_PROGRAM_DIR);
    player.LoadDecoder();
    player.setStreamName(qpath(shortInput().file));
    expectError([&] { player.Play(); }, "Output device failure", 5);
    unsetenv("SDL_AUDIODRIVER");
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {

// In a fresh child process: a few megabytes of address space beyond what is mapped, too little
// for the library's playback thread. Exits with the error's code.
[[noreturn]] void playWithoutMemory(const std::filesystem::path& output) {
    TMPEGPlayer player;
    player.setPathToDLL(SONABOX_PROGRAM_DIR);
    player.LoadDecoder();
    player.setOutputDevice(TOutputDevice::pcmfile);
    player.setOutFilename(qpath(output));
    player.setStreamName(qpath(shortInput().file));
    player.Open();
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4 << 20);
    const rlimit tight{limit, limit};
    setrlimit(RLIMIT_AS, &tight);
    try {
        player.Play();
    } catch (const TMPEGError& error) {
        if (std::string(error.what()) == "Internal decoder error")
            std::_Exit(error.ErrorCode);
        std::_Exit(100);
    }
    std::_Exit(0);
}

} // namespace

TEST(PlayerOutOfMemory, IsAnInternalDecoderError) {
    const TempDir dir;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(playWithoutMemory(dir / "out.wav"), ::testing::ExitedWithCode(1), "");
}
#endif
