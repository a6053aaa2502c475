#pragma once

#include "selection/engine/queued_file.h"

#include <QString>

// The names of the tracks that the encode batch cuts out of an album.
namespace encode {

// Where a queued file's MP3 goes in the output directory (its text, ending in a separator): a
// track of an album is "03 Title.mp3", any other file as OutputFileName names it.
QString queuedOutputName(const selection::QueuedFile& file, const QString& outputDirectory);

// How the progress and the results name a queued file: its path, a track's followed by its
// number and title, "/music/Album.flac [3] Title".
QString shownSource(const selection::QueuedFile& file);

} // namespace encode
