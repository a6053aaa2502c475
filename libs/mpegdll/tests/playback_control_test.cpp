// Pause, continue, stop, restart and seek of a playback into a WAV file, with the player modes
// and the end flag along the way.

#include "libs/mpegdll/tests/library_fixture.h"

#include <thread>

using namespace testsupport;

namespace {

// A playback of the 60-second input paused early: decoding it takes far longer than the two
// calls, and should a loaded machine let it run to its end first, it is tried again.
class PausedPlayback : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, wav_.c_str());
        SetPriority(MPEGDLL_PRIORITY_HIGHEST);
        ASSERT_EQ(openFile(input().file), 0);
        for (int attempt = 0;; ++attempt) {
            ASSERT_EQ(Play(0, 0, endFlag()), 0);
            const int error = (Pause(0), LastError());
            if (GetPlayerMode() == MPEGDLL_MODE_PAUSED && GetCurrentPos() < GetLength()) {
                ASSERT_EQ(error, 0);
                break;
            }
            ASSERT_LT(attempt, 5) << "the decode kept ending before Pause";
            Pause(1);
            ASSERT_TRUE(waitForEnd());
            ResetPlayerMode();
        }
    }
    static const Input& input() { return media(Clip::Layer3Long); }
    const std::filesystem::path wav_ = out_ / "out.wav";
};

} // namespace

TEST_F(PausedPlayback, PauseHoldsContinueRunsToTheEndAndRestartPlaysAgain) {
    const int position = GetCurrentPos();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(GetCurrentPos(), position);
    EXPECT_FALSE(ResetPlayerMode());

    EXPECT_EQ((Pause(0), LastError()), 0); // pausing again changes nothing
    EXPECT_EQ((Pause(1), LastError()), 0);
    Pause(1); // continuing a running (or just ended) playback changes nothing
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_ENDED);
    EXPECT_EQ(GetCurrentPos(), GetLength());
    EXPECT_TRUE(ResetPlayerMode());
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
    EXPECT_TRUE(ResetPlayerMode()); // still the end of the last playback
    EXPECT_TRUE(samePcm(readWav(wav_), input().reference));

    // After an end: the flag reads 0 again while the new playback runs. Restart while paused
    // starts over once more.
    EXPECT_EQ((Restart(), LastError()), 0);
    Pause(0);
    if (GetPlayerMode() == MPEGDLL_MODE_PAUSED) {
        EXPECT_FALSE(ended());
        EXPECT_FALSE(ResetPlayerMode());
    }
    EXPECT_EQ((Restart(), LastError()), 0);
    const int mode = GetPlayerMode();
    EXPECT_TRUE(mode == MPEGDLL_MODE_PLAYING || mode == MPEGDLL_MODE_ENDED) << mode;
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(samePcm(readWav(wav_), input().reference));
}

TEST_F(PausedPlayback, SeekMovesThePlaybackAndPollingSeesItMove) {
    const int paused = GetCurrentPos();
    EXPECT_EQ(withError(Seek(30000)), std::pair(30000, 0));
    EXPECT_EQ(GetCurrentPos(), 30000);
    EXPECT_EQ(withError(Seek(-1)), std::pair(-1, MPEGDLL_ERR_MODE));
    EXPECT_EQ(withError(Seek(GetLength() + 1000)), std::pair(-1, MPEGDLL_ERR_MODE));

    Pause(1);
    for (int last = 30000, position = 0; !ended(); last = position) {
        const int mode = GetPlayerMode();
        EXPECT_TRUE(mode == MPEGDLL_MODE_PLAYING || mode == MPEGDLL_MODE_ENDED) << mode;
        position = GetCurrentPos();
        EXPECT_TRUE(position >= last && position <= GetLength()) << last << " " << position;
        EXPECT_EQ(withError(GetBitrate()).second, 0);
    }
    EXPECT_EQ(GetCurrentPos(), GetLength());
    const Pcm& reference = input().reference;
    const Pcm output = readWav(wav_);
    const std::int64_t seekFrame = 30000 * 44100 / 1000;
    // What was written before the pause, then the rest from 30 s on.
    const std::int64_t afterSeek = reference.frames() - seekFrame;
    const std::int64_t pausedFrame = output.frames() - afterSeek;
    ASSERT_GE(pausedFrame, 0);
    EXPECT_EQ(toMs(pausedFrame, 44100), paused);
    EXPECT_TRUE(samePcm(output.slice(0, pausedFrame), reference.slice(0, pausedFrame)));
    EXPECT_TRUE(
        samePcm(output.slice(pausedFrame, afterSeek), reference.slice(seekFrame, afterSeek)));

    EXPECT_EQ(withError(Seek(1000)), std::pair(-1, MPEGDLL_ERR_MODE)); // the playback is over
}

TEST_F(LibraryTest, CloseOrDeinitDuringAPlaybackEndsItsThreadAndCompletesTheFile) {
    const Input& input = media(Clip::Layer3Long);
    const auto wav = out_ / "cut.wav";
    const auto threadCount = [] {
        return std::ranges::distance(std::filesystem::directory_iterator("/proc/self/task"));
    };
    // A sanitizer's runtime starts a thread of its own with the process's first other thread;
    // with one started first, the count before a playback is the count after it.
    std::thread([] {}).join();
    for (const bool byDeinit : {false, true}) {
        SCOPED_TRACE(byDeinit ? "deinit" : "Close");
        SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, wav.c_str());
        ASSERT_EQ(openFile(input.file), 0);
        const auto threads = threadCount();
        ASSERT_EQ(Play(0, 0, endFlag()), 0);
        // The playback thread and its decoding workers, unless a loaded machine let them finish.
        EXPECT_TRUE(threadCount() > threads || ended());
        EXPECT_EQ(((byDeinit ? deinit() : Close()), LastError()), 0);
        EXPECT_EQ(threadCount(), threads);
        ASSERT_TRUE(!byDeinit || init()); // leaves this test's own init for TearDown
        EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_CLOSED);
        const Pcm partial = readWav(wav);
        EXPECT_TRUE(samePcm(partial, input.reference.slice(0, partial.frames())));
    }
    EXPECT_EQ((Close(), LastError()), 0); // closing with nothing open is fine
}
