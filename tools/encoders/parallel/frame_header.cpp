#include "tools/encoders/parallel/frame_header.h"

#include "tools/encoders/core/encoder_error.h"

#include <array>

namespace encoders::parallel {

namespace {

using RateRow = std::array<int, 15>;
constexpr RateRow kMpeg1Layer1 = {0,   32,  64,  96,  128, 160, 192, 224,
                                  256, 288, 320, 352, 384, 416, 448};
constexpr RateRow kMpeg1Layer2 = {0,   32,  48,  56,  64,  80,  96, 112,
                                  128, 160, 192, 224, 256, 320, 384};
constexpr RateRow kMpeg1Layer3 = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr RateRow kMpeg2Layer1 = {0,   32,  48,  56,  64,  80,  96, 112,
                                  128, 144, 160, 176, 192, 224, 256};
constexpr RateRow kMpeg2Layer23 = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

const RateRow& rateRow(int version, int layer) {
    if (version == 1) {
        return layer == 1 ? kMpeg1Layer1 : layer == 2 ? kMpeg1Layer2 : kMpeg1Layer3;
    }
    return layer == 1 ? kMpeg2Layer1 : kMpeg2Layer23;
}

} // namespace

int FrameHeader::samples() const {
    if (layer == 1) {
        return 384;
    }
    return layer == 3 && version != 1 ? 576 : 1152;
}

int FrameHeader::frameBytes() const {
    const int pad = padding ? 1 : 0;
    if (layer == 1) {
        return (12 * kbps * 1000 / sampleRate + pad) * 4;
    }
    const int perKbps = layer == 3 && version != 1 ? 72 : 144;
    return perKbps * kbps * 1000 / sampleRate + pad;
}

int FrameHeader::sideInfoBytes() const {
    if (version == 1) {
        return channels() == 1 ? 17 : 32;
    }
    return channels() == 1 ? 9 : 17;
}

int bitrateFor(const FrameHeader& header, int index) {
    return index > 0 && index < 15 ? rateRow(header.version, header.layer)[index] : 0;
}

std::optional<FrameHeader> parseHeader(std::span<const std::uint8_t> b) {
    if (b.size() < 4 || b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    FrameHeader h;
    const int versionBits = (b[1] >> 3) & 3;
    const int layerBits = (b[1] >> 1) & 3;
    const int rateBits = (b[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || rateBits == 3) {
        return std::nullopt;
    }
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.layer = 4 - layerBits;
    h.crc = (b[1] & 1) == 0;
    h.bitrateIndex = b[2] >> 4;
    h.kbps = bitrateFor(h, h.bitrateIndex);
    if (h.kbps == 0) {
        return std::nullopt;
    }
    constexpr std::array kBaseRates = {44100, 48000, 32000};
    h.sampleRate = kBaseRates[rateBits] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
    h.padding = (b[2] >> 1) & 1;
    h.channelMode = b[3] >> 6;
    return h;
}

void setBitrateIndex(std::span<std::uint8_t> header, int index) {
    header[2] = static_cast<std::uint8_t>((header[2] & 0x0D) | (index << 4));
}

std::vector<std::vector<std::uint8_t>> splitFrames(std::span<const std::uint8_t> stream) {
    std::vector<std::vector<std::uint8_t>> frames;
    std::size_t at = 0;
    while (at < stream.size()) {
        const auto header = parseHeader(stream.subspan(at));
        if (!header || at + header->frameBytes() > stream.size()) {
            throw EncoderError("internal error: a chunk's coded stream is not whole frames");
        }
        const auto frame = stream.subspan(at, header->frameBytes());
        frames.emplace_back(frame.begin(), frame.end());
        at += frame.size();
    }
    return frames;
}

} // namespace encoders::parallel
