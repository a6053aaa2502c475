// A decode that makes no progress ends with an error rather than a hang: the FFmpeg reader
// with a limit already passed gives up on a good file at once, with the reason.
#include "tools/encoders/core/audio_file_view.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/sources/ffmpeg_reader.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>

namespace encoders::testing {
namespace {

TEST(FfmpegDecoder, ADecodeWithoutProgressEndsWithTheReason) {
    const TempDir work;
    const auto source = work / "song.m4a";
    ASSERT_EQ(run({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=440:duration=1", "-c:a",
                   "alac", source.string()})
                  .exitCode,
              0);
    for (const auto limit : {std::chrono::seconds(0), kFfmpegStallLimit}) {
        SCOPED_TRACE(limit.count());
        const AudioFileView view(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
        try {
            const auto decoder = ffmpegReader().openDecoder(view, "'song.m4a'", limit);
            std::vector<float> block(4096);
            std::int64_t frames = 0;
            while (const std::size_t got = decoder->read(block)) {
                frames += static_cast<std::int64_t>(got);
            }
            EXPECT_EQ(frames, 44100);
            EXPECT_NE(limit.count(), 0) << "a decode past its limit went on";
        } catch (const EncoderError& error) {
            EXPECT_EQ(limit.count(), 0) << error.what();
            EXPECT_STREQ(error.what(),
                         "decoding 'song.m4a' made no progress for 0 s and was stopped");
        }
    }
}

} // namespace
} // namespace encoders::testing
