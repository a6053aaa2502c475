#pragma once

#include "encode/engine/encoder_process.h"

#include <QString>
#include <QWidget>

class QPlainTextEdit;

namespace encode {

// The window that shows a started program's console output while it runs. It cannot be closed
// by the user, and goes away by itself when the program has ended. It never takes the keyboard
// from the progress window it belongs to (its parent), so Escape still cancels there; a key
// pressed in it all the same goes on to that window.
class ConsoleWindow : public QWidget {
    Q_OBJECT

public:
    ConsoleWindow(const QString& title, QWidget* parent);

    // Appends output as a terminal shows it: a carriage return that is not followed by a line
    // feed brings the next text back to the start of the line, so progress lines overwrite
    // themselves instead of piling up.
    void appendOutput(const QString& text);

    // The text the window shows.
    QString text() const;

    // Sizes and moves the window, before it shows, beside its owner and inside the owner's
    // screen's available area.
    void placeOnScreen();
    // Where the window goes beside `anchor`'s outer rectangle: below it, or above it where the
    // room below is too small, and always inside `available`; `outer` is the window's outer
    // size, no larger than `available`.
    static QPoint placeBeside(const QRect& anchor, const QSize& outer, const QRect& available);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPlainTextEdit* view_;
    // A carriage return ended the last piece of output; the next character decides what it means.
    bool pendingReturn_ = false;
};

// Runs the encoder as RunEncoderProcess does. show == 1: a console window, a top-level window
// owned by consoleParent, shows the process's output as it comes, and goes away when the process
// has ended. Any other value: no window, and the output is discarded. Keeping input away from
// other windows is the job of the caller's modal window.
int RunEncoder(const QString& program, const QString& commandLine, int show, QWidget* consoleParent,
               EncoderRunControl* control = nullptr);

} // namespace encode
