#include "encode/encoders.h"

#include "platform/command_line.h"

#include <initializer_list>

namespace encode {

namespace {

QStringList bitrateTexts(std::initializer_list<int> rates) {
    QStringList texts;
    for (int rate : rates)
        texts.append(bitrateText(rate));
    return texts;
}

void fillHouse(TEncoderJob& job, const EncodeOptions& o, const QString& out, int kbps) {
    job.CmdPiece3 = platform::quoteArgument(out);
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

void fillBladeEnc(TEncoderJob& job, const EncodeOptions& o, const QString&, int kbps) {
    const bool mono = o.mode == "Mono";
    job.CmdPiece3 = mono ? "-MONO" : "";
    job.CmdPiece4 = " -" + QString::number(kbps);
    job.CmdPiece5 = mono ? " -QUIT" : " -QUIT  -PRIO=HIGHEST ";
    job.CmdPiece6 = " -PRIO=HIGHEST";
    job.CmdShow = o.showEncoder ? "1" : "0";
}

void fillPlugger(TEncoderJob& job, const EncodeOptions& o, const QString& out, int kbps) {
    job.CmdPiece3 = platform::quoteArgument(out);
    job.CmdPiece4 = " -b " + QString::number(kbps);
    job.CmdPiece5 = " -z";
    job.CmdPiece6 = o.mode == "Mono" ? " -dm" : "";
    job.CmdShow = o.showEncoder ? "1" : "0";
}

std::vector<EncoderDescription> describeAll() {
    const QStringList allModes = {"Stereo", "Joint Stereo", "Mono", "Dual Mono"};
    const OptionSet layerThreeOnly{
        .modes = {"Stereo", "Mono"},
        .bitrates = bitrateTexts({32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}),
        .layerChoice = false,
        .showEncoderChoice = true};
    return {
        {.id = Encoder::House,
         .codecPosition = 0,
         .commandWord = "korvo",
         .program = "codec",
         .presenceFile = "mp3.dll",
         .programCopiedForEachRun = true,
         .writesBesideInput = false,
         .options = {.modes = allModes,
                     .bitrates =
                         bitrateTexts({48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}),
                     .layerChoice = true,
                     .showEncoderChoice = false},
         .fillPieces = fillHouse},
        {.id = Encoder::BladeEnc,
         .codecPosition = 1,
         .commandWord = "bladeenc",
         .program = "bladeenc/bladeenc",
         .presenceFile = "bladeenc/bladeenc",
         .programCopiedForEachRun = false,
         .writesBesideInput = true,
         .options = layerThreeOnly,
         .fillPieces = fillBladeEnc},
        {.id = Encoder::Plugger,
         .codecPosition = 2,
         .commandWord = "plugger",
         .program = "encoder/plugger",
         .presenceFile = "encoder/plugger",
         .programCopiedForEachRun = false,
         .writesBesideInput = false,
         .options = layerThreeOnly,
         .fillPieces = fillPlugger},
    };
}

} // namespace

const std::vector<EncoderDescription>& encoders() {
    static const std::vector<EncoderDescription> table = describeAll();
    return table;
}

const EncoderDescription& describe(Encoder encoder) {
    for (const EncoderDescription& description : encoders()) {
        if (description.id == encoder)
            return description;
    }
    return encoders().front();
}

int codecPosition(Encoder encoder) {
    return describe(encoder).codecPosition;
}

QString bitrateText(int kbps) {
    // Two blanks stand in for the missing digit so that the rates line up in the list.
    const QString padding = kbps < 100 ? QStringLiteral("  ") : QString();
    return padding + QString::number(kbps) + QStringLiteral(" Kbit/s");
}

} // namespace encode
