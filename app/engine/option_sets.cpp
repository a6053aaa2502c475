#include "app/engine/option_sets.h"

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

template <typename Value>
QStringList textsOf(const std::vector<encode::NamedValue<Value>>& values) {
    QStringList texts;
    for (const auto& value : values)
        texts.append(value.text);
    return texts;
}

} // namespace

QStringList codecEntries() {
    QStringList entries;
    for (const encode::EncoderDescription& encoder : encode::encoders())
        entries.append(encoder.codecEntry);
    return entries;
}

QString currentCodecText(const QString& stored) {
    for (const encode::EncoderDescription& encoder : encode::encoders()) {
        if (encoder.formerCodecEntries.contains(stored))
            return encoder.codecEntry;
    }
    return stored;
}

QStringList allModes() {
    return textsOf(encode::channelModes());
}

QStringList allLayers() {
    return textsOf(encode::mpegLayers());
}

QStringList initialBitrates() {
    QStringList texts;
    // Every rate some encoder offers but 40, which the form's list never held.
    for (int rate : {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320})
        texts.append(encode::textOf(encode::Rate{rate}));
    return texts;
}

const encode::EncoderDescription* recognisedCodec(const QString& codecText,
                                                  const QStringList& entries) {
    for (const encode::EncoderDescription& encoder : encode::encoders()) {
        const int position = encode::codecPosition(encoder.id);
        if (position < entries.size() && codecText == entries[position])
            return &encoder;
    }
    return nullptr;
}

ChosenOptions optionsOnChoice(const encode::EncoderDescription& encoder,
                              const QString& rememberedBitrate) {
    const QStringList bitrates = encoder.rateTexts();
    return {.mode = encode::textOf(encode::ChannelMode::Stereo),
            .bitrate =
                BitrateInList(rememberedBitrate, bitrates) ? rememberedBitrate : bitrates.front(),
            .layer = encode::textOf(encode::MpegLayer::III)};
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
