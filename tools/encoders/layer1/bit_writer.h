#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace encoders::layer1 {

// Writes fields most significant bit first into a frame of fixed size, zero-filled.
class BitWriter {
public:
    explicit BitWriter(std::size_t bytes) : data_(bytes, 0) {}

    void put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if ((value >> i) & 1u) {
                data_[position_ / 8] |= static_cast<std::uint8_t>(0x80u >> (position_ % 8));
            }
            ++position_;
        }
    }

    std::size_t position() const { return position_; }
    std::vector<std::uint8_t>& data() { return data_; }

private:
    std::vector<std::uint8_t> data_;
    std::size_t position_ = 0;
};

// CRC-16 with the generator x^16 + x^15 + x^2 + 1 over a run of bits, most significant first,
// continuing from `crc` (0xFFFF to start): the check word of MPEG audio frames.
inline std::uint16_t crc16(const std::vector<std::uint8_t>& data, std::size_t firstBit,
                           std::size_t bitCount, std::uint16_t crc) {
    for (std::size_t bit = firstBit; bit < firstBit + bitCount; ++bit) {
        const bool in = (data[bit / 8] >> (7 - bit % 8)) & 1u;
        const bool top = (crc & 0x8000u) != 0;
        crc = static_cast<std::uint16_t>(crc << 1);
        if (in != top) {
            crc ^= 0x8005u;
        }
    }
    return crc;
}

} // namespace encoders::layer1
