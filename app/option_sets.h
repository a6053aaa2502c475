#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The encoders the program offers and the option lists each of them accepts.
namespace app {

inline const QString kCodecPrompt = QStringLiteral("Choose your codec");
inline const QString kModePrompt = QStringLiteral("Output mode");
inline const QString kBitratePrompt = QStringLiteral("Output bitrate");
inline const QString kLayerPrompt = QStringLiteral("MPEG Layer");

// Positions of the encoders in the Codec box.
enum CodecPosition { kHouseEncoder = 0, kBladeEnc = 1, kPlugger = 2 };

// The Codec box's three entries: each encoder's name, three blanks and a credit.
QStringList codecEntries();

// A stored Codec text as the program applies it: an entry text of an earlier version becomes
// the same encoder's entry text now; any other text stays as it is.
QString currentCodecText(const QString& stored);

// "  32 Kbit/s", "128 Kbit/s": two-digit rates get two leading blanks.
QString bitrateText(int kbps);

QStringList allModes();
QStringList allLayers();
QStringList initialBitrates();

// What the Configure page offers once an encoder has been chosen.
struct OptionSet {
    QStringList modes;
    bool houseEncoder = false; // Layer box enabled with its entries; Show encoder disabled
    QStringList bitrates;
};

const OptionSet& optionSet(CodecPosition position);

// The position whose entry text equals the Codec text exactly, if any.
std::optional<CodecPosition> recognisedCodec(const QString& codecText, const QStringList& entries);

// True when some entry, blanks and control characters trimmed, equals the remembered text
// trimmed the same way.
bool BitrateInList(const QString& remembered, const QStringList& entries);

} // namespace app
