#pragma once

#include "tools/encoders/core/frame_encoder.h"
#include "tools/encoders/core/mpeg_format.h"
#include "tools/encoders/layer1/polyphase_analysis.h"

#include <array>
#include <cstdint>
#include <vector>

namespace encoders::layer1 {

inline constexpr int kFrameSamples = 384;

struct Layer1Settings {
    int channels = 2;
    int sampleRate = 44100; // a Layer I rate; the input must already be at it
    ChannelMode mode = ChannelMode::Stereo;
    int kbps = 192;          // an allowed Layer I bitrate for the rate
    bool errorCheck = false; // a CRC-16 check word in every frame
    // The index of the first frame coded within the whole stream, so that a chunk coded on its
    // own gets the padding slots the whole stream's coder would give it.
    std::int64_t firstFrame = 0;
};

// Our own MPEG Layer I encoder: polyphase analysis, scale factors, bit allocation by a small
// masking model, and frames with proper headers. Joint stereo codes the upper subbands as
// intensity stereo from a bound chosen per frame. The input is shifted by the filter banks'
// delay, so a decoder's output lines up with the input sample for sample, and the stream has
// as many frames as the input needs and no more.
class Layer1Encoder : public FrameEncoder {
public:
    explicit Layer1Encoder(const Layer1Settings& settings);

    void encode(std::span<const float> interleaved, OutputFile& out) override;
    void finish(OutputFile& out) override;
    // The same, appending the coded frames to `coded`.
    void encode(std::span<const float> interleaved, std::vector<std::uint8_t>& coded);
    void finish(std::vector<std::uint8_t>& coded);

private:
    void takeSamples(std::span<const float> interleaved);
    // Codes the frame of samples that begins at `offset` in the pending samples.
    void encodeFrame(std::size_t offset, std::vector<std::uint8_t>& coded);
    // Whether the next frame takes a padding slot, which keeps the average bitrate exact.
    int takePaddingSlot();

    Layer1Settings settings_;
    int codedChannels_;
    int bitrateIndex_;
    int sampleRateIndex_;
    std::array<PolyphaseAnalysis, 2> analysis_;
    std::array<std::vector<float>, 2> pending_;
    bool primed_ = false;
    std::int64_t samplesIn_ = 0;
    std::int64_t framesOut_ = 0;
    std::int64_t paddingCredit_ = 0;
    std::vector<std::uint8_t> coded_;
};

} // namespace encoders::layer1
