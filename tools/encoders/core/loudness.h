#pragma once

#include <ebur128.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace encoders {

// ReplayGain 2.0 figures of a track or an album: the gain that brings its integrated loudness
// (ITU-R BS.1770) to the reference of -18 LUFS, and its sample peak at full scale 1.
struct ReplayGain {
    double gainDb = 0;
    double peak = 0;
};

inline constexpr double kReplayGainReference = -18.0;

// Measures interleaved float samples with libebur128: integrated loudness with its gating
// blocks kept, so that several meters can be combined into an album's loudness.
class LoudnessMeter {
public:
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(LoudnessMeter&& other) noexcept;
    LoudnessMeter& operator=(LoudnessMeter&&) = delete;
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(std::span<const float> interleaved);
    // The track's gain and peak; nothing when no block rises above the absolute gate (silence).
    std::optional<ReplayGain> result() const;

private:
    friend std::optional<ReplayGain> albumGain(std::span<const LoudnessMeter* const> tracks);
    ebur128_state* state_ = nullptr;
    int channels_;
};

// The album's gain over the gating blocks of all its tracks, and its highest peak.
std::optional<ReplayGain> albumGain(std::span<const LoudnessMeter* const> tracks);

// The tag texts: "-6.52 dB" and "0.988235".
std::string gainText(double gainDb);
std::string peakText(double peak);

} // namespace encoders
