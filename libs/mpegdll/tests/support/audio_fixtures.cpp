#include "libs/mpegdll/tests/support/audio_fixtures.h"

#include <sndfile.hh>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace testsupport {

Pcm Pcm::slice(std::int64_t first, std::int64_t count) const {
    const auto begin = samples.begin() + first * channels;
    return {rate, channels, {begin, begin + count * channels}};
}

std::string pcmDifference(const Pcm& actual, const Pcm& expected) {
    const auto text = [](const Pcm& pcm) {
        return std::to_string(pcm.rate) + " Hz x" + std::to_string(pcm.channels) + ", " +
               std::to_string(pcm.frames()) + " frames";
    };
    if (actual.rate != expected.rate || actual.channels != expected.channels ||
        actual.frames() != expected.frames())
        return text(actual) + ", expected " + text(expected);
    const auto [a, e] = std::ranges::mismatch(actual.samples, expected.samples);
    if (a == actual.samples.end())
        return "";
    return "sample " + std::to_string(a - actual.samples.begin()) + " is " + std::to_string(*a) +
           ", expected " + std::to_string(*e);
}

Pcm readWav(const std::filesystem::path& path) {
    SndfileHandle file(path.string());
    if (file.error() != SF_ERR_NO_ERROR)
        throw std::runtime_error("not a readable sound file: " + path.string() + ": " +
                                 file.strError());
    Pcm pcm{file.samplerate(), file.channels(),
            std::vector<std::int16_t>(static_cast<std::size_t>(file.frames() * file.channels()))};
    if (file.readf(pcm.samples.data(), file.frames()) != file.frames())
        throw std::runtime_error("short sound file: " + path.string());
    return pcm;
}

void writeTestWav(const std::filesystem::path& path, int rate, int channels, double seconds) {
    SndfileHandle file(path.string(), SFM_WRITE, SF_FORMAT_WAV | SF_FORMAT_PCM_16, channels, rate);
    if (file.error() != SF_ERR_NO_ERROR)
        throw std::runtime_error("cannot write " + path.string());
    const auto frames = static_cast<std::int64_t>(seconds * rate);
    std::vector<short> samples(static_cast<std::size_t>(frames * channels));
    std::uint32_t noise = 12345;
    double phase[2] = {0.0, 0.0};
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        for (int c = 0; c < channels; ++c) {
            const double frequency = (c == 0 ? 220.0 : 330.0) * (1.0 + 0.5 * std::sin(t));
            phase[c] += 2.0 * std::numbers::pi * frequency / rate;
            noise = noise * 1664525u + 1013904223u;
            const double hiss = (static_cast<double>(noise >> 16) / 32768.0 - 1.0) * 0.05;
            const double value = 0.5 * std::sin(phase[c]) + 0.2 * std::sin(3.1 * phase[c]) + hiss;
            samples[static_cast<std::size_t>(i * channels + c)] =
                static_cast<short>(std::lround(value * 32767.0 * 0.9));
        }
    }
    file.writef(samples.data(), frames);
}

void run(const std::string& commandLine) {
    if (std::system(commandLine.c_str()) != 0)
        throw std::runtime_error("command failed: " + commandLine);
}

std::string quoted(const std::filesystem::path& path) {
    std::string text = "'";
    for (char c : path.string())
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

void lame(const std::filesystem::path& wav, const std::filesystem::path& mp3,
          const std::string& options) {
    run("lame --quiet " + options + " " + quoted(wav) + " " + quoted(mp3));
}

void ffmpegMp2(const std::filesystem::path& wav, const std::filesystem::path& mp2, int kbps) {
    run("ffmpeg -nostdin -hide_banner -loglevel error -y -i " + quoted(wav) + " -c:a mp2 -b:a " +
        std::to_string(kbps) + "k -f mp2 " + quoted(mp2));
}

Pcm mpg123Decode(const std::filesystem::path& input, const std::filesystem::path& wav) {
    // mpg123 exits non-zero after decoding damaged input; what it wrote is still the reference.
    [[maybe_unused]] const int status =
        std::system(("mpg123 -q -w " + quoted(wav) + " " + quoted(input) + " 2>/dev/null").c_str());
    return readWav(wav);
}

std::vector<unsigned char> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

int toMs(std::int64_t frames, int rate) {
    return static_cast<int>(frames * 1000 / rate);
}

} // namespace testsupport
