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

#include <functional>

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

struct Expected {
    bool produced;
    bool sourceLeft;
    QString failureStart;
};

struct Case {
    const char* name;
    std::function<QStringList(const QString& dir)> makeSources;
    std::vector<Expected> expected;
    int cancelAt = 0;
};

QString goodWav(const QString& dir, const QString& name) {
    const QString path = dir + "/" + name;
    sox({"-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth", "1", "sine", "440"});
    return path;
}

} // namespace

TEST(EncodeDriver, DeletesOnlySourcesWhoseAudioIsInTheirOutput) {
    const Case cases[] = {
        {"good files go",
         [](const QString& d) {
             return QStringList{goodWav(d, "a.wav"), goodWav(d, "b.wav")};
         },
         {{true, false, ""}, {true, false, ""}}},
        {"an absurd sample rate is kept",
         [](const QString& d) {
             const QString path = goodWav(d, "rate.wav");
             patch(path, 24, 7);
             return QStringList{path};
         },
         {{false, true, ""}}},
        {"a header that declares a quarter of the audio is kept",
         [](const QString& d) {
             const QString path = goodWav(d, "short.wav");
             patch(path, 40, 44100);
             return QStringList{path};
         },
         {{false, true, "the source's header declares less audio"}}},
        {"a same-name file of another folder is not run",
         [](const QString& d) {
             QDir(d).mkdir("other");
             return QStringList{goodWav(d, "same.wav"), goodWav(d + "/other", "same.wav")};
         },
         {{true, false, ""}, {false, true, "not run: its output was written by an earlier file"}}},
        {"a cancel ends the batch and keeps the source",
         [](const QString& d) {
             return QStringList{goodWav(d, "c.wav"), goodWav(d, "d.wav")};
         },
         {{false, true, "cancelled"}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString programDir = dir.path() + "/program/";
        QDir(dir.path()).mkpath("program");
        QDir(dir.path()).mkpath("out");
        ASSERT_TRUE(QFile::copy(SONABOX_PROGRAM_DIR "/mp3.dll", programDir + "mp3.dll"));
        EncodeBatchRequest request;
        for (const QString& path : c.makeSources(dir.path()))
            request.files.push_back({path.section('/', -1), path});
        request.encoder = &describe(Encoder::House);
        request.options = {"Stereo", "128 Kbit/s", "Layer III", dir.path() + "/out/", false};
        request.programDir = programDir;
        request.deleteSource = true;
        ProcessProgress progress;
        progress.cancelAt = c.cancelAt;

        const EncodeBatchResult result = runEncodeBatch(request, progress);

        EXPECT_EQ(result.cancelled, c.cancelAt != 0);
        ASSERT_EQ(result.files.size(), c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            const EncodeFileResult& file = result.files[i];
            SCOPED_TRACE(file.source.toStdString() + ": " + file.failure.toStdString());
            EXPECT_EQ(file.produced, c.expected[i].produced);
            EXPECT_EQ(QFile::exists(file.source), c.expected[i].sourceLeft);
            EXPECT_EQ(file.produced, file.failure.isEmpty());
            EXPECT_TRUE(c.expected[i].failureStart.isEmpty() ||
                        file.failure.startsWith(c.expected[i].failureStart));
        }
        EXPECT_FALSE(QFile::exists(programDir + "codec")); // the copy goes after each run
        EXPECT_TRUE(progress.errors.isEmpty());
    }
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

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
