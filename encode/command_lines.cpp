#include "encode/command_lines.h"

#include "platform/paths.h"

#include <algorithm>

namespace encode {

namespace {

QString fileNamePart(const QString& path) {
    return path.mid(path.lastIndexOf(platform::separator()) + 1);
}

// Output names drop exactly three characters, whatever they are, and keep the dot.
QString lessLastThree(const QString& text) {
    return text.left(std::max<qsizetype>(0, text.size() - 3));
}

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void fillHouse(TEncoderJob& job, const EncodeOptions& o, const QString& out, int kbps) {
    job.CmdPiece3 = quoted(out);
    if (o.mode == "Stereo")
        job.CmdPiece4 = " -M0";
    else if (o.mode == "Joint Stereo")
        job.CmdPiece4 = " -M1";
    else if (o.mode == "Dual Mono")
        job.CmdPiece4 = " -M2";
    else if (o.mode == "Mono")
        job.CmdPiece4 = " -M3";
    // The house encoder takes half the total bitrate.
    job.CmdPiece5 = " -B" + QString::number(kbps / 2);
    if (o.layer == "Layer I")
        job.CmdPiece6 = " -L1";
    else if (o.layer == "Layer II")
        job.CmdPiece6 = " -L2";
    else if (o.layer == "Layer III")
        job.CmdPiece6 = QString();
    job.CmdShow = "0";
}

void fillBladeEnc(TEncoderJob& job, const EncodeOptions& o, int kbps) {
    const bool mono = o.mode == "Mono";
    job.CmdPiece3 = mono ? "-MONO" : "";
    job.CmdPiece4 = " -" + QString::number(kbps);
    job.CmdPiece5 = mono ? " -QUIT" : " -QUIT  -PRIO=HIGHEST ";
    job.CmdPiece6 = " -PRIO=HIGHEST";
    job.CmdShow = o.showEncoder ? "1" : "0";
}

void fillPlugger(TEncoderJob& job, const EncodeOptions& o, const QString& out, int kbps) {
    job.CmdPiece3 = quoted(out);
    job.CmdPiece4 = " -b " + QString::number(kbps);
    job.CmdPiece5 = " -z";
    job.CmdPiece6 = o.mode == "Mono" ? " -dm" : "";
    job.CmdShow = o.showEncoder ? "1" : "0";
}

} // namespace

QString encoderProgramPath(Encoder encoder, const QString& programDir) {
    switch (encoder) {
    case Encoder::House:
        return programDir + "codec";
    case Encoder::BladeEnc:
        return programDir + "bladeenc/bladeenc";
    case Encoder::Plugger:
        break;
    }
    return programDir + "encoder/plugger";
}

std::optional<Encoder> recogniseEncoder(const QString& encoderPath, const QString& programDir) {
    for (Encoder encoder : {Encoder::House, Encoder::BladeEnc, Encoder::Plugger}) {
        if (encoderPath == encoderProgramPath(encoder, programDir))
            return encoder;
    }
    return std::nullopt;
}

QString OutputFileName(const QString& input, const QString& outputDirectory) {
    return outputDirectory + lessLastThree(fileNamePart(input)) + "mp3";
}

bool InOutputDirectory(const QString& input, const QString& outputDirectory) {
    return input.left(input.lastIndexOf(platform::separator()) + 1) == outputDirectory;
}

QString bladeEncOutput(const QString& input) {
    return lessLastThree(input) + "MP3";
}

ConversionError::ConversionError(const QString& text)
    : std::runtime_error(("'" + text + "' is not a valid integer value").toStdString()) {}

int bitrateNumber(const QString& bitrate) {
    const QString text = bitrate.trimmed();
    qsizetype digits = 0;
    while (digits < text.size() && text[digits].isDigit() && text[digits].unicode() < 128)
        ++digits;
    bool ok = false;
    const int number = text.left(digits).toInt(&ok);
    if (!ok)
        throw ConversionError(text);
    return number;
}

void fillJob(TEncoderJob& job, Encoder encoder, const QString& encoderPath, const QString& input,
             const EncodeOptions& options) {
    const int kbps = bitrateNumber(options.bitrate);
    job.CmdPiece1 = encoderPath + " ";
    job.CmdPiece2 = quoted(input) + " ";
    const QString out = OutputFileName(input, options.outputDirectory);
    switch (encoder) {
    case Encoder::House:
        fillHouse(job, options, out, kbps);
        break;
    case Encoder::BladeEnc:
        fillBladeEnc(job, options, kbps);
        break;
    case Encoder::Plugger:
        fillPlugger(job, options, out, kbps);
        break;
    }
}

} // namespace encode
