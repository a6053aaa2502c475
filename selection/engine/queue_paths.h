#pragma once

#include "platform/folder_tree.h"
#include "selection/engine/queued_file.h"
#include "tools/encoders/core/source_names.h"

#include <QString>
#include <QStringList>

#include <vector>

// Which files a list of paths queues: the rule that a drop onto a queue and the command line's
// FILE and FOLDER arguments share.
namespace selection {

// The file lists' masks: what each page offers to queue.
// The encode page takes every source kind the encoders read.
inline const QString kEncodeMask = QString::fromLatin1(encoders::kSourceMask);
inline const QString kDecodeMask = QStringLiteral("*.mp*");

struct PathsToQueue {
    std::vector<QueuedFile> files;
    std::vector<platform::UnreadableFolder> unreadable; // folders of the trees that were skipped
    QStringList refusedSheets; // cue sheets that did not fit their files, one line each
};

// In the order given: a file when its folder's file list would show it under the mask, and the
// files that the mask matches in a folder's whole tree (see platform::filesInTree), each named
// by its path below that folder and keeping it as its relative folder. Paths that are neither
// are skipped. Each path is made absolute and clean first. Under the encode mask, a file that
// a cue sheet cuts into an album brings its tracks instead (see albumTracks), and a .cue file
// the tracks of the files it names (see sheetTracks); a file that a sheet brings comes once, also
// when it is given itself.
PathsToQueue filesToQueue(const QStringList& paths, const QString& mask);

} // namespace selection
