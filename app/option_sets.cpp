#include "app/option_sets.h"

namespace app {

namespace {

QStringList bitrateTexts(std::initializer_list<int> rates) {
    QStringList texts;
    for (int rate : rates)
        texts.append(bitrateText(rate));
    return texts;
}

QString trimmedOfControls(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= ' ')
        ++first;
    while (last > first && text[last - 1].unicode() <= ' ')
        --last;
    return text.mid(first, last - first);
}

} // namespace

QStringList codecEntries() {
    return {QStringLiteral("Korvo   LAME, TwoLAME"), QStringLiteral("BladeEnc   built on LAME"),
            QStringLiteral("Plugger +   built on LAME")};
}

QString currentCodecText(const QString& stored) {
    // Earlier versions credited the house encoder at a length the box could not show.
    if (stored == QStringLiteral("Korvo   built on LAME and TwoLAME"))
        return codecEntries()[kHouseEncoder];
    return stored;
}

QString bitrateText(int kbps) {
    // Two blanks stand in for the missing digit so that the rates line up in the list.
    const QString padding = kbps < 100 ? QStringLiteral("  ") : QString();
    return padding + QString::number(kbps) + QStringLiteral(" Kbit/s");
}

QStringList allModes() {
    return {QStringLiteral("Stereo"), QStringLiteral("Joint Stereo"), QStringLiteral("Mono"),
            QStringLiteral("Dual Mono")};
}

QStringList allLayers() {
    return {QStringLiteral("Layer I"), QStringLiteral("Layer II"), QStringLiteral("Layer III")};
}

QStringList initialBitrates() {
    return bitrateTexts({32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320});
}

const OptionSet& optionSet(CodecPosition position) {
    static const OptionSet house{
        allModes(), true, bitrateTexts({48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320})};
    static const OptionSet layerThree{
        {QStringLiteral("Stereo"), QStringLiteral("Mono")},
        false,
        bitrateTexts({32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320})};
    return position == kHouseEncoder ? house : layerThree;
}

std::optional<CodecPosition> recognisedCodec(const QString& codecText, const QStringList& entries) {
    for (int position : {kHouseEncoder, kBladeEnc, kPlugger}) {
        if (position < entries.size() && codecText == entries[position])
            return static_cast<CodecPosition>(position);
    }
    return std::nullopt;
}

bool BitrateInList(const QString& remembered, const QStringList& entries) {
    const QString wanted = trimmedOfControls(remembered);
    for (const QString& entry : entries) {
        if (trimmedOfControls(entry) == wanted)
            return true;
    }
    return false;
}

} // namespace app
