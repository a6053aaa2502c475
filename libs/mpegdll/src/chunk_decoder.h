#pragma once

#include "libs/mpegdll/src/frame_index.h"
#include "libs/mpegdll/src/input_file.h"

#include <mpg123.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace mpegdll {

// Decodes a run of audio frames of an indexed file with a libmpg123 instance of its own, giving
// the same samples, bit for bit, as one decode of the whole stream from its start.
//
// A run that does not start at frame 0 begins with a few frames that are decoded and dropped:
// they fill the hybrid filterbank's overlap and the synthesis filterbank's history. A Layer III
// run is preceded by one made-up silent frame that carries the bit reservoir (the main data of
// the frames before the run), so that no frame of the run lacks its reservoir. The number of
// frames decoded before the run keeps libmpg123's synthesis buffer at the same phase as a
// decode from the start (its rounding depends on that phase).
class ChunkDecoder {
public:
    // Frames from which a run may start: multiples of this.
    static constexpr std::int64_t alignment = FrameIndex::step;

    ChunkDecoder(const InputFile& file, const FrameIndex& index);
    ~ChunkDecoder();
    ChunkDecoder(const ChunkDecoder&) = delete;
    ChunkDecoder& operator=(const ChunkDecoder&) = delete;

    // Decodes frames [first, first + count), `first` a multiple of `alignment`, into `out`
    // (room for `count` frames of interleaved samples) and tells `framesDone` how many frames
    // are there after each one. Returns false as soon as `stop` is set; throws LibraryError
    // when the file cannot be read or a frame does not decode.
    bool decode(std::int64_t first, std::int64_t count, const std::atomic<bool>& stop,
                std::int16_t* out, const std::function<void(std::int64_t)>& framesDone);

private:
    // Fills input_ with the bytes to decode: a made-up frame if needed, then the frames from
    // `preRollStart` on. Gives the number of frames before `preRollStart` (0 or 1).
    std::int64_t prepareInput(std::int64_t preRollStart, std::int64_t end);

    const InputFile& file_;
    const FrameIndex& index_;
    // One libmpg123 instance, opened anew (and so reset) for each run.
    mpg123_handle* handle_ = nullptr;
    // Kept from run to run, so that memory stays flat.
    std::vector<unsigned char> read_;
    std::vector<unsigned char> input_;
    // Room for the largest output of one frame, for a frame whose place in the output leaves
    // less; libmpg123 never decodes into its own buffer, nor into an output after its run.
    std::vector<unsigned char> scratch_;
};

} // namespace mpegdll
