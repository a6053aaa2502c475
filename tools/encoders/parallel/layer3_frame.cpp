#include "tools/encoders/parallel/layer3_frame.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/layer1/bit_writer.h"

namespace encoders::parallel {

namespace {

class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> data) : data_(data) {}
    int get(int bits) {
        int value = 0;
        for (int i = 0; i < bits; ++i, ++position_) {
            value = (value << 1) | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1);
        }
        return value;
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t position_ = 0;
};

// Reads the side information after the header (and check word): main_data_begin, the block
// types and the main data's length in bits.
int readSideInfo(std::span<const std::uint8_t> sideInfo, Layer3Frame& frame) {
    const bool mpeg1 = frame.header.version == 1;
    const int channels = frame.header.channels();
    BitReader bits(sideInfo);
    frame.mainDataBegin = bits.get(mpeg1 ? 9 : 8);
    bits.get(mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2)); // private bits
    if (mpeg1) {
        bits.get(4 * channels); // scale factor selection
    }
    frame.granules = mpeg1 ? 2 : 1;
    int totalBits = 0;
    for (int gr = 0; gr < frame.granules; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            totalBits += bits.get(12);         // part2_3_length
            bits.get(9 + 8 + (mpeg1 ? 4 : 9)); // big_values, global_gain, scalefac_compress
            int blockType = 0;
            if (bits.get(1) != 0) { // window switching
                blockType = bits.get(2);
                bits.get(1 + 2 * 5 + 3 * 3);
            } else {
                bits.get(3 * 5 + 4 + 3);
            }
            bits.get(mpeg1 ? 3 : 2);
            frame.blockType[gr][ch] = blockType;
        }
    }
    return totalBits;
}

} // namespace

int maxMainDataBegin(const FrameHeader& header) {
    return header.version == 1 ? 511 : 255;
}

std::vector<Layer3Frame> takeApart(std::span<const std::uint8_t> stream) {
    // The reservoir is the run of all frames' slot bytes, one after the other.
    std::vector<std::uint8_t> slots;
    std::vector<Layer3Frame> frames;
    std::vector<int> mainBits;
    std::vector<std::size_t> slotStart;
    for (auto& bytes : splitFrames(stream)) {
        Layer3Frame frame;
        frame.header = *parseHeader(bytes);
        if (frame.header.layer != 3) {
            throw EncoderError("internal error: a Layer III chunk holds another layer");
        }
        const int headBytes = frame.header.headBytes();
        frame.head.assign(bytes.begin(), bytes.begin() + headBytes);
        mainBits.push_back(readSideInfo(
            std::span(frame.head).subspan(headBytes - frame.header.sideInfoBytes()), frame));
        slotStart.push_back(slots.size());
        slots.insert(slots.end(), bytes.begin() + headBytes, bytes.end());
        frames.push_back(std::move(frame));
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto begin = static_cast<std::int64_t>(slotStart[i]) - frames[i].mainDataBegin;
        const auto length = static_cast<std::size_t>((mainBits[i] + 7) / 8);
        if (begin < 0 || static_cast<std::size_t>(begin) + length > slots.size()) {
            throw EncoderError("internal error: Layer III main data outside the chunk");
        }
        frames[i].mainData.assign(slots.begin() + begin, slots.begin() + begin + length);
    }
    return frames;
}

void setMainDataBegin(Layer3Frame& frame, int value) {
    auto& head = frame.head;
    const std::size_t side = 4 + (frame.header.crc ? 2 : 0);
    if (frame.header.version == 1) {
        head[side] = static_cast<std::uint8_t>(value >> 1);
        head[side + 1] = static_cast<std::uint8_t>((head[side + 1] & 0x7F) | ((value & 1) << 7));
    } else {
        head[side] = static_cast<std::uint8_t>(value);
    }
    frame.mainDataBegin = value;
    if (frame.header.crc) {
        // The check covers the header's last two bytes and the side information.
        std::uint16_t crc = layer1::crc16(head, 16, 16, 0xFFFF);
        crc = layer1::crc16(head, 48, 8 * frame.header.sideInfoBytes(), crc);
        head[4] = static_cast<std::uint8_t>(crc >> 8);
        head[5] = static_cast<std::uint8_t>(crc & 0xFF);
    }
}

} // namespace encoders::parallel
