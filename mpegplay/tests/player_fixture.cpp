#include "mpegplay/tests/player_fixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

using namespace testsupport;

namespace {

// `repeats` copies of a Layer III encoding of `seconds` of test signal, joined end to end.
PlayerInput makeInput(const std::string& name, double seconds, int repeats) {
    static const TempDir dir;
    const auto wav = dir / (name + ".wav"), part = dir / (name + ".part.mp3");
    writeTestWav(wav, 44100, 2, seconds);
    // Without its Info frame lame gives plain frames that can be joined.
    lame(wav, part, repeats > 1 ? "-t -b 128" : "-b 128");
    const auto bytes = readBytes(part);
    std::vector<unsigned char> joined;
    for (int i = 0; i < repeats; ++i)
        joined.insert(joined.end(), bytes.begin(), bytes.end());
    PlayerInput made{dir / (name + ".mp3"), {}, 0};
    writeBytes(made.file, joined);
    made.reference = mpg123Decode(made.file, dir / (name + ".ref.wav"));
    made.lengthMs = toMs(made.reference.frames(), made.reference.rate);
    return made;
}

} // namespace

const PlayerInput& shortInput() {
    static const PlayerInput input = makeInput("short", 2.0, 1);
    return input;
}

const PlayerInput& longInput() {
    static const PlayerInput input = makeInput("long", 3.0, 20);
    return input;
}

QString qpath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

bool waitFor(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, 30000);
}

std::string wavDifference(const std::filesystem::path& wav, const Pcm& expected) {
    return pcmDifference(readWav(wav), expected);
}

void loadForWav(TMPEGPlayer& player, const std::filesystem::path& wav, bool useTimer,
                int timerFreq) {
    player.setPathToDLL(SONABOX_PROGRAM_DIR);
    player.setUseTimer(useTimer);
    player.setTimerFreq(timerFreq);
    player.LoadDecoder();
    player.setOutputDevice(TOutputDevice::pcmfile);
    player.setOutFilename(qpath(wav));
}

void expectError(const std::function<void()>& call, const std::string& message, int code) {
    try {
        call();
        ADD_FAILURE() << "no error, expected \"" << message << "\"";
    } catch (const TMPEGError& error) {
        EXPECT_EQ(error.what(), message);
        EXPECT_EQ(error.ErrorCode, code);
    }
}

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
