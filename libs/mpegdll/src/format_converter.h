#pragma once

#include "libs/resampler/resampler.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace mpegdll {

// Brings 16-bit interleaved audio of any rate and channel count (one or two) to one output
// format: a mono part is copied to both channels, a stereo part mixed down, and a part at
// another rate resampled with libsamplerate. A stream whose format changes part-way is so
// written in the format of its first frame, at its own speed and pitch.
class FormatConverter {
public:
    FormatConverter(int rate, int channels);
    ~FormatConverter();
    FormatConverter(const FormatConverter&) = delete;
    FormatConverter& operator=(const FormatConverter&) = delete;

    // Whether audio in this format needs converting, or what a part before it still holds.
    bool needed(int rate, int channels) const {
        return rate != rate_ || channels != channels_ || resampler_.has_value();
    }
    // Appends `frames` frames at (rate, channels), converted, to `out`. The resampler holds back
    // a few milliseconds until more comes or `finish` is called.
    void convert(const std::int16_t* samples, std::size_t frames, int rate, int channels,
                 std::vector<std::int16_t>& out);
    // Appends what the resampler still holds: at the end of a part at another rate.
    void finish(std::vector<std::int16_t>& out);
    // Drops what the resampler holds (after a seek).
    void reset();

private:
    void resample(std::size_t frames, bool last, std::vector<std::int16_t>& out);

    int rate_;
    int channels_;
    int inputRate_ = 0; // of the part being resampled
    std::optional<resampler::Resampler> resampler_;
    std::vector<float> input_;
};

} // namespace mpegdll
