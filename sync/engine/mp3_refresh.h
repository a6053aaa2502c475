#pragma once

#include <QString>

#include <utility>
#include <vector>

// Brings an MP3 that a sync made up to date without coding its audio again: its tags from its
// source's, and an album's gain once one of its tracks changed.
namespace mirror {

// Writes the source's tags into the MP3 in place of its own, keeping its ReplayGain frames; the
// audio frames stay byte for byte. The file is replaced whole and durably. Throws
// std::runtime_error saying why.
void refreshTags(const QString& source, const QString& mp3);

// Measures the loudness of the album's sources (source, MP3) together, as the encoders measure
// each, and writes the album gain into each MP3. Throws std::runtime_error saying why.
void refreshAlbumGain(const std::vector<std::pair<QString, QString>>& tracks);

} // namespace mirror
