#pragma once

#include <filesystem>
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

// What the loudness of a track rests on: the mean square of its K-weighted samples, summed over
// the channels, in windows of 400 ms every 100 ms (its gating blocks), and its sample peak. The
// blocks of several tracks pooled give the loudness of the tracks played as one album.
struct TrackLoudness {
    std::vector<double> blocks;
    double peak = 0;
};

// Measures interleaved float samples of one or two channels, as they come.
class LoudnessMeter {
public:
    LoudnessMeter(int channels, int sampleRate);

    void add(std::span<const float> interleaved);
    const TrackLoudness& measured() const { return measured_; }

    // The K-weighting filter: a high shelf and a high pass, each a biquad.
    struct Biquad {
        double b0, b1, b2, a1, a2;
    };
    struct ChannelState {
        double s[4] = {}; // the two biquads' delays
        double sum = 0;   // of squares in the running 100 ms step
    };

private:
    void endStep();

    int channels_;
    int stepFrames_; // 100 ms
    int stepFilled_ = 0;
    Biquad shelf_;
    Biquad highPass_;
    ChannelState state_[2];
    double steps_[4] = {}; // the last four steps' energies, a ring
    long long stepCount_ = 0;
    TrackLoudness measured_;
};

// The gain and peak of these tracks taken together (one track: its own); nothing when no block
// rises above the absolute gate of -70 LUFS (silence).
std::optional<ReplayGain> replayGain(std::span<const TrackLoudness* const> tracks);
std::optional<ReplayGain> replayGain(const TrackLoudness& track);

// The measurement as an encoder program hands it to the batch that ran it, exactly (the numbers
// in hexadecimal floating point). Either throws EncoderError (a std::runtime_error) for a path
// that names anything but a regular file, without waiting on it; loading also for a file that
// is missing or not such a measurement.
void saveLoudness(const std::filesystem::path& path, const TrackLoudness& loudness);
TrackLoudness loadLoudness(const std::filesystem::path& path);

// The tag texts: "-6.52 dB" and "0.988235".
std::string gainText(double gainDb);
std::string peakText(double peak);

} // namespace encoders
