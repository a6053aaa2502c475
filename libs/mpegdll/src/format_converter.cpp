#include "libs/mpegdll/src/format_converter.h"

#include "libs/mpegdll/src/library_error.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace mpegdll {

void FormatConverter::StateDeleter::operator()(SRC_STATE* state) const {
    src_delete(state);
}

FormatConverter::FormatConverter(int rate, int channels) : rate_(rate), channels_(channels) {}

FormatConverter::~FormatConverter() = default;

void FormatConverter::convert(const std::int16_t* samples, std::size_t frames, int rate,
                              int channels, std::vector<std::int16_t>& out) {
    if (state_ && rate != inputRate_)
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
    if (!state_) {
        int error = 0;
        state_.reset(src_new(SRC_SINC_MEDIUM_QUALITY, channels_, &error));
        if (!state_)
            throw LibraryError(MPEGDLL_ERR_INTERNAL);
        inputRate_ = rate;
    }
    resample(frames, false, out);
}

void FormatConverter::finish(std::vector<std::int16_t>& out) {
    if (!state_)
        return;
    input_.clear();
    resample(0, true, out);
    reset();
}

void FormatConverter::reset() {
    state_.reset();
    inputRate_ = 0;
}

void FormatConverter::resample(std::size_t frames, bool last, std::vector<std::int16_t>& out) {
    const double ratio = static_cast<double>(rate_) / inputRate_;
    const auto channels = static_cast<std::size_t>(channels_);
    std::size_t consumed = 0;
    // At the end the resampler gives out its tail over as many calls as it needs.
    for (;;) {
        const auto room = static_cast<std::size_t>(std::ceil((frames - consumed) * ratio)) + 256;
        output_.resize(room * channels);
        SRC_DATA data{};
        data.data_in = input_.data() + consumed * channels;
        data.input_frames = static_cast<long>(frames - consumed);
        data.data_out = output_.data();
        data.output_frames = static_cast<long>(room);
        data.end_of_input = last ? 1 : 0;
        data.src_ratio = ratio;
        if (src_process(state_.get(), &data) != 0)
            throw LibraryError(MPEGDLL_ERR_INTERNAL);
        consumed += static_cast<std::size_t>(data.input_frames_used);
        const auto produced = static_cast<std::size_t>(data.output_frames_gen) * channels;
        out.reserve(out.size() + produced);
        for (std::size_t i = 0; i < produced; ++i)
            out.push_back(static_cast<std::int16_t>(
                std::lround(std::clamp(output_[i], -1.0f, 32767.0f / 32768.0f) * 32768.0f)));
        if (consumed >= frames && (!last || data.output_frames_gen == 0))
            break;
    }
}

} // namespace mpegdll
