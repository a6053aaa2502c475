#pragma once

#include <QString>

// The Configure page's choices as the settings file holds them, as plain values: the window
// applies them to its boxes, the command line takes them as its defaults.
namespace app {

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

// Reads the eight "ENCODER" and "DECODER" keys; a missing key gives an empty text or false.
// The Codec text is read as the program applies it (currentCodecText), the output directories
// likewise (storedOutputDirectory).
StoredSettings readStoredSettings(const QString& file);

} // namespace app
