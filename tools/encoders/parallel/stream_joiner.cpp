#include "tools/encoders/parallel/stream_joiner.h"

#include "tools/encoders/core/encoder_error.h"

#include <algorithm>

namespace encoders::parallel {

namespace {

// 2 when both sides of a join are long blocks, 1 when the block types may follow each other,
// 0 when they may not (a long block straight before a short one, say).
int blockRank(const Layer3Frame& before, const Layer3Frame& after) {
    int rank = 2;
    for (int ch = 0; ch < before.header.channels(); ++ch) {
        const int a = before.blockType[before.granules - 1][ch];
        const int b = after.blockType[0][ch];
        const bool opensShort = a == 1 || a == 2;
        const bool needsShortBefore = b == 2 || b == 3;
        if (opensShort != needsShortBefore) {
            return 0;
        }
        if (a != 0 || b != 0) {
            rank = 1;
        }
    }
    return rank;
}

} // namespace

void FrameJoiner::add(CodedChunk chunk) {
    const std::int64_t end =
        chunk.last ? INT64_MAX : chunk.start + static_cast<std::int64_t>(layout_.chunkFrames);
    for (std::size_t i = 0; i < chunk.frames.size(); ++i) {
        const std::int64_t index = chunk.firstFrame + static_cast<std::int64_t>(i);
        if (index >= chunk.start && index < end) {
            out_.write(chunk.frames[i]);
        }
    }
}

Layer3Joiner::Layer3Joiner(OutputFile& out, const ChunkLayout& layout, const TagFacts& facts,
                           int frameSamples, Recoder withoutReservoir)
    : layout_(layout), encoderDelay_(facts.encoderDelay), frameSamples_(frameSamples),
      withoutReservoir_(std::move(withoutReservoir)), stream_(out, facts),
      packer_([this](std::span<const std::uint8_t> frame) { stream_.write(frame); }) {}

void Layer3Joiner::pushHeld(std::int64_t end) {
    const auto& frames = held_->layer3;
    end = std::min(end, held_->firstFrame + static_cast<std::int64_t>(frames.size()));
    for (; cursor_ < end; ++cursor_) {
        packer_.push(frames[static_cast<std::size_t>(cursor_ - held_->firstFrame)]);
    }
}

std::int64_t Layer3Joiner::chooseJoin(const CodedChunk& later, int leastRank) const {
    const auto& earlier = held_->layer3;
    const std::int64_t earlierEnd = held_->firstFrame + static_cast<std::int64_t>(earlier.size());
    const std::int64_t laterEnd = later.firstFrame + static_cast<std::int64_t>(later.layer3.size());
    const std::int64_t from =
        std::max({cursor_, later.start - layout_.joinBack, later.firstFrame + 1});
    const std::int64_t to = std::min({later.start + layout_.overlap, earlierEnd, laterEnd - 1});
    const int room = packer_.room();
    std::int64_t best = -1;
    int bestRank = leastRank;
    // Latest first: an earlier frame wins only with block types that follow each other better.
    for (std::int64_t join = to; join >= from && bestRank < 2; --join) {
        const auto before =
            std::span(earlier).subspan(static_cast<std::size_t>(cursor_ - held_->firstFrame),
                                       static_cast<std::size_t>(join - cursor_));
        const auto after =
            std::span(later.layer3).subspan(static_cast<std::size_t>(join - later.firstFrame));
        const auto& last = join > cursor_
                               ? before.back()
                               : earlier[static_cast<std::size_t>(join - 1 - held_->firstFrame)];
        const int rank = blockRank(last, after.front());
        if (rank < bestRank || (best >= 0 && rank == bestRank)) {
            continue;
        }
        if (reservoirFits(room, before) && reservoirFits(roomAfter(room, before), after)) {
            best = join;
            bestRank = rank;
        }
    }
    return best;
}

void Layer3Joiner::add(CodedChunk chunk) {
    if (chunk.layer3.empty()) {
        throw EncoderError("internal error: a Layer III chunk coded no frames");
    }
    if (!held_) {
        cursor_ = chunk.start;
    } else {
        pushHeld(chunk.start - layout_.joinBack);
        std::int64_t join = chooseJoin(chunk, 1);
        if (join < 0) {
            chunk = withoutReservoir_(chunk);
            // Any frame of it fits; block types that do not follow each other are the last
            // resort, a brief blur rather than a broken stream.
            join = chooseJoin(chunk, 0);
        }
        if (join < 0) {
            throw EncoderError("internal error: no Layer III join near frame " +
                               std::to_string(chunk.start));
        }
        pushHeld(join);
        cursor_ = join;
    }
    chunk.pcm = {};
    held_ = std::move(chunk);
    if (held_->last) {
        pushHeld(INT64_MAX);
    }
}

void Layer3Joiner::finish(std::int64_t totalSamples) {
    packer_.finish();
    stream_.finish(
        static_cast<int>(stream_.frames() * frameSamples_ - encoderDelay_ - totalSamples));
}

} // namespace encoders::parallel
