#include "libs/mpegdll/src/format_converter.h"

#include "libs/mpegdll/src/library_error.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <stdexcept>

namespace mpegdll {

FormatConverter::FormatConverter(int rate, int channels) : rate_(rate), channels_(channels) {}

FormatConverter::~FormatConverter() = default;

void FormatConverter::convert(const std::int16_t* samples, std::size_t frames, int rate,
                              int channels, std::vector<std::int16_t>& out) {
    if (resampler_ && rate != inputRate_)
        finish(out);
    // To the output's channels first, so the resampler works on no more than it must.
    const auto outChannels = static_cast<std::size_t>(channels_);
    input_.resize(frames * outChannels);
    constexpr float scale = 1.0f / 32768.0f;
    for (std::size_t i = 0; i < frames; ++i) {
        if (channels == channels_) {
            for (std::size_t c = 0; c < outChannels; ++c)
                input_[i * outChannels + c] = samples[i * outChannels + c] * scale;
        } else if (channels == 1) {
            for (std::size_t c = 0; c < outChannels; ++c)
                input_[i * outChannels + c] = samples[i] * scale;
        } else {
            input_[i] = (samples[2 * i] + samples[2 * i + 1]) * (scale / 2);
        }
    }
    if (rate == rate_) {
        for (const float value : input_)
            out.push_back(static_cast<std::int16_t>(std::lround(value * 32768.0f)));
        return;
    }
    if (!resampler_) {
        try {
            resampler_.emplace(channels_, rate, rate_);
        } catch (const std::runtime_error&) {
            throw LibraryError(MPEGDLL_ERR_INTERNAL);
        }
        inputRate_ = rate;
    }
    resample(frames, false, out);
}

void FormatConverter::finish(std::vector<std::int16_t>& out) {
    if (!resampler_)
        return;
    input_.clear();
    resample(0, true, out);
    reset();
}

void FormatConverter::reset() {
    resampler_.reset();
    inputRate_ = 0;
}

void FormatConverter::resample(std::size_t frames, bool last, std::vector<std::int16_t>& out) {
    std::span<const float> converted;
    try {
        converted = resampler_->convert(
            std::span<const float>(input_.data(), frames * static_cast<std::size_t>(channels_)),
            last);
    } catch (const std::runtime_error&) {
        throw LibraryError(MPEGDLL_ERR_INTERNAL);
    }
    out.reserve(out.size() + converted.size());
    for (const float value : converted)
        out.push_back(static_cast<std::int16_t>(
            std::lround(std::clamp(value, -1.0f, 32767.0f / 32768.0f) * 32768.0f)));
}

} // namespace mpegdll
