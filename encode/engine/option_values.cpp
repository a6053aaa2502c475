#include "encode/engine/option_values.h"

namespace encode {

const std::vector<NamedValue<ChannelMode>>& channelModes() {
    static const std::vector<NamedValue<ChannelMode>> modes{
        {ChannelMode::Stereo, QStringLiteral("Stereo"), QStringLiteral("stereo")},
        {ChannelMode::JointStereo, QStringLiteral("Joint Stereo"), QStringLiteral("joint")},
        {ChannelMode::Mono, QStringLiteral("Mono"), QStringLiteral("mono")},
        {ChannelMode::DualMono, QStringLiteral("Dual Mono"), QStringLiteral("dual")},
    };
    return modes;
}

const std::vector<NamedValue<MpegLayer>>& mpegLayers() {
    static const std::vector<NamedValue<MpegLayer>> layers{
        {MpegLayer::I, QStringLiteral("Layer I"), QStringLiteral("1")},
        {MpegLayer::II, QStringLiteral("Layer II"), QStringLiteral("2")},
        {MpegLayer::III, QStringLiteral("Layer III"), QStringLiteral("3")},
    };
    return layers;
}

QString textOf(ChannelMode mode) {
    return named(channelModes(), mode).text;
}

QString textOf(MpegLayer layer) {
    return named(mpegLayers(), layer).text;
}

QString textOf(Rate rate) {
    // Two blanks stand in for the missing digit so that the rates line up in the list.
    const QString padding = rate.kbps < 100 ? QStringLiteral("  ") : QString();
    return padding + QString::number(rate.kbps) + QStringLiteral(" Kbit/s");
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

Rate rateOfText(const QString& text) {
    return {bitrateNumber(text)};
}

std::optional<Rate> rateOfWord(const QString& word) {
    bool number = false;
    const int kbps = word.toInt(&number);
    return number ? std::optional<Rate>(Rate{kbps}) : std::nullopt;
}

EncodeChoices parseChoices(const EncodeOptions& options) {
    return {.mode = valueOfText(channelModes(), options.mode),
            .rate = rateOfText(options.bitrate),
            .layer = valueOfText(mpegLayers(), options.layer),
            .showEncoder = options.showEncoder};
}

} // namespace encode
