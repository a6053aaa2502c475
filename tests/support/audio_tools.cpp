#include "tests/support/audio_tools.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <stdexcept>

namespace testsupport {

ToolRun runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForStarted(10000) || !process.waitForFinished(120000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void makeWav(const QString& path, double seconds, int sampleRate, int channels,
             const QString& sampleFormat) {
    const ToolRun run = runTool(
        "ffmpeg",
        {"-v", "error", "-y", "-f", "lavfi", "-i",
         QString("sine=frequency=440:sample_rate=%1:duration=%2").arg(sampleRate).arg(seconds),
         "-ac", QString::number(channels), "-c:a", sampleFormat, path});
    if (run.exitCode != 0)
        throw std::runtime_error("ffmpeg could not make " + path.toStdString() + ": " +
                                 run.errors.toStdString());
}

void makeMp3(const QString& path, double seconds, int sampleRate, int channels, int kbps) {
    const QString wav = path + ".source.wav";
    makeWav(wav, seconds, sampleRate, channels);
    const ToolRun run =
        runTool("lame", {"--quiet", "-b", QString::number(kbps), "--cbr", wav, path});
    QFile::remove(wav);
    if (run.exitCode != 0)
        throw std::runtime_error("lame could not make " + path.toStdString());
}

Probe probe(const QString& path) {
    const ToolRun run =
        runTool("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                            "stream=codec_name,channels,sample_rate,bit_rate:format=duration",
                            "-of", "json", path});
    Probe result;
    if (run.exitCode != 0)
        return result;
    const QJsonObject root = QJsonDocument::fromJson(run.output.toUtf8()).object();
    const QJsonArray streams = root["streams"].toArray();
    if (streams.isEmpty())
        return result;
    const QJsonObject stream = streams[0].toObject();
    result.codec = stream["codec_name"].toString();
    result.channels = stream["channels"].toInt();
    result.sampleRate = stream["sample_rate"].toString().toInt();
    result.bitRate = stream["bit_rate"].toString().toLongLong();
    result.duration = root["format"].toObject()["duration"].toString().toDouble();
    return result;
}

} // namespace testsupport
