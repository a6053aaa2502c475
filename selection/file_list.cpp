#include "selection/file_list.h"

#include "platform/directory_listing.h"
#include "platform/paths.h"
#include "platform/working_directory.h"

#include <QKeyEvent>

namespace selection {

FileList::FileList(const QString& mask, QWidget* parent) : QListWidget(parent), mask_(mask) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setDirectory(platform::currentDirectory());
}

void FileList::setDirectory(const QString& directory) {
    directory_ = directory;
    reread();
}

void FileList::reread() {
    platform::setCurrentDirectory(directory_);
    clear();
    addItems(platform::filesMatching(directory_, mask_));
    keepCurrentEntry(*this);
}

QString FileList::fileName() const {
    const QListWidgetItem* current = currentItem();
    if (!current || !current->isSelected())
        return QString();
    return platform::joinPath(directory_, current->text());
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier) {
        emit upRequested();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void keepCurrentEntry(QListWidget& list) {
    if (list.count() > 0 && list.currentRow() < 0)
        list.setCurrentRow(0, QItemSelectionModel::NoUpdate);
}

} // namespace selection
