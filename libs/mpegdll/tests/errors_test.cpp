// Every error code of the library, each from a real cause, and the entry points it exports.

#include "libs/mpegdll/tests/library_fixture.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <future>
#include <set>
#include <thread>

using namespace testsupport;

namespace {

// One call of the library, its result (`any` when it has none) and the error it leaves.
struct Call {
    const char* text;
    int (*call)();
    int result, error;
};
constexpr int any = INT_MIN;
// clang-format off
#define RESULT(call, result, error) {#call, [] { return static_cast<int>(call); }, result, error}
#define VOID(call, error) {#call, [] { call; return any; }, any, error}
// clang-format on

void expectCalls(std::initializer_list<Call> calls) {
    for (const Call& row : calls)
        EXPECT_EQ(withError(row.call()), std::pair(row.result, row.error)) << row.text;
}

unsigned char flag = 0;
const TempDir scratch;

} // namespace

// Without init every call is in the wrong order; init and deinit are counted.
TEST(Library, CallsInTheWrongOrderOrOutOfRange) {
    constexpr int mode = MPEGDLL_ERR_MODE, input = MPEGDLL_ERR_INPUT;
    writeTestWav(scratch / "plain.wav", 44100, 2, 1.0);
    std::ofstream(scratch / "notes.mp3") << std::string(20000, 'x') << "\nnot audio at all\n";
    // clang-format off
    expectCalls({
        RESULT(openFile(media(Clip::Layer3Stereo44).file), mode, mode),
        RESULT(Play(0, 0, &flag), mode, mode), VOID(Pause(0), mode), VOID(Restart(), mode),
        VOID(Stop(), mode), VOID(SetPriority(0), mode), VOID(SetOutputDevice(0, ""), mode),
        VOID(Close(), mode), VOID(GetFrequency(), mode), VOID(GetBitrate(), mode),
        VOID(GetStereoMode(), mode), VOID(GetLayer(), mode), VOID(GetPlayerMode(), mode),
        VOID(GetCurrentPos(), mode), VOID(GetLength(), mode), VOID(ResetPlayerMode(), mode),
        VOID(Seek(0), mode), VOID(SetSndDevice(0), mode), VOID(deinit(), mode),
        RESULT(init(), 1, 0), RESULT(init(), 1, 0), VOID(deinit(), 0),
        // Nothing open, or nothing that opens.
        RESULT(openFile(scratch / "missing.mp3"), input, input), RESULT(openFile(scratch / "plain.wav"), input, input),
        RESULT(openFile(scratch / "notes.mp3"), input, input), RESULT(openFile(scratch.path()), input, input),
        RESULT(Open(nullptr, MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), input, input),
        RESULT(Play(0, 0, &flag), mode, mode), VOID(Restart(), mode),
        RESULT(GetFrequency(), 0, mode), RESULT(GetStereoMode(), -1, mode),
        RESULT(GetPlayerMode(), MPEGDLL_MODE_CLOSED, 0), RESULT(GetLength(), 0, 0),
        VOID(SetOutputDevice(1, "x.wav"), mode), VOID(SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, nullptr), mode),
        VOID(SetPriority(7), mode), VOID(SetPriority(-15), 0), VOID(SetPriority(-2), 0),
        VOID(SetPriority(-1), 0), VOID(SetPriority(0), 0), VOID(SetPriority(1), 0),
        VOID(SetPriority(2), 0), VOID(SetPriority(15), 0),
        RESULT(Open(nullptr, 7, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), mode, mode),
        RESULT(openFile(media(Clip::Layer3Stereo44).file), 0, 0),
        // Out of range, or no Play since Open.
        RESULT(Play(-1, 0, &flag), mode, mode), RESULT(Play(0, -5, &flag), mode, mode),
        RESULT(Play(2000, 1000, &flag), mode, mode), RESULT(Play(1000, 1000, &flag), mode, mode),
        RESULT(Play(9000, 0, &flag), mode, mode), RESULT(GetPlayerMode(), MPEGDLL_MODE_OPEN, 0),
        VOID(Restart(), mode), VOID(Pause(0), mode), VOID(Pause(1), mode), VOID(Stop(), mode),
        RESULT(Seek(0), -1, mode),
    });
    // clang-format on

    // A playing stream cannot be started a second time. The sound card's pace (SDL's disk
    // driver plays in real time) keeps the 60-second input playing however loaded the machine.
    const ScopedEnvironment driver("SDL_AUDIODRIVER", "disk");
    const ScopedEnvironment disk("SDL_DISKAUDIOFILE", (scratch / "disk.raw").c_str());
    // clang-format off
    expectCalls({
        RESULT(openFile(media(Clip::Layer3Long).file), 0, 0), VOID(SetOutputDevice(MPEGDLL_OUTPUT_SOUNDCARD, nullptr), 0),
        RESULT(Play(0, 0, &flag), 0, 0), RESULT(Play(0, 0, &flag), mode, mode),
        VOID(Pause(0), 0), RESULT(GetPlayerMode(), MPEGDLL_MODE_PAUSED, 0), RESULT(Play(0, 0, &flag), mode, mode),
        VOID(Stop(), 0), VOID(deinit(), 0), VOID(GetPlayerMode(), mode),
    });
    // clang-format on
}

// A FIFO is no file to decode: Open refuses it at once rather than wait for a writer, and holds
// up no other call meanwhile. The calls run on threads with a bounded wait, so that a library
// that blocks fails the test instead of hanging it.
TEST_F(LibraryTest, OpenRefusesAFifoWithoutBlockingOtherCalls) {
    using namespace std::chrono_literals;
    const auto fifo = out_ / "fifo.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto opened = std::async(std::launch::async, [&] { return openFile(fifo); });
    std::this_thread::sleep_for(100ms);
    auto other = std::async(std::launch::async, [] { return GetPlayerMode(); });
    const bool prompt = opened.wait_for(10s) == std::future_status::ready &&
                        other.wait_for(10s) == std::future_status::ready;
    // A writer lets a blocked open go on, so the threads end either way.
    if (const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); writer >= 0)
        ::close(writer);
    ASSERT_TRUE(prompt);
    EXPECT_EQ(opened.get(), MPEGDLL_ERR_INPUT);
    EXPECT_EQ(other.get(), MPEGDLL_MODE_CLOSED);
}

namespace {

// Runs in a fresh child process: a few megabytes of address space beyond what is mapped now,
// too little for the playback thread's stack. Exits with the code of Play.
[[noreturn]] void playWithoutMemory(const std::filesystem::path& file,
                                    const std::filesystem::path& wav) {
    if (!init() || openFile(file) != 0)
        std::_Exit(100);
    SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, wav.c_str());
    unsigned long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4 << 20);
    const rlimit tight{limit, limit};
    setrlimit(RLIMIT_AS, &tight);
    std::_Exit(Play(0, 0, &flag));
}

} // namespace

TEST(LibraryOutOfMemory, IsAnInternalDecoderError) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
    const auto file = media(Clip::Layer3Stereo44).file;
    const testsupport::TempDir out;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(playWithoutMemory(file, out / "out.wav"),
                ::testing::ExitedWithCode(MPEGDLL_ERR_INTERNAL), "");
}

TEST(LibraryExports, ExactlyTheEntryPoints) {
    const TempDir dir;
    run("nm -D --defined-only '" MPEGDLL_LIBRARY_PATH "' >" + quoted(dir / "symbols"));
    std::ifstream symbols(dir / "symbols");
    std::set<std::string> exported;
    for (std::string address, type, name; symbols >> address >> type >> name;) {
        EXPECT_EQ(type, "T") << "unexpected export: " << name;
        exported.insert(name);
    }
    EXPECT_EQ(exported,
              (std::set<std::string>{"init",          "deinit",          "Open",
                                     "Pause",         "Restart",         "Stop",
                                     "SetPriority",   "SetOutputDevice", "Play",
                                     "Close",         "GetFrequency",    "GetBitrate",
                                     "GetStereoMode", "GetLayer",        "GetPlayerMode",
                                     "GetCurrentPos", "GetLength",       "ResetPlayerMode",
                                     "Seek",          "SetSndDevice",    "LastError"}));
}

// SDL and the libraries beneath it (X11, Wayland, PulseAudio...) load only when the sound card
// plays (the sound card tests); a program that decodes into files does not wait for them.
TEST(LibraryLoading, BringsNoSoundLibrary) {
    const TempDir dir;
    run("ldd '" MPEGDLL_LIBRARY_PATH "' >" + quoted(dir / "libraries"));
    std::ifstream libraries(dir / "libraries");
    int count = 0;
    for (std::string line; std::getline(libraries, line); ++count)
        EXPECT_EQ(line.find("libSDL2"), std::string::npos) << line;
    EXPECT_GT(count, 0);
}
