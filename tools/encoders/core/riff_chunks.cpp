#include "tools/encoders/core/riff_chunks.h"

#include <algorithm>

namespace encoders {

namespace {

std::uint32_t littleEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

bool isChunkId(const std::string& id) {
    return std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

} // namespace

std::string readBytes(std::istream& in, std::uint64_t offset, std::size_t size) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(size, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    bytes.resize(in ? size : static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

RiffLayout walkRiff(std::istream& in) {
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    return walkRiff(
        [&](std::uint64_t offset, std::size_t size) { return readBytes(in, offset, size); },
        end > 0 ? static_cast<std::uint64_t>(end) : 0);
}

RiffLayout walkRiff(const ReadAt& readAt, std::uint64_t fileSize) {
    RiffLayout layout;
    layout.fileSize = fileSize;
    const std::string header = readAt(0, 12);
    if (header.size() < 12 || header.compare(0, 4, "RIFF") != 0 ||
        header.compare(8, 4, "WAVE") != 0) {
        return layout;
    }
    layout.isWave = true;
    std::uint64_t at = 12;
    while (at + 8 <= layout.fileSize) {
        const std::string chunkHeader = readAt(at, 8);
        if (chunkHeader.size() < 8 || !isChunkId(chunkHeader.substr(0, 4))) {
            return layout;
        }
        RiffChunk chunk{chunkHeader.substr(0, 4), at + 8, littleEndian32(chunkHeader, 4), false};
        chunk.truncated = chunk.offset + chunk.size > layout.fileSize;
        layout.chunks.push_back(chunk);
        if (chunk.truncated) {
            return layout;
        }
        // Chunks start on even offsets; a file may end without the last pad byte.
        at = chunk.offset + chunk.size + (chunk.size & 1);
    }
    layout.endsCleanly = at >= layout.fileSize;
    return layout;
}

} // namespace encoders
