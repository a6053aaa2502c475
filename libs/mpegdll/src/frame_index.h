#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace mpegdll {

class InputFile;

// libmpg123 starts the gapless trim of a LAME stream this many samples after the encoder's delay.
constexpr std::int64_t gaplessDecoderDelay = 529;

// What one frame header says.
struct FrameHeader {
    int version = 0; // 1 MPEG 1, 2 MPEG 2, 25 MPEG 2.5
    int layer = 0;
    int rate = 0;
    int channels = 0;
    bool crc = false;
    int length = 0; // bytes, header included
    int samples = 0;

    // Layer III: the side information's size, its CRC included, and the main data's.
    int sideInfoBytes() const;
    int mainDataBytes() const { return length - 4 - sideInfoBytes(); }
    // Layer III: how far back the main data may start (the bit reservoir's size).
    int reservoirLimit() const { return version == 1 ? 511 : 255; }
    // Layer III: the main_data_begin field of the frame that starts at `frame`.
    int mainDataBegin(const unsigned char* frame) const;
};

// The header at `bytes` (four of them) when it has a fixed bitrate (not free format).
std::optional<FrameHeader> parseFrameHeader(const unsigned char* bytes);

// Where the audio frames of an MPEG audio file lie, found by walking its frame headers.
//
// Only a plain stream gets an index: optional ID3v2 tags, an optional Xing/Info frame, then
// audio frames back to back with one layer, version, rate and channel count, and at the end
// nothing or an ID3v1 tag. For Layer III every frame's main data must also lie where the
// frames before it left it (no frame reaches back past the data that precedes it), so that any
// frame can be decoded from a reservoir of those bytes alone. Anything else (junk between
// frames, a cut last frame, free format, a change of format) gives no index, and the caller
// decodes the file in one piece.
struct FrameIndex {
    // Offsets are kept for every this many frames only, so the index stays small.
    static constexpr std::int64_t step = 16;

    int layer = 0;
    int rate = 0;
    int channels = 0;
    int samplesPerFrame = 0;
    std::int64_t frames = 0;          // audio frames, the Xing/Info frame not counted
    std::vector<std::int64_t> starts; // byte offset of audio frame i * step
    std::int64_t end = 0;             // byte offset just past the last audio frame
    bool hasInfoFrame = false;

    // The byte offset of audio frame `frame`, which must be a multiple of `step` or `frames`.
    std::int64_t offsetOf(std::int64_t frame) const;
};

// Reads up to `bytes` bytes of an input at `offset`; the count read (short at its end), or -1.
using ReadAt = std::function<std::int64_t(void* buffer, std::size_t bytes, std::int64_t offset)>;

// What the Xing/Info frame at the start of a Layer III stream (after its ID3v2 tags) claims.
struct InfoTag {
    std::int64_t offset = 0;  // of the Info frame in the input
    std::int64_t frames = -1; // audio frames after it; -1 when the tag leaves the count out
    std::int64_t bytes = -1;  // of the stream from the Info frame on; -1 when left out
    int smallestFrame = 0;    // bytes of a frame of this format at its lowest bitrate
};

// The Info frame's claims; nullopt when the first frame is no Info frame.
std::optional<InfoTag> findInfoTag(const ReadAt& readAt);

// Walks the file's frame headers; nullopt when the file is not a plain stream (see above) or
// cannot be read.
std::optional<FrameIndex> indexFrames(const std::filesystem::path& path);
std::optional<FrameIndex> indexFrames(const InputFile& file);

} // namespace mpegdll
