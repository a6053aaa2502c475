#include "selection/queue_drop.h"

#include "platform/paths.h"
#include "selection/batch_queue.h"
#include "selection/engine/queue_paths.h"
#include "selection/file_list.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace selection {

namespace {

// What a drop of these URLs queues: the local files and folders among them, as the queue takes
// paths.
PathsToQueue droppedFilesMatching(const QList<QUrl>& urls, const QString& mask) {
    QStringList paths;
    for (const QUrl& url : urls) {
        // The path's bytes as the URL spells them: toLocalFile() turns a name that is not
        // UTF-8 into replacement characters.
        if (url.isLocalFile())
            paths.append(platform::textFromBytes(
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())));
    }
    return filesToQueue(paths, mask);
}

// One line for each folder of a dropped tree that could not be read.
QString skippedFolders(const std::vector<platform::UnreadableFolder>& folders) {
    QStringList lines;
    for (const auto& folder : folders)
        lines.append(
            QStringLiteral("The folder %1 is skipped: %2").arg(folder.path, folder.reason));
    return lines.join(u'\r');
}

bool offersLocalFiles(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

// The drop's files are copied into the queue, never moved: a file manager that is told "move"
// deletes its originals.
bool takeAsCopy(QDropEvent& event) {
    if (!(event.possibleActions() & Qt::CopyAction))
        return false;
    event.setDropAction(Qt::CopyAction);
    event.accept();
    return true;
}

class QueueDrop : public QObject {
public:
    QueueDrop(QListWidget& queue, const FileList& files, QStringList& fullname,
              widgets::Dialogs& dialogs, const QString& nothingMatches)
        : QObject(&queue), queue_(queue), files_(files), fullname_(fullname), dialogs_(dialogs),
          nothingMatches_(nothingMatches) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto& drag = static_cast<QDropEvent&>(*event);
            if (!(takesInput() && offersLocalFiles(drag.mimeData()) && takeAsCopy(drag)))
                drag.ignore();
            return true;
        }
        case QEvent::Drop:
            drop(static_cast<QDropEvent&>(*event));
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    bool takesInput() const { return queue_.isEnabled() && !QApplication::activeModalWidget(); }

    void drop(QDropEvent& event) {
        if (!takesInput() || !offersLocalFiles(event.mimeData()) ||
            !(event.possibleActions() & Qt::CopyAction)) {
            event.ignore();
            return;
        }
        const auto found = droppedFilesMatching(event.mimeData()->urls(), files_.mask());
        const QString skipped = skippedFolders(found.unreadable);
        if (found.files.empty()) {
            event.ignore();
            // The box waits until the drop has ended: the file manager must not wait for it.
            QTimer::singleShot(0, this, [this, skipped] {
                widgets::showError(dialogs_, queue_.window(),
                                   skipped.isEmpty() ? nothingMatches_
                                                     : nothingMatches_ + "\r\r" + skipped);
            });
            return;
        }
        takeAsCopy(event);
        for (const QueuedFile& file : found.files)
            appendQueuedFile(queue_, fullname_, file);
        keepCurrentEntry(queue_);
        if (!skipped.isEmpty()) {
            QTimer::singleShot(0, this, [this, skipped] {
                dialogs_.message(queue_.window(), widgets::MessageIcon::Information,
                                 QStringLiteral("Folders skipped"), skipped);
            });
        }
        if (!found.refusedSheets.isEmpty())
            showRefusedSheets(dialogs_, queue_.window(), found.refusedSheets);
    }

    QListWidget& queue_;
    const FileList& files_;
    QStringList& fullname_;
    widgets::Dialogs& dialogs_;
    QString nothingMatches_;
};

} // namespace

void acceptFileDrops(QListWidget& queue, const FileList& files, QStringList& fullname,
                     widgets::Dialogs& dialogs, const QString& nothingMatches) {
    queue.viewport()->setAcceptDrops(true);
    queue.viewport()->installEventFilter(
        new QueueDrop(queue, files, fullname, dialogs, nothingMatches));
}

} // namespace selection
