#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

class QListWidget;
class QUrl;

namespace platform {
class Dialogs;
}

namespace selection {

class FileList;

// What a drop of these URLs queues, as directory and name pairs, in drop order: a local file
// when its folder's file list would show it under the mask, and a local folder's files that the
// mask matches (not those of its sub-folders), in the file list's name order. Anything else is
// skipped.
QList<std::pair<QString, QString>> droppedFilesMatching(const QList<QUrl>& urls,
                                                        const QString& mask);

// Lets files dropped from a file manager onto the queue join it as ">>" adds them, matched under
// the file list's mask. When nothing dropped matches, an error box says `nothingMatches`. While
// the queue takes no input (a batch runs), drops are refused.
void acceptFileDrops(QListWidget& queue, const FileList& files, QStringList& fullname,
                     platform::Dialogs& dialogs, const QString& nothingMatches);

} // namespace selection
