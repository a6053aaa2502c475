// Playback to the sound card through SDL's disk driver, which plays in real time into a file.

#include "libs/mpegdll/tests/library_fixture.h"

#include <algorithm>
#include <cstring>
#include <thread>

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

class SoundCardTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ((SetOutputDevice(MPEGDLL_OUTPUT_SOUNDCARD, nullptr), LastError()), 0);
    }
    // Whether the sound card got `expected` in one piece. Zeros are left out of both: SDL fills
    // in silence when a loaded machine keeps the decoder from queueing in time.
    bool played(const Pcm& expected) const {
        const auto bytes = readBytes(disk_);
        std::vector<std::int16_t> samples(bytes.size() / 2), part = expected.samples;
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        std::erase(samples, 0);
        std::erase(part, 0);
        return !std::ranges::search(samples, part).empty();
    }
    const std::filesystem::path disk_ = out_ / "disk.raw";
    const ScopedEnvironment driver_{"SDL_AUDIODRIVER", "disk"};
    const ScopedEnvironment file_{"SDL_DISKAUDIOFILE", disk_.c_str()};
};

} // namespace

TEST_F(SoundCardTest, PlaysEverySampleInRealTimeOnTheChosenDeviceIfAny) {
    const Input& input = media(Clip::Layer3Stereo44); // 3 s
    ASSERT_EQ(openFile(input.file), 0);
    {
        const ScopedEnvironment noDriver("SDL_AUDIODRIVER", "no-such-driver");
        EXPECT_EQ(Play(0, 0, endFlag()), MPEGDLL_ERR_OUTPUT);
        EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
    }
    // The disk driver lists one device: number 1 is that one, 5 falls back to the default.
    for (int device : {1, 5, 0, -1}) {
        ASSERT_EQ((SetSndDevice(device), LastError()), 0);
        const int end = device == 1 ? 0 : 300;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(Play(0, end, endFlag()), 0) << device;
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(GetCurrentPos(), end == 0 ? GetLength() : end);
        EXPECT_TRUE(ResetPlayerMode());
        if (end == 0) {
            // The sound card, not the decoder, sets the pace; a load can only make it slower.
            EXPECT_GE(std::chrono::steady_clock::now() - start, 2500ms);
            EXPECT_TRUE(played(input.reference));
        }
    }
}

TEST_F(SoundCardTest, PauseStopsTheSoundAndContinueGoesOn) {
    // The 60-second input keeps playing however long the machine keeps this thread waiting.
    const Input& input = media(Clip::Layer3Long);
    ASSERT_EQ(openFile(input.file), 0);
    for (const bool stop : {true, false}) {
        ASSERT_EQ(Play(0, 0, endFlag()), 0);
        ASSERT_TRUE(waitFor([] { return GetCurrentPos() > 0; }));
        if (stop) { // ends the playback at once, not at the end of the stream
            EXPECT_EQ((Stop(), LastError()), 0);
            EXPECT_FALSE(ended());
            EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
        }
    }
    ASSERT_EQ((Pause(0), LastError()), 0);
    ASSERT_EQ(GetPlayerMode(), MPEGDLL_MODE_PAUSED);
    const int position = GetCurrentPos(); // Pause returns once the position holds
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(GetCurrentPos(), position);
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_PAUSED);

    EXPECT_EQ(Seek(58000), 58000); // jumps, dropping what was queued
    EXPECT_EQ(GetCurrentPos(), 58000);
    Pause(1);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(GetCurrentPos(), GetLength());
    // The rest was played after the jump; the first frame after it may differ, so compare from
    // the next on.
    const std::int64_t from = 58100LL * 44100 / 1000;
    EXPECT_TRUE(played(input.reference.slice(from, input.reference.frames() - from)));
}
