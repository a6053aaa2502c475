#include "tools/encoders/core/riff_chunks.h"

#include "tools/encoders/core/encoder_error.h"

#include <algorithm>

namespace encoders {

namespace {

std::uint64_t readNumber(const std::string& bytes, std::size_t at, int width, bool bigEndian) {
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i) {
        const std::size_t index = at + static_cast<std::size_t>(bigEndian ? i : width - 1 - i);
        value = value << 8 | static_cast<unsigned char>(bytes[index]);
    }
    return value;
}

bool isChunkId(const std::string& id) {
    return std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

// An RF64 file gives sizes past 32 bits in its "ds64" chunk; such a size reads 0xFFFFFFFF.
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFF;

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
    if (header.size() < 12 || header.compare(8, 4, "WAVE") != 0) {
        return layout;
    }
    const std::string form = header.substr(0, 4);
    if (form == "RIFF" || form == "RF64") {
        layout.form = form == "RIFF" ? RiffForm::Riff : RiffForm::Rf64;
    } else if (form == "RIFX") {
        layout.form = RiffForm::Rifx;
    } else {
        return layout;
    }
    const bool bigEndian = layout.form == RiffForm::Rifx;
    layout.isWave = true;
    layout.formSize = static_cast<std::uint32_t>(readNumber(header, 4, 4, bigEndian));
    std::uint64_t ds64DataSize = kSizeInDs64;
    std::uint64_t at = 12;
    while (at + 8 <= layout.fileSize && layout.chunks.size() < kMaxRiffChunks) {
        const std::string chunkHeader = readAt(at, 8);
        if (chunkHeader.size() < 8 || !isChunkId(chunkHeader.substr(0, 4))) {
            return layout;
        }
        RiffChunk chunk{chunkHeader.substr(0, 4), at + 8, readNumber(chunkHeader, 4, 4, bigEndian),
                        false};
        if (layout.form == RiffForm::Rf64) {
            if (chunk.id == "ds64" && layout.chunks.empty() && chunk.size >= 16) {
                ds64DataSize =
                    readNumber(readAt(chunk.offset + 8, 8) + std::string(8, '\0'), 0, 8, false);
            } else if (chunk.id == "data" && chunk.size == kSizeInDs64) {
                chunk.size = ds64DataSize;
            }
        }
        chunk.truncated = chunk.size > layout.fileSize - chunk.offset;
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

WaveAudio locateWaveAudio(const RiffLayout& layout) {
    const RiffChunk* format = nullptr;
    const RiffChunk* data = nullptr;
    for (const RiffChunk& chunk : layout.chunks) {
        const RiffChunk** slot = chunk.id == "fmt "   ? &format
                                 : chunk.id == "data" ? &data
                                                      : nullptr;
        if (slot == nullptr) {
            continue;
        }
        if (*slot != nullptr) {
            throw EncoderError("the WAV file has more than one '" + chunk.id +
                               "' chunk; it is damaged or not a plain WAV file");
        }
        *slot = &chunk;
    }
    if (format == nullptr || data == nullptr) {
        throw EncoderError(std::string("the WAV file has no '") +
                           (format == nullptr ? "fmt " : "data") + "' chunk");
    }
    if (format->truncated) {
        throw EncoderError("the WAV file's 'fmt ' chunk runs past its end");
    }
    WaveAudio audio{*format, *data};
    const std::uint64_t available = layout.fileSize - data->offset;
    if (layout.formSize == 8 && data->size == 0) {
        audio.data.size = available;
    }
    audio.data.size = std::min(audio.data.size, available);
    audio.data.truncated = false;
    return audio;
}

} // namespace encoders
