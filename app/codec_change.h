#pragma once

#include <QStringList>

class QCheckBox;
class QComboBox;

namespace app {

// The Configure page's boxes that follow the chosen encoder.
struct OptionWidgets {
    QComboBox& Codec;
    QComboBox& Mode;
    QComboBox& Bitrate;
    QComboBox& Layer;
    QCheckBox& showenc;
};

// Refills Mode, Bitrate and Layer with what the encoder named in Codec accepts, and sets
// their texts; keeps the bitrate when the new list holds it. Nothing changes while the Codec
// text names no encoder.
void CodecChange(OptionWidgets& widgets);

// The texts of a combo box's entries.
QStringList entryTexts(const QComboBox& box);

// Empties the box, gives it the entries and then shows the text.
void refill(QComboBox& box, const QStringList& entries, const QString& text);

} // namespace app
