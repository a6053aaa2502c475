#include "tools/encoders/core/loudness.h"

#include "tools/encoders/core/encoder_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <sstream>
#include <stdexcept>

namespace encoders {

namespace {

using Biquad = LoudnessMeter::Biquad;
using ChannelState = LoudnessMeter::ChannelState;

// The measurement's file, opened without blocking: a fifo or a device in its place is refused,
// never waited on. Throws EncoderError for anything but a regular file (or one it may create).
int openRegular(const std::filesystem::path& path, int flags) {
    // Appended, not prepended to: see the input name in audio_source.cpp.
    std::string name = "'";
    name += path.native();
    name += '\'';
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        throw EncoderError("the loudness file " + name + " is not a regular file");
    }
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw EncoderError("cannot open the loudness file " + name + ": " + std::strerror(errno));
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw EncoderError("the loudness file " + name + " is not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::string readRegular(const std::filesystem::path& path) {
    const int fd = openRegular(path, O_RDONLY);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

// The two stages of BS.1770's K-weighting, derived for any sample rate from their analogue
// prototypes (the standard gives the coefficients for 48 kHz only).
Biquad shelfFor(int sampleRate) {
    const double k = std::tan(std::numbers::pi * 1681.974450955533 / sampleRate);
    const double q = 0.7071752369554196;
    const double vh = std::pow(10.0, 3.999843853973347 / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / q + k * k;
    return {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
            2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

Biquad highPassFor(int sampleRate) {
    const double k = std::tan(std::numbers::pi * 38.13547087602444 / sampleRate);
    const double q = 0.5003270373238773;
    const double a0 = 1.0 + k / q + k * k;
    return {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

// Filters `frames` frames of interleaved samples through both stages and adds up the squares.
// The channels go side by side in the lanes of one vector (a mono signal leaves one lane
// empty); the high pass's numerator is 1, -2, 1.
template <int Channels>
float filterFrames(const float* in, int frames, const Biquad& f, const Biquad& g,
                   ChannelState* states) {
    using Lanes = double __attribute__((vector_size(2 * sizeof(double))));
    Lanes s0{}, s1{}, s2{}, s3{}, sum{};
    for (int c = 0; c < Channels; ++c) {
        s0[c] = states[c].s[0];
        s1[c] = states[c].s[1];
        s2[c] = states[c].s[2];
        s3[c] = states[c].s[3];
        sum[c] = states[c].sum;
    }
    float peak = 0;
    for (int i = 0; i < frames; ++i) {
        Lanes x{};
        for (int c = 0; c < Channels; ++c) {
            const float sample = in[i * Channels + c];
            peak = std::max(peak, std::abs(sample));
            x[c] = sample;
        }
        // The feedback term comes last, so each sample waits on the one before it for a
        // multiplication and a subtraction only.
        const Lanes y = f.b0 * x + s0;
        s0 = (f.b1 * x + s1) - f.a1 * y;
        s1 = f.b2 * x - f.a2 * y;
        const Lanes z = y + s2;
        s2 = (s3 - 2.0 * y) - g.a1 * z;
        s3 = y - g.a2 * z;
        sum += z * z;
    }
    for (int c = 0; c < Channels; ++c) {
        states[c].s[0] = s0[c];
        states[c].s[1] = s1[c];
        states[c].s[2] = s2[c];
        states[c].s[3] = s3[c];
        states[c].sum = sum[c];
    }
    return peak;
}

double loudnessOf(double energy) {
    return -0.691 + 10.0 * std::log10(energy);
}

double mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values) {
        sum += v;
    }
    return sum / static_cast<double>(values.size());
}

} // namespace

LoudnessMeter::LoudnessMeter(int channels, int sampleRate)
    : channels_(channels), stepFrames_((sampleRate + 5) / 10), shelf_(shelfFor(sampleRate)),
      highPass_(highPassFor(sampleRate)) {
    if (channels < 1 || channels > 2 || sampleRate < 1000) {
        throw EncoderError("cannot measure the loudness of " + std::to_string(channels) +
                           " channels at " + std::to_string(sampleRate) + " Hz");
    }
}

void LoudnessMeter::add(std::span<const float> interleaved) {
    const float* in = interleaved.data();
    int frames = static_cast<int>(interleaved.size() / static_cast<std::size_t>(channels_));
    while (frames > 0) {
        const int now = std::min(frames, stepFrames_ - stepFilled_);
        const float peak = channels_ == 2 ? filterFrames<2>(in, now, shelf_, highPass_, state_)
                                          : filterFrames<1>(in, now, shelf_, highPass_, state_);
        measured_.peak = std::max(measured_.peak, double(peak));
        in += static_cast<std::ptrdiff_t>(now) * channels_;
        frames -= now;
        stepFilled_ += now;
        if (stepFilled_ == stepFrames_) {
            endStep();
        }
    }
}

void LoudnessMeter::endStep() {
    // Left and right (or the one channel) weigh 1.
    double energy = 0;
    for (int c = 0; c < channels_; ++c) {
        energy += state_[c].sum / stepFrames_;
        state_[c].sum = 0;
        // Silence lets the filters decay into subnormal numbers, which are slow to compute.
        for (double& s : state_[c].s) {
            if (std::abs(s) < 1e-30) {
                s = 0;
            }
        }
    }
    steps_[stepCount_ % 4] = energy;
    ++stepCount_;
    stepFilled_ = 0;
    if (stepCount_ >= 4) {
        measured_.blocks.push_back((steps_[0] + steps_[1] + steps_[2] + steps_[3]) / 4.0);
    }
}

std::optional<ReplayGain> replayGain(std::span<const TrackLoudness* const> tracks) {
    // Blocks below -70 LUFS are left out, and then those 10 LU or more below the mean of the rest.
    const double absoluteGate = std::pow(10.0, (-70.0 + 0.691) / 10.0);
    std::vector<double> loud;
    double peak = 0;
    for (const TrackLoudness* track : tracks) {
        peak = std::max(peak, track->peak);
        std::copy_if(track->blocks.begin(), track->blocks.end(), std::back_inserter(loud),
                     [absoluteGate](double block) { return block > absoluteGate; });
    }
    if (loud.empty()) {
        return std::nullopt;
    }
    const double relativeGate = mean(loud) / 10.0;
    std::erase_if(loud, [relativeGate](double block) { return block <= relativeGate; });
    return ReplayGain{kReplayGainReference - loudnessOf(mean(loud)), peak};
}

std::optional<ReplayGain> replayGain(const TrackLoudness& track) {
    const TrackLoudness* one = &track;
    return replayGain(std::span(&one, 1));
}

void saveLoudness(const std::filesystem::path& path, const TrackLoudness& loudness) {
    const int fd = openRegular(path, O_WRONLY | O_CREAT);
    // Emptied only now that it is known to be a regular file.
    std::FILE* file = ::ftruncate(fd, 0) == 0 ? ::fdopen(fd, "w") : nullptr;
    if (file == nullptr) {
        ::close(fd);
        throw EncoderError("cannot write the loudness to '" + path.string() +
                           "': " + std::strerror(errno));
    }
    std::fprintf(file, "loudness 1\npeak %a\nblocks %zu\n", loudness.peak, loudness.blocks.size());
    for (double block : loudness.blocks) {
        std::fprintf(file, "%a\n", block);
    }
    if (std::fclose(file) != 0) {
        throw EncoderError("cannot write the loudness to '" + path.string() + "'");
    }
}

TrackLoudness loadLoudness(const std::filesystem::path& path) {
    std::istringstream in(readRegular(path));
    // A finite number of at least 0, or -1.
    const auto number = [&in]() {
        std::string text;
        in >> text;
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        return (!text.empty() && *end == '\0' && std::isfinite(v) && v >= 0) ? v : -1.0;
    };
    std::string word, version, blocks;
    std::size_t count = 0;
    TrackLoudness loudness;
    // One block per 100 ms: a day of audio has far fewer than the limit.
    bool good = in >> word >> version && word == "loudness" && version == "1" && in >> word &&
                word == "peak" && (loudness.peak = number()) >= 0 && in >> blocks &&
                blocks == "blocks" && in >> count && count <= 10'000'000;
    if (good) {
        loudness.blocks.resize(count);
        for (double& block : loudness.blocks) {
            good = good && (block = number()) >= 0;
        }
    }
    if (!good) {
        throw std::runtime_error("'" + path.string() + "' holds no loudness measurement");
    }
    return loudness;
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
