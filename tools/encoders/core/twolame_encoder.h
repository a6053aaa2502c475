#pragma once

#include "tools/encoders/core/frame_encoder.h"
#include "tools/encoders/core/mpeg_format.h"

#include <vector>

struct twolame_options_struct;

namespace encoders {

struct TwolameSettings {
    int channels = 2;
    int sampleRate = 44100; // a Layer II rate; the input must already be at it
    ChannelMode mode = ChannelMode::Stereo;
    int kbps = 192; // an allowed Layer II bitrate for the rate and mode
};

// A TwoLAME handle set up with these settings; throws EncoderError when TwoLAME refuses them.
// The caller closes it (twolame_close).
twolame_options_struct* openTwolame(const TwolameSettings& settings);

// Layer II through libtwolame.
class TwolameEncoder : public FrameEncoder {
public:
    explicit TwolameEncoder(const TwolameSettings& settings);
    ~TwolameEncoder() override;
    TwolameEncoder(const TwolameEncoder&) = delete;
    TwolameEncoder& operator=(const TwolameEncoder&) = delete;

    void encode(std::span<const float> interleaved, OutputFile& out) override;
    void finish(OutputFile& out) override;

private:
    twolame_options_struct* options_ = nullptr;
    int channels_;
    std::vector<unsigned char> buffer_;
};

} // namespace encoders
