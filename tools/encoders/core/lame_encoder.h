#pragma once

#include "tools/encoders/core/frame_encoder.h"
#include "tools/encoders/core/mpeg_format.h"
#include "tools/encoders/parallel/info_tag.h"
#include "tools/encoders/parallel/tagged_stream.h"

#include <cstdint>
#include <optional>
#include <vector>

struct lame_global_struct;

namespace encoders {

struct LameSettings {
    int channels = 2;      // of the samples given to encode(); 1 codes mono
    int inputRate = 44100; // LAME resamples when it differs from outputRate
    int outputRate = 44100;
    ChannelMode mode = ChannelMode::Stereo; // stereo, joint stereo or mono
    int kbps = 128;                         // an allowed Layer III bitrate at outputRate
    int quality = 3;                        // LAME's 0 (best) to 9
    bool reservoir = true;                  // frames may borrow room from the frames before them
    RateControl rateControl = RateControl::Constant; // Average: kbps is the mean
    int vbrQuality = 4;                              // LAME's -V scale, for Variable
};

// A LAME handle set up for coding with these settings, its console messages silenced and
// without an Info or Xing frame of its own (LAME leaves that out at the lowest bitrates, and
// chunks coded apart need one over the joined stream).
// Throws EncoderError when LAME refuses the settings. The caller closes it (lame_close).
lame_global_struct* openLame(const LameSettings& settings);

// What the handle's coding reports in an Info frame; padding is left for the caller.
parallel::TagFacts lameTagFacts(lame_global_struct* lame);

// Layer III through libmp3lame. The stream begins with an Info frame (a Xing frame for a
// variable or average bitrate) that tells players the exact length (encoder delay and padding)
// and where to seek, completed by finish(); the stream starts where the output stood at the
// first call (after a tag, say).
class LameEncoder : public FrameEncoder {
public:
    explicit LameEncoder(const LameSettings& settings);
    ~LameEncoder() override;
    LameEncoder(const LameEncoder&) = delete;
    LameEncoder& operator=(const LameEncoder&) = delete;

    void encode(std::span<const float> interleaved, OutputFile& out) override;
    void setTrackGain(const ReplayGain& gain) override { gain_ = gain; }
    void finish(OutputFile& out) override;

private:
    // Hands LAME's output to the stream, which starts at the first call.
    void emit(int bytes, OutputFile& out);

    lame_global_struct* lame_ = nullptr;
    int channels_;
    std::optional<ReplayGain> gain_;
    std::optional<parallel::TaggedStream> stream_;
    std::vector<unsigned char> buffer_;
};

} // namespace encoders
