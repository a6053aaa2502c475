// Encode batches that run several encoder programs at once: the results, the MP3 bytes, the
// deleted sources and what a cancel leaves are the same as when the programs run one at a time.
// The programs are the real ones, behind a script that logs when each run starts and ends.
#include "encode/encode_driver.h"
#include "encode/encoder_job.h"
#include "encode/encoder_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace encode;

namespace {

// Runs each job through the encoder runner, as the command line does.
class RunnerProgress final : public EncodeProgress {
public:
    void showError(const QString& text) override { errors.append(text); }
    EncoderRun runJob(const QString& program, const QString&, const QString&, int position,
                      int) override {
        EncoderRun run;
        if (position == cancelAt) {
            run.cancelled = true;
            return run;
        }
        EncoderRunControl control;
        run.exitCode = RunEncoderProcess(program, EncoderJob.commandLine(), nullptr, &control);
        run.lastLine = control.lastLine();
        return run;
    }

    QStringList errors;
    int cancelAt = 0;
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// One batch folder: program/, out/, the sources in a/ and b/; the same files each time.
struct Batch {
    Batch(Encoder encoder, int programs, bool logged) {
        for (const char* folder : {"program/bladeenc", "out", "a", "b"})
            QDir(dir.path()).mkpath(folder);
        const QString real = encoder == Encoder::House ? QStringLiteral("mp3.dll")
                                                       : QStringLiteral("bladeenc/bladeenc");
        const QString installed = dir.path() + "/program/" + real;
        if (logged) {
            // Logs each run's start and end with its input, around the real program.
            QFile script(installed);
            EXPECT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(QStringLiteral("#!/bin/sh\necho \"start $1\" >>'%1/log'\n'%2' \"$@\"\n"
                                        "rc=$?\necho \"end $1\" >>'%1/log'\nexit $rc\n")
                             .arg(dir.path(), SONABOX_PROGRAM_DIR "/" + real)
                             .toUtf8());
            script.setPermissions(script.permissions() | QFile::ExeOwner);
        } else {
            EXPECT_TRUE(QFile::copy(SONABOX_PROGRAM_DIR "/" + real, installed));
        }
        request.encoder = &describe(encoder);
        request.options = {.mode = "Stereo",
                           .bitrate = "128 Kbit/s",
                           .layer = "Layer III",
                           .outputDirectory = dir.path() + "/out/"};
        request.programDir = dir.path() + "/program/";
        request.deleteSource = true;
        request.programs = programs;
        // A long file in chunks, short ones of one chunk, a broken one, two with one output.
        for (const auto& [name, seconds] : std::vector<std::pair<QString, int>>{{"a/long.wav", 4},
                                                                                {"a/one.wav", 1},
                                                                                {"b/two.wav", 1},
                                                                                {"a/rate.wav", 1},
                                                                                {"b/three.wav", 2},
                                                                                {"a/same.wav", 1},
                                                                                {"b/same.wav", 1},
                                                                                {"a/four.wav", 1}})
            queue(name, seconds);
        QFile rate(dir.path() + "/a/rate.wav");
        EXPECT_TRUE(rate.open(QIODevice::ReadWrite) && rate.seek(24) && rate.write("\7\0\0\0", 4));
    }
    void queue(const QString& name, int seconds) {
        const QString path = dir.path() + "/" + name;
        EXPECT_EQ(QProcess::execute("sox",
                                    {"-R", "-n", "-r", "44100", "-c", "2", "-b", "16", path,
                                     "synth", QString::number(seconds), "pinknoise", "vol", "0.3"}),
                  0);
        request.files.push_back({name.section('/', -1), path});
    }
    QString out(const QString& name) const { return dir.path() + "/out/" + name; }
    // The most runs at once that the log shows, and whether two ran in one folder at once.
    std::pair<int, bool> overlap() const {
        std::map<QString, int> perFolder;
        int now = 0, most = 0;
        bool shared = false;
        for (const QString& line : QString(contents(dir.path() + "/log")).split('\n')) {
            const int step = line.startsWith("start ") ? 1 : line.startsWith("end ") ? -1 : 0;
            const QString folder = line.section(' ', 1).section('/', 0, -2);
            now += step;
            most = std::max(most, now);
            shared = shared || (perFolder[folder] += step) > 1;
        }
        return {most, shared};
    }

    QTemporaryDir dir;
    EncodeBatchRequest request;
    RunnerProgress progress;
};

void expectSameResults(const EncodeBatchResult& one, const EncodeBatchResult& many, const Batch& a,
                       const Batch& b) {
    ASSERT_EQ(one.files.size(), many.files.size());
    EXPECT_EQ(one.cancelled, many.cancelled);
    for (std::size_t i = 0; i < one.files.size(); ++i) {
        const EncodeFileResult& x = one.files[i];
        const EncodeFileResult& y = many.files[i];
        SCOPED_TRACE(x.source.toStdString() + ": " + x.reason.toStdString());
        EXPECT_EQ(x.outcome, y.outcome);
        EXPECT_EQ(QString(x.reason).remove(a.dir.path()), QString(y.reason).remove(b.dir.path()));
        EXPECT_EQ(x.sourceDeleted, y.sourceDeleted);
        EXPECT_EQ(QFile::exists(x.source), QFile::exists(y.source));
    }
    const QStringList names = QDir(a.out("")).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(names, QDir(b.out("")).entryList(QDir::Files | QDir::Hidden));
    for (const QString& name : names)
        EXPECT_EQ(QProcess::execute("cmp", {a.out(name), b.out(name)}), 0) << name.toStdString();
}

class LookAheadBatch : public ::testing::TestWithParam<Encoder> {};

TEST_P(LookAheadBatch, SeveralAtOnceGiveWhatOneAtATimeGives) {
    qputenv("SONABOX_ENCODER_CHUNK_FRAMES", "24");
    Batch alone(GetParam(), 1, true);
    Batch together(GetParam(), 3, true);
    const EncodeBatchResult one = runEncodeBatch(alone.request, alone.progress);
    const EncodeBatchResult many = runEncodeBatch(together.request, together.progress);
    qunsetenv("SONABOX_ENCODER_CHUNK_FRAMES");
    expectSameResults(one, many, alone, together);
    EXPECT_EQ(alone.overlap(), std::make_pair(1, false))
        << contents(alone.dir.path() + "/log").toStdString();
    const auto [most, shared] = together.overlap();
    EXPECT_EQ(most, GetParam() == Encoder::BladeEnc ? 2 : 3)
        << contents(together.dir.path() + "/log").toStdString();
    EXPECT_FALSE(shared && GetParam() == Encoder::BladeEnc);
    EXPECT_FALSE(QFile::exists(together.request.programDir + "codec"));
}

TEST_P(LookAheadBatch, ACancelLeavesWhatItLeavesOneAtATime) {
    Batch alone(GetParam(), 1, false);
    Batch together(GetParam(), 3, false);
    for (Batch* batch : {&alone, &together}) {
        // Files after the cancelled one had MP3s before the batch: they stay as they were.
        for (const char* name : {"one.mp3", "two.mp3", "three.mp3"}) {
            QFile old(batch->out(name));
            EXPECT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        }
        batch->progress.cancelAt = 3;
    }
    // The first file is long, so the next ones have ended before the cancel comes.
    const EncodeBatchResult one = runEncodeBatch(alone.request, alone.progress);
    const EncodeBatchResult many = runEncodeBatch(together.request, together.progress);
    EXPECT_TRUE(many.cancelled);
    EXPECT_EQ(many.files.size(), 3u);
    expectSameResults(one, many, alone, together);
    EXPECT_EQ(contents(together.out("three.mp3")), "old");
    EXPECT_EQ(contents(together.out("two.mp3")), "old");
}

INSTANTIATE_TEST_SUITE_P(Encoders, LookAheadBatch,
                         ::testing::Values(Encoder::House, Encoder::BladeEnc),
                         [](const auto& info) {
                             return info.param == Encoder::House ? "house" : "bladeenc";
                         });

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
