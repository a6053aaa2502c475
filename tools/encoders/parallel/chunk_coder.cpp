#include "tools/encoders/parallel/chunk_coder.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/layer1/layer1_encoder.h"

#include <cstdarg>
#include <lame/lame.h>
#include <mutex>
#include <twolame.h>

namespace encoders::parallel {

namespace {

// The libraries set up shared tables while configuring a coder; one thread at a time does it.
std::mutex& setupMutex() {
    static std::mutex mutex;
    return mutex;
}

void quiet(const char*, va_list) {}

MPEG_mode lameMode(int channels, ChannelMode mode) {
    if (channels == 1) {
        return MONO;
    }
    return mode == ChannelMode::JointStereo ? JOINT_STEREO : STEREO;
}

class Lame {
public:
    explicit Lame(const ChunkSettings& s) {
        std::lock_guard lock(setupMutex());
        gf_ = lame_init();
        if (gf_ == nullptr) {
            throw EncoderError("the Layer III encoder could not be started");
        }
        lame_set_errorf(gf_, quiet);
        lame_set_debugf(gf_, quiet);
        lame_set_msgf(gf_, quiet);
        lame_set_num_channels(gf_, s.channels);
        lame_set_in_samplerate(gf_, s.sampleRate);
        lame_set_out_samplerate(gf_, s.sampleRate);
        lame_set_mode(gf_, lameMode(s.channels, s.mode));
        lame_set_VBR(gf_, vbr_off);
        lame_set_brate(gf_, s.kbps);
        lame_set_quality(gf_, s.lameQuality);
        lame_set_bWriteVbrTag(gf_, 0);
        lame_set_disable_reservoir(gf_, s.reservoir ? 0 : 1);
        if (lame_init_params(gf_) < 0) {
            lame_close(gf_);
            throw EncoderError("the Layer III encoder refused " + std::to_string(s.kbps) +
                               " kbit/s at " + std::to_string(s.sampleRate) + " Hz");
        }
    }
    ~Lame() { lame_close(gf_); }
    Lame(const Lame&) = delete;
    Lame& operator=(const Lame&) = delete;
    lame_global_flags* get() const { return gf_; }

private:
    lame_global_flags* gf_ = nullptr;
};

void check(int bytes, const char* layer) {
    if (bytes < 0) {
        throw EncoderError(std::string("the ") + layer + " encoder failed (code " +
                           std::to_string(bytes) + ")");
    }
}

std::vector<std::uint8_t> codeLayer3(const ChunkSettings& s, std::span<const float> pcm) {
    Lame lame(s);
    const int frames = static_cast<int>(pcm.size() / s.channels);
    std::vector<std::uint8_t> out(frames + frames / 4 + 2 * 7200);
    int bytes = s.channels == 2
                    ? lame_encode_buffer_interleaved_ieee_float(
                          lame.get(), pcm.data(), frames, out.data(), static_cast<int>(out.size()))
                    : lame_encode_buffer_ieee_float(lame.get(), pcm.data(), pcm.data(), frames,
                                                    out.data(), static_cast<int>(out.size()));
    check(bytes, "Layer III");
    const int flushed =
        lame_encode_flush(lame.get(), out.data() + bytes, static_cast<int>(out.size()) - bytes);
    check(flushed, "Layer III");
    out.resize(static_cast<std::size_t>(bytes + flushed));
    return out;
}

TWOLAME_MPEG_mode twolameMode(int channels, ChannelMode mode) {
    if (channels == 1) {
        return TWOLAME_MONO;
    }
    switch (mode) {
    case ChannelMode::JointStereo:
        return TWOLAME_JOINT_STEREO;
    case ChannelMode::DualChannel:
        return TWOLAME_DUAL_CHANNEL;
    default:
        return TWOLAME_STEREO;
    }
}

class Twolame {
public:
    explicit Twolame(const ChunkSettings& s) {
        std::lock_guard lock(setupMutex());
        options_ = twolame_init();
        if (options_ == nullptr) {
            throw EncoderError("the Layer II encoder could not be started");
        }
        twolame_set_verbosity(options_, 0);
        twolame_set_num_channels(options_, s.channels);
        twolame_set_in_samplerate(options_, s.sampleRate);
        twolame_set_out_samplerate(options_, s.sampleRate);
        twolame_set_version(options_, versionForSampleRate(s.sampleRate) == MpegVersion::Mpeg1
                                          ? TWOLAME_MPEG1
                                          : TWOLAME_MPEG2);
        twolame_set_mode(options_, twolameMode(s.channels, s.mode));
        twolame_set_bitrate(options_, s.kbps);
        if (twolame_init_params(options_) != 0) {
            twolame_close(&options_);
            throw EncoderError("the Layer II encoder refused " + std::to_string(s.kbps) +
                               " kbit/s at " + std::to_string(s.sampleRate) + " Hz");
        }
    }
    ~Twolame() { twolame_close(&options_); }
    Twolame(const Twolame&) = delete;
    Twolame& operator=(const Twolame&) = delete;
    twolame_options* get() const { return options_; }

private:
    twolame_options* options_ = nullptr;
};

std::vector<std::uint8_t> codeLayer2(const ChunkSettings& s, std::span<const float> pcm) {
    Twolame twolame(s);
    const std::size_t frames = pcm.size() / s.channels;
    std::vector<std::uint8_t> out((frames / 1152 + 4) * 4608);
    int bytes = s.channels == 2
                    ? twolame_encode_buffer_float32_interleaved(
                          twolame.get(), pcm.data(), static_cast<int>(frames), out.data(),
                          static_cast<int>(out.size()))
                    : twolame_encode_buffer_float32(twolame.get(), pcm.data(), pcm.data(),
                                                    static_cast<int>(frames), out.data(),
                                                    static_cast<int>(out.size()));
    check(bytes, "Layer II");
    const int flushed = twolame_encode_flush(twolame.get(), out.data() + bytes,
                                             static_cast<int>(out.size()) - bytes);
    check(flushed, "Layer II");
    out.resize(static_cast<std::size_t>(bytes + flushed));
    return out;
}

std::vector<std::uint8_t> codeLayer1(const ChunkSettings& s, std::span<const float> pcm,
                                     std::int64_t firstFrame) {
    layer1::Layer1Encoder coder(layer1::Layer1Settings{s.channels, s.sampleRate,
                                                       s.channels == 1 ? ChannelMode::Mono : s.mode,
                                                       s.kbps, false, firstFrame});
    std::vector<std::uint8_t> out;
    coder.encode(pcm, out);
    coder.finish(out);
    return out;
}

} // namespace

ChunkCoder::ChunkCoder(const ChunkSettings& settings) : settings_(settings) {}

int ChunkCoder::frameSamples() const {
    switch (settings_.layer) {
    case Layer::I:
        return 384;
    case Layer::II:
        return 1152;
    case Layer::III:
        break;
    }
    return versionForSampleRate(settings_.sampleRate) == MpegVersion::Mpeg1 ? 1152 : 576;
}

std::vector<std::uint8_t> ChunkCoder::code(std::span<const float> pcm,
                                           std::int64_t firstFrame) const {
    switch (settings_.layer) {
    case Layer::I:
        return codeLayer1(settings_, pcm, firstFrame);
    case Layer::II:
        return codeLayer2(settings_, pcm);
    case Layer::III:
        break;
    }
    return codeLayer3(settings_, pcm);
}

TagFacts ChunkCoder::tagFacts() const {
    Lame lame(settings_);
    TagFacts facts;
    facts.encoderVersion = get_lame_short_version();
    facts.encoderDelay = lame_get_encoder_delay(lame.get());
    facts.lowpassHz = lame_get_lowpassfreq(lame.get());
    facts.athType = lame_get_ATHtype(lame.get());
    facts.quality = 100 - 10 * lame_get_VBR_q(lame.get()) - lame_get_quality(lame.get());
    facts.kbps = settings_.kbps;
    return facts;
}

} // namespace encoders::parallel
