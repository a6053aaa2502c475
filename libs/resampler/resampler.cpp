#include "libs/resampler/resampler.h"

#include <cmath>
#include <samplerate.h>
#include <stdexcept>
#include <string>

namespace resampler {

Resampler::Resampler(int channels, int inputRate, int outputRate)
    : channels_(channels), ratio_(static_cast<double>(outputRate) / inputRate) {
    int error = 0;
    state_ = src_new(SRC_SINC_MEDIUM_QUALITY, channels, &error);
    if (state_ == nullptr) {
        throw std::runtime_error(std::string("the resampler could not be started: ") +
                                 src_strerror(error));
    }
}

Resampler::~Resampler() {
    src_delete(state_);
}

std::span<const float> Resampler::convert(std::span<const float> interleaved, bool last) {
    const long inputFrames = static_cast<long>(interleaved.size() / channels_);
    std::size_t produced = 0;
    long consumed = 0;
    // At the end the converter drains its filter over as many calls as it needs.
    for (;;) {
        const long room = static_cast<long>(std::ceil((inputFrames - consumed) * ratio_)) + 256;
        output_.resize((produced + static_cast<std::size_t>(room)) * channels_);
        SRC_DATA data{};
        data.data_in = interleaved.data() + consumed * channels_;
        data.input_frames = inputFrames - consumed;
        data.data_out = output_.data() + produced * channels_;
        data.output_frames = room;
        data.end_of_input = last ? 1 : 0;
        data.src_ratio = ratio_;
        if (int error = src_process(state_, &data); error != 0) {
            throw std::runtime_error(std::string("resampling failed: ") + src_strerror(error));
        }
        consumed += data.input_frames_used;
        produced += static_cast<std::size_t>(data.output_frames_gen);
        const bool inputDone = consumed >= inputFrames;
        if (inputDone && (!last || data.output_frames_gen == 0)) {
            break;
        }
    }
    return std::span<const float>(output_).first(produced * channels_);
}

} // namespace resampler
