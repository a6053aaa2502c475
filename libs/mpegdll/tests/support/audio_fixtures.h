#pragma once

// Test inputs made at run time by tools we did not write (lame, ffmpeg, mpg123), and a
// reader for the WAV files that come out.

#include "tests/plain/temp_dir.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Decoded audio as a WAV file holds it.
struct Pcm {
    int rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples; // interleaved

    std::int64_t frames() const {
        return channels == 0 ? 0 : static_cast<std::int64_t>(samples.size()) / channels;
    }
    // Samples per channel [first, first + count) as a new Pcm.
    Pcm slice(std::int64_t first, std::int64_t count) const;
};

// Where two decodes differ ("" when they hold the same samples in the same format).
std::string pcmDifference(const Pcm& actual, const Pcm& expected);

// Reads a WAV file with libsndfile; throws std::runtime_error when it is not a valid one.
Pcm readWav(const std::filesystem::path& path);

// Writes a 16-bit WAV file with a signal that gives the encoders real work: two gliding tones
// and some deterministic noise.
void writeTestWav(const std::filesystem::path& path, int rate, int channels, double seconds);

// Runs a shell command line; throws std::runtime_error when it does not exit with 0.
void run(const std::string& commandLine);
// Quotes a path for the shell.
std::string quoted(const std::filesystem::path& path);

// Encoders and the reference decoder. Each throws when the tool fails.
void lame(const std::filesystem::path& wav, const std::filesystem::path& mp3,
          const std::string& options);
void ffmpegMp2(const std::filesystem::path& wav, const std::filesystem::path& mp2, int kbps);
// What `mpg123 -w` makes of an MPEG file.
Pcm mpg123Decode(const std::filesystem::path& input, const std::filesystem::path& wav);

// The bytes of a file, and a file made of bytes.
std::vector<unsigned char> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);

// Milliseconds of `frames` samples per channel at `rate`, rounded down.
int toMs(std::int64_t frames, int rate);

} // namespace testsupport
