// The frame count of LAME's Info frame is a claim: an empty one, or one that the file does not
// hold, gives way to a count of the frames, so a complete decode is no failure and the length
// is what the file holds.

#include "libs/mpegdll/tests/library_fixture.h"

using namespace testsupport;

TEST_F(LibraryTest, AnInfoFrameCountThatTheFileDoesNotHoldIsNoCount) {
    const auto wav = out_ / "signal.wav";
    writeTestWav(wav, 44100, 2, 3.0);
    lame(wav, out_ / "honest.mp3", "-b 128");
    const auto honest = readBytes(out_ / "honest.mp3");
    const std::uint32_t frames = infoCount(honest);
    const Pcm truth = mpg123Decode(out_ / "honest.mp3", out_ / "honest.wav");
    const double frame = 1152.0 / 44100;

    const struct {
        const char* name;
        std::uint32_t count;
    } rows[] = {
        {"the true count", frames},         {"no count", 0},
        {"twice the count", 2 * frames},    {"a thousand more", frames + 1000},
        {"the largest count", 0xfffffff0u},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto mp3 = out_ / "patched.mp3";
        writeBytes(mp3, withInfoCount(honest, row.count));
        // Ends without a failure, as mpg123 decodes it, as long as the audio (without a count
        // libmpg123 keeps the encoder's delay and padding, less than two frames).
        EXPECT_TRUE(samePcm(decode(mp3), mpg123Decode(mp3, out_ / "reference.wav")));
        const double seconds = probeWav(out_ / "patched.out.wav").seconds;
        EXPECT_NEAR(seconds, static_cast<double>(truth.frames()) / 44100, 2 * frame);
        EXPECT_NEAR(GetLength() / 1000.0, seconds, 0.001 + (row.count == frames ? 0 : frame));
        Close();
    }
}
