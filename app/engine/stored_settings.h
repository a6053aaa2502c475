#pragma once

#include <QString>

#include <array>
#include <optional>

// The settings file's keys, and the Configure page's choices as the file holds them as plain
// values: the window applies them to its boxes, the command line takes them as its defaults.
namespace app {

enum class Setting {
    Codec,
    Mode,
    Bitrate,
    Layer,
    DeleteSource,
    ShowEncoder,
    EncoderOutput,
    DecoderOutput,
    EncoderFolder,
    DecoderFolder,
};
inline constexpr int kSettingCount = 10;

// Where a setting lies in the file. Reads and writes both go through this table.
struct SettingKey {
    Setting setting;
    const char* section;
    const char* key;
};
// In the order a save writes them.
const std::array<SettingKey, kSettingCount>& settingKeys();

// Each setting's text as the file holds it; nothing where its key is missing.
class SettingTexts {
public:
    const std::optional<QString>& value(Setting setting) const {
        return values_[std::size_t(setting)];
    }
    QString text(Setting setting) const { return value(setting).value_or(QString()); }
    void set(Setting setting, const QString& text) { values_[std::size_t(setting)] = text; }

private:
    std::array<std::optional<QString>, kSettingCount> values_;
};

// Every key of the table; a file that can't be read holds none.
SettingTexts readSettingTexts(const QString& file);

// Writes every setting that has a text, in the table's order, in one replacement of the file.
// False when that failed; the file is then as it was.
bool writeSettingTexts(const QString& file, const SettingTexts& texts);

// A check box as the file holds it: "1" or "0"; read back checked when it is a non-zero
// integer.
QString flagText(bool checked);
bool checkedValue(const QString& text);

struct StoredSettings {
    QString codec;
    QString mode;
    QString bitrate;
    QString layer;
    bool deleteSource = false;
    bool showEncoder = false;
    QString encoderOutput;
    QString decoderOutput;
};

// The "ENCODER" and "DECODER" keys; a missing key gives an empty text or false. The Codec text
// is read as the program applies it (currentCodecText), the output directories likewise
// (storedOutputDirectory).
StoredSettings storedSettings(const SettingTexts& texts);
StoredSettings readStoredSettings(const QString& file);

} // namespace app
