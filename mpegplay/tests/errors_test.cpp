// The player's errors, each from a real cause, and what stays changed after one.

#include "mpegplay/tests/player_fixture.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>

using namespace testsupport;

TEST_F(PlayerTest, ModeAndInputErrors) {
    const auto plain = dir_ / "plain.wav";
    writeTestWav(plain, 44100, 2, 1.0);
    const struct {
        std::filesystem::path stream;
        bool fromStream;
        int startPos;
        std::function<void()> call;
        std::string message;
        int code, playedXTimes;
    } cases[] = {
        {{}, false, 0, [this] { player_->Stop(); }, "Incorrect mode", 2, 0},
        {{}, false, 0, [this] { player_->setPaused(true); }, "Incorrect mode", 2, 0},
        {{}, false, 0, [this] { player_->Restart(); }, "Incorrect mode", 2, 0},
        {{}, false, 0, [this] { player_->Open(); }, "Can't play non-specified stream", 254, 0},
        {{}, false, 0, [this] { player_->Play(); }, "Can't play non-specified stream", 254, 0},
        {dir_ / "missing.mp3", false, 0, [this] { player_->Play(); }, "Input stream error", 3, 0},
        {plain, false, 0, [this] { player_->Open(); }, "Input stream error", 3, 0},
        // A stream without handlers: a null context, and every read answers False.
        {{}, true, 0, [this] { player_->Open(); }, "Input stream error", 3, 0},
        // The library refuses a start beyond the stream's end, after the open.
        {shortInput().file, false, 60000, [this] { player_->Play(); }, "Incorrect mode", 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stream.string() + " " + c.message);
        player_->setStreamName(qpath(c.stream));
        player_->setFromStream(c.fromStream);
        player_->setStartPos(c.startPos);
        expectError(c.call, c.message, c.code);
        EXPECT_EQ(player_->PlayedXTimes(), c.playedXTimes);
    }
    player_->setPaused(false); // silent while nothing plays
}

TEST_F(PlayerTest, OutputErrorsLeaveTheFullStartToBeDoneAgain) {
    player_->setStreamName(qpath(shortInput().file));
    player_->setOutFilename(qpath(dir_ / "no-such-dir" / "out.wav"));
    expectError([this] { player_->Play(); }, "Output device failure", 5);
    EXPECT_EQ(player_->PlayedXTimes(), 1);
    EXPECT_FALSE(player_->CheckPlayEnd());

    // The sound card without a device, then through SDL's disk driver and its one device:
    // again a full start.
    player_->setOutputDevice(TOutputDevice::wavemapper);
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    expectError([this] { player_->Play(); }, "Output device failure", 5);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (dir_ / "disk.raw").c_str(), 1);
    player_->setWaveDeviceNum(1);
    player_->Play();
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    EXPECT_EQ(player_->PlayerMode(), 3);
    player_->Stop();
    EXPECT_EQ(player_->PlayerMode(), 1);
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(PlayerTest, OutOfMemoryIsAnInternalDecoderError) {
    player_->setStreamName(qpath(shortInput().file));
    player_->Open();
    // In a child process: a few megabytes of address space beyond what is mapped, too little
    // for the library's playback thread. Exits with the error's code, showing its message.
    const auto playWithoutMemory = [this] {
        std::ifstream statm("/proc/self/statm");
        unsigned long pages = 0;
        statm >> pages;
        const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4 << 20);
        const rlimit tight{limit, limit};
        setrlimit(RLIMIT_AS, &tight);
        try {
            player_->Play();
        } catch (const TMPEGError& error) {
            std::cerr << error.what();
            std::_Exit(error.ErrorCode);
        }
    };
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(playWithoutMemory(), ::testing::ExitedWithCode(1), "Internal decoder error");
}
#endif
