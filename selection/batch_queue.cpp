#include "selection/batch_queue.h"

#include "platform/paths.h"
#include "selection/directory_list.h"
#include "selection/file_list.h"

#include <memory>

namespace selection {

void addSelectedFiles(const DirectoryList& directories, FileList& files, QListWidget& queue,
                      QStringList& fullname) {
    for (int row = 0; row < files.count(); ++row) {
        const QListWidgetItem* entry = files.item(row);
        if (!entry->isSelected())
            continue;
        appendToQueue(queue, fullname, directories.directory(), entry->text());
    }
    keepCurrentEntry(queue);
    files.reread();
}

void appendToQueue(QListWidget& queue, QStringList& fullname, const QString& directory,
                   const QString& name) {
    fullname.append(platform::joinPath(directory, name));
    queue.addItem(name);
}

namespace {

// Where an entry keeps the relative folder of the file it stands for.
constexpr int kRelativeFolderRole = Qt::UserRole;

} // namespace

void appendQueuedFile(QListWidget& queue, QStringList& fullname, const QueuedFile& file) {
    fullname.append(file.path);
    auto* entry = new QListWidgetItem(file.name, &queue);
    entry->setData(kRelativeFolderRole, file.relativeFolder);
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
        files.push_back({queue.item(row)->text(), fullname.value(row),
                         queue.item(row)->data(kRelativeFolderRole).toString()});
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
