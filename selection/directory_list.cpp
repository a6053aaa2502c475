#include "selection/directory_list.h"

#include "platform/directory_listing.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/volumes.h"
#include "platform/working_directory.h"

#include <QKeyEvent>
#include <QStyledItemDelegate>

namespace selection {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
// Each level is indented by the width of this many blanks.
constexpr int kIndentStep = 2;

// Draws each entry indented by its depth. The indent is not part of the entry's text, so typing
// a name's first letters finds it.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented = option;
        indented.rect.setLeft(option.rect.left() + indent(option, index));
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(option, index), 0);
    }

private:
    static int indent(const QStyleOptionViewItem& option, const QModelIndex& index) {
        return index.data(kDepthRole).toInt() *
               option.fontMetrics.horizontalAdvance(QString(kIndentStep, QLatin1Char(' ')));
    }
};

QString normalised(QString directory) {
    while (directory.size() > 1 && directory.endsWith(platform::separator()))
        directory.chop(1);
    return directory;
}

QListWidgetItem* addEntry(QListWidget& list, const QString& caption, const QString& path,
                          int depth) {
    list.addItem(caption);
    QListWidgetItem* item = list.item(list.count() - 1);
    item->setData(kPathRole, path);
    item->setData(kDepthRole, depth);
    return item;
}

} // namespace

DirectoryList::DirectoryList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new IndentDelegate(this));
    drives_ = platform::mountedVolumes();
    directory_ = normalised(platform::currentDirectory());
    fill();
    connect(this, &QListWidget::itemActivated, this, &DirectoryList::openEntry);
}

bool DirectoryList::setDirectory(const QString& directory) {
    const QString target = normalised(directory);
    if (target.isEmpty() || !target.startsWith(platform::separator()) ||
        !platform::isReadableDirectory(target))
        return false;
    if (target == directory_)
        return true;
    directory_ = target;
    platform::setCurrentDirectory(directory_);
    fill();
    emit directoryChanged();
    return true;
}

QString DirectoryList::drive() const {
    return platform::volumeOf(directory_, drives_);
}

void DirectoryList::setDrive(const QString& drive) {
    if (drive == this->drive())
        return;
    const QString working = platform::currentDirectory();
    if (platform::volumeOf(working, drives_) == drive && setDirectory(working))
        return;
    setDirectory(drive);
}

bool DirectoryList::goUp() {
    const QString root = drive();
    if (directory_ == root)
        return false;
    const qsizetype cut = directory_.lastIndexOf(platform::separator());
    return setDirectory(cut <= root.size() ? root : directory_.left(cut));
}

void DirectoryList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        openEntry(currentItem());
        return;
    }
    if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier) {
        goUp();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirectoryList::openEntry(QListWidgetItem* item) {
    if (item)
        setDirectory(item->data(kPathRole).toString());
}

void DirectoryList::fill() {
    clear();
    const QString root = drive();
    int depth = 0;
    addEntry(*this, root, root, depth);
    QString path = root;
    const QString below = directory_.mid(root.size());
    for (const QString& part : below.split(platform::separator(), Qt::SkipEmptyParts)) {
        path = platform::joinPath(path, part);
        addEntry(*this, part, path, ++depth);
    }
    QListWidgetItem* current = item(count() - 1);
    for (const QString& name : platform::subdirectories(directory_))
        addEntry(*this, name, platform::joinPath(directory_, name), depth + 1);
    setCurrentItem(current);
    scrollToItem(current);
}

} // namespace selection
