#include "tools/encoders/core/loudness.h"

#include "tools/encoders/core/encoder_error.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace encoders {

namespace {

std::optional<ReplayGain> gainFor(double lufs, double peak) {
    if (!std::isfinite(lufs)) {
        return std::nullopt;
    }
    return ReplayGain{kReplayGainReference - lufs, peak};
}

double samplePeak(ebur128_state* state, int channels) {
    double peak = 0;
    for (int c = 0; c < channels; ++c) {
        double channelPeak = 0;
        if (ebur128_sample_peak(state, static_cast<unsigned>(c), &channelPeak) == EBUR128_SUCCESS) {
            peak = std::max(peak, channelPeak);
        }
    }
    return peak;
}

} // namespace

LoudnessMeter::LoudnessMeter(int channels, int sampleRate) : channels_(channels) {
    state_ = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                          EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
    if (state_ == nullptr) {
        throw EncoderError("cannot set up the loudness measurement");
    }
}

LoudnessMeter::~LoudnessMeter() {
    if (state_ != nullptr) {
        ebur128_destroy(&state_);
    }
}

LoudnessMeter::LoudnessMeter(LoudnessMeter&& other) noexcept
    : state_(std::exchange(other.state_, nullptr)), channels_(other.channels_) {}

void LoudnessMeter::add(std::span<const float> interleaved) {
    if (ebur128_add_frames_float(state_, interleaved.data(),
                                 interleaved.size() / static_cast<std::size_t>(channels_)) !=
        EBUR128_SUCCESS) {
        throw EncoderError("the loudness measurement ran out of memory");
    }
}

std::optional<ReplayGain> LoudnessMeter::result() const {
    double lufs = 0;
    if (ebur128_loudness_global(state_, &lufs) != EBUR128_SUCCESS) {
        return std::nullopt;
    }
    return gainFor(lufs, samplePeak(state_, channels_));
}

std::optional<ReplayGain> albumGain(std::span<const LoudnessMeter* const> tracks) {
    std::vector<ebur128_state*> states;
    double peak = 0;
    for (const LoudnessMeter* track : tracks) {
        states.push_back(track->state_);
        peak = std::max(peak, samplePeak(track->state_, track->channels_));
    }
    double lufs = 0;
    if (states.empty() ||
        ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) != EBUR128_SUCCESS) {
        return std::nullopt;
    }
    return gainFor(lufs, peak);
}

std::string gainText(double gainDb) {
    char text[32];
    // No "-0.00 dB": a gain that rounds to nothing is written as such.
    std::snprintf(text, sizeof text, "%.2f dB", std::abs(gainDb) < 0.005 ? 0.0 : gainDb);
    return text;
}

std::string peakText(double peak) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", peak);
    return text;
}

} // namespace encoders
