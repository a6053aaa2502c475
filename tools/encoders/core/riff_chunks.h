#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

namespace encoders {

// One chunk of a RIFF file: its four-letter id, where its contents start and the size its
// header declares.
struct RiffChunk {
    std::string id;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    // The declared contents run past the end of the file.
    bool truncated = false;
};

// The top-level chunks of a RIFF/WAVE stream, in file order. The walk stops at the end of the
// stream, at a truncated chunk (kept, marked) or at bytes that are no chunk header.
struct RiffLayout {
    bool isWave = false;
    std::uint64_t fileSize = 0;
    std::vector<RiffChunk> chunks;
    // The walk ended exactly at the end of the stream, on a chunk boundary.
    bool endsCleanly = false;
};

// Reads up to `size` bytes at `offset`; fewer at the end of the file.
using ReadAt = std::function<std::string(std::uint64_t offset, std::size_t size)>;

RiffLayout walkRiff(const ReadAt& readAt, std::uint64_t fileSize);
RiffLayout walkRiff(std::istream& in);

// Reads `size` bytes at `offset`; fewer when the stream ends first.
std::string readBytes(std::istream& in, std::uint64_t offset, std::size_t size);

} // namespace encoders
