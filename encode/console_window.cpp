#include "encode/console_window.h"

#include "widgets/window_geometry.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

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
        window_->placeOnScreen();
        window_->show();
        // Where the platform activates a window that asked not to be, the keyboard goes back.
        if (parent_ && parent_->isVisible())
            parent_->activateWindow();
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
    setObjectName(QStringLiteral("ConsoleWindow"));
    setWindowTitle(title);
    // The keyboard stays with the progress window and its Cancel.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    view_->setFocusPolicy(Qt::NoFocus);
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

void ConsoleWindow::keyPressEvent(QKeyEvent* event) {
    // Activated by a click all the same, the console hands its keys (Escape: Cancel) on.
    if (QWidget* owner = parentWidget(); owner && owner->isVisible())
        QCoreApplication::sendEvent(owner, event);
    else
        QWidget::keyPressEvent(event);
}

void ConsoleWindow::placeOnScreen() {
    QWidget* owner = parentWidget();
    const bool beside = owner && owner->isVisible();
    QScreen* screen = beside ? owner->screen() : this->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // Not shown yet, the window has no frame of its own: it gets one like its owner's.
    const QSize frame = beside ? widgets::outerSizeLike(*owner, size()) - size() : QSize(0, 0);
    const QSize client = size().boundedTo(available.size() - frame);
    resize(client);
    const QRect anchor = beside ? owner->frameGeometry() : QRect(available.center(), QSize(0, 0));
    widgets::placeWindow(*this, placeBeside(anchor, client + frame, available));
}

QPoint ConsoleWindow::placeBeside(const QRect& anchor, const QSize& outer, const QRect& available) {
    int y = anchor.bottom() + 1;
    if (y + outer.height() > available.bottom() + 1 &&
        anchor.top() - outer.height() >= available.top())
        y = anchor.top() - outer.height();
    const int x = anchor.center().x() - outer.width() / 2;
    return {std::clamp(x, available.left(),
                       std::max(available.left(), available.right() + 1 - outer.width())),
            std::clamp(y, available.top(),
                       std::max(available.top(), available.bottom() + 1 - outer.height()))};
}

int RunEncoder(const QString& program, const QString& commandLine, int show, QWidget* consoleParent,
               EncoderRunControl* control) {
    if (show != 1)
        return RunEncoderProcess(program, commandLine, nullptr, control);
    ConsoleOwner console(consoleParent);
    return RunEncoderProcess(program, commandLine, &console, control);
}

} // namespace encode
