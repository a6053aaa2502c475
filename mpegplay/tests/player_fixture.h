#pragma once

// Inputs and set-up shared by the player tests, which run the real decoder library.

#include "libs/mpegdll/tests/support/audio_fixtures.h"
#include "mpegplay/mpeg_player.h"

#include <QString>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

struct PlayerInput {
    std::filesystem::path file;
    testsupport::Pcm reference; // what mpg123 -w makes of it
};

// Made on first use, once per test run.
const PlayerInput& shortInput(); // 2 s, 44.1 kHz stereo, 128 kbit/s Layer III by lame
const PlayerInput& longInput();  // 60 s of joined Layer III frames: still decoding after Play

QString qpath(const std::filesystem::path& path);
// Runs the event loop until `done` holds; false after `timeoutMs`.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 30000);
// Milliseconds of a decoded reference.
int lengthMs(const testsupport::Pcm& pcm);

// A loaded player that writes into a WAV file in a temporary directory.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Plays StreamName into OutFilename and waits for CheckPlayEnd.
    void playToEnd();

    testsupport::TempDir dir_;
    std::filesystem::path wav_;
    std::unique_ptr<TMPEGPlayer> player_;
};

// Expects `call` to raise TMPEGError with this message and code.
void expectError(const std::function<void()>& call, const std::string& message, int code);
