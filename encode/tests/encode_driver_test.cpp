// The encode batch without windows: the real house encoder runs each job, and the results and
// the files left on disk are checked.
#include "encode/encode_driver.h"
#include "encode/encoder_job.h"
#include "platform/command_line.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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
            return {.exitCode = -1, .cancelled = true};
        QProcess process;
        process.start(program,
                      platform::splitArguments(EncoderJob.commandLine().mid(program.size() + 1)));
        process.waitForFinished(60000);
        const QStringList lines =
            QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        return {.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                .lastLine = lines.isEmpty() ? QString() : lines.back()};
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
        request.options = {.mode = "Stereo",
                           .bitrate = "128 Kbit/s",
                           .layer = "Layer III",
                           .outputDirectory = dir.path() + "/out/"};
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
        selection::FileOutcome outcome;
        QString reasonStart;
    } expected[] = {{selection::FileOutcome::Done, ""},
                    {selection::FileOutcome::Failed, ""},
                    {selection::FileOutcome::Failed, "the source's header declares less audio"},
                    {selection::FileOutcome::Done, ""},
                    {selection::FileOutcome::NotRun, "its output was written by an earlier file"}};

    const EncodeBatchResult result = runEncodeBatch(batch.request, batch.progress);

    EXPECT_FALSE(result.cancelled);
    ASSERT_EQ(result.files.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const EncodeFileResult& file = result.files[i];
        SCOPED_TRACE(file.source.toStdString() + ": " + file.reason.toStdString());
        const bool done = expected[i].outcome == selection::FileOutcome::Done;
        EXPECT_EQ(file.outcome, expected[i].outcome);
        EXPECT_EQ(QFile::exists(file.source), !done);
        EXPECT_EQ(done, file.reason.isEmpty());
        EXPECT_TRUE(expected[i].reasonStart.isEmpty() ||
                    file.reason.startsWith(expected[i].reasonStart));
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
    EXPECT_EQ(result.files[0].outcome, selection::FileOutcome::Cancelled);
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
    EXPECT_TRUE(result.files[0].toldAlready);
    EXPECT_EQ(result.files[0].outcome, selection::FileOutcome::NotRun);
    EXPECT_TRUE(progress.captions.isEmpty());
}

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
