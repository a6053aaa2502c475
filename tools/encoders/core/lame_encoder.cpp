#include "tools/encoders/core/lame_encoder.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/parallel/info_tag.h"

#include <cstdarg>
#include <lame/lame.h>

namespace encoders {

namespace {

// LAME's own console messages would break the one-line error report.
void quiet(const char*, va_list) {}

MPEG_mode lameMode(ChannelMode mode) {
    switch (mode) {
    case ChannelMode::JointStereo:
        return JOINT_STEREO;
    case ChannelMode::Mono:
        return MONO;
    case ChannelMode::Stereo:
    case ChannelMode::DualChannel:
        break;
    }
    return STEREO;
}

} // namespace

lame_global_struct* openLame(const LameSettings& settings) {
    lame_global_flags* lame = lame_init();
    if (lame == nullptr) {
        throw EncoderError("the Layer III encoder could not be started");
    }
    lame_set_errorf(lame, quiet);
    lame_set_debugf(lame, quiet);
    lame_set_msgf(lame, quiet);
    lame_set_num_channels(lame, settings.channels);
    lame_set_in_samplerate(lame, settings.inputRate);
    lame_set_out_samplerate(lame, settings.outputRate);
    lame_set_mode(lame, settings.channels == 1 ? MONO : lameMode(settings.mode));
    switch (settings.rateControl) {
    case RateControl::Constant:
        lame_set_VBR(lame, vbr_off);
        lame_set_brate(lame, settings.kbps);
        break;
    case RateControl::Variable:
        lame_set_VBR(lame, vbr_mtrh);
        lame_set_VBR_quality(lame, static_cast<float>(settings.vbrQuality));
        break;
    case RateControl::Average:
        lame_set_VBR(lame, vbr_abr);
        lame_set_VBR_mean_bitrate_kbps(lame, settings.kbps);
        break;
    }
    lame_set_quality(lame, settings.quality);
    lame_set_bWriteVbrTag(lame, 0);
    lame_set_disable_reservoir(lame, settings.reservoir ? 0 : 1);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        const std::string rate = settings.rateControl == RateControl::Variable
                                     ? "VBR quality " + std::to_string(settings.vbrQuality)
                                     : std::to_string(settings.kbps) + " kbit/s";
        throw EncoderError("the Layer III encoder refused " + rate + " at " +
                           std::to_string(settings.outputRate) + " Hz");
    }
    return lame;
}

parallel::TagFacts lameTagFacts(lame_global_struct* lame) {
    parallel::TagFacts facts;
    facts.encoderVersion = get_lame_short_version();
    facts.encoderDelay = lame_get_encoder_delay(lame);
    facts.lowpassHz = lame_get_lowpassfreq(lame);
    facts.athType = lame_get_ATHtype(lame);
    facts.quality = 100 - 10 * lame_get_VBR_q(lame) - lame_get_quality(lame);
    // The LAME tag's rate field: the bitrate, the mean of an average one, the least of a
    // variable one; its method: 1 constant, 2 average, 4 variable (LAME's newest kind).
    switch (lame_get_VBR(lame)) {
    case vbr_off:
        facts.kbps = lame_get_brate(lame);
        facts.vbrMethod = 1;
        break;
    case vbr_abr:
        facts.kbps = lame_get_VBR_mean_bitrate_kbps(lame);
        facts.vbrMethod = 2;
        break;
    default:
        facts.kbps = lame_get_VBR_min_bitrate_kbps(lame);
        facts.vbrMethod = 4;
        break;
    }
    return facts;
}

LameEncoder::LameEncoder(const LameSettings& settings)
    : lame_(openLame(settings)), channels_(settings.channels) {}

LameEncoder::~LameEncoder() {
    lame_close(lame_);
}

void LameEncoder::emit(int bytes, OutputFile& out) {
    if (bytes < 0) {
        throw EncoderError("the Layer III encoder failed (code " + std::to_string(bytes) + ")");
    }
    if (!stream_) {
        stream_.emplace(out, lameTagFacts(lame_));
    }
    stream_->write(std::span(buffer_).first(static_cast<std::size_t>(bytes)));
}

void LameEncoder::encode(std::span<const float> interleaved, OutputFile& out) {
    const int frames = static_cast<int>(interleaved.size() / channels_);
    // LAME's documented worst case for a block of input.
    buffer_.resize(frames + frames / 4 + 7200);
    int bytes = 0;
    if (channels_ == 2) {
        bytes = lame_encode_buffer_interleaved_ieee_float(
            lame_, interleaved.data(), frames, buffer_.data(), static_cast<int>(buffer_.size()));
    } else {
        bytes = lame_encode_buffer_ieee_float(lame_, interleaved.data(), interleaved.data(), frames,
                                              buffer_.data(), static_cast<int>(buffer_.size()));
    }
    emit(bytes, out);
}

void LameEncoder::finish(OutputFile& out) {
    buffer_.resize(7200);
    emit(lame_encode_flush(lame_, buffer_.data(), static_cast<int>(buffer_.size())), out);
    if (gain_) {
        stream_->setTrackGain(*gain_);
    }
    stream_->finish(lame_get_encoder_padding(lame_));
}

} // namespace encoders
