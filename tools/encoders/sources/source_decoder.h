#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace encoders {

// One library's decoding of an open source: interleaved float samples in the source's own
// channels, at full scale +/-1 (a float source may lie beyond it).
class SourceDecoder {
public:
    virtual ~SourceDecoder() = default;

    virtual int channels() const = 0;
    virtual int sampleRate() const = 0;
    // The frames the file declares, exactly; nothing when its length is not known.
    virtual std::optional<std::int64_t> frames() const = 0;
    // The frames the file declares, perhaps rounded (for progress only).
    virtual std::optional<std::int64_t> roughFrames() const { return frames(); }
    // The order of the channels as an FFmpeg channel mask (AV_CH_*), 0 when the file does not
    // say: the usual order for the count is taken then.
    virtual std::uint64_t channelMask() const = 0;
    // A text the file carries (SF_STR_TITLE, ...), empty when there is none.
    virtual std::string text(int which) const = 0;
    // Whether the samples may lie beyond full scale or be NaN (float and lossy sources).
    virtual bool unbounded() const = 0;
    // Fills the buffer with whole frames; returns the number read, 0 at the end. Throws
    // EncoderError when the file cannot be decoded.
    virtual std::size_t read(std::span<float> interleaved) = 0;
};

} // namespace encoders
