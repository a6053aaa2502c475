#include "tools/encoders/parallel/chunk_coder.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/lame_encoder.h"
#include "tools/encoders/core/twolame_encoder.h"
#include "tools/encoders/layer1/layer1_encoder.h"

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

class Lame {
public:
    explicit Lame(const ChunkSettings& s) {
        std::lock_guard lock(setupMutex());
        // Chunks carry no Info frame: the joined stream gets one of its own.
        gf_ = openLame({s.channels, s.sampleRate, s.sampleRate, s.mode, s.kbps, s.lameQuality,
                        s.reservoir, s.rateControl, s.vbrQuality});
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

class Twolame {
public:
    explicit Twolame(const ChunkSettings& s) {
        std::lock_guard lock(setupMutex());
        options_ = openTwolame({s.channels, s.sampleRate, s.mode, s.kbps});
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
    return lameTagFacts(lame.get());
}

} // namespace encoders::parallel
