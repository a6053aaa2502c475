#include "app/engine/stored_settings.h"

#include "app/engine/option_sets.h"
#include "app/engine/output_directory.h"
#include "platform/profile_file.h"

namespace app {

namespace {

// A value never holds a line end, so this default tells a missing key.
const QString kMissing = QStringLiteral("\n");

} // namespace

const std::array<SettingKey, kSettingCount>& settingKeys() {
    static const std::array<SettingKey, kSettingCount> keys{{
        {Setting::Codec, "ENCODER", "Codec"},
        {Setting::Mode, "ENCODER", "Mode"},
        {Setting::Bitrate, "ENCODER", "Bitrate"},
        {Setting::Layer, "ENCODER", "Layer"},
        {Setting::DeleteSource, "ENCODER", "Delsource"},
        {Setting::ShowEncoder, "ENCODER", "ShowEnc"},
        {Setting::EncoderOutput, "ENCODER", "Output"},
        {Setting::DecoderOutput, "DECODER", "Output"},
        {Setting::EncoderFolder, "DIRECTORIES", "Encoder"},
        {Setting::DecoderFolder, "DIRECTORIES", "Decoder"},
    }};
    return keys;
}

SettingTexts readSettingTexts(const QString& file) {
    SettingTexts texts;
    for (const SettingKey& key : settingKeys()) {
        const QString value = platform::readProfileString(file, QString::fromLatin1(key.section),
                                                          QString::fromLatin1(key.key), kMissing);
        if (value != kMissing)
            texts.set(key.setting, value);
    }
    return texts;
}

bool writeSettingTexts(const QString& file, const SettingTexts& texts) {
    QList<platform::ProfileWrite> writes;
    for (const SettingKey& key : settingKeys()) {
        if (const auto& value = texts.value(key.setting))
            writes.append({QString::fromLatin1(key.section), QString::fromLatin1(key.key), *value});
    }
    return platform::writeProfileStrings(file, writes);
}

QString flagText(bool checked) {
    return QString::fromLatin1(checked ? "1" : "0");
}

bool checkedValue(const QString& text) {
    bool isNumber = false;
    const long long number = text.toLongLong(&isNumber);
    return isNumber && number != 0;
}

StoredSettings storedSettings(const SettingTexts& t) {
    return {.codec = currentCodecText(t.text(Setting::Codec)),
            .mode = t.text(Setting::Mode),
            .bitrate = t.text(Setting::Bitrate),
            .layer = t.text(Setting::Layer),
            .deleteSource = checkedValue(t.text(Setting::DeleteSource)),
            .showEncoder = checkedValue(t.text(Setting::ShowEncoder)),
            .encoderOutput = storedOutputDirectory(t.text(Setting::EncoderOutput)),
            .decoderOutput = storedOutputDirectory(t.text(Setting::DecoderOutput))};
}

StoredSettings readStoredSettings(const QString& file) {
    return storedSettings(readSettingTexts(file));
}

} // namespace app
