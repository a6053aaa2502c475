#pragma once

#include "tools/encoders/core/mpeg_format.h"
#include "tools/encoders/parallel/info_tag.h"

#include <cstdint>
#include <span>
#include <vector>

namespace encoders::parallel {

struct ChunkSettings {
    Layer layer = Layer::III;
    int channels = 2;       // of the samples given
    int sampleRate = 44100; // of the samples given, which is also the coded rate
    ChannelMode mode = ChannelMode::Stereo;
    int kbps = 128;
    int lameQuality = 3;
    int inputRate = 0;     // of the samples given to a chunked encoder, if not sampleRate
    bool reservoir = true; // Layer III: off, every frame's main data lies in the frame itself
    RateControl rateControl = RateControl::Constant; // Layer III; Average: kbps is the mean
    int vbrQuality = 4;
};

// Codes stretches of the input into whole frames, each with a coder of its own, so that
// stretches can be coded on several threads at once. The settings are those the whole-file
// coder of the layer uses; Layer III chunks carry no Info frame.
class ChunkCoder {
public:
    explicit ChunkCoder(const ChunkSettings& settings);

    Layer layer() const { return settings_.layer; }
    // Samples per channel in one frame.
    int frameSamples() const;
    // Codes interleaved samples and everything the coder holds at their end. The samples
    // start at frame `firstFrame` of the whole stream (which decides Layer I's padding).
    std::vector<std::uint8_t> code(std::span<const float> pcm, std::int64_t firstFrame) const;
    // What the Layer III coder reports for the Info tag; padding is left for the caller.
    TagFacts tagFacts() const;

private:
    ChunkSettings settings_;
};

} // namespace encoders::parallel
