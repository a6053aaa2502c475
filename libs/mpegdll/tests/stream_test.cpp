// Streams read through the six callbacks: an MP3 held in memory, seekable or not.

#include "libs/mpegdll/tests/library_fixture.h"

#include <algorithm>
#include <climits>
#include <cstring>

using namespace testsupport;

namespace {

// The caller's side of a stream: bytes in memory and a record of the calls.
struct MemoryStream {
    std::vector<unsigned char> bytes;
    std::size_t position = 0;
    bool nonseekable = false, canRewind = false;
    std::size_t failReadsFrom = SIZE_MAX; // reads that reach this offset fail
    int contextMarker = 0;                // its address is the stream's context
    int opens = 0, closes = 0, restarts = 0, seeks = 0, sizes = 0;
    bool foreignContext = false;

    // The stream behind a call, noting a context that is not the one it handed out.
    static MemoryStream& of(void* user, void* context) {
        auto& self = *static_cast<MemoryStream*>(user);
        self.foreignContext |= context != &self.contextMarker;
        return self;
    }
    static void open(void* user, unsigned char* nonseekable, void** context) {
        auto& self = *static_cast<MemoryStream*>(user);
        ++self.opens;
        self.position = 0;
        *nonseekable = self.nonseekable ? 1 : 0;
        *context = &self.contextMarker;
    }
    static void close(void* user, void* context) { ++of(user, context).closes; }
    static void restart(void* user, void* context, unsigned char* res) {
        MemoryStream& self = of(user, context);
        ++self.restarts;
        if (self.canRewind)
            self.position = 0;
        *res = self.canRewind ? 1 : 0;
    }
    static void read(void* user, void* context, void* buffer, int wanted, int* got,
                     unsigned char* res) {
        MemoryStream& self = of(user, context);
        const std::size_t count =
            std::min(static_cast<std::size_t>(wanted), self.bytes.size() - self.position);
        *res = self.position + count <= self.failReadsFrom ? 1 : 0;
        if (*res == 0)
            return;
        std::memcpy(buffer, self.bytes.data() + self.position, count);
        self.position += count;
        *got = static_cast<int>(count);
    }
    static void seek(void* user, void* context, int numbytes, int moveMethod, int* res) {
        MemoryStream& self = of(user, context);
        ++self.seeks;
        const std::size_t bases[] = {0, self.position, self.bytes.size()};
        const long long target = static_cast<long long>(bases[moveMethod]) + numbytes;
        const bool valid =
            !self.nonseekable && target >= 0 && target <= static_cast<long long>(self.bytes.size());
        if (valid)
            self.position = static_cast<std::size_t>(target);
        *res = valid ? static_cast<int>(target) : -1;
    }
    static void size(void* user, void* context, int* res) {
        MemoryStream& self = of(user, context);
        ++self.sizes;
        *res = static_cast<int>(self.bytes.size());
    }
};

// The streams are members, so they outlive the library's close calls in TearDown.
class StreamTest : public LibraryTest {
protected:
    static std::vector<unsigned char> bytes() { return readBytes(input().file); }
    // Opens `stream` as the input of a playback into wav_.
    int openStream(MemoryStream& stream) {
        SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, wav_.c_str());
        return Open(nullptr, MPEGDLL_INPUT_STREAM, &MemoryStream::open, &MemoryStream::close,
                    &MemoryStream::restart, &MemoryStream::read, &MemoryStream::seek,
                    &MemoryStream::size, &stream);
    }
    static const Input& input() { return media(Clip::Layer3Stereo44); }
    MemoryStream streams[2];
    const std::filesystem::path wav_ = out_ / "out.wav";
};

} // namespace

TEST_F(StreamTest, PlaysAndRestartsLikeTheFileSeekableOrNot) {
    for (const bool nonseekable : {false, true}) {
        SCOPED_TRACE(nonseekable ? "nonseekable" : "seekable");
        MemoryStream& stream = streams[nonseekable];
        stream = {.bytes = bytes(), .nonseekable = nonseekable};
        ASSERT_EQ(openStream(stream), 0);
        EXPECT_EQ(stream.opens, 1);
        // The length comes from a scan over a seekable stream, else from lame's Info frame.
        EXPECT_EQ(stream.seeks > 0, !nonseekable);
        EXPECT_EQ(stream.sizes, 1);
        EXPECT_EQ(GetLength(), toMs(input().reference.frames(), 44100));
        // libmpg123 reaches a later start in a non-seekable stream by reading forward.
        const Pcm& reference = input().reference;
        const Pcm expected =
            nonseekable ? reference.slice(44100, reference.frames() - 44100) : reference;
        ASSERT_EQ(Play(nonseekable ? 1000 : 0, 0, endFlag()), 0);
        ASSERT_TRUE(waitForEnd());
        EXPECT_TRUE(samePcm(readWav(wav_), expected));
        // The library rewinds a seekable stream itself; a non-seekable one only its owner can.
        if (nonseekable) {
            EXPECT_EQ(withError(Seek(1000)), std::pair(-1, MPEGDLL_ERR_NONSEEKABLE));
            EXPECT_EQ((Restart(), LastError()), MPEGDLL_ERR_NONSEEKABLE);
            EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
            stream.canRewind = true;
        }
        EXPECT_EQ((Restart(), LastError()), 0);
        ASSERT_TRUE(waitForEnd());
        EXPECT_TRUE(samePcm(readWav(wav_), expected));
        EXPECT_EQ(stream.restarts, nonseekable ? 2 : 1);
        EXPECT_EQ(stream.seeks > 0, !nonseekable);
        Close();
        EXPECT_EQ(stream.closes, 1);
        EXPECT_FALSE(stream.foreignContext);
    }
}

TEST_F(StreamTest, ReadErrorsEndThePlaybackAndAreReported) {
    auto& [stream, unreadable] = streams;
    stream = {.bytes = bytes(), .nonseekable = true, .failReadsFrom = bytes().size() / 2};
    ASSERT_EQ(openStream(stream), 0);
    // The failed decode leaves no output, and an existing file as it was.
    writeBytes(wav_, {'o', 'l', 'd'});
    ASSERT_EQ(Play(0, 0, endFlag()), 0);
    ASSERT_TRUE(waitForEnd());
    EXPECT_GT(GetCurrentPos(), 0);
    EXPECT_EQ(withError(ResetPlayerMode()), std::pair(1, MPEGDLL_ERR_INPUT));
    EXPECT_EQ(readBytes(wav_), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(out_.entries().size(), 1u);

    // A stream that cannot be read at all does not open, and is closed again.
    unreadable.bytes = stream.bytes;
    unreadable.failReadsFrom = 0;
    EXPECT_EQ(openStream(unreadable), MPEGDLL_ERR_INPUT);
    EXPECT_EQ(unreadable.opens, 1);
    EXPECT_EQ(unreadable.closes, 1);
    EXPECT_EQ(stream.closes, 1); // opening another stream closed the first
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_CLOSED);

    // Every callback is required.
    EXPECT_EQ(Open(nullptr, MPEGDLL_INPUT_STREAM, &MemoryStream::open, &MemoryStream::close,
                   &MemoryStream::restart, &MemoryStream::read, nullptr, &MemoryStream::size,
                   &unreadable),
              MPEGDLL_ERR_MODE);
    EXPECT_EQ(unreadable.opens, 1);
}

// Nothing counts the frames of a non-seekable stream ahead: its Info frame's count judges the
// end only when the stream is shorter than the bytes the Info frame claims, so a count that
// lies does not fail a complete decode, and a count that the stream cannot hold gives no length.
TEST_F(StreamTest, ANonseekableStreamFailsOnlyForAudioItLost) {
    const auto honest = bytes();
    const std::uint32_t frames = infoCount(honest);
    const int length = toMs(input().reference.frames(), 44100);
    const struct {
        const char* name;
        std::uint32_t count;
        bool cut;     // the second half is missing
        int lengthMs; // -1: not checked
        int error;
    } rows[] = {
        {"the true count", frames, false, length, 0},
        {"twice the count", 2 * frames, false, -1, 0},
        {"the largest count", 0xfffffff0u, false, 0, 0},
        {"a cut stream", frames, true, length, MPEGDLL_ERR_INPUT},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryStream& stream = streams[0];
        stream = {.bytes = withInfoCount(honest, row.count), .nonseekable = true};
        if (row.cut)
            stream.bytes.resize(stream.bytes.size() / 2);
        writeBytes(out_ / "in.mp3", stream.bytes);
        // What a stream ending short gives would not replace the row before's file.
        std::filesystem::remove(wav_);
        ASSERT_EQ(openStream(stream), 0);
        if (row.lengthMs >= 0) {
            EXPECT_EQ(GetLength(), row.lengthMs);
        }
        ASSERT_EQ(Play(0, 0, endFlag()), 0);
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(withError(ResetPlayerMode()), std::pair(1, row.error));
        EXPECT_TRUE(samePcm(readWav(wav_), mpg123Decode(out_ / "in.mp3", out_ / "ref.wav")));
        Close();
    }
}
