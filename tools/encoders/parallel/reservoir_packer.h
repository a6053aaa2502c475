#pragma once

#include "tools/encoders/parallel/layer3_frame.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <span>

namespace encoders::parallel {

// Lays Layer III frames' main data out anew, each frame's data starting as early as the bit
// reservoir allows, and hands on each frame once no later data can land in it. Frames from
// separately coded chunks can follow each other as long as reservoirFits() says so.
class ReservoirPacker {
public:
    using Sink = std::function<void(std::span<const std::uint8_t>)>;
    explicit ReservoirPacker(Sink sink) : sink_(std::move(sink)) {}

    // Bytes before the next frame's slots that its main data may use.
    int room() const;
    // Throws EncoderError when the frame's main data does not fit.
    void push(Layer3Frame frame);
    // Hands on the frames still held.
    void finish();

private:
    struct Held {
        std::vector<std::uint8_t> bytes;
        std::int64_t slotStart;
        std::int64_t slotEnd;
    };

    Sink sink_;
    std::deque<Held> held_;
    int maxBegin_ = 0;
    std::int64_t slotEnd_ = 0; // reservoir position after the last frame's slots
    std::int64_t dataEnd_ = 0; // reservoir position after the last main data placed
};

// The room the reservoir has after the frames, starting with `room`, when they are laid out
// as the packer does.
int roomAfter(int room, std::span<const Layer3Frame> frames);

// True when the frames, laid out after a reservoir with `room` bytes, each end within their
// own frame. Checking stops at the first frame that finds at least the room its coder gave it:
// from there on the coder's own layout fits.
bool reservoirFits(int room, std::span<const Layer3Frame> frames);

} // namespace encoders::parallel
