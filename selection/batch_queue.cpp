#include "selection/batch_queue.h"

#include "platform/paths.h"
#include "selection/directory_list.h"
#include "selection/engine/album_tracks.h"
#include "selection/engine/queue_paths.h"
#include "selection/file_list.h"

#include "widgets/dialogs.h"

#include <QTimer>

#include <memory>

namespace selection {

QStringList addSelectedFiles(const DirectoryList& directories, FileList& files, QListWidget& queue,
                             QStringList& fullname) {
    QStringList refusals;
    for (int row = 0; row < files.count(); ++row) {
        const QListWidgetItem* entry = files.item(row);
        if (!entry->isSelected())
            continue;
        if (files.mask() != kEncodeMask) {
            appendToQueue(queue, fullname, directories.directory(), entry->text());
            continue;
        }
        const QueuedFile file{entry->text(),
                              platform::joinPath(directories.directory(), entry->text())};
        for (const QueuedFile& queued : albumTracks(file, refusals))
            appendQueuedFile(queue, fullname, queued);
    }
    keepCurrentEntry(queue);
    files.reread();
    return refusals;
}

void showRefusedSheets(widgets::Dialogs& dialogs, QWidget* parent, const QStringList& refusals) {
    if (refusals.isEmpty())
        return;
    // After the drop or the click that brought them has ended.
    QTimer::singleShot(0, parent, [&dialogs, parent, refusals] {
        dialogs.message(parent, widgets::MessageIcon::Information,
                        QStringLiteral("Cue sheets refused"), refusals.join(u'\r'));
    });
}

void appendToQueue(QListWidget& queue, QStringList& fullname, const QString& directory,
                   const QString& name) {
    fullname.append(platform::joinPath(directory, name));
    queue.addItem(name);
}

namespace {

// Where an entry keeps the relative folder of the file it stands for, and the album track it
// is, if any.
constexpr int kRelativeFolderRole = Qt::UserRole;
constexpr int kTrackNumberRole = Qt::UserRole + 1;
constexpr int kTrackSheetRole = Qt::UserRole + 2;
constexpr int kTrackTitleRole = Qt::UserRole + 3;
constexpr int kTrackSecondsRole = Qt::UserRole + 4;

std::optional<QueuedTrack> trackOf(const QListWidgetItem& entry) {
    if (!entry.data(kTrackNumberRole).isValid())
        return std::nullopt;
    return QueuedTrack{.number = entry.data(kTrackNumberRole).toInt(),
                       .sheet = entry.data(kTrackSheetRole).toString(),
                       .title = entry.data(kTrackTitleRole).toString(),
                       .seconds = entry.data(kTrackSecondsRole).toDouble()};
}

} // namespace

void appendQueuedFile(QListWidget& queue, QStringList& fullname, const QueuedFile& file) {
    fullname.append(file.path);
    auto* entry = new QListWidgetItem(file.name, &queue);
    entry->setData(kRelativeFolderRole, file.relativeFolder);
    if (file.track) {
        entry->setData(kTrackNumberRole, file.track->number);
        entry->setData(kTrackSheetRole, file.track->sheet);
        entry->setData(kTrackTitleRole, file.track->title);
        entry->setData(kTrackSecondsRole, file.track->seconds);
    }
}

void removeSelectedEntries(QListWidget& queue, QStringList& fullname) {
    int row = 0;
    while (row < queue.count()) {
        if (queue.item(row)->isSelected()) {
            if (row < fullname.size())
                fullname.removeAt(row);
            std::unique_ptr<QListWidgetItem> removed(queue.takeItem(row));
        } else {
            ++row;
        }
    }
    keepCurrentEntry(queue);
}

std::vector<QueuedFile> queuedFiles(const QListWidget& queue, const QStringList& fullname) {
    std::vector<QueuedFile> files;
    files.reserve(std::size_t(queue.count()));
    for (int row = 0; row < queue.count(); ++row)
        files.push_back({.name = queue.item(row)->text(),
                         .path = fullname.value(row),
                         .relativeFolder = queue.item(row)->data(kRelativeFolderRole).toString(),
                         .track = trackOf(*queue.item(row))});
    return files;
}

void dropFirstEntries(QListWidget& queue, QStringList& fullname, int count) {
    for (int i = 0; i < count && queue.count() > 0; ++i) {
        std::unique_ptr<QListWidgetItem> done(queue.takeItem(0));
        if (!fullname.isEmpty())
            fullname.removeFirst();
    }
}

} // namespace selection
