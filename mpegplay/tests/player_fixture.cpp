#include "mpegplay/tests/player_fixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

using namespace testsupport;

namespace {

TempDir& mediaDir() {
    static TempDir dir;
    return dir;
}

} // namespace

const PlayerInput& shortInput() {
    static const PlayerInput input = [] {
        PlayerInput made;
        const auto wav = mediaDir() / "short.wav";
        writeTestWav(wav, 44100, 2, 2.0);
        made.file = mediaDir() / "short.mp3";
        lame(wav, made.file, "-b 128");
        made.reference = mpg123Decode(made.file, mediaDir() / "short.ref.wav");
        return made;
    }();
    return input;
}

const PlayerInput& longInput() {
    static const PlayerInput input = [] {
        // lame without its Info frame gives plain frames that can be joined end to end.
        const auto wav = mediaDir() / "part.wav";
        writeTestWav(wav, 44100, 2, 3.0);
        lame(wav, mediaDir() / "part.mp3", "-t -b 128");
        const auto part = readBytes(mediaDir() / "part.mp3");
        std::vector<unsigned char> joined;
        for (int i = 0; i < 20; ++i)
            joined.insert(joined.end(), part.begin(), part.end());
        PlayerInput made;
        made.file = mediaDir() / "long.mp3";
        writeBytes(made.file, joined);
        made.reference = mpg123Decode(made.file, mediaDir() / "long.ref.wav");
        return made;
    }();
    return input;
}

QString qpath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

int lengthMs(const Pcm& pcm) {
    return toMs(pcm.frames(), pcm.rate);
}

void PlayerTest::SetUp() {
    wav_ = dir_ / "out.wav";
    player_ = std::make_unique<TMPEGPlayer>();
    player_->setPathToDLL(SONABOX_PROGRAM_DIR);
    player_->LoadDecoder();
    player_->setOutputDevice(TOutputDevice::pcmfile);
    player_->setOutFilename(qpath(wav_));
}

void PlayerTest::playToEnd() {
    player_->Play();
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
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
