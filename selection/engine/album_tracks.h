#pragma once

#include "selection/engine/queued_file.h"

#include <QStringList>

#include <vector>

namespace selection {

// What queuing one source for encoding brings: the tracks of the album a cue sheet makes of it
// (see cuesheet::findAlbum), each named "Album.flac [3] Title" after the file's own name, or
// else the file itself. A sheet that belongs to the file but does not fit it is refused: the
// file comes whole and `refusals` gets one line saying why.
std::vector<QueuedFile> albumTracks(const QueuedFile& file, QStringList& refusals);

} // namespace selection
