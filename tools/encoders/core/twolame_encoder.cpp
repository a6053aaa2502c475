#include "tools/encoders/core/twolame_encoder.h"

#include "tools/encoders/core/encoder_error.h"

#include <twolame.h>

namespace encoders {

namespace {

TWOLAME_MPEG_mode twolameMode(ChannelMode mode) {
    switch (mode) {
    case ChannelMode::Stereo:
        return TWOLAME_STEREO;
    case ChannelMode::JointStereo:
        return TWOLAME_JOINT_STEREO;
    case ChannelMode::DualChannel:
        return TWOLAME_DUAL_CHANNEL;
    case ChannelMode::Mono:
        break;
    }
    return TWOLAME_MONO;
}

// Room for the frames coded from a block of input: a frame per 1152 samples at the highest
// rate and lowest sample rate, with a spare frame for what the library holds back.
std::size_t outputRoom(std::size_t frames) {
    return (frames / 1152 + 2) * 4608;
}

} // namespace

twolame_options_struct* openTwolame(const TwolameSettings& settings) {
    twolame_options* options = twolame_init();
    if (options == nullptr) {
        throw EncoderError("the Layer II encoder could not be started");
    }
    twolame_set_verbosity(options, 0);
    twolame_set_num_channels(options, settings.channels);
    twolame_set_in_samplerate(options, settings.sampleRate);
    twolame_set_out_samplerate(options, settings.sampleRate);
    twolame_set_version(options, versionForSampleRate(settings.sampleRate) == MpegVersion::Mpeg1
                                     ? TWOLAME_MPEG1
                                     : TWOLAME_MPEG2);
    twolame_set_mode(options, settings.channels == 1 ? TWOLAME_MONO : twolameMode(settings.mode));
    twolame_set_bitrate(options, settings.kbps);
    if (twolame_init_params(options) != 0) {
        twolame_close(&options);
        throw EncoderError("the Layer II encoder refused " + std::to_string(settings.kbps) +
                           " kbit/s at " + std::to_string(settings.sampleRate) + " Hz");
    }
    return options;
}

TwolameEncoder::TwolameEncoder(const TwolameSettings& settings)
    : options_(openTwolame(settings)), channels_(settings.channels) {}

TwolameEncoder::~TwolameEncoder() {
    twolame_close(&options_);
}

void TwolameEncoder::encode(std::span<const float> interleaved, OutputFile& out) {
    const std::size_t frames = interleaved.size() / channels_;
    buffer_.resize(outputRoom(frames));
    int bytes = 0;
    if (channels_ == 2) {
        bytes = twolame_encode_buffer_float32_interleaved(options_, interleaved.data(),
                                                          static_cast<int>(frames), buffer_.data(),
                                                          static_cast<int>(buffer_.size()));
    } else {
        bytes = twolame_encode_buffer_float32(options_, interleaved.data(), interleaved.data(),
                                              static_cast<int>(frames), buffer_.data(),
                                              static_cast<int>(buffer_.size()));
    }
    if (bytes < 0) {
        throw EncoderError("the Layer II encoder failed (code " + std::to_string(bytes) + ")");
    }
    out.write(std::span(buffer_).first(static_cast<std::size_t>(bytes)));
}

void TwolameEncoder::finish(OutputFile& out) {
    buffer_.resize(outputRoom(0));
    int bytes = twolame_encode_flush(options_, buffer_.data(), static_cast<int>(buffer_.size()));
    if (bytes < 0) {
        throw EncoderError("the Layer II encoder failed (code " + std::to_string(bytes) + ")");
    }
    out.write(std::span(buffer_).first(static_cast<std::size_t>(bytes)));
}

} // namespace encoders
