#pragma once

#include <QString>

namespace decode {

// The WAV file's name for an input path: the part after the last separator (the last character
// itself is not looked at) less its last three characters, then "WAV": /mp3/song.mp3 gives
// song.WAV, /mp3/clip.mpeg gives clip.mWAV.
QString WavFileName(const QString& input);

} // namespace decode
