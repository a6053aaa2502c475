// Where a decode into a WAV file leaves its output: in place when it succeeds or is stopped,
// kept but reported when the stream ends well short, nowhere when it fails (an existing file
// stays as it was), and never over its own input.

#include "libs/mpegdll/tests/library_fixture.h"

#include <csignal>
#include <sys/resource.h>

#include <algorithm>
#include <optional>
#include <thread>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

enum class Source { Whole, Long, Truncated, Zeroed, Garbled, LongGarbled };
enum class Action { RunToEnd, Stop, FillDisk };
enum class Output { Untouched, Whole, Prefix };

struct OutputCase {
    const char* name;
    Source source;
    const char* target; // in the test's folder: "in.mp3" is the input, "link" links to it
    bool existing;      // the target exists before
    Action action;
    int playError; // also SetOutputDevice's
    int endError;  // at ResetPlayerMode, or Stop
    Output output;
};

const OutputCase outputCases[] = {
    {"a complete decode replaces a file", Source::Whole, "out.wav", true, Action::RunToEnd, 0, 0,
     Output::Whole},
    {"a full disk leaves the old file", Source::Long, "out.wav", true, Action::FillDisk, 0,
     MPEGDLL_ERR_OUTPUT, Output::Untouched},
    // Stopped part-way through the chunks that threads decode: what came before is exact.
    {"a stopped decode leaves what it decoded", Source::Long, "out.wav", true, Action::Stop, 0, 0,
     Output::Prefix},
    {"the output is the input", Source::Whole, "in.mp3", true, Action::RunToEnd, MPEGDLL_ERR_OUTPUT,
     0, Output::Untouched},
    {"the output links to the input", Source::Whole, "link", true, Action::RunToEnd,
     MPEGDLL_ERR_OUTPUT, 0, Output::Untouched},
    {"no such folder", Source::Whole, "none/out.wav", false, Action::RunToEnd, MPEGDLL_ERR_OUTPUT,
     0, Output::Untouched},
    {"a folder as the output", Source::Whole, ".", true, Action::RunToEnd, MPEGDLL_ERR_OUTPUT, 0,
     Output::Untouched},
    // Not even root can create a file there.
    {"a folder that takes no file", Source::Whole, "/proc/out.wav", false, Action::RunToEnd,
     MPEGDLL_ERR_OUTPUT, 0, Output::Untouched},
    {"a truncated stream", Source::Truncated, "out.wav", true, Action::RunToEnd, 0,
     MPEGDLL_ERR_INPUT, Output::Prefix},
    {"a short run of zeros is skipped", Source::Zeroed, "out.wav", false, Action::RunToEnd, 0, 0,
     Output::Whole},
    {"garbage after a third, Info frame", Source::Garbled, "out.wav", false, Action::RunToEnd, 0,
     MPEGDLL_ERR_INPUT, Output::Prefix},
    {"garbage after a third, scanned", Source::LongGarbled, "out.wav", false, Action::RunToEnd, 0,
     MPEGDLL_ERR_INPUT, Output::Prefix},
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
        const bool isLong = row.source == Source::Long || row.source == Source::LongGarbled;
        const Input& original = media(isLong ? Clip::Layer3Long : Clip::Layer3Stereo44);
        auto bytes = readBytes(original.file);
        // Damage from a third on: zeros, or noise that can hold what looks like frames of
        // another format.
        const bool zeros = row.source == Source::Zeroed;
        const bool garbled = row.source == Source::Garbled || row.source == Source::LongGarbled;
        std::uint32_t noise = 99;
        for (std::size_t i = 0; i < (zeros ? 500u : garbled ? 3000u : 0u); ++i) {
            noise = noise * 1664525u + 1013904223u;
            bytes[bytes.size() / 3 + i] = zeros ? 0 : static_cast<unsigned char>(noise >> 24);
        }
        if (row.source == Source::Truncated)
            bytes.resize(bytes.size() / 2);
        writeBytes(in, bytes);
        const Pcm reference =
            row.source == Source::Zeroed ? mpg123Decode(in, out_ / "ref.wav") : original.reference;

        const fs::path target = dir.path() / row.target;
        if (std::string(row.target) == "link")
            fs::create_symlink(in, target);
        else if (row.existing && !fs::exists(target))
            writeBytes(target, {'o', 'l', 'd'});
        const auto before = contentOf(target);
        const std::optional<SmallChunks> chunks =
            row.action == Action::Stop ? std::optional<SmallChunks>(std::in_place) : std::nullopt;

        ASSERT_EQ(openFile(in), 0);
        SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, target.c_str());
        const bool overInput = fs::exists(target) && fs::equivalent(target, in);
        EXPECT_EQ(LastError(), overInput ? MPEGDLL_ERR_OUTPUT : 0);
        // A file size limit makes writes fail part-way, as a full disk does.
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        if (row.action == Action::FillDisk) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limited{1 << 20, previous.rlim_max};
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        }
        EXPECT_EQ(Play(0, 0, endFlag()), row.playError);
        if (row.playError == 0 && row.action == Action::Stop) {
            while (GetCurrentPos() < 3000 && !ended())
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            Stop();
            EXPECT_EQ(LastError(), row.endError);
            EXPECT_FALSE(ended()) << "the decode ran to its end before Stop";
        } else if (row.playError == 0) {
            EXPECT_TRUE(waitForEnd());
            EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_ENDED);
            EXPECT_EQ(LastError(), 0); // polling does not take the failure away
            for (int confirmation = 0; confirmation < 2; ++confirmation) {
                EXPECT_TRUE(ResetPlayerMode());
                EXPECT_EQ(LastError(), row.endError);
            }
        }
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, SIG_DFL);

        if (row.output == Output::Untouched) {
            EXPECT_EQ(contentOf(target), before);
        } else {
            const Pcm output = readWav(target);
            EXPECT_EQ(fs::file_size(target), 44 + output.samples.size() * 2); // header completed
            EXPECT_EQ(GetCurrentPos(), toMs(output.frames(), output.rate));
            if (row.output == Output::Whole) {
                EXPECT_TRUE(samePcm(output, reference));
            } else {
                EXPECT_GT(output.frames(), 1152);
                EXPECT_LT(output.frames(), reference.frames() * 9 / 10);
                // A damaged stream's last frame may differ; a stopped one is exact.
                const std::int64_t intact =
                    row.action == Action::Stop
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
