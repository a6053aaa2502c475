#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

namespace encoders {

// One chunk of a RIFF file: its four-letter id, where its contents start and the size its
// header declares (in an RF64 file, the "data" chunk's size comes from the "ds64" chunk).
struct RiffChunk {
    std::string id;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    // The declared contents run past the end of the file.
    bool truncated = false;
};

// The forms of WAVE file: little-endian RIFF, its big-endian twin RIFX, and RF64 for files
// past 4 GiB.
enum class RiffForm { Riff, Rifx, Rf64 };

// The top-level chunks of a RIFF/WAVE stream, in file order. The walk stops at the end of the
// stream, at a truncated chunk (kept, marked), at bytes that are no chunk header or after
// kMaxRiffChunks chunks.
struct RiffLayout {
    bool isWave = false;
    RiffForm form = RiffForm::Riff;
    std::uint32_t formSize = 0; // as the file header declares it
    std::uint64_t fileSize = 0;
    std::vector<RiffChunk> chunks;
    // The walk ended exactly at the end of the stream, on a chunk boundary.
    bool endsCleanly = false;
};

inline constexpr std::size_t kMaxRiffChunks = 4096;

// Reads up to `size` bytes at `offset`; fewer at the end of the file.
using ReadAt = std::function<std::string(std::uint64_t offset, std::size_t size)>;

RiffLayout walkRiff(const ReadAt& readAt, std::uint64_t fileSize);
RiffLayout walkRiff(std::istream& in);

// Where the audio of a WAVE file lies: its one "fmt " chunk and its one "data" chunk, the
// latter cut to the bytes the file holds.
struct WaveAudio {
    RiffChunk format;
    RiffChunk data;
};

// Checks that the layout has exactly one "fmt " chunk, wholly inside the file, and exactly one
// "data" chunk; throws EncoderError naming what is wrong otherwise. A file whose header was
// never completed (a form size of 8 and an empty data chunk) has its audio up to the end.
WaveAudio locateWaveAudio(const RiffLayout& layout);

// Reads `size` bytes at `offset`; fewer when the stream ends first.
std::string readBytes(std::istream& in, std::uint64_t offset, std::size_t size);

} // namespace encoders
