#include "tools/encoders/layer1/layer1_encoder.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/layer1/bit_allocation.h"
#include "tools/encoders/layer1/bit_writer.h"

#include <algorithm>
#include <cmath>

namespace encoders::layer1 {

namespace {

constexpr int kScaleFactorCount = 63;
constexpr int kHeaderBits = 32;
constexpr int kCrcBits = 16;
constexpr int kAllocationBits = 4;
constexpr int kBlocks = kFrameSamples / kSubbands; // 12 subband samples per frame

// Scale factor i is 2^(1 - i/3): from 2.0 down in steps of 2 dB.
double scaleFactor(int index) {
    return std::exp2(1.0 - index / 3.0);
}

// The smallest scale factor that still covers the peak.
int scaleFactorIndex(double peak) {
    if (peak <= 0) {
        return kScaleFactorCount - 1;
    }
    const int index = static_cast<int>(std::floor(3.0 * (1.0 - std::log2(peak))));
    int clamped = std::clamp(index, 0, kScaleFactorCount - 1);
    while (clamped > 0 && scaleFactor(clamped) < peak) {
        --clamped;
    }
    return clamped;
}

// The scale factor nearest to a value, on the logarithmic scale the factors follow.
int nearestScaleFactorIndex(double value) {
    if (value <= 0) {
        return kScaleFactorCount - 1;
    }
    const int index = static_cast<int>(std::lround(3.0 * (1.0 - std::log2(value))));
    return std::clamp(index, 0, kScaleFactorCount - 1);
}

int headerMode(ChannelMode mode) {
    switch (mode) {
    case ChannelMode::Stereo:
        return 0;
    case ChannelMode::JointStereo:
        return 1;
    case ChannelMode::DualChannel:
        return 2;
    case ChannelMode::Mono:
        break;
    }
    return 3;
}

// Quantises a sample already divided by its scale factor (|x| <= 1) to `bits` bits.
std::uint32_t quantise(double x, int bits) {
    const int levels = (1 << bits) - 1;
    const int half = (levels - 1) / 2;
    const long step = std::clamp(std::lround(x * levels / 2.0), -static_cast<long>(half),
                                 static_cast<long>(half));
    return static_cast<std::uint32_t>(step + half);
}

using SubbandBlock = std::array<std::array<float, kSubbands>, kBlocks>;

struct ChannelAnalysis {
    SubbandBlock samples{};
    std::array<int, kSubbands> scaleIndex{};
    SubbandValues peakDb{};
    SubbandValues energyDb{};
    std::array<bool, kSubbands> audible{};
};

ChannelAnalysis describe(const SubbandBlock& samples) {
    ChannelAnalysis a;
    a.samples = samples;
    for (int sb = 0; sb < kSubbands; ++sb) {
        double peak = 0;
        double energy = 0;
        for (int s = 0; s < kBlocks; ++s) {
            const double v = samples[s][sb];
            peak = std::max(peak, std::abs(v));
            energy += v * v;
        }
        a.scaleIndex[sb] = scaleFactorIndex(peak);
        // Levels relative to a full-scale sine, whose power is 1/2.
        a.peakDb[sb] = 20.0 * std::log10(scaleFactor(a.scaleIndex[sb])) - 3.0103;
        a.energyDb[sb] = 10.0 * std::log10(energy / kBlocks * 2.0 + 1e-30);
        a.audible[sb] = peak > 0;
    }
    return a;
}

} // namespace

Layer1Encoder::Layer1Encoder(const Layer1Settings& settings)
    : settings_(settings), codedChannels_(settings.channels) {
    if (settings.channels < 1 || settings.channels > 2 ||
        (settings.channels == 1) != (settings.mode == ChannelMode::Mono)) {
        throw EncoderError("internal error: Layer I channel count and mode disagree");
    }
    if (!isSupportedSampleRate(Layer::I, settings.sampleRate)) {
        throw EncoderError("Layer I cannot code " + std::to_string(settings.sampleRate) + " Hz");
    }
    auto rates = allowedBitrates(Layer::I, settings.sampleRate, settings.mode);
    auto found = std::find(rates.begin(), rates.end(), settings.kbps);
    if (found == rates.end()) {
        throw EncoderError("Layer I cannot code " + std::to_string(settings.kbps) + " kbit/s");
    }
    bitrateIndex_ = static_cast<int>(found - rates.begin()) + 1;
    switch (settings.sampleRate) {
    case 44100:
    case 22050:
        sampleRateIndex_ = 0;
        break;
    case 48000:
    case 24000:
        sampleRateIndex_ = 1;
        break;
    default:
        sampleRateIndex_ = 2;
        break;
    }
    const std::int64_t slotRemainder = 12LL * settings.kbps * 1000 % settings.sampleRate;
    paddingCredit_ = settings.firstFrame * slotRemainder % settings.sampleRate;
}

void Layer1Encoder::takeSamples(std::span<const float> interleaved) {
    const std::size_t frames = interleaved.size() / codedChannels_;
    for (int ch = 0; ch < codedChannels_; ++ch) {
        auto& pending = pending_[ch];
        pending.reserve(pending.size() + frames);
        for (std::size_t i = 0; i < frames; ++i) {
            pending.push_back(interleaved[i * codedChannels_ + ch]);
        }
    }
    samplesIn_ += static_cast<std::int64_t>(frames);
}

void Layer1Encoder::encode(std::span<const float> interleaved, OutputFile& out) {
    coded_.clear();
    encode(interleaved, coded_);
    out.write(coded_);
}

void Layer1Encoder::finish(OutputFile& out) {
    coded_.clear();
    finish(coded_);
    out.write(coded_);
}

void Layer1Encoder::encode(std::span<const float> interleaved, std::vector<std::uint8_t>& coded) {
    takeSamples(interleaved);
    if (!primed_ && pending_[0].size() >= static_cast<std::size_t>(kFilterBankDelay)) {
        for (int ch = 0; ch < codedChannels_; ++ch) {
            analysis_[ch].prime(std::span(pending_[ch]).first(kFilterBankDelay));
            pending_[ch].erase(pending_[ch].begin(), pending_[ch].begin() + kFilterBankDelay);
        }
        primed_ = true;
    }
    if (!primed_) {
        return;
    }
    std::size_t start = 0;
    while (pending_[0].size() - start >= static_cast<std::size_t>(kFrameSamples)) {
        encodeFrame(start, coded);
        start += kFrameSamples;
    }
    for (int ch = 0; ch < codedChannels_; ++ch) {
        pending_[ch].erase(pending_[ch].begin(), pending_[ch].begin() + start);
    }
}

void Layer1Encoder::finish(std::vector<std::uint8_t>& coded) {
    if (!primed_) {
        for (int ch = 0; ch < codedChannels_; ++ch) {
            analysis_[ch].prime(pending_[ch]);
            pending_[ch].clear();
        }
        primed_ = true;
    }
    // The last frames are completed with silence; the frame count covers the input exactly.
    const std::int64_t framesNeeded = (samplesIn_ + kFrameSamples - 1) / kFrameSamples;
    while (framesOut_ < framesNeeded) {
        for (int ch = 0; ch < codedChannels_; ++ch) {
            if (pending_[ch].size() < static_cast<std::size_t>(kFrameSamples)) {
                pending_[ch].resize(kFrameSamples, 0.0f);
            }
        }
        encodeFrame(0, coded);
        for (int ch = 0; ch < codedChannels_; ++ch) {
            pending_[ch].erase(pending_[ch].begin(), pending_[ch].begin() + kFrameSamples);
        }
    }
}

void Layer1Encoder::encodeFrame(std::size_t offset, std::vector<std::uint8_t>& coded) {
    const int channels = codedChannels_;
    std::array<ChannelAnalysis, 2> ch{};
    for (int c = 0; c < channels; ++c) {
        SubbandBlock block{};
        for (int s = 0; s < kBlocks; ++s) {
            analysis_[c].analyse(std::span<const float, kSubbands>(
                                     pending_[c].data() + offset + s * kSubbands, kSubbands),
                                 block[s]);
        }
        ch[c] = describe(block);
    }

    // Frame size in 4-byte slots; a padding slot now and then keeps the average bitrate exact.
    const std::int64_t slotNumerator = 12LL * settings_.kbps * 1000;
    int slots = static_cast<int>(slotNumerator / settings_.sampleRate);
    paddingCredit_ += slotNumerator % settings_.sampleRate;
    int padding = 0;
    if (paddingCredit_ >= settings_.sampleRate) {
        paddingCredit_ -= settings_.sampleRate;
        padding = 1;
    }
    slots += padding;
    const int frameBits = slots * 32;

    AllocationRequest request;
    request.channels = channels;
    for (int c = 0; c < channels; ++c) {
        request.smrDb[c] = signalToMask(ch[c].peakDb, ch[c].energyDb, settings_.sampleRate);
        request.audible[c] = ch[c].audible;
    }
    const int fixedBits = kHeaderBits + (settings_.errorCheck ? kCrcBits : 0);
    auto allocationFieldBits = [&](int bound) {
        return kAllocationBits * (channels == 1 ? kSubbands : bound * 2 + (kSubbands - bound));
    };
    auto allocateFor = [&](int bound) {
        request.bound = bound;
        request.bits = frameBits - fixedBits - allocationFieldBits(bound);
        return allocateBits(request);
    };

    // Joint stereo: keep as many subbands as separate channels as the bits allow, from
    // bound 16 down to 4; other modes code every subband per channel.
    int bound = kSubbands;
    int modeExtension = 0;
    AllocationResult result;
    if (channels == 2 && settings_.mode == ChannelMode::JointStereo) {
        for (int extension = 3; extension >= 0; --extension) {
            bound = 4 * (extension + 1);
            modeExtension = extension;
            result = allocateFor(bound);
            if (result.worstMnrDb >= 0) {
                break;
            }
        }
    } else {
        result = allocateFor(kSubbands);
    }
    const Allocation& allocation = result.allocation;

    // Intensity subbands code the channels' mean once, with each channel's own scale factor
    // set to carry that channel's level.
    std::array<std::array<float, kSubbands>, kBlocks> shared{};
    std::array<int, kSubbands> sharedScale{};
    for (int sb = bound; sb < kSubbands && channels == 2; ++sb) {
        if (allocation[0][sb] == 0) {
            continue;
        }
        double peak = 0;
        double energy = 0;
        std::array<double, 2> channelEnergy{};
        for (int s = 0; s < kBlocks; ++s) {
            const double l = ch[0].samples[s][sb];
            const double r = ch[1].samples[s][sb];
            const double m = 0.5 * (l + r);
            shared[s][sb] = static_cast<float>(m);
            peak = std::max(peak, std::abs(m));
            energy += m * m;
            channelEnergy[0] += l * l;
            channelEnergy[1] += r * r;
        }
        sharedScale[sb] = scaleFactorIndex(peak);
        for (int c = 0; c < 2; ++c) {
            ch[c].scaleIndex[sb] =
                energy > 0 ? nearestScaleFactorIndex(scaleFactor(sharedScale[sb]) *
                                                     std::sqrt(channelEnergy[c] / energy))
                           : ch[c].scaleIndex[sb];
        }
    }

    BitWriter bits(static_cast<std::size_t>(frameBits / 8));
    const bool mpeg1 = versionForSampleRate(settings_.sampleRate) == MpegVersion::Mpeg1;
    bits.put(0xFFF, 12);
    bits.put(mpeg1 ? 1 : 0, 1);
    bits.put(3, 2); // Layer I
    bits.put(settings_.errorCheck ? 0 : 1, 1);
    bits.put(static_cast<std::uint32_t>(bitrateIndex_), 4);
    bits.put(static_cast<std::uint32_t>(sampleRateIndex_), 2);
    bits.put(static_cast<std::uint32_t>(padding), 1);
    bits.put(0, 1); // private
    bits.put(static_cast<std::uint32_t>(channels == 1 ? 3 : headerMode(settings_.mode)), 2);
    bits.put(static_cast<std::uint32_t>(modeExtension), 2);
    bits.put(0, 1); // copyright
    bits.put(1, 1); // original
    bits.put(0, 2); // no emphasis
    if (settings_.errorCheck) {
        bits.put(0, kCrcBits); // filled in below
    }
    const std::size_t allocationStart = bits.position();
    for (int sb = 0; sb < kSubbands; ++sb) {
        const int codes = sb < bound ? channels : 1;
        for (int c = 0; c < codes; ++c) {
            bits.put(static_cast<std::uint32_t>(allocation[c][sb]), kAllocationBits);
        }
    }
    const std::size_t allocationEnd = bits.position();
    for (int sb = 0; sb < kSubbands; ++sb) {
        for (int c = 0; c < channels; ++c) {
            if (allocation[c][sb] != 0) {
                bits.put(static_cast<std::uint32_t>(ch[c].scaleIndex[sb]), kScaleFactorBits);
            }
        }
    }
    for (int s = 0; s < kBlocks; ++s) {
        for (int sb = 0; sb < kSubbands; ++sb) {
            if (sb < bound) {
                for (int c = 0; c < channels; ++c) {
                    if (const int a = allocation[c][sb]; a != 0) {
                        const double x = ch[c].samples[s][sb] / scaleFactor(ch[c].scaleIndex[sb]);
                        bits.put(quantise(x, a + 1), a + 1);
                    }
                }
            } else if (const int a = allocation[0][sb]; a != 0) {
                const double x = shared[s][sb] / scaleFactor(sharedScale[sb]);
                bits.put(quantise(x, a + 1), a + 1);
            }
        }
    }
    if (bits.position() > static_cast<std::size_t>(frameBits)) {
        throw EncoderError("internal error: Layer I frame overflow");
    }
    auto& data = bits.data();
    if (settings_.errorCheck) {
        // The check covers the header after the sync and version bits, and the allocation.
        std::uint16_t crc = crc16(data, 16, 16, 0xFFFF);
        crc = crc16(data, allocationStart, allocationEnd - allocationStart, crc);
        data[4] = static_cast<std::uint8_t>(crc >> 8);
        data[5] = static_cast<std::uint8_t>(crc & 0xFF);
    }
    coded.insert(coded.end(), data.begin(), data.end());
    ++framesOut_;
}

} // namespace encoders::layer1
