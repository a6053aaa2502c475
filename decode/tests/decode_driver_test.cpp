// The decode batch without windows: the real player and decoder library decode each file, and
// the results and the files left on disk are checked.
#include "decode/engine/decode_driver.h"
#include "libs/durable_file/helper_names.h"
#include "mpegplay/mpeg_player.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace decode;

namespace {

class SilentProgress final : public DecodeProgress {
public:
    void begin(const QString& name, const QString&, int position, int count) override {
        shown.append(QStringLiteral("%1 %2 of %3").arg(name).arg(position).arg(count));
    }
    void setLength(int) override {}
    void setPosition(int) override {}
    void end() override {}
    bool cancelRequested() const override { return false; }

    QStringList shown;
};

QString makeMp3(const QString& dir, const QString& name, const QString& seconds) {
    const QString wav = dir + "/tone.wav";
    const QString mp3 = dir + "/" + name;
    EXPECT_EQ(QProcess::execute("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth",
                                        seconds, "sine", "440"}),
              0);
    EXPECT_EQ(QProcess::execute("lame", {"--quiet", "-b", "128", wav, mp3}), 0);
    return mp3;
}

struct Fixture {
    Fixture() {
        player.setPathToDLL(QStringLiteral(SONABOX_PROGRAM_DIR));
        player.LoadDecoder();
        QObject::connect(&mpgtimer, &QTimer::timeout, [this] { batch.mpgtimerTimer(); });
        QDir(dir.path()).mkpath("other");
        QDir(dir.path()).mkpath("out");
    }
    DecodeBatchResult run(const QStringList& paths) {
        DecodeBatchRequest request;
        for (const QString& path : paths)
            request.files.push_back({path.section('/', -1), path});
        request.outputDirectory = dir.path() + "/out/";
        return batch.run(request, progress);
    }

    QTemporaryDir dir;
    TMPEGPlayer player;
    QTimer mpgtimer;
    DecodeBatch batch{player, mpgtimer};
    SilentProgress progress;
};

} // namespace

// A second file with the same output is not run; a file that cannot be opened fails with the
// player's error, and the batch goes on.
TEST(DecodeDriver, DecodesEachFileOnceAndAFileThatCannotBeOpenedFailsAlone) {
    Fixture f;
    const QString first = makeMp3(f.dir.path(), "song.mp3", "1");
    const QString second = makeMp3(f.dir.path() + "/other", "song.mp3", "2");
    const QString other = makeMp3(f.dir.path(), "other.mp3", "1.5");
    const QString bad = f.dir.path() + "/bad.mp3", after = f.dir.path() + "/after.mp3";
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(20000, 'x')) == 20000);
    file.close();
    ASSERT_TRUE(QFile::copy(other, after));

    const DecodeBatchResult result = f.run({first, second, other, bad, after});

    ASSERT_EQ(result.files.size(), 5u);
    using selection::FileOutcome;
    EXPECT_EQ(result.files[0].outcome, FileOutcome::Done);
    EXPECT_EQ(result.files[1].outcome, FileOutcome::NotRun);
    EXPECT_EQ(result.files[1].reason, "its output was written by an earlier file");
    EXPECT_EQ(result.files[2].outcome, FileOutcome::Done);
    EXPECT_EQ(result.files[3].outcome, FileOutcome::Failed);
    EXPECT_EQ(result.files[3].reason, "Input stream error");
    EXPECT_EQ(result.files[4].outcome, FileOutcome::Done);
    EXPECT_TRUE(result.startError.isEmpty());
    EXPECT_EQ(f.progress.shown, QStringList({"song.mp3 1 of 5", "other.mp3 3 of 5",
                                             "bad.mp3 4 of 5", "after.mp3 5 of 5"}));
    // The first file's output was kept: it lasts one second, not two.
    EXPECT_NEAR(QFile(f.dir.path() + "/out/song.WAV").size(), 44100 * 4, 44100 * 4 / 10);
    EXPECT_FALSE(QFile::exists(f.dir.path() + "/out/bad.WAV"));
    EXPECT_TRUE(QFile::exists(f.dir.path() + "/out/after.WAV"));
    EXPECT_FALSE(f.batch.DecodeActive());
    EXPECT_FALSE(f.mpgtimer.isActive());
}

// Hidden helper files in the output folder: those of an ended process (here one that had this
// process's id before) go when the batch starts, this process's own stay.
TEST(DecodeDriver, RemovesTheHelperFilesOfEndedProcessesFromItsOutputFolder) {
    Fixture f;
    const QString out = f.dir.path() + "/out/";
    const QString ended =
        QStringLiteral(".sbx%1.1.abcdef.keep").arg(QCoreApplication::applicationPid());
    const QString own = QString::fromStdString(durable::helperName(".keep"));
    for (const QString& name : {ended, own}) {
        QFile file(out + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    f.run({makeMp3(f.dir.path(), "song.mp3", "0.5")});
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), (QStringList{own, "song.WAV"}));
}

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
