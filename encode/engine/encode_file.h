#pragma once

#include "encode/engine/command_lines.h"
#include "encode/engine/encode_driver.h"

#include <QString>

namespace encode {

// What one file's encoding needs besides the file and the option texts.
struct EncodeContext {
    QString programDir;      // ends in a separator
    QString outputDirectory; // the encoder output directory text
    QString output = {};     // the output path; empty: the input's name in outputDirectory
    bool showEncoder = false;
    int position = 1; // of the file in its batch, from 1
    int count = 1;
    // How the progress names the input: a track of an album by its number and title; empty
    // for a file.
    QString shownInput = {};
};

struct EncodeFileRun {
    EncoderRun run;
    QString output;
    bool moveFailed = false; // BladeEnc's file could not be moved to the output path
};

// Encodes one file: fills the job record for the encoder that `encoderPath` names, runs it
// behind the progress window, and moves BladeEnc's file into the output directory. Throws
// ConversionError when the bitrate has no number; nothing is run then. The parameters are
// those that the program's design fixes; in a batch, the file's run in the batch's runner is
// named by the FileTurn the driver makes around the call.
EncodeFileRun EncodeFile(EncodeProgress& progress, const EncodeContext& context,
                         const QString& encoderPath, const QString& input, const QString& mode,
                         const QString& bitrate, const QString& layer);

} // namespace encode
