#include "encode/engine/encoders.h"

#include "platform/command_line.h"

#include <algorithm>
#include <initializer_list>

namespace encode {

namespace {

std::vector<Rate> rates(std::initializer_list<int> kbps) {
    std::vector<Rate> list;
    for (int rate : kbps)
        list.push_back({rate});
    return list;
}

void fillHouse(TEncoderJob& job, const EncoderDescription& house, const EncodeChoices& choices,
               const QString& out) {
    job.CmdPiece3 = platform::quoteArgument(out);
    // A text that names no mode or layer leaves its switch as the previous file had it.
    if (const auto mode = switchFor(house.modes, choices.mode))
        job.CmdPiece4 = *mode;
    // The house encoder takes half the total bitrate; a variable or average rate follows it.
    job.CmdPiece5 = " -B" + QString::number(choices.rate.kbps / 2);
    if (choices.rate.kind == Rate::Kind::Variable)
        job.CmdPiece5 += " -RV" + QString::number(choices.rate.quality);
    else if (choices.rate.kind == Rate::Kind::Average)
        job.CmdPiece5 += " -RA" + QString::number(choices.rate.kbps);
    if (const auto layer = switchFor(house.layers, choices.layer))
        job.CmdPiece6 = *layer;
    job.CmdShow = "0";
}

// BladeEnc and Plugger tell only mono apart; every other mode gives the stereo pieces.
bool mono(const EncodeChoices& choices) {
    return choices.mode == ChannelMode::Mono;
}

void fillBladeEnc(TEncoderJob& job, const EncoderDescription& bladeEnc,
                  const EncodeChoices& choices, const QString&) {
    job.CmdPiece3 = switchFor(bladeEnc.modes, choices.mode).value_or("");
    job.CmdPiece4 = " -" + QString::number(choices.rate.kbps);
    job.CmdPiece5 = mono(choices) ? " -QUIT" : " -QUIT  -PRIO=HIGHEST ";
    job.CmdPiece6 = " -PRIO=HIGHEST";
    job.CmdShow = choices.showEncoder ? "1" : "0";
}

void fillPlugger(TEncoderJob& job, const EncoderDescription& plugger, const EncodeChoices& choices,
                 const QString& out) {
    job.CmdPiece3 = platform::quoteArgument(out);
    job.CmdPiece4 = " -b " + QString::number(choices.rate.kbps);
    job.CmdPiece5 = " -z";
    job.CmdPiece6 = switchFor(plugger.modes, choices.mode).value_or("");
    job.CmdShow = choices.showEncoder ? "1" : "0";
}

std::vector<Rate> variableRates() {
    std::vector<Rate> list;
    for (int quality = 0; quality <= kMaxVbrQuality; ++quality)
        list.push_back(variableRate(quality));
    return list;
}

std::vector<EncoderDescription> describeAll() {
    using enum ChannelMode;
    const std::vector<Rate> layerThreeRates =
        rates({32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320});
    return {
        {.id = Encoder::House,
         .codecEntry = QStringLiteral("Korvo   LAME, TwoLAME"),
         // Earlier versions credited it at a length the box could not show.
         .formerCodecEntries = {QStringLiteral("Korvo   built on LAME and TwoLAME")},
         .commandWord = "korvo",
         .program = "codec",
         .presenceFile = "mp3.dll",
         .programCopiedForEachRun = true,
         .writesBesideInput = false,
         .modes = {{Stereo, " -M0"}, {JointStereo, " -M1"}, {Mono, " -M3"}, {DualMono, " -M2"}},
         .rates = rates({48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}),
         .variableRates = variableRates(),
         .averageRates = true,
         .layers = {{MpegLayer::I, " -L1"}, {MpegLayer::II, " -L2"}, {MpegLayer::III, ""}},
         .layerChoice = true,
         .showEncoderChoice = false,
         .fillPieces = fillHouse},
        {.id = Encoder::BladeEnc,
         .codecEntry = QStringLiteral("BladeEnc   built on LAME"),
         .formerCodecEntries = {},
         .commandWord = "bladeenc",
         .program = "bladeenc/bladeenc",
         .presenceFile = "bladeenc/bladeenc",
         .programCopiedForEachRun = false,
         .writesBesideInput = true,
         .modes = {{Stereo, ""}, {Mono, "-MONO"}},
         .rates = layerThreeRates,
         .variableRates = {},
         .averageRates = false,
         .layers = {{MpegLayer::III, ""}},
         .layerChoice = false,
         .showEncoderChoice = true,
         .fillPieces = fillBladeEnc},
        {.id = Encoder::Plugger,
         .codecEntry = QStringLiteral("Plugger +   built on LAME"),
         .formerCodecEntries = {},
         .commandWord = "plugger",
         .program = "encoder/plugger",
         .presenceFile = "encoder/plugger",
         .programCopiedForEachRun = false,
         .writesBesideInput = false,
         .modes = {{Stereo, ""}, {Mono, " -dm"}},
         .rates = layerThreeRates,
         .variableRates = {},
         .averageRates = false,
         .layers = {{MpegLayer::III, ""}},
         .layerChoice = false,
         .showEncoderChoice = true,
         .fillPieces = fillPlugger},
    };
}

template <typename Value> QStringList texts(const std::vector<Offer<Value>>& offers) {
    QStringList list;
    for (const Offer<Value>& offer : offers)
        list.append(textOf(offer.value));
    return list;
}

} // namespace

bool EncoderDescription::offers(Rate rate) const {
    switch (rate.kind) {
    case Rate::Kind::Variable:
        return std::find(variableRates.begin(), variableRates.end(), rate) != variableRates.end();
    case Rate::Kind::Average:
        return averageRates && rate.kbps >= kMinAverageKbps && rate.kbps <= kMaxAverageKbps;
    case Rate::Kind::Constant:
        break;
    }
    return std::find(rates.begin(), rates.end(), rate) != rates.end();
}

QStringList EncoderDescription::modeTexts() const {
    return texts(modes);
}

QStringList EncoderDescription::rateTexts() const {
    QStringList list;
    for (Rate rate : rates)
        list.append(textOf(rate));
    for (Rate rate : variableRates)
        list.append(textOf(rate));
    return list;
}

QStringList EncoderDescription::layerTexts() const {
    return layerChoice ? texts(layers) : QStringList();
}

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
    return int(&describe(encoder) - encoders().data());
}

} // namespace encode
