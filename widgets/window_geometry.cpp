#include "widgets/window_geometry.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace widgets {

namespace {

// Room for three title-bar buttons and the margins on both sides of the title, which some
// window managers centre, and the bold title font of the usual themes at 96 dpi.
constexpr int kTitleBarDecorations = 2 * 84;
constexpr int kTitlePixelSize = 14;

class ProgressWindowKeeper : public QObject {
public:
    ProgressWindowKeeper(QWidget& window, QWidget& cancel, int designWidth,
                         std::function<void(int)> layout)
        : QObject(&window), cancel_(cancel), designWidth_(designWidth), layout_(std::move(layout)) {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = qobject_cast<QWidget*>(watched);
        if (!window)
            return false;
        switch (event->type()) {
        case QEvent::WindowStateChange:
            if (window->isMinimized()) {
                // Restoring inside the state change would be undone by the rest of it.
                QTimer::singleShot(0, window, [window] {
                    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
                    window->show();
                    window->raise();
                    window->activateWindow();
                });
            }
            break;
        case QEvent::Show:
            cancel_.setFocus(Qt::OtherFocusReason);
            break;
        case QEvent::WindowTitleChange:
            layout_(widthForCaption(window->windowTitle(), designWidth_));
            break;
        default:
            break;
        }
        return false;
    }

private:
    QWidget& cancel_;
    int designWidth_;
    std::function<void(int)> layout_;
};

} // namespace

QSize outerSizeLike(const QWidget& reference, const QSize& client) {
    const QRect outer = reference.frameGeometry();
    const QRect inner = reference.geometry();
    return client + QSize(outer.width() - inner.width(), outer.height() - inner.height());
}

bool windowsCanBePlaced() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void placeWindow(QWidget& window, const QPoint& topLeft) {
    if (windowsCanBePlaced())
        window.move(topLeft);
}

int widthForCaption(const QString& caption, int designWidth) {
    QFont title = QGuiApplication::font();
    title.setPixelSize(kTitlePixelSize);
    title.setBold(true);
    const int needed = QFontMetrics(title).horizontalAdvance(caption) + kTitleBarDecorations;
    return std::max(designWidth, needed);
}

void keepProgressWindowUsable(QWidget& window, QWidget& cancel, int designWidth,
                              std::function<void(int width)> layout) {
    window.installEventFilter(
        new ProgressWindowKeeper(window, cancel, designWidth, std::move(layout)));
}

void makeTransientFor(QWidget& window, QWidget& mainWindow) {
    window.winId();
    mainWindow.winId();
    if (QWindow* handle = window.windowHandle())
        handle->setTransientParent(mainWindow.windowHandle());
}

} // namespace widgets
