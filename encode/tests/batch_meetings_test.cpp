// Batches that meet: two at once from one program folder, one that passes a file by, one that
// is killed while later files' programs have run early.
#include "encode/tests/house_batch.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

using namespace encode;
using namespace encode::testing;

namespace {

// A house batch whose encoder is a script that logs each run's start and end and, before it
// runs the real encoder, waits while hold-NAME lies in the folder; its batches may run in
// child processes of this test program (runChildBatch).
struct GatedBatch : HouseBatch {
    GatedBatch() {
        QFile script(request.programDir + "mp3.dll");
        EXPECT_TRUE(QFile::remove(script.fileName()) && script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/bash\nname=$(basename \"$1\" .wav)\n"
                                    "echo \"start $name\" >>'%1'\n"
                                    "while [ -e '%2/hold-'\"$name\" ]; do sleep 0.05; done\n"
                                    "'%3' \"$@\"\nrc=$?\necho \"end $name\" >>'%1'\nexit $rc\n")
                         .arg(log, dir.path(), SONABOX_PROGRAM_DIR "/mp3.dll")
                         .toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
    }
    void hold(const QString& name) {
        QFile(dir.path() + "/hold-" + name).open(QIODevice::WriteOnly);
    }
    void release(const QString& name) { QFile::remove(dir.path() + "/hold-" + name); }
    bool logged(const QString& line) const { return contents(log).contains(line.toUtf8()); }
    bool waitFor(const QString& line) const {
        for (int i = 0; i < 600 && !logged(line); ++i)
            QThread::msleep(50);
        return logged(line);
    }
    // Runs a batch of these tone files into out/ in a child process.
    void startChild(QProcess& process, int programs, const QStringList& names) {
        QStringList parts = {QString::number(programs), request.programDir,
                             request.options.outputDirectory};
        for (const QString& name : names)
            parts.append(queue(name + ".wav"));
        request.files.clear();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SONABOX_BATCH_CHILD", parts.join('|'));
        // A killed batch leaves its runner's temporary files: here, not in the system's folder.
        QDir(dir.path()).mkpath("tmp");
        environment.insert("TMPDIR", dir.path() + "/tmp");
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QCoreApplication::applicationFilePath());
    }
    void putOld(const QString& name) {
        QFile old(dir.path() + "/out/" + name);
        EXPECT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    }
    QByteArray output(const QString& name) const { return contents(dir.path() + "/out/" + name); }
    QStringList outputNames() const {
        return QDir(dir.path() + "/out").entryList(QDir::Files | QDir::Hidden);
    }

    const QString log = dir.path() + "/log";
};

} // namespace

int encode::testing::runChildBatch(const QString& description) {
    const QStringList parts = description.split('|');
    EncodeBatchRequest request;
    request.encoder = &describe(Encoder::House);
    request.options = {.mode = "Stereo",
                       .bitrate = "128 Kbit/s",
                       .layer = "Layer III",
                       .outputDirectory = parts[2]};
    request.programs = parts[0].toInt();
    request.programDir = parts[1];
    for (const QString& path : parts.mid(3))
        request.files.push_back({path.section('/', -1), path});
    ProcessProgress progress;
    int failed = 0;
    for (const EncodeFileResult& file : runEncodeBatch(request, progress).files) {
        if (file.outcome != selection::FileOutcome::Done) {
            qWarning("%s: %s", qPrintable(file.source), qPrintable(file.reason));
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}

// Two batches from one program folder at once, in two processes: the first to end leaves the
// house encoder's copy to the other, and the last one removes it.
TEST(EncodeDriver, TwoBatchesFromOneProgramFolderBothFinish) {
    GatedBatch batch;
    batch.hold("a");
    batch.hold("b1");
    QProcess first, second;
    batch.startChild(first, 1, {"a"});
    ASSERT_TRUE(batch.waitFor("start a")) << contents(batch.log).toStdString();
    batch.startChild(second, 1, {"b1", "b2"});
    ASSERT_TRUE(batch.waitFor("start b1")) << contents(batch.log).toStdString();
    // The first batch ends while the second still has a file to start.
    batch.release("a");
    ASSERT_TRUE(first.waitForFinished(60000));
    batch.release("b1");
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAll().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << second.readAll().toStdString();
    EXPECT_TRUE(batch.logged("start b2"));
    // The copy and the lock file beside it are gone.
    EXPECT_EQ(QDir(batch.request.programDir).entryList(QDir::Files | QDir::Hidden),
              QStringList{"mp3.dll"});
}

// The encoder goes missing while a later file's program, started early, has written its MP3:
// that file is not encoded, and its older MP3 is as it was.
TEST(EncodeDriver, AFileNotReachedKeepsItsOlderOutput) {
    GatedBatch batch;
    batch.request.programs = 3;
    batch.queue("first.wav");
    batch.queue("last.wav");
    batch.putOld("last.mp3");
    batch.hold("first");
    // The first file's program goes on once the early one has ended and mp3.dll is gone.
    // (After a minute it goes on anyway, and the test fails rather than hangs.)
    QTimer watch;
    int ticks = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (batch.logged("end last") || ++ticks == 3000) {
            QFile::remove(batch.request.programDir + "mp3.dll");
            batch.release("first");
        }
    });
    watch.start(20);
    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);
    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_EQ(result.files[0].outcome, selection::FileOutcome::Done);
    EXPECT_EQ(result.files[1].outcome, selection::FileOutcome::NotRun);
    EXPECT_TRUE(batch.output("last.mp3") == "old");
    EXPECT_EQ(batch.outputNames(), (QStringList{"first.mp3", "last.mp3"}));
}

// A batch killed during its first file, after the next files' early programs replaced their
// older MP3s: the next batch into that folder brings the older MP3s back.
TEST(EncodeDriver, TheNextBatchBringsBackWhatAKilledBatchLeftAside) {
    GatedBatch batch;
    batch.putOld("two.mp3");
    batch.putOld("three.mp3");
    batch.hold("one");
    QProcess killed;
    batch.startChild(killed, 3, {"one", "two", "three"});
    ASSERT_TRUE(batch.waitFor("end two") && batch.waitFor("end three"))
        << contents(batch.log).toStdString();
    ASSERT_FALSE(batch.output("two.mp3") == "old"); // replaced, not yet checked
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));
    batch.release("one");

    batch.queue("four.wav");
    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(result.files[0].outcome, selection::FileOutcome::Done);
    EXPECT_TRUE(batch.output("two.mp3") == "old");
    EXPECT_TRUE(batch.output("three.mp3") == "old");
    EXPECT_EQ(batch.outputNames(), (QStringList{"four.mp3", "three.mp3", "two.mp3"}));
}
