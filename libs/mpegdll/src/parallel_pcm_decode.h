#pragma once

#include "libs/mpegdll/src/frame_index.h"
#include "libs/mpegdll/src/input_file.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace mpegdll {

// How one file is split for a parallel decode into PCM.
struct ParallelDecodePlan {
    FrameIndex index;
    std::int64_t skip = 0;   // samples dropped at the start (the gapless trim)
    std::int64_t length = 0; // samples written
    int threads = 1;
    std::int64_t chunkFrames = 0; // the largest chunk
    // Chunk i covers frames [bounds[i], bounds[i + 1]); the chunks shrink towards the end.
    std::vector<std::int64_t> bounds;
    int priority = 0; // of the worker threads, as SetPriority takes it
};

// The plan for decoding the file at `path` from its start to `endSample` (-1: to its end),
// with the thread count and chunk size of the environment (SONABOX_DECODER_THREADS,
// SONABOX_DECODER_CHUNK_FRAMES; values out of bounds are bounded, others ignored), or nullopt when
// the file is decoded in one piece as before: one thread, one chunk, or a file that the frame index
// cannot cover exactly as libmpg123 decodes it. `sequentialLength` is the sample count that
// libmpg123 reports for the whole stream; the plan must give the same.
std::optional<ParallelDecodePlan> planParallelDecode(const std::filesystem::path& path,
                                                     std::int64_t sequentialLength,
                                                     std::int64_t endSample, int priority);
// The same with the file's frame index already made (nullopt: the file has none).
std::optional<ParallelDecodePlan> planParallelDecode(const std::filesystem::path& path,
                                                     std::optional<FrameIndex> index,
                                                     std::int64_t sequentialLength,
                                                     std::int64_t endSample, int priority);

// Decodes a planned file on worker threads, a bounded number of chunks at a time, and hands
// the samples in order to a writer on the calling thread.
class ParallelPcmDecode {
public:
    enum class Request { Continue, Stop, Interrupt };
    enum class Result { Finished, Stopped, Interrupted, OutputFailed };
    // Takes interleaved samples in order; false when they could not be written.
    using Write = std::function<bool(const std::int16_t* samples, std::size_t frames)>;
    // Asked at least every few milliseconds whether to go on.
    using Poll = std::function<Request()>;

    ParallelPcmDecode(const std::filesystem::path& path, ParallelDecodePlan plan);
    ~ParallelPcmDecode();
    ParallelPcmDecode(const ParallelPcmDecode&) = delete;
    ParallelPcmDecode& operator=(const ParallelPcmDecode&) = delete;

    // Writes everything, or what precedes a Stop or Interrupt; throws LibraryError when the
    // input fails, after writing all that precedes the failure.
    Result run(const Write& write, const Poll& poll);

private:
    struct Chunk;
    // Room for one chunk's samples, left uninitialised until decoded into.
    using SampleBuffer = std::unique_ptr<std::int16_t[]>;

    void work();
    void stopWorkers();
    bool writeFrames(const Chunk& chunk, std::int64_t from, std::int64_t to, const Write& write);

    // The writer's side of run(). The oldest chunk in flight after waiting at most one poll
    // interval for it to grow past `written` frames or to finish.
    struct Front;
    Front awaitFront(std::int64_t written);
    // Writes the oldest chunk in flight as its worker decodes it; the run's result when it ends
    // before the chunk's last frame, nothing when the chunk is all written.
    std::optional<Result> writeChunk(const Write& write, const Poll& poll);
    // Hands the written oldest chunk's buffer back to the workers.
    void releaseFront();

    ParallelDecodePlan plan_;
    InputFile file_;
    std::int64_t chunks_ = 0;
    // Frames of the chunks in flight, and their bound.
    std::int64_t inFlightFrames_ = 0;
    std::int64_t maxInFlightFrames_ = 0;

    std::mutex mutex_;
    std::condition_variable workerWake_;
    std::condition_variable writerWake_;
    std::deque<std::unique_ptr<Chunk>> inFlight_; // oldest first
    // Sample buffers of written chunks, for the next ones: allocated once, so memory is flat.
    std::vector<SampleBuffer> spareBuffers_;
    std::int64_t nextChunk_ = 0;
    std::int64_t written_ = 0; // samples per channel handed to the writer
    std::atomic<bool> stop_{false};
    std::vector<std::thread> workers_;
};

} // namespace mpegdll
