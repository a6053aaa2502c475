#pragma once

#include <QByteArray>
#include <QString>

// A digest of the part of a source that holds its audio, so that a source whose tags alone
// changed is told from one whose audio changed without decoding either.
namespace mirror {

// FLAC: its STREAMINFO block and the frames after the metadata blocks; RIFF/WAVE and RF64: the
// fmt and data chunks; AIFF and AIFC: the COMM and SSND chunks; any other file (Ogg, whose
// pages carry the tags among the audio) whole. Empty when the file cannot be read.
QByteArray audioDigest(const QString& path);

} // namespace mirror
