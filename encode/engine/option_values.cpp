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

namespace {

// What each quality of LAME's -V scale comes to on typical music, as LAME's documentation
// gives it.
constexpr int kVariableKbps[kMaxVbrQuality + 1] = {245, 225, 190, 175, 165, 130, 115, 100, 85, 65};

// The whole text as a decimal number.
std::optional<int> wholeNumber(const QString& text) {
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](QChar c) {
            return c.unicode() >= '0' && c.unicode() <= '9';
        }))
        return std::nullopt;
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

} // namespace

Rate variableRate(int quality) {
    return {kVariableKbps[std::clamp(quality, 0, kMaxVbrQuality)], Rate::Kind::Variable, quality};
}

Rate averageRate(int kbps) {
    return {kbps, Rate::Kind::Average, 0};
}

QString textOf(Rate rate) {
    switch (rate.kind) {
    case Rate::Kind::Variable:
        return QStringLiteral("VBR V%1 (~%2 Kbit/s)").arg(rate.quality).arg(rate.kbps);
    case Rate::Kind::Average:
        return QStringLiteral("ABR %1 Kbit/s").arg(rate.kbps);
    case Rate::Kind::Constant:
        break;
    }
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
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QStringLiteral("VBR V"))) {
        // "VBR V2" and what follows it, such as " (~190 Kbit/s)".
        const QString digits = trimmed.mid(5).section(QLatin1Char(' '), 0, 0);
        if (const auto rate = variableRateOfWord(digits))
            return *rate;
        throw RateRangeError(QStringLiteral("'%1' names no VBR quality from V0 to V%2")
                                 .arg(trimmed)
                                 .arg(kMaxVbrQuality));
    }
    if (trimmed.startsWith(QStringLiteral("ABR "))) {
        const QString digits = trimmed.mid(4).section(QLatin1Char(' '), 0, 0);
        if (const auto rate = averageRateOfWord(digits))
            return *rate;
        throw RateRangeError(QStringLiteral("'%1' names no average bitrate from %2 to %3 Kbit/s")
                                 .arg(trimmed)
                                 .arg(kMinAverageKbps)
                                 .arg(kMaxAverageKbps));
    }
    return {bitrateNumber(text)};
}

std::optional<Rate> rateOfWord(const QString& word) {
    bool number = false;
    const int kbps = word.toInt(&number);
    return number ? std::optional<Rate>(Rate{kbps}) : std::nullopt;
}

std::optional<Rate> variableRateOfWord(const QString& word) {
    const auto quality = wholeNumber(word);
    if (!quality || *quality > kMaxVbrQuality)
        return std::nullopt;
    return variableRate(*quality);
}

std::optional<Rate> averageRateOfWord(const QString& word) {
    const auto kbps = wholeNumber(word);
    if (!kbps || *kbps < kMinAverageKbps || *kbps > kMaxAverageKbps)
        return std::nullopt;
    return averageRate(*kbps);
}

EncodeChoices parseChoices(const EncodeOptions& options) {
    return {.mode = valueOfText(channelModes(), options.mode),
            .rate = rateOfText(options.bitrate),
            .layer = valueOfText(mpegLayers(), options.layer),
            .showEncoder = options.showEncoder};
}

} // namespace encode
