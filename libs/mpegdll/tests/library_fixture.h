#pragma once

// Shared inputs and the per-test set-up of the library tests: each test runs between one init
// and one deinit of the real library.

#include "libs/mpegdll/include/mpegdll.h"
#include "libs/mpegdll/tests/support/audio_fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

// An MPEG file and what mpg123 decodes from it.
struct Input {
    std::filesystem::path file;
    testsupport::Pcm reference;
};

// Inputs made once per test run, on first use.
class Media {
public:
    static Media& get();

    const Input& layer3Stereo44(); // MPEG 1 Layer III, 44.1 kHz joint stereo, 128 kbit/s, 3 s
    const Input& layer3Mono22();   // MPEG 2 Layer III, 22.05 kHz mono, 64 kbit/s, 2 s
    const Input& layer3Stereo8();  // MPEG 2.5 Layer III, 8 kHz stereo, 32 kbit/s, 2 s
    const Input& layer2Stereo48(); // MPEG 1 Layer II, 48 kHz stereo, 192 kbit/s, 2 s
    const Input& layer2Mono24();   // MPEG 2 Layer II, 24 kHz mono, 64 kbit/s, 2 s
    const Input& layer3Long();     // MPEG 1 Layer III, 44.1 kHz stereo, 60 s, 20 joined parts

    const std::filesystem::path& dir() const { return dir_.path(); }

private:
    Input make(const std::string& name, int rate, int channels, double seconds,
               const std::string& encoder, const std::string& options);

    testsupport::TempDir dir_;
    std::unique_ptr<Input> stereo44_, mono22_, stereo8_, mp2Stereo48_, mp2Mono24_, long_;
};

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static int openFile(const std::filesystem::path& file);
    // Waits for the end flag; false after `timeout`.
    bool waitForEnd(std::chrono::milliseconds timeout = std::chrono::seconds(60));
    bool ended() { return std::atomic_ref<unsigned char>(endFlag_).load() != 0; }
    unsigned char* endFlag() { return &endFlag_; }
    // Opens `file`, decodes [startMs, endMs) into a WAV file and reads it back.
    testsupport::Pcm decode(const std::filesystem::path& file, int startMs = 0, int endMs = 0);

    testsupport::TempDir out_;

private:
    alignas(std::atomic_ref<unsigned char>::required_alignment) unsigned char endFlag_ = 0;
};

// gtest prints a whole sample vector on failure; this compares and says where they differ.
::testing::AssertionResult samePcm(const testsupport::Pcm& actual,
                                   const testsupport::Pcm& expected);
