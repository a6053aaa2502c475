#pragma once

#include "tests/plain/temp_dir.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// Helpers for the encoder tests: generated WAV files, real processes, and the answers of the
// independent tools (ffprobe, ffmpeg, mpg123) about the files our programs write.
namespace encoders::testing {

using testsupport::TempDir;

// A test WAV file: its layout and the sines it holds.
struct ToneWav {
    int channels = 2;
    int sampleRate = 44100;
    double seconds = 1.0;
    int format = 0;                                   // libsndfile subtype, 16-bit PCM when 0
    std::vector<double> frequencies = {440.0, 660.0}; // one sine per channel
    double amplitude = 0.5;
};

// Writes a WAV file of one sine per channel; returns the number of frames.
long writeWav(const std::filesystem::path& path, const ToneWav& tone);

// A 16-bit PCM WAV of a 440 Hz sine built byte by byte, for what libsndfile would not write:
// any rate or channel count, extra chunks, a data chunk that declares less than it holds.
struct RawWav {
    int channels = 2;
    int sampleRate = 44100;
    long frames = 22050;
    std::string chunksBefore{}; // whole chunks, as riffChunk() makes them
    std::string chunksAfter{};
    long declaredFrames = -1; // the data chunk's size in frames; -1 for the true size
};
void writeRawWav(const std::filesystem::path& path, const RawWav& wav);
// The low `bytes` bytes of the value, least significant first.
std::string littleEndian(std::uint64_t value, int bytes);
// A RIFF chunk: id, little-endian size, contents and the pad byte to an even size.
std::string riffChunk(const std::string& id, const std::string& contents);
// A LIST/INFO chunk of NUL-terminated INAM, IART, IPRD, IPRT, ICRD, IGNR and ICMT entries.
std::string infoChunk(const std::vector<std::string>& values);

// The tags ffprobe reads from a file: "title", "artist", ... as it names them.
std::map<std::string, std::string> probeTags(const std::filesystem::path& file);

// The integrated loudness in LUFS that ffmpeg's ebur128 filter measures over the files played
// one after another (they share rate and channel count).
double ffmpegLoudness(const std::vector<std::filesystem::path>& files);

// Interleaved samples of an audio file and its layout, read with libsndfile.
struct Audio {
    int channels = 0;
    int sampleRate = 0;
    std::vector<float> samples;
    long frames() const { return channels == 0 ? 0 : static_cast<long>(samples.size()) / channels; }
    std::vector<float> channel(int index) const;
};
Audio readAudio(const std::filesystem::path& path);

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program with the arguments (argv[0] is the program path) and waits for it.
ProcessResult run(const std::vector<std::string>& argv);

std::vector<std::string> lines(const std::string& text);

// ffprobe's view of the first audio stream: codec_name, sample_rate, channels,
// channel_layout, bit_rate, duration.
std::map<std::string, std::string> probe(const std::filesystem::path& file);

// What mpg123 reports while test-decoding the file: its exit code, everything it printed,
// and the stream line ("MPEG 1.0 L I cbr384 44100 stereo").
struct Mpg123Report {
    int exitCode = -1;
    std::string output;
    std::string streamLine;
};
Mpg123Report mpg123Check(const std::filesystem::path& file);

// Decodes with mpg123 into a WAV file and reads it back.
Audio mpg123Decode(const std::filesystem::path& file, const std::filesystem::path& wav);

// Decodes with ffmpeg (which honours a Layer III file's gapless information) into a WAV file
// and reads it back.
Audio ffmpegDecode(const std::filesystem::path& file, const std::filesystem::path& wav);

// How well a least-squares sine of the given frequency explains the samples, in dB of
// signal over residual; also gives the fitted amplitude. The first and last tenth of a second
// are left out: filter delays and the padding of the last frame live there.
double sineFitSnrDb(const std::vector<float>& samples, int sampleRate, double frequency,
                    double* amplitude = nullptr);

// Signal-to-noise ratio in dB of `decoded` against `reference`, sample for sample, over the
// range they share leaving out `margin` samples at either end.
double alignedSnrDb(const std::vector<float>& reference, const std::vector<float>& decoded,
                    long margin);

} // namespace encoders::testing
