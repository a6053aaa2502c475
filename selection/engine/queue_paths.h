#pragma once

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

// In the order given: a file when its folder's file list would show it under the mask, and a
// folder's files that the mask matches (not those of its sub-folders), in the file list's name
// order. Paths that are neither are skipped. Each path is made absolute and clean first.
std::vector<QueuedFile> filesToQueue(const QStringList& paths, const QString& mask);

} // namespace selection
