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
enum class Target { Fresh, Existing, Input, LinkToInput, NoFolder, Directory, ReadOnlyFolder };
enum class Action { RunToEnd, Stop, FillDisk };
enum class Output { Untouched, Whole, Prefix };

struct OutputCase {
    const char* name;
    Source source;
    Target target;
    Action action;
    int playError; // also SetOutputDevice's
    int endError;  // at ResetPlayerMode, or Stop
    Output output;
};

const OutputCase outputCases[] = {
    {"a complete decode replaces a file", Source::Whole, Target::Existing, Action::RunToEnd, 0, 0,
     Output::Whole},
    {"a full disk leaves the old file", Source::Long, Target::Existing, Action::FillDisk, 0,
     MPEGDLL_ERR_OUTPUT, Output::Untouched},
    {"a full disk leaves no file", Source::Long, Target::Fresh, Action::FillDisk, 0,
     MPEGDLL_ERR_OUTPUT, Output::Untouched},
    {"a stopped decode leaves what it decoded", Source::Long, Target::Existing, Action::Stop, 0, 0,
     Output::Prefix},
    {"the output is the input", Source::Whole, Target::Input, Action::RunToEnd, MPEGDLL_ERR_OUTPUT,
     0, Output::Untouched},
    {"the output links to the input", Source::Whole, Target::LinkToInput, Action::RunToEnd,
     MPEGDLL_ERR_OUTPUT, 0, Output::Untouched},
    {"no such folder", Source::Whole, Target::NoFolder, Action::RunToEnd, MPEGDLL_ERR_OUTPUT, 0,
     Output::Untouched},
    {"a folder as the output", Source::Whole, Target::Directory, Action::RunToEnd,
     MPEGDLL_ERR_OUTPUT, 0, Output::Untouched},
    {"a folder that takes no file", Source::Whole, Target::ReadOnlyFolder, Action::RunToEnd,
     MPEGDLL_ERR_OUTPUT, 0, Output::Untouched},
    {"a truncated stream", Source::Truncated, Target::Existing, Action::RunToEnd, 0,
     MPEGDLL_ERR_INPUT, Output::Prefix},
    {"a short run of zeros is skipped", Source::Zeroed, Target::Fresh, Action::RunToEnd, 0, 0,
     Output::Whole},
    {"garbage after a third, Info frame", Source::Garbled, Target::Fresh, Action::RunToEnd, 0,
     MPEGDLL_ERR_INPUT, Output::Prefix},
    {"garbage after a third, scanned", Source::LongGarbled, Target::Fresh, Action::RunToEnd, 0,
     MPEGDLL_ERR_INPUT, Output::Prefix},
};

// The input's bytes with `count` bytes from a third of the way on overwritten: zeros, or noise
// that can hold what looks like frames of another format.
std::vector<unsigned char> damaged(const fs::path& file, std::size_t count, bool zeros) {
    auto bytes = readBytes(file);
    std::uint32_t noise = 99;
    for (std::size_t i = bytes.size() / 3; i < bytes.size() / 3 + count; ++i) {
        noise = noise * 1664525u + 1013904223u;
        bytes[i] = zeros ? 0 : static_cast<unsigned char>(noise >> 24);
    }
    return bytes;
}

std::optional<std::vector<unsigned char>> contentOf(const fs::path& path) {
    if (!fs::is_regular_file(path))
        return std::nullopt;
    return readBytes(path);
}

} // namespace

TEST_F(LibraryTest, OutputCases) {
    Media& media = Media::get();
    for (const OutputCase& row : outputCases) {
        SCOPED_TRACE(row.name);
        const TempDir dir;
        const fs::path in = dir / "in.mp3";
        const bool isLong = row.source == Source::Long || row.source == Source::LongGarbled;
        const Input& original = isLong ? media.layer3Long() : media.layer3Stereo44();
        const auto bytes = readBytes(original.file);
        if (row.source == Source::Truncated)
            writeBytes(in, {bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2)});
        else if (row.source == Source::Zeroed || row.source == Source::Garbled ||
                 row.source == Source::LongGarbled)
            writeBytes(in, damaged(original.file, row.source == Source::Zeroed ? 500 : 3000,
                                   row.source == Source::Zeroed));
        else
            writeBytes(in, bytes);
        const auto inBytes = readBytes(in);
        const Pcm reference =
            row.source == Source::Zeroed ? mpg123Decode(in, out_ / "ref.wav") : original.reference;

        fs::path target = dir / "out.wav";
        if (row.target == Target::Existing)
            writeBytes(target, {'o', 'l', 'd'});
        else if (row.target == Target::Input)
            target = in;
        else if (row.target == Target::LinkToInput)
            fs::create_symlink(in, target);
        else if (row.target == Target::NoFolder)
            target = dir / "none" / "out.wav";
        else if (row.target == Target::Directory)
            target = dir.path();
        else if (row.target == Target::ReadOnlyFolder)
            target = "/proc/out.wav"; // not even root can create files there
        const auto before = contentOf(target);

        ASSERT_EQ(openFile(in), 0);
        SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, target.c_str());
        EXPECT_EQ(LastError(), row.target == Target::Input || row.target == Target::LinkToInput
                                   ? MPEGDLL_ERR_OUTPUT
                                   : 0);
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
            while (GetCurrentPos() < 500 && !ended())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            Stop();
            EXPECT_EQ(LastError(), row.endError);
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
            EXPECT_EQ(GetCurrentPos(), toMs(output.frames(), output.rate));
            if (row.output == Output::Whole) {
                EXPECT_TRUE(samePcm(output, reference));
            } else {
                EXPECT_GT(output.frames(), 1152);
                EXPECT_LT(output.frames(), reference.frames() * 9 / 10);
                const std::int64_t intact =
                    std::min<std::int64_t>(output.frames() - 1152, reference.frames() / 4);
                EXPECT_TRUE(samePcm(output.slice(0, intact), reference.slice(0, intact)));
            }
        }
        EXPECT_EQ(readBytes(in), inBytes);
        for (const std::string& name : dir.entries())
            EXPECT_NE(name.rfind(".sbx", 0), 0u) << "left behind: " << name;
        Close();
    }
}
