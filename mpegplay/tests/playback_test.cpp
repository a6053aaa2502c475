// Playing through the player: the WAV output against mpg123, and the state table's paths.

#include "mpegplay/tests/player_fixture.h"

#include <cstdlib>

using namespace testsupport;

namespace {

// A player with the long input started and paused at once: it cannot have ended yet.
class PausedPlayerTest : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        player_->setStreamName(qpath(longInput().file));
        player_->Play();
        player_->setPaused(true);
        ASSERT_TRUE(player_->Paused());
        ASSERT_EQ(player_->PlayerMode(), 4);
        ASSERT_EQ(player_->PlayedXTimes(), 2);
    }
    std::string outputDifference() { return pcmDifference(readWav(wav_), longInput().reference); }
};

} // namespace

TEST_F(PlayerTest, PlaysIntoAWavFileLikeMpg123) {
    player_->setStreamName(qpath(shortInput().file));
    player_->Play(); // opens the stream first
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    EXPECT_EQ(player_->StreamLength(), lengthMs(shortInput().reference));
    EXPECT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(player_->Position(), player_->StreamLength());
    EXPECT_EQ(pcmDifference(readWav(wav_), shortInput().reference), "");
}

TEST_F(PlayerTest, StartAndEndPositionsReachTheLibrary) {
    player_->setStreamName(qpath(shortInput().file));
    player_->setStartPos(500);
    player_->setEndPos(1500);
    playToEnd();
    EXPECT_EQ(player_->Position(), 1500);
    EXPECT_EQ(pcmDifference(readWav(wav_), shortInput().reference.slice(22050, 44100)), "");
}

TEST_F(PausedPlayerTest, PlayContinuesAPausedPlaybackAndThenDoesNothing) {
    EXPECT_FALSE(player_->CheckPlayEnd());
    const int position = player_->Position();
    player_->setPaused(true); // pausing again asks the library again; nothing changes
    EXPECT_EQ(player_->Position(), position);

    player_->Play(); // continues
    EXPECT_FALSE(player_->Paused());
    player_->Play(); // playing already: nothing
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(outputDifference(), "");
    EXPECT_TRUE(player_->CheckPlayEnd()); // the flag stays set: the library is asked again

    // After a noticed end, Play takes the restart path.
    player_->Play();
    EXPECT_EQ(player_->PlayedXTimes(), 3);
    EXPECT_FALSE(player_->CheckPlayEnd()); // Restart cleared the flag
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(outputDifference(), "");
}

TEST_F(PausedPlayerTest, PlayAfterStopRestartsWithTheSettingsOfTheFullStart) {
    player_->Stop();
    EXPECT_FALSE(player_->Paused());
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    EXPECT_EQ(player_->PlayerMode(), 1);
    expectError([this] { player_->Stop(); }, "Incorrect mode", 2);
    player_->setPaused(false); // silent while nothing plays

    // The restart path sends no output settings: the new name takes effect only after the
    // stream has been opened again.
    const auto other = dir_ / "other.wav";
    player_->setOutFilename(qpath(other));
    player_->Play();
    EXPECT_EQ(player_->PlayedXTimes(), 3);
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(outputDifference(), "");
    EXPECT_FALSE(std::filesystem::exists(other));

    // Naming the stream, even with the same name, closes it; the next Play is a full start.
    player_->setStreamName(player_->StreamName());
    EXPECT_EQ(player_->PlayedXTimes(), 0);
    EXPECT_EQ(player_->PlayerMode(), 0);
    player_->Play();
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(pcmDifference(readWav(other), longInput().reference), "");
}

TEST_F(PlayerTest, AnEndThatNobodyNoticed) {
    player_->setStreamName(qpath(shortInput().file));
    player_->Play();
    // Only the library's mode is watched; no tick and no CheckPlayEnd notice the end.
    ASSERT_TRUE(waitFor([this] { return player_->PlayerMode() == 2; }));
    player_->Play(); // still "playing" for the player: nothing happens
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    expectError([this] { player_->Stop(); }, "Incorrect mode", 2);
    expectError([this] { player_->setPaused(true); }, "Incorrect mode", 2);
    player_->setPaused(false);

    player_->Close(); // recovers
    EXPECT_EQ(player_->PlayedXTimes(), 0);
    player_->Close(); // closing with nothing open still asks the library, which agrees
    player_->Play();
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    EXPECT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(pcmDifference(readWav(wav_), shortInput().reference), "");
}

TEST_F(PlayerTest, AutoPlayStartsFromOpen) {
    player_->setAutoPlay(true);
    player_->setStreamName(qpath(longInput().file));
    player_->Open();
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    player_->Play(); // playing already
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    player_->Stop();

    // Play with nothing open: Open starts the playback, and Play ends there rather than
    // restarting it at once.
    player_->Close();
    player_->Play();
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(pcmDifference(readWav(wav_), longInput().reference), "");
}

TEST_F(PlayerTest, LongNamesReachTheLibraryWhole) {
    // Both paths well past 255 characters: a cut name would open or write another file.
    std::filesystem::path deep = dir_.path();
    for (int i = 0; i < 6; ++i)
        deep /= std::string(60, static_cast<char>('a' + i));
    std::filesystem::create_directories(deep);
    const auto input = deep / "input.mp3";
    const auto output = deep / "output.wav";
    std::filesystem::copy_file(shortInput().file, input);
    ASSERT_GT(output.string().size(), 300u);

    player_->setStreamName(qpath(input));
    player_->setOutFilename(qpath(output));
    playToEnd();
    EXPECT_EQ(pcmDifference(readWav(output), shortInput().reference), "");
}

TEST_F(PlayerTest, SoundCardPlaybackPausesAndStops) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (dir_ / "disk.raw").c_str(), 1);
    player_->setOutputDevice(TOutputDevice::wavemapper);
    player_->setWaveDeviceNum(1); // the disk driver's one device
    player_->setStreamName(qpath(shortInput().file));
    player_->Play();
    EXPECT_EQ(player_->PlayerMode(), 3);
    player_->setPaused(true);
    EXPECT_EQ(player_->PlayerMode(), 4);
    player_->Play();
    EXPECT_EQ(player_->PlayerMode(), 3);
    player_->Stop();
    EXPECT_EQ(player_->PlayerMode(), 1);
    EXPECT_FALSE(player_->CheckPlayEnd());
    player_->Close();
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
}
