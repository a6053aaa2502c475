// Decoding into WAV files compared sample by sample with what mpg123 writes for the same input,
// in one piece and in many small chunks on several threads.

#include "libs/mpegdll/tests/library_fixture.h"

using namespace testsupport;

TEST_F(LibraryTest, DecodesEveryVersionAndLayerLikeMpg123) {
    const struct {
        Clip clip;
        int rate, channels, layer, bitrate, stereoMode;
    } formats[] = {
        {Clip::Layer3Stereo44, 44100, 2, 3, 128, 1}, {Clip::Layer3Mono22, 22050, 1, 3, 64, 3},
        {Clip::Layer3Stereo8, 8000, 2, 3, 32, 0},    {Clip::Layer2Stereo48, 48000, 2, 2, 192, 0},
        {Clip::Layer2Mono24, 24000, 1, 2, 64, 3},
    };
    for (const auto& format : formats) {
        const Input& input = media(format.clip);
        SCOPED_TRACE(input.file.filename().string());
        ASSERT_EQ(input.reference.rate, format.rate);
        ASSERT_EQ(input.reference.channels, format.channels);
        for (const bool chunked : {false, true}) {
            const std::optional<SmallChunks> chunks =
                chunked ? std::optional<SmallChunks>(std::in_place) : std::nullopt;
            ASSERT_EQ(openFile(input.file), 0);
            EXPECT_EQ(GetFrequency(), format.rate);
            EXPECT_EQ(GetLayer(), format.layer);
            EXPECT_EQ(GetBitrate(), format.bitrate);
            EXPECT_EQ(GetStereoMode(), format.stereoMode);
            // The length is known as soon as the stream is open.
            EXPECT_EQ(GetLength(), toMs(input.reference.frames(), format.rate));
            EXPECT_EQ(GetCurrentPos(), 0);
            EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
            EXPECT_TRUE(samePcm(decode(input.file), input.reference)) << "chunked " << chunked;
            EXPECT_EQ(GetCurrentPos(), GetLength());
            EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
            Close();
        }
    }
}

TEST_F(LibraryTest, StartAndEndPositionsCutTheOutput) {
    const Input& input = media(Clip::Layer3Stereo44);
    // libmpg123 seeks sample-exactly from its frame index, so the cut matches the whole.
    EXPECT_TRUE(samePcm(decode(input.file, 1000, 2000), input.reference.slice(44100, 44100)));
    EXPECT_EQ(GetCurrentPos(), 2000);
    const std::int64_t tail = 2500 * 44100 / 1000; // from a start to the end of the stream
    EXPECT_TRUE(samePcm(decode(input.file, 2500, 0),
                        input.reference.slice(tail, input.reference.frames() - tail)));
}
