#pragma once

#include "selection/engine/queued_file.h"

#include <QStringList>

#include <vector>

class QListWidget;
class QWidget;

namespace widgets {
class Dialogs;
}

namespace selection {

class DirectoryList;
class FileList;

// Appends the file list's selected entries, top to bottom, to the queue (bare names) and to
// `fullname` (full paths, at the same positions), then rereads the file list, which empties its
// selection. Nothing is tested: duplicates and vanished files are queued alike. A source for
// encoding that a cue sheet cuts into an album brings its tracks (see albumTracks); returns the
// lines of the sheets refused.
QStringList addSelectedFiles(const DirectoryList& directories, FileList& files, QListWidget& queue,
                             QStringList& fullname);

// One box that names the cue sheets refused while files were queued, shown once the event that
// queued them has ended; nothing when there are none.
void showRefusedSheets(widgets::Dialogs& dialogs, QWidget* parent, const QStringList& refusals);

// Appends one file to the queue (its bare name) and to `fullname` (its full path, directory and
// name joined as ">>" joins them).
void appendToQueue(QListWidget& queue, QStringList& fullname, const QString& directory,
                   const QString& name);

// Appends a file that a drop brought: the queue shows its name (its path below a dropped
// folder), `fullname` gets its path, and the entry keeps its relative folder for the batch.
void appendQueuedFile(QListWidget& queue, QStringList& fullname, const QueuedFile& file);

// Takes the selected entries out of the queue and the same positions out of `fullname`; the
// entries that stay keep their order.
void removeSelectedEntries(QListWidget& queue, QStringList& fullname);

// The queue's entries with their full paths and relative folders, top to bottom.
std::vector<QueuedFile> queuedFiles(const QListWidget& queue, const QStringList& fullname);

// Takes the first `count` entries out of the queue and out of `fullname`.
void dropFirstEntries(QListWidget& queue, QStringList& fullname, int count);

} // namespace selection
