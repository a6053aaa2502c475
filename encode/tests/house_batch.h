#pragma once

// What the encode batch tests share: a batch through the real house encoder in a folder of its
// own, its jobs run through the program's own process start without a window.
#include "encode/engine/encode_driver.h"
#include "encode/engine/encoder_job.h"
#include "encode/engine/encoder_process.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace encode::testing {

// Runs each job's command line through the program's own process start, as the progress
// window does, without a window.
class ProcessProgress final : public EncodeProgress {
public:
    void showError(const QString& text) override { errors.append(text); }
    EncoderRun runJob(const QString& program, const QString&, const QString&, int position,
                      int count) override {
        captions.append(QStringLiteral("%1 of %2").arg(position).arg(count));
        if (position == cancelAt)
            return {.exitCode = -1, .cancelled = true};
        EncoderRunControl control;
        const int exitCode =
            RunEncoderProcess(program, EncoderJob.commandLine(), nullptr, &control);
        return {.exitCode = exitCode, .lastLine = control.lastLine()};
    }

    QStringList errors;
    QStringList captions;
    int cancelAt = 0;
};

inline QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

inline void sox(const QStringList& arguments) {
    ASSERT_EQ(QProcess::execute("sox", arguments), 0);
}

inline void patch(const QString& path, qint64 offset, quint32 value) {
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
    // Queues two seconds of pink noise at this volume, made by sox in the name's format.
    QString queueNoise(const QString& relative, const QString& volume) {
        const QString path = dir.path() + "/" + relative;
        QDir(dir.path()).mkpath(relative.section('/', 0, -2));
        sox({"-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth", "2", "pinknoise", "vol",
             volume});
        request.files.push_back({path.section('/', -1), path});
        return path;
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

// The batch of a child process of the test program (see batch_meetings_test.cpp):
// "programs|program folder|output folder|files..."; the exit status tells whether every file
// was done.
int runChildBatch(const QString& description);

} // namespace encode::testing
