#include "tools/encoders/parallel/chunked_encoder.h"

#include "tools/encoders/core/batch_protocol.h"
#include "tools/encoders/core/environment_value.h"

#include <algorithm>
#include <thread>

namespace encoders::parallel {

namespace {

// A chunk of more frames holds minutes of audio in memory and leaves nothing to share out.
constexpr int kMaxChunkFrames = 10'000;
// More threads than this would only be a mistake; the workers are bounded by the chunks too.
constexpr int kMaxThreads = 1024;

// About ten seconds of input per chunk, unless the environment asks for another size.
ChunkLayout layoutFor(const ChunkCoder& coder, Layer layer, int sampleRate) {
    ChunkLayout layout;
    if (layer != Layer::III) {
        layout.preroll = 4; // the analysis filter bank and the psychoacoustic model
        layout.overlap = 0;
        layout.margin = 2;
        layout.joinBack = 0;
    }
    const int tenSeconds = 10 * sampleRate / coder.frameSamples();
    layout.chunkFrames =
        std::max(environmentNumber(protocol::kEncoderChunkFrames, 1, kMaxChunkFrames)
                     .value_or(std::min(tenSeconds, kMaxChunkFrames)),
                 layout.preroll + layout.overlap + layout.margin);
    return layout;
}

CodedChunk coded(const ChunkCoder& coder, CodedChunk chunk) {
    const auto stream = coder.code(chunk.pcm, chunk.firstFrame);
    if (coder.layer() == Layer::III) {
        chunk.layer3 = takeApart(stream);
    } else {
        chunk.frames = splitFrames(stream);
        chunk.pcm = {};
    }
    return chunk;
}

} // namespace

int encoderThreads() {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return environmentNumber(protocol::kEncoderThreads, 1, kMaxThreads)
        .value_or(std::min(cores, kMaxThreads));
}

ChunkedEncoder::ChunkedEncoder(const ChunkSettings& settings, const ChunkLayout& layout,
                               int threads)
    : settings_(settings), coder_(settings), layout_(layout), frameSamples_(coder_.frameSamples()),
      maxInFlight_(2 * static_cast<std::size_t>(threads)), slots_(JobSlots::fromEnvironment()),
      pool_(threads, slots_) {
    if (settings.inputRate != 0 && settings.inputRate != settings.sampleRate) {
        converter_.emplace(settings.channels, settings.inputRate, settings.sampleRate);
    }
}

void ChunkedEncoder::encode(std::span<const float> interleaved, OutputFile& out) {
    inputSamples_ += static_cast<std::int64_t>(interleaved.size()) / settings_.channels;
    take(converter_ ? converter_->convert(interleaved, false) : interleaved, out);
}

void ChunkedEncoder::take(std::span<const float> interleaved, OutputFile& out) {
    pending_.insert(pending_.end(), interleaved.begin(), interleaved.end());
    samplesIn_ += static_cast<std::int64_t>(interleaved.size()) / settings_.channels;
    // A chunk goes out once the input covers its frames, the overlap and the margin.
    while (samplesIn_ >=
           ((nextChunk_ + 1) * layout_.chunkFrames + layout_.overlap + layout_.margin) *
               frameSamples_) {
        submit(false, out);
    }
}

void ChunkedEncoder::finish(OutputFile& out) {
    if (converter_) {
        take(converter_->convert({}, true), out);
        // The resampler's tail can come out a few samples short or long; the coded stream
        // keeps the input's duration.
        const std::int64_t wanted =
            (inputSamples_ * settings_.sampleRate + settings_.inputRate / 2) / settings_.inputRate;
        if (samplesIn_ < wanted) {
            take(std::vector<float>((wanted - samplesIn_) * settings_.channels, 0.0f), out);
        } else if (samplesIn_ > wanted) {
            pending_.resize(pending_.size() - (samplesIn_ - wanted) * settings_.channels);
            samplesIn_ = wanted;
        }
    }
    submit(true, out);
    while (!inFlight_.empty()) {
        collect(out);
    }
    if (gain_) {
        joiner_->setTrackGain(*gain_);
    }
    joiner_->finish(samplesIn_);
}

void ChunkedEncoder::submit(bool last, OutputFile& out) {
    const std::int64_t startFrame = nextChunk_ * layout_.chunkFrames;
    const std::int64_t firstFrame = std::max<std::int64_t>(0, startFrame - layout_.preroll);
    const std::int64_t from = firstFrame * frameSamples_;
    const std::int64_t to =
        last
            ? samplesIn_
            : (startFrame + layout_.chunkFrames + layout_.overlap + layout_.margin) * frameSamples_;
    const int channels = settings_.channels;
    std::vector<float> pcm(pending_.begin() + (from - pendingStart_) * channels,
                           pending_.begin() + (to - pendingStart_) * channels);
    CodedChunk chunk;
    chunk.firstFrame = firstFrame;
    chunk.start = startFrame;
    chunk.last = last;
    chunk.pcm = std::move(pcm);
    inFlight_.push_back(pool_.submit([coder = coder_, chunk = std::move(chunk)]() mutable {
        return coded(coder, std::move(chunk));
    }));
    ++nextChunk_;
    if (last) {
        pending_.clear();
    } else {
        // The next chunk's input starts with its pre-roll.
        const std::int64_t keep =
            std::max<std::int64_t>(0, nextChunk_ * layout_.chunkFrames - layout_.preroll) *
            frameSamples_;
        pending_.erase(pending_.begin(), pending_.begin() + (keep - pendingStart_) * channels);
        pendingStart_ = keep;
    }
    while (inFlight_.size() >= maxInFlight_) {
        collect(out);
    }
}

void ChunkedEncoder::collect(OutputFile& out) {
    CodedChunk chunk = inFlight_.front().get();
    inFlight_.pop_front();
    if (!joiner_) {
        if (settings_.layer == Layer::III) {
            ChunkSettings plain = settings_;
            plain.reservoir = false;
            joiner_ = std::make_unique<Layer3Joiner>(
                out, layout_, coder_.tagFacts(), frameSamples_,
                [plainCoder = ChunkCoder(plain), slots = slots_](const CodedChunk& chunk) {
                    // Coded here on the joining thread, which takes a slot for it.
                    const auto slot = slots ? slots->take() : JobSlots::Slot();
                    CodedChunk again;
                    again.firstFrame = chunk.firstFrame;
                    again.start = chunk.start;
                    again.last = chunk.last;
                    again.pcm = chunk.pcm;
                    return coded(plainCoder, std::move(again));
                });
        } else {
            joiner_ = std::make_unique<FrameJoiner>(out, layout_);
        }
    }
    joiner_->add(std::move(chunk));
}

std::unique_ptr<FrameEncoder> makeChunkedEncoder(const ChunkSettings& settings,
                                                 std::int64_t inputSamples) {
    const int threads = encoderThreads();
    const ChunkCoder coder(settings);
    const ChunkLayout layout = layoutFor(coder, settings.layer, settings.sampleRate);
    const std::int64_t oneChunk =
        static_cast<std::int64_t>(layout.chunkFrames + layout.overlap + layout.margin) *
        coder.frameSamples();
    if (threads < 2 || inputSamples <= oneChunk) {
        return nullptr;
    }
    // No more workers than chunks.
    const std::int64_t chunks =
        inputSamples / (static_cast<std::int64_t>(layout.chunkFrames) * coder.frameSamples()) + 1;
    return std::make_unique<ChunkedEncoder>(
        settings, layout, static_cast<int>(std::min<std::int64_t>(threads, chunks)));
}

} // namespace encoders::parallel
