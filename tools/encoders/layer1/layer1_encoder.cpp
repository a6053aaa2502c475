#include "tools/encoders/layer1/layer1_encoder.h"

#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/layer1/bit_allocation.h"
#include "tools/encoders/layer1/bit_writer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

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

using Channels = std::array<ChannelAnalysis, 2>;

// The frame of samples at `samples` through the channel's filter bank: 12 blocks of 32.
SubbandBlock analyseFrame(PolyphaseAnalysis& analysis, const float* samples) {
    SubbandBlock block{};
    for (int s = 0; s < kBlocks; ++s) {
        analysis.analyse(std::span<const float, kSubbands>(samples + s * kSubbands, kSubbands),
                         block[s]);
    }
    return block;
}

struct FrameAllocation {
    int bound = kSubbands; // the first subband coded once for both channels
    int modeExtension = 0;
    Allocation allocation{};
};

// The bits of a frame of `frameBits` given to the subbands. Joint stereo keeps as many subbands
// as separate channels as the bits allow, from bound 16 down to 4; other modes code every
// subband per channel.
FrameAllocation allocateFrame(const Channels& ch, int channels, const Layer1Settings& settings,
                              int frameBits) {
    AllocationRequest request;
    request.channels = channels;
    for (int c = 0; c < channels; ++c) {
        request.smrDb[c] = signalToMask(ch[c].peakDb, ch[c].energyDb, settings.sampleRate);
        request.audible[c] = ch[c].audible;
    }
    const int fixedBits = kHeaderBits + (settings.errorCheck ? kCrcBits : 0);
    auto allocationFieldBits = [&](int bound) {
        return kAllocationBits * (channels == 1 ? kSubbands : bound * 2 + (kSubbands - bound));
    };
    auto allocateFor = [&](int bound) {
        request.bound = bound;
        request.bits = frameBits - fixedBits - allocationFieldBits(bound);
        return allocateBits(request);
    };

    FrameAllocation frame;
    AllocationResult result;
    if (channels == 2 && settings.mode == ChannelMode::JointStereo) {
        for (int extension = 3; extension >= 0; --extension) {
            frame.bound = 4 * (extension + 1);
            frame.modeExtension = extension;
            result = allocateFor(frame.bound);
            if (result.worstMnrDb >= 0) {
                break;
            }
        }
    } else {
        result = allocateFor(kSubbands);
    }
    frame.allocation = result.allocation;
    return frame;
}

// The channels' mean in the intensity subbands, with its scale factors.
struct IntensityCoding {
    SubbandBlock shared{};
    std::array<int, kSubbands> sharedScale{};
};

// Intensity subbands code the channels' mean once, with each channel's own scale factor set to
// carry that channel's level.
IntensityCoding codeIntensity(Channels& ch, int channels, const FrameAllocation& frame) {
    IntensityCoding intensity;
    for (int sb = frame.bound; sb < kSubbands && channels == 2; ++sb) {
        if (frame.allocation[0][sb] == 0) {
            continue;
        }
        double peak = 0;
        double energy = 0;
        std::array<double, 2> channelEnergy{};
        for (int s = 0; s < kBlocks; ++s) {
            const double l = ch[0].samples[s][sb];
            const double r = ch[1].samples[s][sb];
            const double m = 0.5 * (l + r);
            intensity.shared[s][sb] = static_cast<float>(m);
            peak = std::max(peak, std::abs(m));
            energy += m * m;
            channelEnergy[0] += l * l;
            channelEnergy[1] += r * r;
        }
        intensity.sharedScale[sb] = scaleFactorIndex(peak);
        for (int c = 0; c < 2; ++c) {
            ch[c].scaleIndex[sb] =
                energy > 0 ? nearestScaleFactorIndex(scaleFactor(intensity.sharedScale[sb]) *
                                                     std::sqrt(channelEnergy[c] / energy))
                           : ch[c].scaleIndex[sb];
        }
    }
    return intensity;
}

void writeAllocation(BitWriter& bits, const FrameAllocation& frame, int channels) {
    for (int sb = 0; sb < kSubbands; ++sb) {
        const int codes = sb < frame.bound ? channels : 1;
        for (int c = 0; c < codes; ++c) {
            bits.put(static_cast<std::uint32_t>(frame.allocation[c][sb]), kAllocationBits);
        }
    }
}

void writeScaleFactors(BitWriter& bits, const FrameAllocation& frame, const Channels& ch,
                       int channels) {
    for (int sb = 0; sb < kSubbands; ++sb) {
        for (int c = 0; c < channels; ++c) {
            if (frame.allocation[c][sb] != 0) {
                bits.put(static_cast<std::uint32_t>(ch[c].scaleIndex[sb]), kScaleFactorBits);
            }
        }
    }
}

void writeSample(BitWriter& bits, double sample, int scaleIndex, int allocation) {
    const double x = sample / scaleFactor(scaleIndex);
    bits.put(quantise(x, allocation + 1), allocation + 1);
}

void writeSamples(BitWriter& bits, const FrameAllocation& frame, const Channels& ch,
                  const IntensityCoding& intensity, int channels) {
    for (int s = 0; s < kBlocks; ++s) {
        for (int sb = 0; sb < kSubbands; ++sb) {
            if (sb >= frame.bound) {
                if (const int a = frame.allocation[0][sb]; a != 0) {
                    writeSample(bits, intensity.shared[s][sb], intensity.sharedScale[sb], a);
                }
                continue;
            }
            for (int c = 0; c < channels; ++c) {
                if (const int a = frame.allocation[c][sb]; a != 0) {
                    writeSample(bits, ch[c].samples[s][sb], ch[c].scaleIndex[sb], a);
                }
            }
        }
    }
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
        pending_[ch].erase(pending_[ch].begin(),
                           pending_[ch].begin() + static_cast<std::ptrdiff_t>(start));
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

int Layer1Encoder::takePaddingSlot() {
    paddingCredit_ += 12LL * settings_.kbps * 1000 % settings_.sampleRate;
    if (paddingCredit_ < settings_.sampleRate) {
        return 0;
    }
    paddingCredit_ -= settings_.sampleRate;
    return 1;
}

void Layer1Encoder::encodeFrame(std::size_t offset, std::vector<std::uint8_t>& coded) {
    const int channels = codedChannels_;
    Channels ch{};
    for (int c = 0; c < channels; ++c) {
        ch[c] = describe(analyseFrame(analysis_[c], pending_[c].data() + offset));
    }

    // Frame size in 4-byte slots; a padding slot now and then keeps the average bitrate exact.
    const int padding = takePaddingSlot();
    const int slots =
        static_cast<int>(12LL * settings_.kbps * 1000 / settings_.sampleRate) + padding;
    const int frameBits = slots * 32;
    const FrameAllocation frame = allocateFrame(ch, channels, settings_, frameBits);
    const IntensityCoding intensity = codeIntensity(ch, channels, frame);

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
    bits.put(static_cast<std::uint32_t>(frame.modeExtension), 2);
    bits.put(0, 1); // copyright
    bits.put(1, 1); // original
    bits.put(0, 2); // no emphasis
    if (settings_.errorCheck) {
        bits.put(0, kCrcBits); // filled in below
    }
    const std::size_t allocationStart = bits.position();
    writeAllocation(bits, frame, channels);
    const std::size_t allocationEnd = bits.position();
    writeScaleFactors(bits, frame, ch, channels);
    writeSamples(bits, frame, ch, intensity, channels);
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
