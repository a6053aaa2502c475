#include "app/stored_settings.h"

#include "app/option_sets.h"
#include "app/output_directory.h"
#include "platform/profile_file.h"

namespace app {

namespace {

// A check-box value is checked when it reads as a non-zero integer.
bool checkedValue(const QString& value) {
    bool isNumber = false;
    const long long number = value.toLongLong(&isNumber);
    return isNumber && number != 0;
}

} // namespace

StoredSettings readStoredSettings(const QString& file) {
    auto read = [&](const char* section, const char* key) {
        return platform::readProfileString(file, QString::fromLatin1(section),
                                           QString::fromLatin1(key), QString());
    };
    return {.codec = currentCodecText(read("ENCODER", "Codec")),
            .mode = read("ENCODER", "Mode"),
            .bitrate = read("ENCODER", "Bitrate"),
            .layer = read("ENCODER", "Layer"),
            .deleteSource = checkedValue(read("ENCODER", "Delsource")),
            .showEncoder = checkedValue(read("ENCODER", "ShowEnc")),
            .encoderOutput = storedOutputDirectory(read("ENCODER", "Output")),
            .decoderOutput = storedOutputDirectory(read("DECODER", "Output"))};
}

} // namespace app
