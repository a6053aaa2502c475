#pragma once

#include "tools/encoders/core/output_file.h"
#include "tools/encoders/parallel/info_tag.h"
#include "tools/encoders/parallel/layer3_frame.h"
#include "tools/encoders/parallel/reservoir_packer.h"
#include "tools/encoders/parallel/tagged_stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace encoders::parallel {

// Where chunks start and end, in frames of the layer.
struct ChunkLayout {
    int chunkFrames = 384; // frames each chunk owns
    // Coded before a chunk's first frame and dropped. A fresh Layer III coder starts with an
    // empty bit reservoir and fills it by a tenth of a frame's bits per frame, so its first
    // frames get fewer bits than the whole-file coder gives the same stretch; the pre-roll and
    // a join late in the overlap give it about 24 frames to catch up before its frames count.
    int preroll = 16;
    int overlap = 8;  // coded after a chunk's last frame, where a Layer III join may fall
    int margin = 2;   // input past the overlap, so the frames kept never see the end
    int joinBack = 4; // a Layer III join may also fall this many frames before the start
};

// A chunk's coded frames. Frame i of the chunk is frame firstFrame + i of the whole stream.
struct CodedChunk {
    std::int64_t firstFrame = 0;
    std::int64_t start = 0; // the first frame the chunk owns
    bool last = false;
    std::vector<std::vector<std::uint8_t>> frames; // Layers I and II
    std::vector<Layer3Frame> layer3;
    std::vector<float> pcm; // Layer III: the input, kept for a coding without the reservoir
};

// Joins coded chunks, given in order, into the output stream.
class StreamJoiner {
public:
    virtual ~StreamJoiner() = default;
    virtual void add(CodedChunk chunk) = 0;
    // The loudness for a header frame that has room for it.
    virtual void setTrackGain(const ReplayGain&) {}
    // Completes the stream of `totalSamples` samples per channel.
    virtual void finish(std::int64_t totalSamples) = 0;
};

// Layers I and II: each chunk gives exactly the frames it owns.
class FrameJoiner : public StreamJoiner {
public:
    FrameJoiner(OutputFile& out, const ChunkLayout& layout) : out_(out), layout_(layout) {}
    void add(CodedChunk chunk) override;
    void finish(std::int64_t) override {}

private:
    OutputFile& out_;
    ChunkLayout layout_;
};

// Layer III: joins each pair of chunks at a frame where the later chunk's main data finds the
// reservoir room it needs and the block types follow each other validly, as late in the
// overlap as that allows (the later chunk's coder has then run longest), lays the reservoir
// out anew around it, and puts an Info frame with the gapless facts first.
//
// Rarely the later chunk holds more in its reservoir than the earlier one leaves room for at
// every frame of the overlap; that chunk is then coded again by `withoutReservoir`, whose
// frames each keep their main data to themselves and so follow any frame.
class Layer3Joiner : public StreamJoiner {
public:
    using Recoder = std::function<CodedChunk(const CodedChunk&)>;
    Layer3Joiner(OutputFile& out, const ChunkLayout& layout, const TagFacts& facts,
                 int frameSamples, Recoder withoutReservoir);
    void add(CodedChunk chunk) override;
    void setTrackGain(const ReplayGain& gain) override { stream_.setTrackGain(gain); }
    void finish(std::int64_t totalSamples) override;

private:
    // Hands the held chunk's frames up to (not including) stream frame `end` to the packer.
    void pushHeld(std::int64_t end);
    // The best frame to switch to the later chunk at, or -1 when the reservoir allows none.
    std::int64_t chooseJoin(const CodedChunk& later, int leastRank) const;

    ChunkLayout layout_;
    int encoderDelay_;
    int frameSamples_;
    Recoder withoutReservoir_;
    TaggedStream stream_;
    ReservoirPacker packer_;
    std::optional<CodedChunk> held_; // the chunk whose frames are being given out
    std::int64_t cursor_ = 0;        // the next stream frame to give out
};

} // namespace encoders::parallel
