#include "libs/mpegdll/src/frame_index.h"

#include "libs/mpegdll/src/input_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <system_error>
#include <utility>

namespace mpegdll {

namespace {

constexpr std::array<std::array<int, 16>, 5> bitrates{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}, // MPEG 1 Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},    // MPEG 1 Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},     // MPEG 1 Layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},    // MPEG 2 Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}, // MPEG 2 Layer II, III
}};
constexpr std::array<int, 3> mpeg1Rates{44100, 48000, 32000};

} // namespace

std::optional<FrameHeader> parseFrameHeader(const unsigned char* bytes) {
    const std::uint32_t word = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                               (std::uint32_t{bytes[2]} << 8) | bytes[3];
    if ((word & 0xffe00000u) != 0xffe00000u)
        return std::nullopt;
    const unsigned versionBits = (word >> 19) & 3;
    const unsigned layerBits = (word >> 17) & 3;
    const unsigned bitrateIndex = (word >> 12) & 15;
    const unsigned rateIndex = (word >> 10) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3 || (word & 3) == 2)
        return std::nullopt;

    FrameHeader header;
    header.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    header.layer = 4 - static_cast<int>(layerBits);
    header.rate = mpeg1Rates[rateIndex] >> (header.version == 1 ? 0 : header.version == 2 ? 1 : 2);
    header.channels = ((word >> 6) & 3) == 3 ? 1 : 2;
    header.crc = ((word >> 16) & 1) == 0;
    const bool lsf = header.version != 1;
    const std::size_t table = lsf ? (header.layer == 1 ? 3 : 4) : header.layer - 1;
    const int bitrate = bitrates[table][bitrateIndex] * 1000;
    const int padding = static_cast<int>((word >> 9) & 1);
    if (header.layer == 1) {
        header.length = (12 * bitrate / header.rate + padding) * 4;
        header.samples = 384;
    } else if (header.layer == 2 || !lsf) {
        header.length = 144 * bitrate / header.rate + padding;
        header.samples = 1152;
    } else {
        header.length = 72 * bitrate / header.rate + padding;
        header.samples = 576;
    }
    return header;
}

int FrameHeader::sideInfoBytes() const {
    const bool mono = channels == 1;
    return (version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17)) + (crc ? 2 : 0);
}

int FrameHeader::mainDataBegin(const unsigned char* frame) const {
    const unsigned char* side = frame + 4 + (crc ? 2 : 0);
    return version == 1 ? (side[0] << 1) | (side[1] >> 7) : side[0];
}

namespace {

// Sequential reads through a window of the input, so the walk costs one read per block.
class Window {
public:
    explicit Window(const ReadAt& readAt) : readAt_(readAt) {}

    // `count` bytes at `offset`, or null when the file ends or cannot be read before them.
    const unsigned char* at(std::int64_t offset, std::size_t count) {
        if (offset < start_ || offset + static_cast<std::int64_t>(count) > start_ + filled_) {
            const std::int64_t got = readAt_(buffer_.data(), buffer_.size(), offset);
            start_ = offset;
            filled_ = std::max<std::int64_t>(got, 0);
            if (static_cast<std::int64_t>(count) > filled_)
                return nullptr;
        }
        return buffer_.data() + (offset - start_);
    }

private:
    const ReadAt& readAt_;
    std::array<unsigned char, 65536> buffer_{};
    std::int64_t start_ = 0;
    std::int64_t filled_ = 0;
};

std::int64_t id3v2Size(const unsigned char* bytes) {
    if (std::memcmp(bytes, "ID3", 3) != 0)
        return 0;
    std::int64_t size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (bytes[i] & 0x7f);
    return 10 + size + ((bytes[5] & 0x10) != 0 ? 10 : 0);
}

// The offset of the audio's first byte: past the ID3v2 tags at the start.
std::int64_t skipId3v2(Window& window) {
    std::int64_t offset = 0;
    while (const unsigned char* bytes = window.at(offset, 10)) {
        const std::int64_t tag = id3v2Size(bytes);
        if (tag == 0)
            break;
        offset += tag;
    }
    return offset;
}

// The Xing/Info tag sits right after the side information of a Layer III frame (encoders put
// it there as if the frame had no CRC, so both places are tried). Its offset in the frame, or
// -1 when the frame has none.
int infoTagOffset(const FrameHeader& header, const unsigned char* frame) {
    if (header.layer != 3)
        return -1;
    for (const int offset :
         {4 + header.sideInfoBytes() - (header.crc ? 2 : 0), 4 + header.sideInfoBytes()}) {
        if (offset + 8 <= header.length && (std::memcmp(frame + offset, "Xing", 4) == 0 ||
                                            std::memcmp(frame + offset, "Info", 4) == 0))
            return offset;
    }
    return -1;
}

bool isInfoFrame(const FrameHeader& header, const unsigned char* frame) {
    return infoTagOffset(header, frame) >= 0;
}

std::int64_t bigEndian32(const unsigned char* bytes) {
    return (std::int64_t{bytes[0]} << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
}

bool isVbriFrame(const FrameHeader& header, const unsigned char* frame) {
    return header.length >= 40 && std::memcmp(frame + 36, "VBRI", 4) == 0;
}

bool sameStream(const FrameHeader& a, const FrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.rate == b.rate &&
           a.channels == b.channels;
}

} // namespace

std::int64_t FrameIndex::offsetOf(std::int64_t frame) const {
    if (frame >= frames)
        return end;
    return starts[static_cast<std::size_t>(frame / step)];
}

std::optional<InfoTag> findInfoTag(const ReadAt& readAt) {
    Window window(readAt);
    const std::int64_t offset = skipId3v2(window);
    const unsigned char* bytes = window.at(offset, 4);
    const std::optional<FrameHeader> header = bytes ? parseFrameHeader(bytes) : std::nullopt;
    if (!header)
        return std::nullopt;
    const unsigned char* frame = window.at(offset, static_cast<std::size_t>(header->length));
    const int at = frame ? infoTagOffset(*header, frame) : -1;
    if (at < 0)
        return std::nullopt;
    InfoTag tag;
    tag.offset = offset;
    const std::int64_t flags = bigEndian32(frame + at + 4);
    int field = at + 8;
    for (const auto& [flag, value] : {std::pair(1, &tag.frames), std::pair(2, &tag.bytes)}) {
        if ((flags & flag) == 0)
            continue;
        if (field + 4 > header->length)
            break;
        *value = bigEndian32(frame + field);
        field += 4;
    }
    // The frame at the lowest bitrate of this format, without padding.
    const unsigned char lowest[4] = {
        bytes[0], bytes[1], static_cast<unsigned char>((bytes[2] & 0x0d) | 0x10), bytes[3]};
    tag.smallestFrame = parseFrameHeader(lowest)->length;
    return tag;
}

std::optional<FrameIndex> indexFrames(const std::filesystem::path& path) {
    try {
        return indexFrames(InputFile(path));
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

std::optional<FrameIndex> indexFrames(const InputFile& file) {
    try {
        const ReadAt readAt = [&](void* buffer, std::size_t bytes, std::int64_t at) {
            return file.readAt(buffer, bytes, at);
        };
        Window window(readAt);
        const std::int64_t size = file.size();

        std::int64_t offset = skipId3v2(window);

        FrameIndex index;
        std::optional<FrameHeader> first;
        // Layer III: the reservoir a decoder from the start holds before the next frame, and
        // the main data bytes that the last frame left in its own buffer.
        int reservoir = 0;
        int chained = 0;
        for (;;) {
            const unsigned char* bytes = window.at(offset, 4);
            if (bytes == nullptr)
                break;
            const std::optional<FrameHeader> header = parseFrameHeader(bytes);
            if (!header)
                break;
            if (first && !sameStream(*first, *header))
                return std::nullopt;
            const unsigned char* frame =
                window.at(offset, static_cast<std::size_t>(header->length));
            if (frame == nullptr)
                return std::nullopt; // a cut last frame
            if (!first) {
                first = header;
                if (isVbriFrame(*header, frame))
                    return std::nullopt;
                if (isInfoFrame(*header, frame)) {
                    index.hasInfoFrame = true;
                    offset += header->length;
                    continue;
                }
            }
            if (header->layer == 3) {
                const int begin = header->mainDataBegin(frame);
                const int data = header->mainDataBytes();
                if (data < 0 || begin > reservoir || begin > chained)
                    return std::nullopt;
                reservoir = std::min(reservoir + data, header->reservoirLimit());
                chained = begin + data;
            }
            if (index.frames % FrameIndex::step == 0)
                index.starts.push_back(offset);
            ++index.frames;
            offset += header->length;
        }
        if (!first || index.frames == 0)
            return std::nullopt;

        // Only an ID3v1 tag may follow the frames.
        const std::int64_t rest = size - offset;
        if (rest != 0) {
            const unsigned char* tail = window.at(offset, 3);
            if (rest != 128 || tail == nullptr || std::memcmp(tail, "TAG", 3) != 0)
                return std::nullopt;
        }
        index.end = offset;
        index.layer = first->layer;
        index.rate = first->rate;
        index.channels = first->channels;
        index.samplesPerFrame = first->samples;
        return index;
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

} // namespace mpegdll
