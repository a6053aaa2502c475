#pragma once

#include "tools/encoders/parallel/frame_header.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace encoders::parallel {

// A Layer III frame taken apart: its header and side information as coded, and its main data
// gathered from wherever the bit reservoir put it.
struct Layer3Frame {
    FrameHeader header;
    std::vector<std::uint8_t> head; // header, check word and side information
    std::vector<std::uint8_t> mainData;
    int mainDataBegin = 0; // as coded: bytes back from this frame's slots
    int granules = 2;
    std::array<std::array<int, 2>, 2> blockType{}; // [granule][channel]

    int frameBytes() const { return header.frameBytes(); }
    // The bytes after the side information, which carry main data of this or later frames.
    int slotBytes() const { return frameBytes() - static_cast<int>(head.size()); }
};

// How far back main data may start: 511 bytes for MPEG-1, 255 for MPEG-2 and 2.5.
int maxMainDataBegin(const FrameHeader& header);

// Takes a stream of whole Layer III frames apart; throws EncoderError when a frame's main data
// lies outside the stream.
std::vector<Layer3Frame> takeApart(std::span<const std::uint8_t> stream);

// Rewrites a frame's main_data_begin field (and its check word, if it has one).
void setMainDataBegin(Layer3Frame& frame, int value);

} // namespace encoders::parallel
