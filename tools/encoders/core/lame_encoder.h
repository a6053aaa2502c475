#pragma once

#include "tools/encoders/core/frame_encoder.h"
#include "tools/encoders/core/mpeg_format.h"

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
    bool infoTag = true;                    // an Info frame first, telling players the exact length
    bool reservoir = true;                  // frames may borrow room from the frames before them
};

// A LAME handle set up for constant-bitrate coding with these settings, its console messages
// silenced. Throws EncoderError when LAME refuses them. The caller closes it (lame_close).
lame_global_struct* openLame(const LameSettings& settings);

// Layer III through libmp3lame, constant bitrate. The stream begins with an Info frame that
// tells players the exact length (encoder delay and padding), completed by finish(); the
// stream starts where the output stood at the first call (after a tag, say).
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
    lame_global_struct* lame_ = nullptr;
    int channels_;
    std::optional<std::uint64_t> start_;
    std::optional<ReplayGain> gain_;
    std::vector<unsigned char> buffer_;
};

} // namespace encoders
