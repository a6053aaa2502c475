#pragma once

#include "encode/engine/encoders.h"

#include <QString>
#include <QStringList>

#include <optional>

// The encoders the program offers and the option lists each of them accepts.
namespace app {

inline const QString kCodecPrompt = QStringLiteral("Choose your codec");
inline const QString kModePrompt = QStringLiteral("Output mode");
inline const QString kBitratePrompt = QStringLiteral("Output bitrate");
inline const QString kLayerPrompt = QStringLiteral("MPEG Layer");
inline const QString kNoCodecSelected = QStringLiteral("No codec selected");

// The Codec box's three entries: each encoder's name, three blanks and a credit.
QStringList codecEntries();

// A stored Codec text as the program applies it: an entry text of an earlier version becomes
// the same encoder's entry text now; any other text stays as it is.
QString currentCodecText(const QString& stored);

QStringList allModes();
QStringList allLayers();
QStringList initialBitrates();

// The encoder whose Codec entry text equals the Codec text exactly, if any.
const encode::EncoderDescription* recognisedCodec(const QString& codecText,
                                                  const QStringList& entries);

// The option texts the Configure page shows once an encoder is chosen: "Stereo", "Layer III",
// and the remembered bitrate when the encoder's list holds it, else the list's first entry.
struct ChosenOptions {
    QString mode;
    QString bitrate;
    QString layer;
};
ChosenOptions optionsOnChoice(const encode::EncoderDescription& encoder,
                              const QString& rememberedBitrate);

// True when some entry, blanks and control characters trimmed, equals the remembered text
// trimmed the same way.
bool BitrateInList(const QString& remembered, const QStringList& entries);

} // namespace app
