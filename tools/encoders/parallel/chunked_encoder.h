#pragma once

#include "libs/resampler/resampler.h"
#include "tools/encoders/core/frame_encoder.h"
#include "tools/encoders/parallel/chunk_coder.h"
#include "tools/encoders/parallel/stream_joiner.h"
#include "tools/encoders/parallel/worker_pool.h"

#include <deque>
#include <future>
#include <memory>
#include <optional>

namespace encoders::parallel {

// Codes the input in fixed-size chunks on a pool of worker threads and joins the chunks into
// one stream as they come back in order. At most twice as many chunks as workers are in
// flight, so memory stays the same for any length of input. Input at another rate than the
// coded one is resampled first.
class ChunkedEncoder : public FrameEncoder {
public:
    ChunkedEncoder(const ChunkSettings& settings, const ChunkLayout& layout, int threads);

    void encode(std::span<const float> interleaved, OutputFile& out) override;
    void setTrackGain(const ReplayGain& gain) override { gain_ = gain; }
    void finish(OutputFile& out) override;

private:
    void take(std::span<const float> interleaved, OutputFile& out);
    void submit(bool last, OutputFile& out);
    // Waits for the oldest chunk in flight and joins it to the stream.
    void collect(OutputFile& out);

    ChunkSettings settings_;
    ChunkCoder coder_;
    ChunkLayout layout_;
    int frameSamples_;
    std::size_t maxInFlight_;
    std::optional<resampler::Resampler> converter_;
    std::vector<float> pending_; // input from sample pendingStart_ on
    std::int64_t pendingStart_ = 0;
    std::int64_t samplesIn_ = 0;    // at the coded rate
    std::int64_t inputSamples_ = 0; // as given
    std::int64_t nextChunk_ = 0;
    std::optional<ReplayGain> gain_;
    std::unique_ptr<StreamJoiner> joiner_;
    std::deque<std::future<CodedChunk>> inFlight_;
    std::optional<JobSlots> slots_;
    // Last, so that its threads are joined before anything else goes.
    WorkerPool pool_;
};

// The number of worker threads: SONABOX_ENCODER_THREADS when set, else the machine's cores.
int encoderThreads();

// A chunked encoder for an input of `inputSamples` samples per channel at the coded rate, or
// nothing when the input fits in one chunk or only one thread is to be used: such a file is
// coded by the whole-file coder. SONABOX_ENCODER_CHUNK_FRAMES sets the chunk size in frames.
std::unique_ptr<FrameEncoder> makeChunkedEncoder(const ChunkSettings& settings,
                                                 std::int64_t inputSamples);

} // namespace encoders::parallel
