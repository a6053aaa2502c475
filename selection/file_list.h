#pragma once

#include <QListWidget>

namespace selection {

// The files of one directory that match a mask, by name, several selectable at once. The
// current entry (the focus mark) is kept apart from the selection. Every reread makes the
// list's directory the working directory and empties the selection. Typing a name's first
// letters moves to it; Backspace asks for the parent directory (`upRequested`).
class FileList : public QListWidget {
    Q_OBJECT
public:
    FileList(const QString& mask, QWidget* parent = nullptr);

    const QString& mask() const { return mask_; }
    const QString& directory() const { return directory_; }
    // Takes the directory and rereads the entries.
    void setDirectory(const QString& directory);
    // Rereads the entries from disk.
    void reread();

    // The path of the current entry when it is also selected; empty otherwise.
    QString fileName() const;

signals:
    void upRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString mask_;
    QString directory_;
};

// Gives a list with entries a current entry, without selecting it.
void keepCurrentEntry(QListWidget& list);

} // namespace selection
