#include "tools/encoders/parallel/tagged_stream.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/parallel/frame_header.h"

namespace encoders::parallel {

void TaggedStream::write(std::span<const std::uint8_t> bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::size_t at = 0;
    while (pending_.size() - at >= 4) {
        const auto header = parseHeader(std::span(pending_).subspan(at, 4));
        if (!header || header->layer != 3) {
            throw EncoderError("internal error: the Layer III coder wrote no frame header");
        }
        const auto size = static_cast<std::size_t>(header->frameBytes());
        if (pending_.size() - at < size) {
            break;
        }
        const auto frame = std::span(pending_).subspan(at, size);
        if (audioHeader_.empty()) {
            audioHeader_.assign(frame.begin(), frame.begin() + 4);
            infoOffset_ = out_.size();
            out_.write(std::vector<std::uint8_t>(
                static_cast<std::size_t>(infoFrameBytes(audioHeader_)), 0));
        }
        out_.write(frame);
        summary_.add(frame);
        at += size;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

void TaggedStream::finish(int padding) {
    if (!pending_.empty()) {
        throw EncoderError("internal error: the Layer III stream ends inside a frame");
    }
    if (audioHeader_.empty()) {
        return;
    }
    facts_.padding = padding;
    out_.overwrite(infoOffset_, infoFrame(audioHeader_, summary_, facts_));
}

} // namespace encoders::parallel
