// Finding, binding and releasing the decoder library.

#include "mpegplay/decoder_library.h"
#include "mpegplay/tests/player_fixture.h"

#include <QVariant>

#include <dlfcn.h>

using namespace testsupport;

namespace {

const std::string programDir = SONABOX_PROGRAM_DIR;
const std::string realLibrary = programDir + "/libmpegdll.so";

bool isLoaded(const std::string& file) {
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    dlclose(handle);
    return true;
}

// Loads the real library through `pathToDll` and proves it works by opening a stream.
void loadsThrough(const QString& pathToDll) {
    SCOPED_TRACE(pathToDll.toStdString());
    TMPEGPlayer player;
    player.setPathToDLL(pathToDll);
    player.LoadDecoder();
    EXPECT_EQ(player.StreamLength(), 0);
    player.setStreamName(qpath(shortInput().file));
    player.Open();
    EXPECT_EQ(player.StreamLength(), lengthMs(shortInput().reference));
}

} // namespace

TEST(DecoderPath, JoinsTheFolderAndTheFileName) {
    EXPECT_EQ(decoderLibraryPath(""), "libmpegdll.so");
    EXPECT_EQ(decoderLibraryPath("/opt/sonabox"), "/opt/sonabox/libmpegdll.so");
    EXPECT_EQ(decoderLibraryPath("/opt/sonabox/"), "/opt/sonabox/libmpegdll.so");
    EXPECT_EQ(decoderLibraryPath("/"), "/libmpegdll.so");
    EXPECT_EQ(decoderLibraryPath("lib"), "lib/libmpegdll.so");
    // No drive letters here: "C:" is a folder name like any other.
    EXPECT_EQ(decoderLibraryPath("C:"), "C:/libmpegdll.so");
}

TEST(LoadDecoder, FindsTheLibraryByFolderOrBySearch) {
    loadsThrough(QString::fromStdString(programDir));
    loadsThrough(QString::fromStdString(programDir + "/"));
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    // Through the search path (this program's RUNPATH). A sanitizer's own dlopen stands in
    // as the caller there, and its RUNPATH has no program directory.
    loadsThrough("");
#endif
    EXPECT_FALSE(isLoaded(realLibrary));
}

TEST(LoadDecoder, MissingLibraryLeavesThePlayerUnloaded) {
    const TempDir empty;
    TMPEGPlayer player;
    player.setPathToDLL(qpath(empty.path()));
    expectError([&] { player.LoadDecoder(); }, "Can't load MPEG library", 0);
    expectError([&] { player.Open(); }, "MPEG library not loaded", 0);
    expectError([&] { player.Play(); }, "MPEG library not loaded", 0);
    expectError([&] { player.Stop(); }, "Incorrect mode", 2); // tested before the library
}

TEST(LoadDecoder, EveryEntryPointIsRequired) {
    const std::string fake = std::string(FAKE_MISSING_SEEK_DIR) + "/libmpegdll.so";
    TMPEGPlayer player;
    player.setPathToDLL(FAKE_MISSING_SEEK_DIR);
    player.setUseTimer(true);
    player.setTimerFreq(10);
    expectError([&] { player.LoadDecoder(); }, "MPEG library not loaded", 0);
    EXPECT_FALSE(isLoaded(fake)); // unloaded again
    expectError([&] { player.Close(); }, "MPEG library not loaded", 0);
    EXPECT_TRUE(player.findChildren<QObject*>().isEmpty()); // and no timer made
}

TEST(LoadDecoder, FailingInitReportsTheLibrarysCode) {
    const std::string fake = std::string(FAKE_FAILING_INIT_DIR) + "/libmpegdll.so";
    TMPEGPlayer player;
    player.setPathToDLL(FAKE_FAILING_INIT_DIR);
    expectError([&] { player.LoadDecoder(); }, "Internal decoder error", 1);
    EXPECT_FALSE(isLoaded(fake));
    expectError([&] { player.PlayerMode(); }, "MPEG library not loaded", 0);
}

TEST(LoadDecoder, DestroyingThePlayerStopsAndReleasesTheLibrary) {
    const TempDir dir;
    {
        QObject owner;
        auto* player = new TMPEGPlayer(&owner); // the owner destroys it
        player->setPathToDLL(SONABOX_PROGRAM_DIR);
        player->LoadDecoder();
        player->setOutputDevice(TOutputDevice::pcmfile);
        player->setOutFilename(qpath(dir / "out.wav"));
        player->setStreamName(qpath(longInput().file));
        player->Play();
        EXPECT_EQ(player->PlayerMode(), 3);
        EXPECT_TRUE(isLoaded(realLibrary));
    }
    EXPECT_FALSE(isLoaded(realLibrary));
    // The playback was stopped, and its file completed.
    const Pcm partial = readWav(dir / "out.wav");
    EXPECT_LT(partial.frames(), longInput().reference.frames());
}

TEST(LoadDecoder, PriorityIsStoredBeforeAndSentAfterLoading) {
    TMPEGPlayer player;
    EXPECT_EQ(player.PlayerPriority(), TPlayPriority::Normal);
    player.setPlayerPriority(TPlayPriority::Highest); // no library yet: only stored
    EXPECT_EQ(player.PlayerPriority(), TPlayPriority::Highest);
    player.setPlayerPriority(static_cast<TPlayPriority>(9)); // not one of the seven
    EXPECT_EQ(player.PlayerPriority(), TPlayPriority::Highest);
    player.setPathToDLL(SONABOX_PROGRAM_DIR);
    player.LoadDecoder();
    for (auto priority :
         {TPlayPriority::Idle, TPlayPriority::Lowest, TPlayPriority::BelowNormal,
          TPlayPriority::Normal, TPlayPriority::AboveNormal, TPlayPriority::TimeCritical}) {
        player.setPlayerPriority(priority); // the library accepts each number
        EXPECT_EQ(player.PlayerPriority(), priority);
    }
}

TEST(Properties, InitialValuesAndPlainSetters) {
    TMPEGPlayer player;
    EXPECT_FALSE(player.Seekable());
    EXPECT_FALSE(player.FromStream());
    EXPECT_FALSE(player.UseTimer());
    EXPECT_EQ(player.TimerFreq(), 0);
    EXPECT_FALSE(player.AutoPlay());
    EXPECT_EQ(player.OutputDevice(), TOutputDevice::wavemapper);
    EXPECT_EQ(player.WaveDeviceNum(), 0);
    EXPECT_EQ(player.PlayedXTimes(), 0);
    EXPECT_FALSE(player.Paused());
    EXPECT_EQ(player.StreamLength(), 0);

    // Set the way a form description would, through the property system.
    EXPECT_TRUE(player.setProperty("TimerFreq", 500));
    EXPECT_TRUE(player.setProperty("UseTimer", true));
    EXPECT_TRUE(player.setProperty("PlayerPriority", QVariant::fromValue(TPlayPriority::Highest)));
    EXPECT_EQ(player.TimerFreq(), 500);
    EXPECT_TRUE(player.UseTimer());
    EXPECT_EQ(player.PlayerPriority(), TPlayPriority::Highest);
    player.setTimerFreq(0);
    EXPECT_FALSE(player.UseTimer());

    player.setOutputDevice(TOutputDevice::pcmfile);
    EXPECT_EQ(player.OutputDevice(), TOutputDevice::pcmfile);
    player.setOutputDevice(TOutputDevice::wavemapper);
    EXPECT_EQ(player.OutputDevice(), TOutputDevice::wavemapper);
    // Without a library, naming a stream closes nothing and raises nothing.
    player.setStreamName("x.mp3");
    EXPECT_EQ(player.StreamName(), "x.mp3");
}
