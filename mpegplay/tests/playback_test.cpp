// Playing through the player: the WAV output against mpg123, and the state table's paths.

#include "mpegplay/tests/player_fixture.h"

using namespace testsupport;

TEST_F(PlayerTest, PlaysIntoAWavFileLikeMpg123) {
    // Paths well past 255 characters: a cut name would open or write another file.
    std::filesystem::path deep = dir_.path();
    for (int i = 0; i < 6; ++i)
        deep /= std::string(60, static_cast<char>('a' + i));
    std::filesystem::create_directories(deep);
    std::filesystem::copy_file(shortInput().file, deep / "input.mp3");
    const Pcm& whole = shortInput().reference;
    const struct {
        std::filesystem::path input, output;
        int startPos, endPos;
        Pcm expected;
        bool autoPlay;
    } cases[] = {
        {shortInput().file, wav_, 0, 0, whole, false},
        // The same name again: a full start, which sends the new positions.
        {shortInput().file, wav_, 500, 1500, whole.slice(22050, 44100), false},
        {deep / "input.mp3", deep / "output.wav", 0, 0, whole, false},
        // AutoPlay: Open starts the playback, and Play with nothing open ends there.
        {shortInput().file, wav_, 0, 0, whole, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        player_->setStreamName(qpath(c.input)); // closes the stream of the case before
        player_->setOutFilename(qpath(c.output));
        player_->setStartPos(c.startPos);
        player_->setEndPos(c.endPos);
        player_->setAutoPlay(c.autoPlay);
        if (c.autoPlay) {
            player_->Open();
            EXPECT_EQ(player_->PlayedXTimes(), 2);
            player_->Close();
        }
        playToEnd(); // opens the stream first
        EXPECT_EQ(player_->PlayedXTimes(), 2);
        EXPECT_EQ(player_->StreamLength(), shortInput().lengthMs);
        EXPECT_EQ(player_->Position(), c.endPos > 0 ? c.endPos : shortInput().lengthMs);
        EXPECT_EQ(wavDifference(c.output, c.expected), "");
    }
}

TEST_F(PlayerTest, PauseContinueStopRestartAndUnnoticedEnd) {
    player_->setStreamName(qpath(longInput().file));
    player_->Play();
    player_->setPaused(true);
    ASSERT_EQ(player_->PlayerMode(), 4);
    const int position = player_->Position();
    player_->setPaused(true); // pausing again asks the library again; nothing changes
    EXPECT_EQ(player_->Position(), position);
    EXPECT_FALSE(player_->CheckPlayEnd());

    player_->Play(); // continues
    EXPECT_FALSE(player_->Paused());
    playToEnd(); // playing already: Play does nothing
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    EXPECT_EQ(wavDifference(wav_, longInput().reference), "");
    EXPECT_TRUE(player_->CheckPlayEnd()); // the flag stays set: the library is asked again

    // After a noticed end, Play takes the restart path, which clears the flag.
    player_->Play();
    EXPECT_EQ(player_->PlayedXTimes(), 3);
    EXPECT_FALSE(player_->CheckPlayEnd());
    player_->setPaused(true);
    player_->Stop();
    EXPECT_FALSE(player_->Paused());
    EXPECT_EQ(player_->PlayerMode(), 1);
    expectError([this] { player_->Stop(); }, "Incorrect mode", 2);

    // After Stop too; the restart path sends no output settings, so the new name waits for
    // the next full start. This end goes unnoticed: only the library's mode is watched.
    const auto other = dir_ / "other.wav";
    player_->setOutFilename(qpath(other));
    player_->Play();
    EXPECT_EQ(player_->PlayedXTimes(), 4);
    ASSERT_TRUE(waitFor([this] { return player_->PlayerMode() == 2; }));
    player_->Play(); // still "playing" for the player: nothing happens
    EXPECT_EQ(player_->PlayedXTimes(), 4);
    expectError([this] { player_->Stop(); }, "Incorrect mode", 2);
    expectError([this] { player_->setPaused(true); }, "Incorrect mode", 2);
    player_->Close(); // recovers
    EXPECT_EQ(player_->PlayedXTimes(), 0);
    player_->Close(); // closing with nothing open still asks the library, which agrees
    EXPECT_EQ(wavDifference(wav_, longInput().reference), "");
    EXPECT_FALSE(std::filesystem::exists(other));
    playToEnd(); // a full start, which sends the new name
    EXPECT_EQ(player_->PlayedXTimes(), 2);
    EXPECT_EQ(wavDifference(other, longInput().reference), "");
}
