#pragma once

#include <QString>

#include <optional>

namespace selection {

// One track of an album that a cue sheet cuts its file into.
struct QueuedTrack {
    int number = 0;
    QString sheet;      // the .cue file, or the audio file for the sheet it embeds
    QString title;      // the sheet's, or "Track 03"
    double seconds = 0; // the track's length
};

// A queued file: the name the queue shows and its full path. A file that a folder brought keeps
// its place below that folder: its output goes as far below the output folder.
struct QueuedFile {
    QString name;
    QString path;
    QString relativeFolder = {}; // "Artist/Album"; "" for a file of the folder itself or alone
    // Its output's path below the output folder, extension and all ("Artist/Album/03 x.mp3"):
    // a name made from its tags, which then stands for relativeFolder and its own name; "" none.
    QString outputName = {};
    std::optional<QueuedTrack> track = {}; // nothing: the whole file
};

// What became of one queued file in a batch. The reason beside it says why for every outcome
// but Done.
enum class FileOutcome {
    Done,      // its output is written and holds its audio
    Failed,    // it ran and did not give a whole output
    NotRun,    // the batch did not start it
    Cancelled, // the user stopped it
};

} // namespace selection
