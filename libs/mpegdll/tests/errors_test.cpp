// Every error code of the library, each from a real cause, and the entry points it exports.

#include "libs/mpegdll/tests/library_fixture.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

using namespace testsupport;

namespace {

// Runs `call` and says which error the library reports for it.
int errorOf(void (*call)()) {
    call();
    return LastError();
}

} // namespace

TEST(LibraryWithoutInit, EveryCallIsInTheWrongOrder) {
    const auto file = media(Clip::Layer3Stereo44).file;
    EXPECT_EQ(Open(file.c_str(), MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr),
              MPEGDLL_ERR_MODE);
    unsigned char flag = 0;
    EXPECT_EQ(Play(0, 0, &flag), MPEGDLL_ERR_MODE);
    void (*const calls[])() = {
        [] { Pause(0); },
        [] { Restart(); },
        [] { Stop(); },
        [] { SetPriority(0); },
        [] { SetOutputDevice(0, ""); },
        [] { Close(); },
        [] { GetFrequency(); },
        [] { GetBitrate(); },
        [] { GetStereoMode(); },
        [] { GetLayer(); },
        [] { GetPlayerMode(); },
        [] { GetCurrentPos(); },
        [] { GetLength(); },
        [] { ResetPlayerMode(); },
        [] { Seek(0); },
        [] { SetSndDevice(0); },
        [] { deinit(); },
    };
    for (std::size_t i = 0; i < std::size(calls); ++i)
        EXPECT_EQ(errorOf(calls[i]), MPEGDLL_ERR_MODE) << "call " << i;

    // init and deinit are counted.
    ASSERT_TRUE(init());
    ASSERT_TRUE(init());
    deinit();
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_CLOSED);
    EXPECT_EQ(LastError(), 0);
    deinit();
    EXPECT_EQ(errorOf([] { GetPlayerMode(); }), MPEGDLL_ERR_MODE);
}

TEST_F(LibraryTest, CallsInTheWrongOrderOrOutOfRange) {
    unsigned char flag = 0;
    EXPECT_EQ(Play(0, 0, &flag), MPEGDLL_ERR_MODE); // nothing open
    EXPECT_EQ(GetFrequency(), 0);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    EXPECT_EQ(GetStereoMode(), -1);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_MODE);
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_CLOSED);
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(GetLength(), 0);
    EXPECT_EQ(LastError(), 0);
    const struct {
        void (*call)();
        int error;
    } closedCalls[] = {
        {[] { Restart(); }, MPEGDLL_ERR_MODE},
        {[] { SetOutputDevice(1, "x.wav"); }, MPEGDLL_ERR_MODE},
        {[] { SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, nullptr); }, MPEGDLL_ERR_MODE},
        {[] { SetPriority(7); }, MPEGDLL_ERR_MODE},
    };
    for (const auto& row : closedCalls)
        EXPECT_EQ(errorOf(row.call), row.error);
    for (int priority : {-15, -2, -1, 0, 1, 2, 15}) {
        SetPriority(priority);
        EXPECT_EQ(LastError(), 0) << priority;
    }
    EXPECT_EQ(Open(nullptr, 7, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              MPEGDLL_ERR_MODE);

    ASSERT_EQ(openFile(media(Clip::Layer3Stereo44).file), 0);
    for (const auto& [start, end] :
         {std::pair{-1, 0}, {0, -5}, {2000, 1000}, {1000, 1000}, {9000, 0}}) {
        EXPECT_EQ(Play(start, end, &flag), MPEGDLL_ERR_MODE) << start << " " << end;
        EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
    }
    // No Play since Open.
    for (const auto call :
         {+[] { Restart(); }, +[] { Pause(0); }, +[] { Pause(1); }, +[] { Stop(); },
          +[] {
              EXPECT_EQ(Seek(0), -1);
          }})
        EXPECT_EQ(errorOf(call), MPEGDLL_ERR_MODE);

    // A playing stream cannot be started a second time. The sound card's pace (SDL's disk
    // driver plays in real time) keeps the 60-second input playing however loaded the machine.
    const ScopedEnvironment driver("SDL_AUDIODRIVER", "disk");
    const ScopedEnvironment disk("SDL_DISKAUDIOFILE", (out_ / "disk.raw").c_str());
    ASSERT_EQ(openFile(media(Clip::Layer3Long).file), 0);
    SetOutputDevice(MPEGDLL_OUTPUT_SOUNDCARD, nullptr);
    ASSERT_EQ(Play(0, 0, endFlag()), 0);
    EXPECT_EQ(Play(0, 0, endFlag()), MPEGDLL_ERR_MODE);
    Pause(0);
    ASSERT_EQ(GetPlayerMode(), MPEGDLL_MODE_PAUSED);
    EXPECT_EQ(Play(0, 0, endFlag()), MPEGDLL_ERR_MODE);
    EXPECT_EQ(errorOf([] { Stop(); }), 0);
}

TEST_F(LibraryTest, InputThatIsMissingOrNotMpegAudio) {
    EXPECT_EQ(openFile(out_ / "missing.mp3"), MPEGDLL_ERR_INPUT);
    EXPECT_EQ(LastError(), MPEGDLL_ERR_INPUT);

    const auto wav = out_ / "plain.wav";
    writeTestWav(wav, 44100, 2, 1.0);
    EXPECT_EQ(openFile(wav), MPEGDLL_ERR_INPUT);

    const auto text = out_ / "notes.mp3";
    std::ofstream(text) << std::string(20000, 'x') << "\nnot audio at all\n";
    EXPECT_EQ(openFile(text), MPEGDLL_ERR_INPUT);

    EXPECT_EQ(openFile(out_.path()), MPEGDLL_ERR_INPUT); // a directory
    EXPECT_EQ(Open(nullptr, MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr),
              MPEGDLL_ERR_INPUT);
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_CLOSED);
}

TEST_F(LibraryTest, NoSoundDevice) {
    ASSERT_EQ(openFile(media(Clip::Layer3Stereo44).file), 0);
    SetOutputDevice(MPEGDLL_OUTPUT_SOUNDCARD, nullptr);
    ASSERT_EQ(LastError(), 0);
    const ScopedEnvironment driver("SDL_AUDIODRIVER", "no-such-driver");
    EXPECT_EQ(Play(0, 0, endFlag()), MPEGDLL_ERR_OUTPUT);
    EXPECT_EQ(GetPlayerMode(), MPEGDLL_MODE_OPEN);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SONABOX_SANITIZED 1
#endif

#ifndef SONABOX_SANITIZED
namespace {

// Runs in a fresh child process: a few megabytes of address space beyond what is mapped now,
// too little for the playback thread's stack. Exits with the code of Play.
[[noreturn]] void playWithoutMemory(const std::filesystem::path& file,
                                    const std::filesystem::path& wav) {
    if (!init() || Open(file.c_str(), MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr) != 0)
        std::_Exit(100);
    SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, wav.c_str());
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4 << 20);
    const rlimit tight{limit, limit};
    setrlimit(RLIMIT_AS, &tight);
    static unsigned char ended = 0;
    std::_Exit(Play(0, 0, &ended));
}

} // namespace
#endif

TEST(LibraryOutOfMemory, IsAnInternalDecoderError) {
#ifdef SONABOX_SANITIZED
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#else
    const auto file = media(Clip::Layer3Stereo44).file;
    const testsupport::TempDir out;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(playWithoutMemory(file, out / "out.wav"),
                ::testing::ExitedWithCode(MPEGDLL_ERR_INTERNAL), "");
#endif
}

TEST(LibraryExports, ExactlyTheEntryPoints) {
    const std::string command = "nm -D --defined-only '" MPEGDLL_LIBRARY_PATH "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        EXPECT_EQ(type, "T") << "unexpected export: " << line;
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
