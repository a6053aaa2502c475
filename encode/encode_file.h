#pragma once

#include "encode/command_lines.h"

#include <QString>

class QWidget;

namespace encode {

// What one file's encoding needs from the main window.
struct EncodeContext {
    QWidget* mainWindow = nullptr; // the progress window is centred on it
    QString programDir;            // ends in a separator
    QString outputDirectory;       // the encoder output directory text
    bool showEncoder = false;      // "Show encoder while encoding"
};

// Encodes one file: fills the job record for the encoder that `encoderPath` names, runs it
// behind a modal progress window owned by `owner`, and moves BladeEnc's file into the output
// directory. Returns true when this run produced the output: the encoder ended with exit code
// 0 and the output file lies at its output path, written during this run. Throws
// ConversionError when the bitrate has no number; nothing is run then.
bool EncodeFile(QWidget* owner, const EncodeContext& context, const QString& encoderPath,
                const QString& input, const QString& mode, const QString& bitrate,
                const QString& layer);

} // namespace encode
