#include "tools/encoders/parallel/reservoir_packer.h"

#include "tools/encoders/core/encoder_error.h"

#include <algorithm>

namespace encoders::parallel {

namespace {

int nextRoom(int room, const Layer3Frame& frame) {
    return std::min(maxMainDataBegin(frame.header),
                    room + frame.slotBytes() - static_cast<int>(frame.mainData.size()));
}

} // namespace

int ReservoirPacker::room() const {
    return static_cast<int>(std::min<std::int64_t>(maxBegin_, slotEnd_ - dataEnd_));
}

void ReservoirPacker::push(Layer3Frame frame) {
    maxBegin_ = maxMainDataBegin(frame.header);
    const int begin = room();
    const auto length = static_cast<std::int64_t>(frame.mainData.size());
    if (length > begin + frame.slotBytes()) {
        throw EncoderError("internal error: Layer III main data does not fit its frame");
    }
    setMainDataBegin(frame, begin);
    Held held{frame.head, slotEnd_, slotEnd_ + frame.slotBytes()};
    held.bytes.resize(frame.frameBytes(), 0);
    held_.push_back(std::move(held));
    slotEnd_ = held_.back().slotEnd;

    // Copy the data into the slots it spans, oldest frame first.
    std::int64_t at = slotEnd_ - frame.slotBytes() - begin;
    std::size_t copied = 0;
    for (auto& h : held_) {
        if (copied == frame.mainData.size()) {
            break;
        }
        if (at >= h.slotEnd) {
            continue;
        }
        const std::int64_t n = std::min<std::int64_t>(h.slotEnd - at, length - copied);
        const std::size_t offset = h.bytes.size() - (h.slotEnd - h.slotStart) + (at - h.slotStart);
        std::copy_n(frame.mainData.begin() + copied, n, h.bytes.begin() + offset);
        copied += n;
        at += n;
    }
    dataEnd_ = slotEnd_ - frame.slotBytes() - begin + length;
    // A frame is final once later data can start neither in it nor before its end.
    const std::int64_t earliest = std::max(dataEnd_, slotEnd_ - maxBegin_);
    while (!held_.empty() && held_.front().slotEnd <= earliest) {
        sink_(held_.front().bytes);
        held_.pop_front();
    }
}

void ReservoirPacker::finish() {
    for (auto& h : held_) {
        sink_(h.bytes);
    }
    held_.clear();
}

int roomAfter(int room, std::span<const Layer3Frame> frames) {
    for (const auto& frame : frames) {
        room = nextRoom(room, frame);
    }
    return room;
}

bool reservoirFits(int room, std::span<const Layer3Frame> frames) {
    for (const auto& frame : frames) {
        if (room >= frame.mainDataBegin) {
            return true;
        }
        if (static_cast<int>(frame.mainData.size()) > room + frame.slotBytes()) {
            return false;
        }
        room = nextRoom(room, frame);
    }
    return true;
}

} // namespace encoders::parallel
