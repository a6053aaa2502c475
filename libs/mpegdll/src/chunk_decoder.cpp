#include "libs/mpegdll/src/chunk_decoder.h"

#include "libs/mpegdll/src/library_error.h"
#include "libs/mpegdll/src/memory_reader.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>

namespace mpegdll {

namespace {

// Frames decoded and dropped before a run: at least two for the filterbanks, and a multiple of
// the frames after which the synthesis buffer's phase repeats (it moves on 16 slots in a
// cycle, by 36 per frame of 1152 samples and 18 per frame of 576). Layer III counts its
// made-up frame as one of them.
std::int64_t preRollFrames(const FrameIndex& index) {
    return index.samplesPerFrame == 576 ? 8 : 4;
}

// 16-bit output at the stream's own rate and channels, like the playback's decoder, but
// without the gapless trim (the caller trims) and without looking for an Info frame.
mpg123_handle* newHandle() {
    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (handle == nullptr)
        throw LibraryError(MPEGDLL_ERR_INTERNAL);
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0.0);
    mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_format_none(handle);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    return handle;
}

// A silent Layer III frame like `model` (same version, rate and mode) at the largest bitrate,
// without CRC, whose main data area ends with `reservoir`'s last bytes; appended to `out`.
void appendReservoirFrame(const unsigned char* model, const std::vector<unsigned char>& reservoir,
                          std::vector<unsigned char>& out) {
    unsigned char header[4] = {model[0], static_cast<unsigned char>(model[1] | 0x01),
                               static_cast<unsigned char>((model[2] & 0x0d) | 0xe0), model[3]};
    const std::optional<FrameHeader> parsed = parseFrameHeader(header);
    if (!parsed)
        throw LibraryError(MPEGDLL_ERR_INPUT);
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(parsed->length), 0);
    std::memcpy(out.data() + start, header, 4);
    const std::size_t room = static_cast<std::size_t>(parsed->mainDataBytes());
    const std::size_t kept = std::min(room, reservoir.size());
    std::memcpy(out.data() + out.size() - kept, reservoir.data() + reservoir.size() - kept, kept);
}

} // namespace

ChunkDecoder::ChunkDecoder(const InputFile& file, const FrameIndex& index)
    : file_(file), index_(index), handle_(newHandle()), scratch_(mpg123_outblock(handle_)) {}

ChunkDecoder::~ChunkDecoder() {
    mpg123_close(handle_);
    mpg123_delete(handle_);
}

std::int64_t ChunkDecoder::prepareInput(std::int64_t preRollStart, std::int64_t end) {
    // A little past the run, so that libmpg123 sees the header after its last frame.
    const std::int64_t stop =
        std::min(index_.frames, (end + alignment - 1) / alignment * alignment + alignment);
    const bool layer3 = index_.layer == 3 && preRollStart > 0;
    std::int64_t walkFrom = preRollStart / alignment * alignment;
    for (;;) {
        const std::int64_t from = index_.offsetOf(walkFrom);
        std::vector<unsigned char>& bytes = read_;
        bytes.resize(static_cast<std::size_t>(index_.offsetOf(stop) - from));
        if (file_.readAt(bytes.data(), bytes.size(), from) !=
            static_cast<std::int64_t>(bytes.size()))
            throw LibraryError(MPEGDLL_ERR_INPUT);

        // Walk to the first frame to decode, collecting the main data on the way.
        std::size_t position = 0;
        std::vector<unsigned char> reservoir;
        int reservoirLimit = 0;
        for (std::int64_t frame = walkFrom; frame < preRollStart; ++frame) {
            const std::optional<FrameHeader> header = parseFrameHeader(bytes.data() + position);
            if (!header || position + static_cast<std::size_t>(header->length) > bytes.size())
                throw LibraryError(MPEGDLL_ERR_INPUT);
            if (layer3) {
                const auto data =
                    bytes.begin() + static_cast<long>(position) + 4 + header->sideInfoBytes();
                reservoir.insert(reservoir.end(), data, data + header->mainDataBytes());
                reservoirLimit = header->reservoirLimit();
            }
            position += static_cast<std::size_t>(header->length);
        }
        if (layer3 && reservoir.size() < static_cast<std::size_t>(reservoirLimit) && walkFrom > 0) {
            walkFrom -= alignment;
            continue;
        }

        input_.clear();
        if (layer3)
            appendReservoirFrame(bytes.data() + position, reservoir, input_);
        input_.insert(input_.end(), bytes.begin() + static_cast<long>(position), bytes.end());
        return layer3 ? 1 : 0;
    }
}

bool ChunkDecoder::decode(std::int64_t first, std::int64_t count, const std::atomic<bool>& stop,
                          std::int16_t* out, const std::function<void(std::int64_t)>& framesDone) {
    std::int64_t preRollStart = first;
    if (first > 0)
        preRollStart = first - preRollFrames(index_) + (index_.layer == 3 ? 1 : 0);
    const std::int64_t leading = prepareInput(preRollStart, first + count) + first - preRollStart;

    // Opening resets every decoding state of the instance, as a new one has it.
    mpg123_close(handle_);
    MemoryReader reader{input_};
    if (mpg123_replace_reader_handle(handle_, &MemoryReader::read, nullptr, nullptr) != MPG123_OK ||
        mpg123_open_handle(handle_, &reader) != MPG123_OK)
        throw LibraryError(MPEGDLL_ERR_INTERNAL);
    // The instance must not keep the reader, which lives on this stack, nor write into `out`
    // after the run.
    struct Closer {
        mpg123_handle* handle;
        unsigned char* scratch;
        std::size_t size;
        ~Closer() {
            mpg123_close(handle);
            mpg123_replace_buffer(handle, scratch, size);
        }
    } closer{handle_, scratch_.data(), scratch_.size()};

    const std::size_t frameBytes = static_cast<std::size_t>(index_.samplesPerFrame) *
                                   static_cast<std::size_t>(index_.channels) * sizeof(std::int16_t);
    const std::size_t outBytes = static_cast<std::size_t>(count) * frameBytes;
    std::int64_t decoded = 0;
    while (decoded < leading + count) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        // libmpg123 decodes a frame straight into its place in `out` where room for a frame's
        // largest output is left there, else into scratch_, copied then. The frames before the
        // run go to the run's first place.
        const std::int64_t place = std::max<std::int64_t>(decoded - leading, 0);
        auto* target =
            reinterpret_cast<unsigned char*>(out) + static_cast<std::size_t>(place) * frameBytes;
        const std::size_t room = outBytes - static_cast<std::size_t>(place) * frameBytes;
        const bool inPlace = room >= scratch_.size();
        if (mpg123_replace_buffer(handle_, inPlace ? target : scratch_.data(),
                                  inPlace ? room : scratch_.size()) != MPG123_OK)
            throw LibraryError(MPEGDLL_ERR_INTERNAL);
        off_t number = 0;
        unsigned char* audio = nullptr;
        std::size_t size = 0;
        const int result = mpg123_decode_frame(handle_, &number, &audio, &size);
        if (result == MPG123_NEW_FORMAT)
            continue;
        if (result != MPG123_OK || size != frameBytes) {
            if (mpg123_errcode(handle_) == MPG123_OUT_OF_MEM)
                throw LibraryError(MPEGDLL_ERR_INTERNAL);
            throw LibraryError(MPEGDLL_ERR_INPUT);
        }
        if (audio != target)
            std::memcpy(target, audio, frameBytes);
        if (decoded++ >= leading)
            framesDone(decoded - leading);
    }
    return true;
}

} // namespace mpegdll
