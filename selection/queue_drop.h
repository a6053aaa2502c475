#pragma once

#include <QString>
#include <QStringList>

class QListWidget;

namespace widgets {
class Dialogs;
}

namespace selection {

class FileList;

// Lets files dropped from a file manager onto the queue join it as ">>" adds them, matched under
// the file list's mask; a dropped folder brings its whole tree (see filesToQueue), each file
// shown by its path below that folder. When nothing dropped matches, an error box says
// `nothingMatches`; folders of a tree that could not be read are named in one box after the
// drop. While the queue takes no input (a batch runs), drops are refused.
void acceptFileDrops(QListWidget& queue, const FileList& files, QStringList& fullname,
                     widgets::Dialogs& dialogs, const QString& nothingMatches);

} // namespace selection
