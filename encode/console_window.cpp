#include "encode/console_window.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace encode {

namespace {

// Owns the console window for the length of one run. The parent owns it too, so the pointer
// notices when the parent has gone first.
class ConsoleOwner final : public EncoderOutputView {
public:
    explicit ConsoleOwner(QWidget* parent) : parent_(parent) {}
    ~ConsoleOwner() override { delete window_.data(); }
    ConsoleOwner(const ConsoleOwner&) = delete;
    ConsoleOwner& operator=(const ConsoleOwner&) = delete;

    void started(const QString& program) override {
        window_ = new ConsoleWindow(program, parent_);
        window_->show();
    }
    void append(const QString& text) override {
        if (ConsoleWindow* window = window_.data())
            window->appendOutput(text);
    }

private:
    QWidget* parent_;
    QPointer<ConsoleWindow> window_;
};

} // namespace

namespace {

// Enough lines to scroll back through an encoder's report without letting a chatty program
// grow the window's memory without bound.
constexpr int maximumLines = 10000;

} // namespace

ConsoleWindow::ConsoleWindow(const QString& title, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      view_(new QPlainTextEdit(this)) {
    setWindowTitle(title);
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setMaximumBlockCount(maximumLines);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    // The size of a classic text console: 80 columns, 25 lines.
    const QFontMetrics metrics(view_->font());
    resize(metrics.horizontalAdvance(QString(80, u'M')) +
               view_->verticalScrollBar()->sizeHint().width() + 2 * view_->frameWidth() + 8,
           metrics.lineSpacing() * 25 + 2 * view_->frameWidth() + 8);
}

void ConsoleWindow::appendOutput(const QString& text) {
    if (text.isEmpty())
        return;
    QTextCursor cursor(view_->document());
    cursor.movePosition(QTextCursor::End);
    QString run;
    const auto flush = [&] {
        if (!run.isEmpty()) {
            cursor.insertText(run);
            run.clear();
        }
    };
    for (const QChar c : text) {
        if (c == u'\r') {
            pendingReturn_ = true;
            continue;
        }
        if (pendingReturn_) {
            pendingReturn_ = false;
            if (c != u'\n') {
                flush();
                cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
                cursor.removeSelectedText();
            }
        }
        run.append(c);
    }
    flush();
    view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
}

QString ConsoleWindow::text() const {
    return view_->toPlainText();
}

void ConsoleWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
}

int RunEncoder(const QString& program, const QString& commandLine, int show, QWidget* consoleParent,
               EncoderRunControl* control) {
    if (show != 1)
        return RunEncoderProcess(program, commandLine, nullptr, control);
    ConsoleOwner console(consoleParent);
    return RunEncoderProcess(program, commandLine, &console, control);
}

} // namespace encode
