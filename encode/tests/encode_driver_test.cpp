// The encode batch without windows: the real house encoder runs each job, and the results and
// the files left on disk are checked.
#include "encode/encode_driver.h"
#include "encode/encoder_job.h"
#include "platform/command_line.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iterator>

using namespace encode;

namespace {

// Runs each job's command line as the progress window would, without a window.
class ProcessProgress final : public EncodeProgress {
public:
    void showError(const QString& text) override { errors.append(text); }
    EncoderRun runJob(const QString& program, const QString&, const QString&, int position,
                      int count) override {
        captions.append(QStringLiteral("%1 of %2").arg(position).arg(count));
        if (position == cancelAt)
            return {-1, true, QString()};
        QProcess process;
        process.start(program,
                      platform::splitArguments(EncoderJob.commandLine().mid(program.size() + 1)));
        process.waitForFinished(60000);
        const QStringList lines =
            QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, false,
                lines.isEmpty() ? QString() : lines.back()};
    }

    QStringList errors;
    QStringList captions;
    int cancelAt = 0;
};

void sox(const QStringList& arguments) {
    ASSERT_EQ(QProcess::execute("sox", arguments), 0);
}

void patch(const QString& path, qint64 offset, quint32 value) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(offset);
    const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    file.write(bytes, 4);
}

// A batch through the house encoder, copied into a program folder of its own, into out/ with
// Delete Source.
struct HouseBatch {
    HouseBatch() {
        for (const char* folder : {"program", "out", "other"})
            QDir(dir.path()).mkpath(folder);
        EXPECT_TRUE(QFile::copy(SONABOX_PROGRAM_DIR "/mp3.dll", dir.path() + "/program/mp3.dll"));
        request.encoder = &describe(Encoder::House);
        request.options = {"Stereo", "128 Kbit/s", "Layer III", dir.path() + "/out/", false};
        request.programDir = dir.path() + "/program/";
        request.deleteSource = true;
    }
    // Queues a one-second tone made by sox.
    QString queue(const QString& relative) {
        const QString path = dir.path() + "/" + relative;
        sox({"-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth", "1", "sine", "440"});
        request.files.push_back({path.section('/', -1), path});
        return path;
    }

    QTemporaryDir dir;
    EncodeBatchRequest request;
    ProcessProgress progress;
};

} // namespace

TEST(EncodeDriver, DeletesOnlySourcesWhoseAudioIsInTheirOutput) {
    HouseBatch batch;
    batch.queue("good.wav");
    patch(batch.queue("rate.wav"), 24, 7);      // an absurd sample rate
    patch(batch.queue("short.wav"), 40, 44100); // a header that declares a quarter of the audio
    batch.queue("same.wav");
    batch.queue("other/same.wav");
    const struct {
        bool produced;
        QString failureStart;
    } expected[] = {{true, ""},
                    {false, ""},
                    {false, "the source's header declares less audio"},
                    {true, ""},
                    {false, "not run: its output was written by an earlier file"}};

    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);

    EXPECT_FALSE(result.cancelled);
    ASSERT_EQ(result.files.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const EncodeFileResult& file = result.files[i];
        SCOPED_TRACE(file.source.toStdString() + ": " + file.failure.toStdString());
        EXPECT_EQ(file.produced, expected[i].produced);
        EXPECT_EQ(QFile::exists(file.source), !expected[i].produced);
        EXPECT_EQ(file.produced, file.failure.isEmpty());
        EXPECT_TRUE(expected[i].failureStart.isEmpty() ||
                    file.failure.startsWith(expected[i].failureStart));
    }
    EXPECT_FALSE(QFile::exists(batch.request.programDir + "codec")); // the copy goes after each run
    EXPECT_TRUE(batch.progress.errors.isEmpty());
}

TEST(EncodeDriver, ACancelEndsTheBatchAndKeepsTheSources) {
    HouseBatch batch;
    const QStringList sources = {batch.queue("c.wav"), batch.queue("d.wav")};
    batch.progress.cancelAt = 1;
    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);
    EXPECT_TRUE(result.cancelled);
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_FALSE(result.files[0].produced);
    EXPECT_EQ(result.files[0].failure, "cancelled");
    EXPECT_TRUE(QFile::exists(sources[0]) && QFile::exists(sources[1]));
    EXPECT_FALSE(QFile::exists(batch.request.programDir + "codec"));
}

TEST(EncodeDriver, AMissingEncoderIsToldForEveryFile) {
    QTemporaryDir dir;
    EncodeBatchRequest request;
    request.files = {{"a.wav", dir.path() + "/a.wav"}, {"b.wav", dir.path() + "/b.wav"}};
    request.encoder = &describe(Encoder::Plugger);
    request.programDir = dir.path() + "/";
    ProcessProgress progress;
    const EncodeBatchResult result = runEncodeBatch(request, progress);
    EXPECT_EQ(progress.errors, QStringList(2, "File " + dir.path() + "/encoder/plugger not found"));
    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_TRUE(result.files[0].toldAlready && !result.files[0].produced);
    EXPECT_TRUE(progress.captions.isEmpty());
}

// BladeEnc writes NAME.MP3 beside its source: a file of the user's there is never replaced or
// moved, and its source stays; a fresh one moves to the output folder and its source goes.
TEST(EncodeDriver, BladeEncLeavesAUsersFileBesideTheSourceAlone) {
    HouseBatch batch;
    QDir(batch.dir.path()).mkpath("program/bladeenc");
    ASSERT_TRUE(QFile::copy(SONABOX_PROGRAM_DIR "/bladeenc/bladeenc",
                            batch.request.programDir + "bladeenc/bladeenc"));
    batch.request.encoder = &describe(Encoder::BladeEnc);
    const QString taken = batch.queue("taken.wav");
    const QString fresh = batch.queue("fresh.wav");
    QFile users(batch.dir.path() + "/taken.MP3");
    ASSERT_TRUE(users.open(QIODevice::WriteOnly) && users.write("mine") == 4);
    users.close();

    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);

    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_FALSE(result.files[0].produced);
    EXPECT_TRUE(result.files[0].failure.contains("already exists"))
        << result.files[0].failure.toStdString();
    EXPECT_TRUE(result.files[0].failure.endsWith("source kept"));
    EXPECT_TRUE(QFile::exists(taken));
    EXPECT_EQ(QFileInfo(users.fileName()).size(), 4);
    EXPECT_TRUE(result.files[1].produced) << result.files[1].failure.toStdString();
    EXPECT_FALSE(QFile::exists(fresh));
    EXPECT_EQ(QDir(batch.dir.path() + "/out").entryList(QDir::Files | QDir::Hidden),
              QStringList{"fresh.mp3"});
}

// The batch run again under strace: a source is removed only after its MP3's data and then
// its folder were synced.
TEST(EncodeDriver, ASourceGoesOnlyOnceItsOutputIsOnTheDisk) {
    if (qEnvironmentVariableIsSet("SONABOX_TRACED_BATCH")) {
        HouseBatch batch;
        batch.queue("traced.wav");
        EXPECT_TRUE(runEncodeBatch(batch.request, batch.progress).files.at(0).sourceDeleted);
        return;
    }
    QTemporaryDir dir;
    const QString log = dir.filePath("trace.log");
    QProcess traced;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SONABOX_TRACED_BATCH", "1");
    traced.setProcessEnvironment(environment);
    traced.start("strace", {"-f", "-y", "-qq", "-o", log, "-e", "trace=fdatasync,fsync,unlink",
                            QCoreApplication::applicationFilePath(),
                            "--gtest_filter=EncodeDriver.ASourceGoesOnlyOnceItsOutputIsOnTheDisk"});
    ASSERT_TRUE(traced.waitForFinished(120000));
    ASSERT_EQ(traced.exitCode(), 0) << traced.readAllStandardOutput().toStdString();
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList calls;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.contains("traced.") || line.contains("/out>"))
            calls.append(QString::fromUtf8(line).section(' ', 1).trimmed());
    }
    const auto at = [&](const QString& start, const QString& part) {
        for (int i = 0; i < calls.size(); ++i) {
            if (calls[i].startsWith(start) && calls[i].contains(part))
                return i;
        }
        return int(calls.size());
    };
    const int removed = at("unlink(", "/traced.wav\"");
    ASSERT_LT(removed, calls.size()) << calls.join('\n').toStdString();
    // The batch syncs the MP3 and its folder itself, whatever the encoder did.
    const QStringList before = calls.mid(0, removed);
    EXPECT_TRUE(before.last().startsWith("fsync(") && before.last().contains("/out>"))
        << calls.join('\n').toStdString();
    EXPECT_TRUE(before[before.size() - 2].startsWith("fdatasync(") &&
                before[before.size() - 2].contains("/out/traced.mp3>"));
}

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
