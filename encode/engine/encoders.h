#pragma once

#include "encode/engine/encoder_job.h"
#include "encode/engine/option_values.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The three encoder programs, each described once: its Codec entry, where it lies, how its
// presence is tested, which option values it offers with the switch its program gets for each,
// and how its command line is made. Everything else reads this table.
namespace encode {

enum class Encoder { House, BladeEnc, Plugger };

// One value an encoder offers, and the switch its program is given for it.
template <typename Value> struct Offer {
    Value value;
    QString switchText;
};

// The switch for a value when the encoder offers it.
template <typename Value>
std::optional<QString> switchFor(const std::vector<Offer<Value>>& offers,
                                 std::optional<Value> value) {
    for (const Offer<Value>& offer : offers) {
        if (value && offer.value == *value)
            return offer.switchText;
    }
    return std::nullopt;
}

struct EncoderDescription {
    Encoder id;
    QString codecEntry; // its entry in the Codec box: its name, three blanks and a credit
    // Codec texts that earlier versions stored for it.
    QStringList formerCodecEntries;
    QString commandWord; // its name on the command line
    QString program;     // the program run, below the program directory
    // Below the program directory; the encoder counts as installed when this file exists.
    QString presenceFile;
    // The program is a copy of the presence file, made before each run and removed after it.
    bool programCopiedForEachRun = false;
    // The encoder writes its file beside the input; the program moves it to the output path.
    bool writesBesideInput = false;
    std::vector<Offer<ChannelMode>> modes; // in the order of the Mode box's entries
    std::vector<Rate> rates;               // ascending, as the Bitrate box lists them
    // Listed after the rates: variable rates, best quality first.
    std::vector<Rate> variableRates;
    bool averageRates = false; // any average rate in range, typed or on the command line
    std::vector<Offer<MpegLayer>> layers;
    bool layerChoice = false;       // the Layer box is enabled and lists the layers
    bool showEncoderChoice = false; // "Show encoder while encoding" can be checked
    // Sets the pieces after the input (3 to 6) and the show value; `output` is the output path.
    void (*fillPieces)(TEncoderJob& job, const EncoderDescription& encoder,
                       const EncodeChoices& choices, const QString& output);

    bool offers(ChannelMode mode) const {
        return switchFor(modes, std::optional(mode)).has_value();
    }
    bool offers(MpegLayer layer) const {
        return switchFor(layers, std::optional(layer)).has_value();
    }
    bool offers(Rate rate) const;

    // The entries of the Configure page's boxes once this encoder is chosen.
    QStringList modeTexts() const;
    QStringList rateTexts() const;
    QStringList layerTexts() const; // empty without a layer choice
};

// The encoders in the order of the Codec box's entries.
const std::vector<EncoderDescription>& encoders();
const EncoderDescription& describe(Encoder encoder);
// Its entry's position in the Codec box.
int codecPosition(Encoder encoder);

} // namespace encode
