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

// What queuing a .cue file brings: the tracks of each file its FILE lines name, in their order
// and named after those files. A FILE that is not there stands for the file of its stem among
// `sources` (the source files beside the sheet, by name), as for a sheet made for the WAV that
// was later packed as FLAC. A sheet that does not fit a file it names leaves that file whole,
// and one that cannot be read or names a file that is not there brings nothing; either way
// `refusals` gets one line saying why.
std::vector<QueuedFile> sheetTracks(const QString& sheetPath, const QStringList& sources,
                                    QStringList& refusals);

} // namespace selection
