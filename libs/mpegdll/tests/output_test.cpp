// Where a decode into a WAV file leaves its output: in place when it succeeds or is stopped,
// kept but reported when the stream ends well short (unless a file is there), nowhere when it
// fails (an existing file stays as it was), and never over its own input.

#include "libs/mpegdll/tests/library_fixture.h"

#include <csignal>
#include <sys/resource.h>

#include <algorithm>
#include <optional>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

enum class Source { Whole, Long, Truncated, Zeroed, Garbled, LongGarbled };
enum class Action { RunToEnd, StopPartWay, FillDisk };
enum class Output { Untouched, Complete, Prefix };
using enum Source;
using enum Action;
using enum Output;
constexpr int inputError = MPEGDLL_ERR_INPUT, outputError = MPEGDLL_ERR_OUTPUT;

const struct OutputCase {
    const char* name;
    Source source;
    const char* target; // in the test's folder: "in.mp3" is the input, "link" links to it
    bool existing;      // the target exists before
    Action action;
    int playError, endError; // at Play and SetOutputDevice; at ResetPlayerMode or Stop
    Output output;
} outputCases[] = {
    // clang-format off
    {"a complete decode replaces a file", Whole, "out.wav", true, RunToEnd, 0, 0, Complete},
    {"a full disk leaves the old file", Long, "out.wav", true, FillDisk, 0, outputError, Untouched},
    // Stopped part-way through the chunks that threads decode: what came before is exact.
    {"a stopped decode leaves what it decoded", Long, "out.wav", true, StopPartWay, 0, 0, Prefix},
    {"the output is the input", Whole, "in.mp3", true, RunToEnd, outputError, 0, Untouched},
    {"the output links to the input", Whole, "link", true, RunToEnd, outputError, 0, Untouched},
    {"no such folder", Whole, "none/out.wav", false, RunToEnd, outputError, 0, Untouched},
    {"a folder as the output", Whole, ".", true, RunToEnd, outputError, 0, Untouched},
    // Not even root can create a file there.
    {"a folder that takes no file", Whole, "/proc/out.wav", false, RunToEnd, outputError, 0, Untouched},
    // What a stream ending short gives is kept only where no file was: it may be worse.
    {"a truncated stream, no file before", Truncated, "out.wav", false, RunToEnd, 0, inputError, Prefix},
    {"a truncated stream leaves the old file", Truncated, "out.wav", true, RunToEnd, 0, inputError, Untouched},
    {"a short run of zeros is skipped", Zeroed, "out.wav", false, RunToEnd, 0, 0, Complete},
    {"garbage after a third, Info frame", Garbled, "out.wav", false, RunToEnd, 0, inputError, Prefix},
    {"garbage after a third, scanned", LongGarbled, "out.wav", false, RunToEnd, 0, inputError, Prefix},
    // clang-format on
};

std::optional<std::vector<unsigned char>> contentOf(const fs::path& path) {
    return fs::is_regular_file(path) ? std::optional(readBytes(path)) : std::nullopt;
}

} // namespace

TEST_F(LibraryTest, OutputCases) {
    for (const OutputCase& row : outputCases) {
        SCOPED_TRACE(row.name);
        const TempDir dir;
        const fs::path in = dir / "in.mp3";
        const bool isLong = row.source == Long || row.source == LongGarbled;
        const Input& original = media(isLong ? Clip::Layer3Long : Clip::Layer3Stereo44);
        auto bytes = readBytes(original.file);
        // Damage from a third on: zeros, or noise that can hold what looks like frames of
        // another format.
        const bool zeros = row.source == Zeroed;
        const bool garbled = row.source == Garbled || row.source == LongGarbled;
        std::uint32_t noise = 99;
        for (std::size_t i = 0; i < (zeros ? 500u : garbled ? 3000u : 0u); ++i) {
            noise = noise * 1664525u + 1013904223u;
            bytes[bytes.size() / 3 + i] = zeros ? 0 : static_cast<unsigned char>(noise >> 24);
        }
        if (row.source == Truncated)
            bytes.resize(bytes.size() / 2);
        writeBytes(in, bytes);
        const Pcm reference =
            row.source == Zeroed ? mpg123Decode(in, out_ / "ref.wav") : original.reference;

        const fs::path target = dir.path() / row.target;
        if (std::string(row.target) == "link")
            fs::create_symlink(in, target);
        else if (row.existing && !fs::exists(target))
            writeBytes(target, {'o', 'l', 'd'});
        const auto before = contentOf(target);
        const std::optional<SmallChunks> chunks =
            row.action == StopPartWay ? std::optional<SmallChunks>(std::in_place) : std::nullopt;

        ASSERT_EQ(openFile(in), 0);
        const bool overInput = fs::exists(target) && fs::equivalent(target, in);
        EXPECT_EQ((SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, target.c_str()), LastError()),
                  overInput ? MPEGDLL_ERR_OUTPUT : 0);
        // A file size limit makes writes fail part-way, as a full disk does.
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        if (row.action == FillDisk) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limited{1 << 20, previous.rlim_max};
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        }
        EXPECT_EQ(Play(0, 0, endFlag()), row.playError);
        if (row.playError == 0 && row.action == StopPartWay) {
            // Should a loaded machine let the decode reach its end first, it runs again.
            for (int attempt = 0; attempt < 5 && (attempt == 0 || ended()); ++attempt) {
                ASSERT_TRUE(attempt == 0 || Play(0, 0, endFlag()) == 0);
                ASSERT_TRUE(waitFor([this] { return GetCurrentPos() >= 3000 || ended(); }));
                EXPECT_EQ((Stop(), LastError()), row.endError);
            }
            EXPECT_FALSE(ended()) << "the decode kept reaching its end before Stop";
        } else if (row.playError == 0) {
            EXPECT_TRUE(waitForEnd());
            EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_ENDED);
            EXPECT_EQ(LastError(), 0); // polling does not take the failure away
            for (int confirmation = 0; confirmation < 2; ++confirmation)
                EXPECT_EQ(withError(ResetPlayerMode()), std::pair(1, row.endError));
        }
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, SIG_DFL);

        if (row.output == Untouched) {
            EXPECT_EQ(contentOf(target), before);
        } else {
            const Pcm output = readWav(target);
            EXPECT_EQ(fs::file_size(target), 44 + output.samples.size() * 2); // header completed
            EXPECT_EQ(GetCurrentPos(), toMs(output.frames(), output.rate));
            if (row.output == Complete) {
                EXPECT_TRUE(samePcm(output, reference));
            } else {
                EXPECT_GT(output.frames(), 1152);
                EXPECT_LT(output.frames(), reference.frames() * 9 / 10);
                // A damaged stream's last frame may differ; a stopped one is exact.
                const std::int64_t intact =
                    row.action == StopPartWay
                        ? output.frames()
                        : std::min<std::int64_t>(output.frames() - 1152, reference.frames() / 4);
                EXPECT_TRUE(samePcm(output.slice(0, intact), reference.slice(0, intact)));
            }
        }
        EXPECT_EQ(readBytes(in), bytes);
        for (const std::string& name : dir.entries())
            EXPECT_NE(name.rfind(".sbx", 0), 0u) << "left behind: " << name;
        Close();
    }
}
