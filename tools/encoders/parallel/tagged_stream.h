#pragma once

#include "tools/encoders/core/output_file.h"
#include "tools/encoders/parallel/info_tag.h"

#include <cstdint>
#include <span>
#include <vector>

namespace encoders::parallel {

// A Layer III stream that starts with an Info frame telling players its exact length. Room for
// the frame is kept before the first audio frame; the audio frames are counted as they are
// written, and finish() fills the room. The Info frame takes a higher bitrate than the audio
// when the audio's frames are too small for it, so that a stream at any bitrate has one.
class TaggedStream {
public:
    TaggedStream(OutputFile& out, const TagFacts& facts) : out_(out), facts_(facts) {}

    // Audio frames, whole, in pieces of any size (a piece may end inside a frame).
    void write(std::span<const std::uint8_t> bytes);
    std::int64_t frames() const { return summary_.frames(); }
    // The loudness facts for the Info frame's radio gain and peak fields.
    void setTrackGain(const ReplayGain& gain) { facts_.trackGain = gain; }
    // Writes the Info frame; `padding` is the number of samples after the input's last one.
    void finish(int padding);

private:
    OutputFile& out_;
    TagFacts facts_;
    StreamSummary summary_;
    std::vector<std::uint8_t> pending_; // the start of a frame not yet whole
    std::vector<std::uint8_t> audioHeader_;
    std::uint64_t infoOffset_ = 0;
};

} // namespace encoders::parallel
