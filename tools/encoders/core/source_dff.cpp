#include "tools/encoders/core/source_dff.h"

#include "tools/encoders/core/riff_chunks.h"

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

namespace encoders {

namespace {

std::uint64_t bigEndian64(const std::string& bytes, std::size_t at) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// Where the contents of the form's "ID3 " chunk start: the chunks of "FRM8", its size, "DSD ",
// each an id, a big-endian 64-bit size and its contents padded to an even length.
std::optional<std::uint64_t> id3ChunkOffset(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string head = readBytes(in, 0, 16);
    if (head.size() < 16 || head.compare(0, 4, "FRM8") != 0 || head.compare(12, 4, "DSD ") != 0) {
        return std::nullopt;
    }
    std::error_code error;
    const std::uint64_t fileSize = std::filesystem::file_size(path, error);
    const std::uint64_t declared = bigEndian64(head, 4);
    const std::uint64_t end = error || declared > fileSize ? fileSize : 12 + declared;
    std::uint64_t at = 16;
    for (std::size_t count = 0; count < kMaxRiffChunks && at + 12 <= end; ++count) {
        const std::string header = readBytes(in, at, 12);
        if (header.size() < 12) {
            break;
        }
        const std::uint64_t size = bigEndian64(header, 4);
        if (header.compare(0, 4, "ID3 ") == 0) {
            return at + 12;
        }
        if (size > end - at - 12) {
            break;
        }
        at += 12 + size + (size & 1);
    }
    return std::nullopt;
}

} // namespace

DsdiffFile::DsdiffFile(const std::filesystem::path& path) : TagLib::File(path.c_str()) {
    const std::optional<std::uint64_t> offset = isOpen() ? id3ChunkOffset(path) : std::nullopt;
    if (offset && *offset <= static_cast<std::uint64_t>(length())) {
        tag_ = std::make_unique<TagLib::ID3v2::Tag>(this, static_cast<long>(*offset));
    } else {
        tag_ = std::make_unique<TagLib::ID3v2::Tag>();
    }
}

DsdiffFile::~DsdiffFile() = default;

} // namespace encoders
