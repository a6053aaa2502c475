// Finding, binding and releasing the decoder library.

#include "mpegplay/decoder_library.h"
#include "mpegplay/tests/player_fixture.h"

#include <dlfcn.h>

using namespace testsupport;

namespace {

const std::string programDir = SONABOX_PROGRAM_DIR;

bool isLoaded(const std::string& folder) {
    void* handle = dlopen((folder + "/libmpegdll.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle != nullptr;
}

} // namespace

TEST(LoadDecoder, FindsTheLibraryByFolderOrBySearch) {
    const QString dir = QString::fromStdString(programDir), path = dir + "/libmpegdll.so";
    std::vector<std::pair<QString, QString>> cases = {{dir, path}, {dir + "/", path}};
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    // Through the search path (this program's RUNPATH). A sanitizer's own dlopen stands in
    // as the caller there, and its RUNPATH has no program directory.
    cases.emplace_back("", "libmpegdll.so");
#endif
    EXPECT_EQ(decoderLibraryPath("C:"), "C:/libmpegdll.so"); // no drive letters here
    for (const auto& [folder, file] : cases) {
        SCOPED_TRACE(folder.toStdString());
        EXPECT_EQ(decoderLibraryPath(folder), file);
        TMPEGPlayer player;
        player.setPathToDLL(folder);
        player.LoadDecoder();
        player.setStreamName(qpath(shortInput().file));
        player.Open(); // proves that the entry points work
        EXPECT_EQ(player.StreamLength(), shortInput().lengthMs);
    }
}

TEST(LoadDecoder, ABrokenLibraryLeavesThePlayerUnloaded) {
    const TempDir empty;
    const struct {
        std::string folder, message;
        int code;
    } cases[] = {{empty.path().string(), "Can't load MPEG library", 0},
                 {FAKE_MISSING_SEEK_DIR, "MPEG library not loaded", 0},
                 {FAKE_FAILING_INIT_DIR, "Internal decoder error", 1}}; // init's LastError
    for (const auto& [folder, message, code] : cases) {
        SCOPED_TRACE(folder);
        TMPEGPlayer player;
        player.setPathToDLL(QString::fromStdString(folder));
        player.setUseTimer(true);
        player.setTimerFreq(10);
        expectError([&] { player.LoadDecoder(); }, message, code);
        EXPECT_FALSE(isLoaded(folder));
        EXPECT_TRUE(player.findChildren<QObject*>().isEmpty()); // no timer made
        for (auto call : {&TMPEGPlayer::Open, &TMPEGPlayer::Play, &TMPEGPlayer::Close})
            expectError([&] { (player.*call)(); }, "MPEG library not loaded", 0);
        expectError([&] { player.PlayerMode(); }, "MPEG library not loaded", 0);
        expectError([&] { player.Stop(); }, "Incorrect mode", 2); // tested before the library
        player.setPlayerPriority(TPlayPriority::Highest);         // no library: only stored
        player.setPlayerPriority(static_cast<TPlayPriority>(9));  // not one of the seven: ignored
        EXPECT_EQ(player.PlayerPriority(), TPlayPriority::Highest);
    }
}

TEST(LoadDecoder, DestroyingThePlayerStopsAndReleasesTheLibrary) {
    const TempDir dir;
    {
        QObject owner;
        auto* player = new TMPEGPlayer(&owner); // the owner destroys it
        loadForWav(*player, dir / "out.wav");
        player->setStreamName(qpath(longInput().file));
        player->Play();
        EXPECT_EQ(player->PlayerMode(), 3);
        EXPECT_TRUE(isLoaded(programDir));
    }
    EXPECT_FALSE(isLoaded(programDir));
    // The playback was stopped, and its file completed.
    EXPECT_LT(readWav(dir / "out.wav").frames(), longInput().reference.frames());
}

TEST_F(PlayerTest, EveryPriorityReachesTheLibrary) {
    for (int i = 0; i <= static_cast<int>(TPlayPriority::TimeCritical); ++i) {
        const auto priority = static_cast<TPlayPriority>(i);
        player_->setPlayerPriority(priority); // the library refuses a number it does not know
        EXPECT_EQ(player_->PlayerPriority(), priority);
    }
}
