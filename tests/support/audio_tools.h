#pragma once

#include <QString>
#include <QStringList>

// Audio files for the tests, made and checked with tools we did not write (ffmpeg, lame,
// ffprobe).
namespace testsupport {

struct ToolRun {
    int exitCode = -1;
    QString output;
    QString errors;
};

// Runs a program to its end (at most two minutes).
ToolRun runTool(const QString& program, const QStringList& arguments);

// Writes a sine wave WAV file: `sampleFormat` is an ffmpeg PCM codec such as pcm_s16le or
// pcm_u8.
void makeWav(const QString& path, double seconds, int sampleRate, int channels,
             const QString& sampleFormat = "pcm_s16le");

// Writes an MP3 file with lame from a generated WAV.
void makeMp3(const QString& path, double seconds, int sampleRate, int channels, int kbps);

// What ffprobe says of a file's first audio stream.
struct Probe {
    QString codec; // mp1, mp2, mp3, pcm_s16le ...
    int channels = 0;
    int sampleRate = 0;
    long long bitRate = 0;
    double duration = 0;
};

Probe probe(const QString& path);

} // namespace testsupport
