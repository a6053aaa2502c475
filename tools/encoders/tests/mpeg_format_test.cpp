#include "tools/encoders/core/mpeg_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace encoders {
namespace {

std::vector<int> rates(Layer layer, int sampleRate, ChannelMode mode) {
    auto span = allowedBitrates(layer, sampleRate, mode);
    return {span.begin(), span.end()};
}

TEST(MpegFormat, BitrateTablesDependOnLayerRateAndMode) {
    using enum ChannelMode;
    EXPECT_EQ(rates(Layer::I, 44100, Stereo), (std::vector<int>{32, 64, 96, 128, 160, 192, 224, 256,
                                                                288, 320, 352, 384, 416, 448}));
    EXPECT_EQ(rates(Layer::I, 22050, Mono),
              (std::vector<int>{32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256}));
    EXPECT_EQ(rates(Layer::II, 48000, Mono).back(), 192);
    EXPECT_EQ(rates(Layer::II, 48000, JointStereo).front(), 64);
    EXPECT_EQ(rates(Layer::II, 32000, DualChannel),
              (std::vector<int>{64, 96, 112, 128, 160, 192, 224, 256, 320, 384}));
    EXPECT_EQ(rates(Layer::II, 24000, Stereo).front(), 8);
    EXPECT_EQ(rates(Layer::III, 44100, Mono),
              (std::vector<int>{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}));
    EXPECT_EQ(rates(Layer::III, 11025, Stereo).back(), 160);
    EXPECT_EQ(rates(Layer::III, 16000, Stereo).back(), 160);
}

TEST(MpegFormat, NearestAllowedBitrate) {
    using enum ChannelMode;
    // Allowed rates stay as they are.
    EXPECT_EQ(nearestAllowedBitrate(Layer::III, 44100, Stereo, 128), 128);
    EXPECT_EQ(nearestAllowedBitrate(Layer::III, 44100, Stereo, 40), 40);
    // Layer I has no 48, 56, 80 or 112 at the MPEG-1 rates; ties go up.
    EXPECT_EQ(nearestAllowedBitrate(Layer::I, 44100, Stereo, 48), 64);
    EXPECT_EQ(nearestAllowedBitrate(Layer::I, 44100, Mono, 56), 64);
    EXPECT_EQ(nearestAllowedBitrate(Layer::I, 44100, Stereo, 80), 96);
    EXPECT_EQ(nearestAllowedBitrate(Layer::I, 48000, Stereo, 112), 128);
    EXPECT_EQ(nearestAllowedBitrate(Layer::I, 22050, Stereo, 112), 112);
    EXPECT_EQ(nearestAllowedBitrate(Layer::I, 22050, Stereo, 320), 256);
    // Layer II: mono stops at 192, two channels start at 64 and skip 80.
    EXPECT_EQ(nearestAllowedBitrate(Layer::II, 44100, Mono, 256), 192);
    EXPECT_EQ(nearestAllowedBitrate(Layer::II, 44100, Mono, 80), 80);
    EXPECT_EQ(nearestAllowedBitrate(Layer::II, 44100, Stereo, 48), 64);
    EXPECT_EQ(nearestAllowedBitrate(Layer::II, 44100, Stereo, 80), 96);
    EXPECT_EQ(nearestAllowedBitrate(Layer::II, 44100, DualChannel, 32), 64);
    // Layer III at the low rates uses the MPEG-2 table.
    EXPECT_EQ(nearestAllowedBitrate(Layer::III, 22050, Stereo, 320), 160);
    EXPECT_EQ(nearestAllowedBitrate(Layer::III, 8000, Mono, 150), 144);
    // Far outside any table.
    EXPECT_EQ(nearestAllowedBitrate(Layer::III, 44100, Stereo, 0), 32);
    EXPECT_EQ(nearestAllowedBitrate(Layer::I, 44100, Stereo, 100000), 448);
}

TEST(MpegFormat, SampleRateChoice) {
    // Supported rates are kept.
    EXPECT_EQ(chooseSampleRate(Layer::I, 44100), 44100);
    EXPECT_EQ(chooseSampleRate(Layer::II, 22050), 22050);
    EXPECT_EQ(chooseSampleRate(Layer::III, 8000), 8000);
    // Quarter rates only exist in Layer III; the other layers go up within the family.
    EXPECT_EQ(chooseSampleRate(Layer::I, 11025), 22050);
    EXPECT_EQ(chooseSampleRate(Layer::II, 8000), 16000);
    EXPECT_EQ(chooseSampleRate(Layer::II, 12000), 16000);
    // Above the highest rate: the top of the family.
    EXPECT_EQ(chooseSampleRate(Layer::I, 96000), 48000);
    EXPECT_EQ(chooseSampleRate(Layer::III, 88200), 44100);
    EXPECT_EQ(chooseSampleRate(Layer::II, 176400), 44100);
    // Rates of neither family: the next supported rate up.
    EXPECT_EQ(chooseSampleRate(Layer::III, 37800), 44100);
    EXPECT_EQ(chooseSampleRate(Layer::I, 5000), 16000);
    EXPECT_EQ(chooseSampleRate(Layer::III, 5000), 8000);
    EXPECT_EQ(chooseSampleRate(Layer::III, 50000), 48000);
}

TEST(MpegFormat, VersionsOfSampleRates) {
    EXPECT_EQ(versionForSampleRate(32000), MpegVersion::Mpeg1);
    EXPECT_EQ(versionForSampleRate(24000), MpegVersion::Mpeg2);
    EXPECT_EQ(versionForSampleRate(12000), MpegVersion::Mpeg25);
    EXPECT_THROW(versionForSampleRate(96000), std::invalid_argument);
    EXPECT_FALSE(isSupportedSampleRate(Layer::II, 11025));
    EXPECT_TRUE(isSupportedSampleRate(Layer::III, 11025));
}

} // namespace
} // namespace encoders
