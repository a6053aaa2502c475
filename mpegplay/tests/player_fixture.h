#pragma once

// Inputs and set-up shared by the player tests, which run the real decoder library.

#include "libs/mpegdll/tests/support/audio_fixtures.h"
#include "mpegplay/mpeg_player.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

struct PlayerInput {
    std::filesystem::path file;
    testsupport::Pcm reference; // what mpg123 -w makes of it
    int lengthMs;               // the reference's length
};

// Made on first use, once per test run.
const PlayerInput& shortInput(); // 2 s, 44.1 kHz stereo, 128 kbit/s Layer III by lame
const PlayerInput& longInput();  // 60 s of joined Layer III frames: still decoding after Play

QString qpath(const std::filesystem::path& path);
// Runs the event loop until `done` holds; false after 30 s.
bool waitFor(const std::function<bool()>& done);
// Where the WAV file holds other samples than `expected` ("" when the same).
std::string wavDifference(const std::filesystem::path& wav, const testsupport::Pcm& expected);

// Loads the real library into `player`, whose playbacks then go into the WAV file `wav`.
void loadForWav(TMPEGPlayer& player, const std::filesystem::path& wav, bool useTimer = false,
                int timerFreq = 0);

// Counts the timer's ticks that reach DoTimer through the virtual table, and passes them on.
class CountingPlayer : public TMPEGPlayer {
public:
    void DoTimer(QObject* Sender) override {
        ++ticks;
        TMPEGPlayer::DoTimer(Sender);
    }
    int ticks = 0;
};

// A loaded player that writes into a WAV file in a temporary directory.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override { loadForWav(*player_, wav_); }
    // Plays StreamName and waits for CheckPlayEnd.
    void playToEnd() {
        player_->Play();
        ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    }

    testsupport::TempDir dir_;
    std::filesystem::path wav_ = dir_ / "out.wav";
    std::unique_ptr<CountingPlayer> player_ = std::make_unique<CountingPlayer>();
};

// Expects `call` to raise TMPEGError with this message and code.
void expectError(const std::function<void()>& call, const std::string& message, int code);
