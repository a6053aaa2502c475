#pragma once

#include <QListWidget>
#include <QStringList>

namespace selection {

// The directory tree of one drive, shown as a classic directory list: the current directory's
// path from the drive's root down, then its sub-directories. A double-click or Enter opens an
// entry, Backspace goes up one directory, and typing a name's first letters moves to it. The
// list keeps the working directory at the directory it shows, and a new list starts
// at the working directory. `directoryChanged` follows every change, by the user or the program.
class DirectoryList : public QListWidget {
    Q_OBJECT
public:
    explicit DirectoryList(QWidget* parent = nullptr);

    // The current directory: a full path, ending in a separator only at the root.
    const QString& directory() const { return directory_; }
    // Moves to the directory; false (and nothing changes) when it can't be listed.
    bool setDirectory(const QString& directory);

    // The drive (mount point) that holds the current directory.
    QString drive() const;
    // Moves to a drive: to the working directory when that lies on the drive, else its root.
    void setDrive(const QString& drive);

    // Moves to the parent directory, as Backspace does; not above the drive's root. False when
    // nothing changed.
    bool goUp();

signals:
    void directoryChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openEntry(QListWidgetItem* item);
    void fill();

    QString directory_;
    QStringList drives_;
};

} // namespace selection
