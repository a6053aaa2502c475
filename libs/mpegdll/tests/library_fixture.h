#pragma once

// Shared inputs and the per-test set-up of the library tests: each test runs between one init
// and one deinit of the real library.

#include "libs/mpegdll/include/mpegdll.h"
#include "libs/mpegdll/tests/support/audio_fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// An MPEG file and what mpg123 decodes from it.
struct Input {
    std::filesystem::path file;
    testsupport::Pcm reference;
};

// The shared inputs, made once per test run on first use.
enum class Clip {
    Layer3Stereo44, // MPEG 1 Layer III, 44.1 kHz joint stereo, 128 kbit/s, 3 s
    Layer3Long,     // MPEG 1 Layer III, 44.1 kHz stereo, 60 s, 20 joined parts
};
const Input& media(Clip clip);

// Sets an environment variable for a scope and then puts back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value, 1);
    }
    ~ScopedEnvironment() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Makes the library decode files in chunks of 16 frames on 3 threads: many joins in a few s.
struct SmallChunks {
    ScopedEnvironment chunks{"SONABOX_DECODER_CHUNK_FRAMES", "16"};
    ScopedEnvironment threads{"SONABOX_DECODER_THREADS", "3"};
};

// A call's result and the error it left, to check both in one expectation.
inline std::pair<int, int> withError(int result) {
    return {result, LastError()};
}

// Opens an MPEG file as the library's input; gives Open's result.
int openFile(const std::filesystem::path& file);

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(withError(init()), std::pair(1, 0)); }
    void TearDown() override { EXPECT_EQ((deinit(), LastError()), 0); }

    // Waits until `condition` holds; false after `timeout`.
    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(60));
    bool waitForEnd() { return waitFor(std::bind_front(&LibraryTest::ended, this)); }
    bool ended() { return std::atomic_ref<unsigned char>(endFlag_).load() != 0; }
    unsigned char* endFlag() { return &endFlag_; }
    // Opens `file`, decodes [startMs, endMs) into a WAV file and reads it back.
    testsupport::Pcm decode(const std::filesystem::path& file, int startMs = 0, int endMs = 0);

    testsupport::TempDir out_;

private:
    alignas(std::atomic_ref<unsigned char>::required_alignment) unsigned char endFlag_ = 0;
};

// What a command prints; throws when it fails.
std::string commandOutput(const std::string& command);

// A WAV file's rate, channels and length as ffprobe reads them.
struct WavFormat {
    int rate = 0, channels = 0;
    double seconds = 0;
};
WavFormat probeWav(const std::filesystem::path& wav);

// The frame count in the Info frame that lame writes, and `mp3` with another one there; both
// throw when `mp3` has no such count.
std::uint32_t infoCount(const std::vector<unsigned char>& mp3);
std::vector<unsigned char> withInfoCount(std::vector<unsigned char> mp3, std::uint32_t count);

// gtest prints a whole sample vector on failure; this compares and says where they differ.
::testing::AssertionResult samePcm(const testsupport::Pcm& actual,
                                   const testsupport::Pcm& expected);
