#pragma once

#include "encode/engine/encoders.h"

#include <QString>

#include <optional>

// The command lines of the three encoder programs and the names of their output files.
namespace encode {

// Where each encoder's program lies below the program directory (which ends in a separator).
QString encoderProgramPath(Encoder encoder, const QString& programDir);

// The encoder whose program path this is, if any.
std::optional<Encoder> recogniseEncoder(const QString& encoderPath, const QString& programDir);

// The output directory text, unchanged, then the input's file name less its last three
// characters, then "mp3": /wav/song.wav with /mp3/ gives /mp3/song.mp3. Another source kind
// loses its whole extension instead: /in/song.flac gives /mp3/song.mp3.
QString OutputFileName(const QString& input, const QString& outputDirectory);

// True when the input's directory part (up to and including its last separator) is the output
// directory text.
bool InOutputDirectory(const QString& input, const QString& outputDirectory);

// Where BladeEnc writes its file: beside the input, the input path less its last three
// characters (less its extension for another source kind than WAV) followed by "MP3".
QString bladeEncOutput(const QString& input);

// Sets the job's pieces for one file. Pieces that the encoder's row leaves alone keep their
// value. Throws ConversionError before any piece changes when the bitrate has no number.
// `output`: the output path, when it is not the one OutputFileName gives (an album's track).
void fillJob(TEncoderJob& job, Encoder encoder, const QString& encoderPath, const QString& input,
             const EncodeOptions& options, const QString& output = {});

} // namespace encode
