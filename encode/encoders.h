#pragma once

#include "encode/encoder_job.h"

#include <QString>
#include <QStringList>

#include <vector>

// The three encoder programs, each described once: where it lies, how its presence is tested,
// what the Configure page offers with it and how its command line is made. Everything else
// reads this table.
namespace encode {

enum class Encoder { House, BladeEnc, Plugger };

// The texts one file is encoded with, as the Configure page's boxes hold them.
struct EncodeOptions {
    QString mode;
    QString bitrate;
    QString layer;
    QString outputDirectory;
    bool showEncoder = false;
};

// What the Configure page offers once the encoder is chosen.
struct OptionSet {
    QStringList modes;
    QStringList bitrates;
    bool layerChoice = false;       // the Layer box is enabled and lists the layers
    bool showEncoderChoice = false; // "Show encoder while encoding" can be checked
};

struct EncoderDescription {
    Encoder id;
    int codecPosition;   // its entry in the Codec box
    QString commandWord; // its name on the command line
    QString program;     // the program run, below the program directory
    // Below the program directory; the encoder counts as installed when this file exists.
    QString presenceFile;
    // The program is a copy of the presence file, made before each run and removed after it.
    bool programCopiedForEachRun = false;
    // The encoder writes its file beside the input; the program moves it to the output path.
    bool writesBesideInput = false;
    OptionSet options;
    // Sets the pieces after the input (3 to 6) and the show value. `output` is the output path,
    // `kbps` the bitrate number.
    void (*fillPieces)(TEncoderJob& job, const EncodeOptions& options, const QString& output,
                       int kbps);
};

// The encoders in the order of the Codec box's entries.
const std::vector<EncoderDescription>& encoders();
const EncoderDescription& describe(Encoder encoder);
int codecPosition(Encoder encoder);

// "  32 Kbit/s", "128 Kbit/s": two-digit rates get two leading blanks.
QString bitrateText(int kbps);

} // namespace encode
