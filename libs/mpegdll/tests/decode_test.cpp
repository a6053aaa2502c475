// Decoding into WAV files compared sample by sample with what mpg123 writes for the same input.

#include "libs/mpegdll/tests/library_fixture.h"

#include <sndfile.h>

using namespace testsupport;

namespace {

struct Expected {
    const char* name;
    const Input& (Media::*input)();
    int rate;
    int channels;
    int layer;
    int bitrate;
    int stereoMode;
};

const Expected formats[] = {
    {"MPEG 1 Layer III", &Media::layer3Stereo44, 44100, 2, 3, 128, 1},
    {"MPEG 2 Layer III", &Media::layer3Mono22, 22050, 1, 3, 64, 3},
    {"MPEG 2.5 Layer III", &Media::layer3Stereo8, 8000, 2, 3, 32, 0},
    {"MPEG 1 Layer II", &Media::layer2Stereo48, 48000, 2, 2, 192, 0},
    {"MPEG 2 Layer II", &Media::layer2Mono24, 24000, 1, 2, 64, 3},
};

} // namespace

TEST_F(LibraryTest, DecodesEveryVersionAndLayerLikeMpg123) {
    for (const Expected& format : formats) {
        SCOPED_TRACE(format.name);
        const Input& input = (Media::get().*format.input)();
        ASSERT_EQ(input.reference.rate, format.rate);
        ASSERT_EQ(input.reference.channels, format.channels);

        ASSERT_EQ(openFile(input.file), 0);
        EXPECT_EQ(GetFrequency(), format.rate);
        EXPECT_EQ(GetLayer(), format.layer);
        EXPECT_EQ(GetBitrate(), format.bitrate);
        EXPECT_EQ(GetStereoMode(), format.stereoMode);
        // The length is known as soon as the stream is open.
        EXPECT_EQ(GetLength(), toMs(input.reference.frames(), format.rate));
        EXPECT_EQ(GetCurrentPos(), 0);
        EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);

        const Pcm decoded = decode(input.file);
        EXPECT_TRUE(samePcm(decoded, input.reference));
        EXPECT_EQ(GetCurrentPos(), GetLength());
        EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
        Close();
    }
}

TEST_F(LibraryTest, StartAndEndPositionsCutTheOutput) {
    const Input& input = Media::get().layer3Stereo44();
    const Pcm part = decode(input.file, 1000, 2000);
    ASSERT_EQ(part.frames(), 44100);
    // libmpg123 seeks sample-exactly from its frame index, so the cut matches the whole.
    EXPECT_TRUE(samePcm(part, input.reference.slice(44100, 44100)));
    EXPECT_EQ(GetCurrentPos(), 2000);

    // From a start position to the end of the stream.
    const Pcm tail = decode(input.file, 2500, 0);
    const std::int64_t tailStart = 2500 * 44100 / 1000;
    EXPECT_TRUE(
        samePcm(tail, input.reference.slice(tailStart, input.reference.frames() - tailStart)));
}
