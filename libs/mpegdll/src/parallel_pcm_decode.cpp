#include "libs/mpegdll/src/parallel_pcm_decode.h"

#include "libs/mpegdll/src/chunk_decoder.h"
#include "libs/mpegdll/src/library_error.h"
#include "libs/mpegdll/src/thread_priority.h"

#include <mpg123.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

namespace mpegdll {

namespace {

constexpr std::int64_t defaultChunkFrames = 512; // about 13 s of 44.1 kHz Layer III
// The smallest chunk of the shrinking tail: each chunk costs a few frames decoded and dropped.
constexpr std::int64_t smallestTailChunk = 2 * ChunkDecoder::alignment;
constexpr auto pollInterval = std::chrono::milliseconds(10);

// Bounds of the environment's settings: more threads than this only cost memory, and a chunk
// of this many frames (close to a minute) already makes the joins rare. Each chunk in flight
// holds its samples, so the two together bound the memory of a decode.
constexpr std::int64_t maxThreads = 32;
constexpr std::int64_t maxChunkFrames = 2048;

// A whole number of the environment in [1, most]: a larger one counts as `most`, and anything
// else (empty, signed, zero, not only digits) as not set.
std::optional<std::int64_t> environmentCount(const char* name, std::int64_t most) {
    const char* text = std::getenv(name);
    if (text == nullptr)
        return std::nullopt;
    const std::string_view digits(text);
    if (digits.empty() || !std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range)
        return most;
    if (error != std::errc() || end != digits.data() + digits.size() || value < 1)
        return std::nullopt;
    return std::min(value, most);
}

struct GaplessTrim {
    std::int64_t begin = 0; // first sample kept, counted from the first audio frame
    std::int64_t end = 0;   // one past the last
};

// The trim libmpg123 applies to the whole stream: from the encoder delay and padding of a LAME
// Info frame, which also gives the frame count; none without one.
std::optional<GaplessTrim> gaplessTrim(const std::filesystem::path& path, const FrameIndex& index) {
    const std::int64_t total = index.frames * index.samplesPerFrame;
    if (!index.hasInfoFrame)
        return GaplessTrim{0, total};

    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> handle(mpg123_new(nullptr, &error),
                                                                    mpg123_delete);
    if (!handle)
        return std::nullopt;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_open(handle.get(), path.c_str()) != MPG123_OK ||
        mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK) {
        mpg123_close(handle.get());
        return std::nullopt;
    }
    long delay = -1;
    long padding = -1;
    mpg123_getstate(handle.get(), MPG123_ENC_DELAY, &delay, nullptr);
    mpg123_getstate(handle.get(), MPG123_ENC_PADDING, &padding, nullptr);
    const off_t frames = mpg123_framelength(handle.get());
    mpg123_close(handle.get());
    if (delay < 0)
        return GaplessTrim{0, total};
    if (frames != index.frames || padding < 0)
        return std::nullopt;
    GaplessTrim trim{delay + gaplessDecoderDelay, total - padding + gaplessDecoderDelay};
    trim.end = std::min(trim.end, total);
    // A trim reaching past the first frame makes libmpg123 skip frames at the start.
    if (trim.begin >= index.samplesPerFrame || trim.end <= trim.begin)
        return std::nullopt;
    return trim;
}

std::int64_t alignUp(std::int64_t frames) {
    return (frames + ChunkDecoder::alignment - 1) / ChunkDecoder::alignment *
           ChunkDecoder::alignment;
}

// Where the chunks of `frames` frames begin, and the end. Chunks taken in turn by `threads`
// threads from the front: of `largest` frames while much is left, then each a share of what
// is left, so that no thread starts a long chunk while the others are about to run out of
// work and the threads finish close together.
std::vector<std::int64_t> chunkBounds(std::int64_t frames, std::int64_t largest, int threads) {
    const std::int64_t smallest = std::min(largest, smallestTailChunk);
    std::vector<std::int64_t> bounds{0};
    for (std::int64_t at = 0; at < frames;) {
        const std::int64_t left = frames - at;
        std::int64_t count =
            std::clamp(alignUp((left + 2 * threads - 1) / (2 * threads)), smallest, largest);
        // No sliver after the last chunk, where the last one can take it.
        if (left - count < smallest && left <= largest)
            count = left;
        at += count;
        bounds.push_back(at);
    }
    return bounds;
}

} // namespace

std::optional<ParallelDecodePlan> planParallelDecode(const std::filesystem::path& path,
                                                     std::int64_t sequentialLength,
                                                     std::int64_t endSample, int priority) {
    return planParallelDecode(path, indexFrames(path), sequentialLength, endSample, priority);
}

std::optional<ParallelDecodePlan> planParallelDecode(const std::filesystem::path& path,
                                                     std::optional<FrameIndex> index,
                                                     std::int64_t sequentialLength,
                                                     std::int64_t endSample, int priority) {
    ParallelDecodePlan plan;
    const auto cores = static_cast<std::int64_t>(std::max(1u, std::thread::hardware_concurrency()));
    plan.threads = static_cast<int>(environmentCount("SONABOX_DECODER_THREADS", maxThreads)
                                        .value_or(std::min(cores, maxThreads)));
    plan.chunkFrames = environmentCount("SONABOX_DECODER_CHUNK_FRAMES", maxChunkFrames)
                           .value_or(defaultChunkFrames);
    plan.chunkFrames = alignUp(plan.chunkFrames);
    plan.priority = priority;
    if (plan.threads < 2)
        return std::nullopt;

    if (!index)
        return std::nullopt;
    const std::optional<GaplessTrim> trim = gaplessTrim(path, *index);
    if (!trim || trim->end - trim->begin != sequentialLength)
        return std::nullopt;
    plan.index = std::move(*index);
    plan.skip = trim->begin;
    plan.length = sequentialLength;
    if (endSample >= 0)
        plan.length = std::min(plan.length, endSample);
    const std::int64_t frames =
        (plan.skip + plan.length + plan.index.samplesPerFrame - 1) / plan.index.samplesPerFrame;
    if (frames <= plan.chunkFrames)
        return std::nullopt;
    plan.bounds = chunkBounds(frames, plan.chunkFrames, plan.threads);
    return plan;
}

// One run of frames: decoded by a worker into `samples`, written by the writer while `done`
// grows (the worker publishes each frame with release order, the writer reads it with acquire).
struct ParallelPcmDecode::Chunk {
    std::int64_t first = 0;
    std::int64_t count = 0;
    SampleBuffer buffer;
    std::atomic<std::int64_t> done{0};
    // Under mutex_.
    bool finished = false;
    int error = 0;
};

namespace {

InputFile openInput(const std::filesystem::path& path) {
    try {
        return InputFile(path);
    } catch (const std::system_error&) {
        throw LibraryError(MPEGDLL_ERR_INPUT);
    }
}

} // namespace

ParallelPcmDecode::ParallelPcmDecode(const std::filesystem::path& path, ParallelDecodePlan plan)
    : plan_(std::move(plan)), file_(openInput(path)) {
    chunks_ = static_cast<std::int64_t>(plan_.bounds.size()) - 1;
    // The chunk being written waits for no one; about one more may wait decoded behind the
    // busy ones.
    const int threads = static_cast<int>(std::min<std::int64_t>(plan_.threads, chunks_));
    maxInFlightFrames_ = (threads + 1) * plan_.chunkFrames;
    try {
        for (int i = 0; i < threads; ++i)
            workers_.emplace_back(&ParallelPcmDecode::work, this);
    } catch (...) {
        stopWorkers();
        throw LibraryError(MPEGDLL_ERR_INTERNAL);
    }
}

ParallelPcmDecode::~ParallelPcmDecode() {
    stopWorkers();
}

void ParallelPcmDecode::stopWorkers() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    workerWake_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
}

void ParallelPcmDecode::work() {
    applyThreadPriority(plan_.priority);
    std::optional<ChunkDecoder> decoder;
    const std::size_t frameSamples = static_cast<std::size_t>(plan_.index.samplesPerFrame) *
                                     static_cast<std::size_t>(plan_.index.channels);
    for (;;) {
        Chunk* chunk = nullptr;
        {
            std::unique_lock lock(mutex_);
            // The next chunk's frames, while there is one.
            const auto nextFrames = [this] {
                const auto next = static_cast<std::size_t>(nextChunk_);
                return plan_.bounds[next + 1] - plan_.bounds[next];
            };
            workerWake_.wait(lock, [&] {
                return stop_ || nextChunk_ >= chunks_ || inFlight_.empty() ||
                       inFlightFrames_ + nextFrames() <= maxInFlightFrames_;
            });
            if (stop_ || nextChunk_ >= chunks_)
                return;
            auto taken = std::make_unique<Chunk>();
            taken->first = plan_.bounds[static_cast<std::size_t>(nextChunk_)];
            taken->count = nextFrames();
            if (!spareBuffers_.empty()) {
                taken->buffer = std::move(spareBuffers_.back());
                spareBuffers_.pop_back();
            }
            inFlightFrames_ += taken->count;
            ++nextChunk_;
            chunk = taken.get();
            inFlight_.push_back(std::move(taken));
        }
        int error = 0;
        try {
            if (!decoder)
                decoder.emplace(file_, plan_.index);
            // Every chunk fits a buffer of the largest one.
            if (!chunk->buffer)
                chunk->buffer = std::make_unique_for_overwrite<std::int16_t[]>(
                    static_cast<std::size_t>(plan_.chunkFrames) * frameSamples);
            decoder->decode(
                chunk->first, chunk->count, stop_, chunk->buffer.get(),
                [&](std::int64_t done) { chunk->done.store(done, std::memory_order_release); });
        } catch (const LibraryError& failure) {
            error = failure.code();
        } catch (...) {
            error = MPEGDLL_ERR_INTERNAL;
        }
        {
            std::lock_guard lock(mutex_);
            chunk->finished = true;
            chunk->error = error;
        }
        writerWake_.notify_all();
    }
}

bool ParallelPcmDecode::writeFrames(const Chunk& chunk, std::int64_t from, std::int64_t to,
                                    const Write& write) {
    const std::int64_t perFrame = plan_.index.samplesPerFrame;
    // The chunk's samples as positions in the output.
    const std::int64_t chunkStart = chunk.first * perFrame - plan_.skip;
    const std::int64_t begin = std::max<std::int64_t>(chunkStart + from * perFrame, 0);
    const std::int64_t end = std::min(chunkStart + to * perFrame, plan_.length);
    if (end <= begin)
        return true;
    const std::size_t offset = static_cast<std::size_t>(begin - chunkStart) *
                               static_cast<std::size_t>(plan_.index.channels);
    written_ += end - begin;
    return write(chunk.buffer.get() + offset, static_cast<std::size_t>(end - begin));
}

// What the writer sees of the oldest chunk in flight, read under the lock.
struct ParallelPcmDecode::Front {
    Chunk* chunk = nullptr; // none while nothing is in flight
    bool finished = false;
    int error = 0;
};

ParallelPcmDecode::Front ParallelPcmDecode::awaitFront(std::int64_t written) {
    std::unique_lock lock(mutex_);
    writerWake_.wait_for(lock, pollInterval, [&] {
        return !inFlight_.empty() &&
               (inFlight_.front()->finished ||
                inFlight_.front()->done.load(std::memory_order_acquire) > written);
    });
    if (inFlight_.empty())
        return {};
    Chunk* chunk = inFlight_.front().get();
    return {chunk, chunk->finished, chunk->error};
}

std::optional<ParallelPcmDecode::Result> ParallelPcmDecode::writeChunk(const Write& write,
                                                                       const Poll& poll) {
    // Only the writer takes chunks out of the queue, so the front stays this chunk once seen.
    Chunk* chunk = nullptr;
    std::int64_t written = 0; // frames of the chunk
    for (;;) {
        const Front front = awaitFront(written);
        if (front.chunk != nullptr)
            chunk = front.chunk;
        bool complete = false;
        if (chunk != nullptr) {
            const std::int64_t done = chunk->done.load(std::memory_order_acquire);
            if (done > written) {
                if (!writeFrames(*chunk, written, done, write))
                    return Result::OutputFailed;
                written = done;
            }
            complete = front.finished && done == written;
            if (complete && front.error != 0) {
                stopWorkers();
                throw LibraryError(front.error);
            }
        }
        // Asked after every write as well, so that a pause holds even when the workers are
        // ahead.
        const Request request = poll();
        if (request != Request::Continue)
            return request == Request::Stop ? Result::Stopped : Result::Interrupted;
        if (complete)
            return std::nullopt;
    }
}

void ParallelPcmDecode::releaseFront() {
    {
        std::lock_guard lock(mutex_);
        inFlightFrames_ -= inFlight_.front()->count;
        spareBuffers_.push_back(std::move(inFlight_.front()->buffer));
        inFlight_.pop_front();
    }
    workerWake_.notify_all();
}

ParallelPcmDecode::Result ParallelPcmDecode::run(const Write& write, const Poll& poll) {
    for (std::int64_t next = 0; next < chunks_; ++next) {
        if (const std::optional<Result> early = writeChunk(write, poll)) {
            stopWorkers();
            return *early;
        }
        releaseFront();
    }
    // Whatever went wrong in the plan, a decode that did not give every sample is no success.
    if (written_ != plan_.length)
        throw LibraryError(MPEGDLL_ERR_INTERNAL);
    return Result::Finished;
}

} // namespace mpegdll
