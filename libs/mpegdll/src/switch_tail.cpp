#include "libs/mpegdll/src/switch_tail.h"

#include "libs/mpegdll/src/frame_index.h"
#include "libs/mpegdll/src/memory_reader.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace mpegdll {

namespace {

constexpr int tailFrames = 2;

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};

// Two frames of what a decoder gives for silent frames with the header `silent` after
// `frames` (whose last header is at `last`); empty when it cannot be made.
std::vector<std::int16_t> silentFramesAfter(const std::vector<unsigned char>& frames, int count,
                                            const unsigned char* silent) {
    const std::optional<FrameHeader> silentHeader = parseFrameHeader(silent);
    if (!silentHeader)
        return {};
    // A frame of zeros after the header, without CRC, is silent in every layer: no bits
    // allocated (Layers I and II), no main data and nothing taken from the reservoir (III).
    // One more than taken, so that libmpg123 sees a header after the last one taken.
    std::vector<unsigned char> input = frames;
    for (int i = 0; i < tailFrames + 1; ++i) {
        const std::size_t start = input.size();
        input.resize(start + static_cast<std::size_t>(silentHeader->length), 0);
        std::memcpy(input.data() + start, silent, 4);
    }

    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleDeleter> handle(mpg123_new(nullptr, &error));
    if (!handle)
        return {};
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0.0);
    mpg123_param(handle.get(), MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_format_none(handle.get());
    mpg123_format(handle.get(), silentHeader->rate, MPG123_MONO | MPG123_STEREO,
                  MPG123_ENC_SIGNED_16);
    MemoryReader reader{input};
    if (mpg123_replace_reader_handle(handle.get(), &MemoryReader::read, nullptr, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(handle.get(), &reader) != MPG123_OK)
        return {};
    std::vector<std::int16_t> tail;
    const std::size_t frameSamples = static_cast<std::size_t>(silentHeader->samples) *
                                     static_cast<std::size_t>(silentHeader->channels);
    for (;;) {
        off_t number = 0;
        unsigned char* audio = nullptr;
        std::size_t size = 0;
        const int result = mpg123_decode_frame(handle.get(), &number, &audio, &size);
        if (result == MPG123_NEW_FORMAT)
            continue;
        if (result != MPG123_OK)
            break;
        if (number >= count && number < count + tailFrames) {
            if (size != frameSamples * sizeof(std::int16_t))
                return {};
            const auto* samples = reinterpret_cast<const std::int16_t*>(audio);
            tail.insert(tail.end(), samples, samples + frameSamples);
        }
    }
    mpg123_close(handle.get());
    if (tail.size() != frameSamples * tailFrames)
        return {};
    return tail;
}

} // namespace

SwitchTail switchTail(const std::vector<unsigned char>& frames, int newChannels) {
    // Walk to the last frame, whose header the silent frames copy.
    std::size_t last = 0;
    int count = 0;
    for (std::size_t at = 0; at + 4 <= frames.size(); ++count) {
        const std::optional<FrameHeader> header = parseFrameHeader(frames.data() + at);
        if (!header || at + static_cast<std::size_t>(header->length) > frames.size())
            return {};
        last = at;
        at += static_cast<std::size_t>(header->length);
    }
    if (count == 0)
        return {};
    const unsigned char old[4] = {frames[last], static_cast<unsigned char>(frames[last + 1] | 1),
                                  frames[last + 2], frames[last + 3]};
    // The same frame in the new layout: mono, or plain stereo.
    const unsigned char mode = newChannels == 1 ? 0xc0 : 0x00;
    const unsigned char changed[4] = {old[0], old[1], old[2],
                                      static_cast<unsigned char>((old[3] & 0x0f) | mode)};
    SwitchTail tail{silentFramesAfter(frames, count, old),
                    silentFramesAfter(frames, count, changed)};
    if (tail.continued.empty() || tail.kept.empty())
        return {};
    return tail;
}

} // namespace mpegdll
