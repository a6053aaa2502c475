#include "tools/encoders/core/output_file.h"
#include "tools/encoders/layer1/bit_allocation.h"
#include "tools/encoders/layer1/layer1_encoder.h"
#include "tools/encoders/layer1/polyphase_analysis.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

namespace encoders::layer1 {
namespace {

using encoders::testing::TempDir;

// Amplitude of each subband's signal (from its RMS) for a steady tone, once the filter has
// settled.
std::array<double, kSubbands> subbandAmplitudes(double frequency, int sampleRate) {
    PolyphaseAnalysis bank;
    std::array<double, kSubbands> power{};
    std::array<float, kSubbands> in{};
    std::array<float, kSubbands> out{};
    for (int block = 0; block < 200; ++block) {
        for (int i = 0; i < kSubbands; ++i) {
            const int n = block * kSubbands + i;
            in[i] = static_cast<float>(0.5 *
                                       std::sin(2 * std::numbers::pi * frequency * n / sampleRate));
        }
        bank.analyse(in, out);
        if (block >= 40) {
            for (int k = 0; k < kSubbands; ++k) {
                power[k] += double(out[k]) * out[k] / 160;
            }
        }
    }
    std::array<double, kSubbands> amplitudes{};
    for (int k = 0; k < kSubbands; ++k) {
        amplitudes[k] = std::sqrt(2 * power[k]);
    }
    return amplitudes;
}

TEST(PolyphaseAnalysis, ATonePassesAtFullScaleIntoItsOwnSubbandOnly) {
    const int rate = 48000;
    for (int band : {0, 3, 10, 20, 31}) {
        const double centre = (band + 0.5) * rate / 64.0;
        const auto peaks = subbandAmplitudes(centre, rate);
        // Decoders expect a tone in mid-band to keep its amplitude in the subband samples.
        EXPECT_NEAR(peaks[band], 0.5, 0.01) << "band " << band;
        for (int k = 0; k < kSubbands; ++k) {
            if (std::abs(k - band) > 1) {
                EXPECT_LT(peaks[k], 0.5e-4) << "band " << band << " leaks into " << k;
            }
        }
    }
}

TEST(PolyphaseAnalysis, WindowIsSymmetricAboutItsCentre) {
    const auto& w = analysisWindow();
    EXPECT_EQ(w[0], 0.0);
    for (int i = 1; i < 256; ++i) {
        EXPECT_NEAR(std::abs(w[i]), std::abs(w[512 - i]), 1e-15) << i;
    }
}

int bitsUsed(const AllocationRequest& request, const Allocation& allocation) {
    int bits = 0;
    for (int sb = 0; sb < kSubbands; ++sb) {
        const bool shared = request.channels == 2 && sb >= request.bound;
        for (int ch = 0; ch < (shared ? 1 : request.channels); ++ch) {
            if (const int a = allocation[ch][sb]; a > 0) {
                bits += kSamplesPerSubband * (a + 1) + kScaleFactorBits * (shared ? 2 : 1);
            }
        }
    }
    return bits;
}

TEST(BitAllocation, StaysWithinTheBudgetAndServesTheLoudestNeedFirst) {
    AllocationRequest request;
    request.channels = 2;
    request.bound = 16;
    for (int ch = 0; ch < 2; ++ch) {
        for (int sb = 0; sb < kSubbands; ++sb) {
            request.smrDb[ch][sb] = sb == 5 && ch == 0 ? 60.0 : (sb < 20 ? 10.0 : -20.0);
            request.audible[ch][sb] = sb != 30;
        }
    }
    for (int budget : {0, 29, 30, 500, 2000, 20000}) {
        request.bits = budget;
        const AllocationResult result = allocateBits(request);
        EXPECT_LE(bitsUsed(request, result.allocation), budget);
        EXPECT_EQ(result.allocation[0][30], 0);
        for (int sb = request.bound; sb < kSubbands; ++sb) {
            EXPECT_EQ(result.allocation[0][sb], result.allocation[1][sb]);
        }
        if (budget >= 30) {
            EXPECT_GT(result.allocation[0][5], 0) << budget;
        }
    }
    request.bits = 500;
    const AllocationResult tight = allocateBits(request);
    EXPECT_LT(tight.worstMnrDb, 0);
    EXPECT_GT(tight.allocation[0][5], tight.allocation[1][5]);
    request.bits = 20000;
    const AllocationResult ample = allocateBits(request);
    EXPECT_GE(ample.worstMnrDb, 0);
    EXPECT_EQ(ample.allocation[0][5], kMaxAllocation);
}

// The check words our frames carry are the ones ffmpeg computes from them.
TEST(Layer1Encoder, CheckWordsMatchAnIndependentDecoder) {
    TempDir dir;
    for (auto [channels, mode] :
         {std::pair{1, ChannelMode::Mono}, std::pair{2, ChannelMode::Stereo},
          std::pair{2, ChannelMode::DualChannel}}) {
        const auto path = dir / "crc.mp1";
        {
            OutputFile out(path);
            Layer1Encoder encoder({channels, 44100, mode, 256, true});
            std::vector<float> samples(44100 * channels);
            for (std::size_t n = 0; n < samples.size(); ++n) {
                samples[n] = static_cast<float>(0.4 * std::sin(0.05 * n) + 0.1 * std::sin(1.3 * n));
            }
            encoder.encode(samples, out);
            encoder.finish(out);
            out.commit();
        }
        auto result =
            encoders::testing::run({"ffmpeg", "-v", "error", "-err_detect", "crccheck+explode",
                                    "-i", path.string(), "-f", "null", "-"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        // A flipped bit in the allocation of a frame is caught.
        std::vector<char> data;
        {
            std::ifstream in(path, std::ios::binary);
            data.assign(std::istreambuf_iterator<char>(in), {});
        }
        data[8] ^= 0x10;
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(data.data(), data.size());
        result = encoders::testing::run({"ffmpeg", "-v", "error", "-err_detect", "crccheck", "-i",
                                         path.string(), "-f", "null", "-"});
        EXPECT_NE(result.err.find("CRC mismatch"), std::string::npos) << result.err;
    }
}

} // namespace
} // namespace encoders::layer1
