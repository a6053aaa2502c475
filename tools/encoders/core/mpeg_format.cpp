#include "tools/encoders/core/mpeg_format.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <stdexcept>

namespace encoders {

namespace {

constexpr std::array kLayer1Mpeg1 = {32,  64,  96,  128, 160, 192, 224,
                                     256, 288, 320, 352, 384, 416, 448};
constexpr std::array kLayer1Mpeg2 = {32,  48,  56,  64,  80,  96,  112,
                                     128, 144, 160, 176, 192, 224, 256};
// Layer II at MPEG-1 rates restricts the bitrate by mode: one channel up to 192 kbit/s, two
// channels from 64 kbit/s on, without 80.
constexpr std::array kLayer2Mpeg1Mono = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192};
constexpr std::array kLayer2Mpeg1Stereo = {64, 96, 112, 128, 160, 192, 224, 256, 320, 384};
constexpr std::array kLayer3Mpeg1 = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
// Layers II and III share one table at the half and quarter rates.
constexpr std::array kLowRateLayer23 = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

constexpr std::array kMpeg1Rates = {32000, 44100, 48000};
constexpr std::array kMpeg2Rates = {16000, 22050, 24000};
constexpr std::array kMpeg25Rates = {8000, 11025, 12000};

bool contains(std::span<const int> values, int value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

} // namespace

std::string layerName(Layer layer) {
    switch (layer) {
    case Layer::I:
        return "Layer I";
    case Layer::II:
        return "Layer II";
    case Layer::III:
        return "Layer III";
    }
    return {};
}

std::string modeName(ChannelMode mode) {
    switch (mode) {
    case ChannelMode::Stereo:
        return "stereo";
    case ChannelMode::JointStereo:
        return "joint stereo";
    case ChannelMode::DualChannel:
        return "dual channel";
    case ChannelMode::Mono:
        return "mono";
    }
    return {};
}

std::string versionName(MpegVersion version) {
    switch (version) {
    case MpegVersion::Mpeg1:
        return "MPEG-1";
    case MpegVersion::Mpeg2:
        return "MPEG-2";
    case MpegVersion::Mpeg25:
        return "MPEG-2.5";
    }
    return {};
}

bool isSupportedSampleRate(Layer layer, int sampleRate) {
    if (contains(kMpeg1Rates, sampleRate) || contains(kMpeg2Rates, sampleRate)) {
        return true;
    }
    return layer == Layer::III && contains(kMpeg25Rates, sampleRate);
}

MpegVersion versionForSampleRate(int sampleRate) {
    if (contains(kMpeg1Rates, sampleRate)) {
        return MpegVersion::Mpeg1;
    }
    if (contains(kMpeg2Rates, sampleRate)) {
        return MpegVersion::Mpeg2;
    }
    if (contains(kMpeg25Rates, sampleRate)) {
        return MpegVersion::Mpeg25;
    }
    throw std::invalid_argument("no MPEG version codes " + std::to_string(sampleRate) + " Hz");
}

int chooseSampleRate(Layer layer, int inputRate) {
    if (isSupportedSampleRate(layer, inputRate)) {
        return inputRate;
    }
    // Every supported rate, ascending.
    std::array<int, 9> rates = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    auto usable = [&](int rate) {
        return isSupportedSampleRate(layer, rate);
    };
    auto sameFamily = [&](int rate) {
        return inputRate > 0 && ((rate % 11025 == 0 && inputRate % 11025 == 0) ||
                                 (rate % 4000 == 0 && inputRate % 4000 == 0));
    };
    auto pick = [&](auto&& accept) {
        int highest = 0;
        for (int rate : rates) {
            if (usable(rate) && accept(rate)) {
                if (rate >= inputRate) {
                    return rate;
                }
                highest = rate;
            }
        }
        return highest;
    };
    int rate = pick(sameFamily);
    if (rate == 0) {
        rate = pick([](int) { return true; });
    }
    return rate;
}

std::span<const int> allowedBitrates(Layer layer, int sampleRate, ChannelMode mode) {
    const bool mpeg1 = versionForSampleRate(sampleRate) == MpegVersion::Mpeg1;
    switch (layer) {
    case Layer::I:
        return mpeg1 ? std::span<const int>(kLayer1Mpeg1) : std::span<const int>(kLayer1Mpeg2);
    case Layer::II:
        if (!mpeg1) {
            return kLowRateLayer23;
        }
        return mode == ChannelMode::Mono ? std::span<const int>(kLayer2Mpeg1Mono)
                                         : std::span<const int>(kLayer2Mpeg1Stereo);
    case Layer::III:
        return mpeg1 ? std::span<const int>(kLayer3Mpeg1) : std::span<const int>(kLowRateLayer23);
    }
    return {};
}

int nearestAllowedBitrate(Layer layer, int sampleRate, ChannelMode mode, int requestedKbps) {
    int best = 0;
    for (int rate : allowedBitrates(layer, sampleRate, mode)) {
        // Ascending order: "<=" lets the higher of two equally near rates win.
        if (best == 0 || std::abs(rate - requestedKbps) <= std::abs(best - requestedKbps)) {
            best = rate;
        }
    }
    return best;
}

} // namespace encoders
