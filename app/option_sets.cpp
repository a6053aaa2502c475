#include "app/option_sets.h"

namespace app {

namespace {

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
        return codecEntries()[encode::codecPosition(encode::Encoder::House)];
    return stored;
}

QStringList allModes() {
    return {QStringLiteral("Stereo"), QStringLiteral("Joint Stereo"), QStringLiteral("Mono"),
            QStringLiteral("Dual Mono")};
}

QStringList allLayers() {
    return {QStringLiteral("Layer I"), QStringLiteral("Layer II"), QStringLiteral("Layer III")};
}

QStringList initialBitrates() {
    QStringList texts;
    for (int rate : {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320})
        texts.append(encode::bitrateText(rate));
    return texts;
}

const encode::EncoderDescription* recognisedCodec(const QString& codecText,
                                                  const QStringList& entries) {
    for (const encode::EncoderDescription& encoder : encode::encoders()) {
        if (encoder.codecPosition < entries.size() && codecText == entries[encoder.codecPosition])
            return &encoder;
    }
    return nullptr;
}

ChosenOptions optionsOnChoice(const encode::EncoderDescription& encoder,
                              const QString& rememberedBitrate) {
    const QStringList& bitrates = encoder.options.bitrates;
    return {.mode = QStringLiteral("Stereo"),
            .bitrate =
                BitrateInList(rememberedBitrate, bitrates) ? rememberedBitrate : bitrates.front(),
            .layer = QStringLiteral("Layer III")};
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
