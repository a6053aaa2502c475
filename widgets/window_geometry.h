#pragma once

#include <QPoint>
#include <QSize>

#include <functional>

class QString;
class QWidget;

namespace widgets {

// The outer size (frame and title included) that a window of this client size gets, with the
// frame that the reference window has. A window that has not been shown yet has no frame of
// its own to measure.
QSize outerSizeLike(const QWidget& reference, const QSize& client);

// False where the compositor alone places windows (Wayland): a position set there is ignored.
bool windowsCanBePlaced();

// Moves a top-level window where the platform lets the program place windows; elsewhere the
// compositor's placement stays.
void placeWindow(QWidget& window, const QPoint& topLeft);

// The client width a window needs so that a window manager's title bar shows `caption` whole
// at 96 dpi (a bold 14-pixel font, centred, with three buttons on one side), and never less
// than `designWidth`.
int widthForCaption(const QString& caption, int designWidth);

// Keeps a progress window usable:
// - a window manager that offers to minimise it anyway gets it restored at once, since a
//   minimised progress window would hide its Cancel button while the window it blocks stays
//   blocked;
// - the focus goes to `cancel` whenever the window shows;
// - its width follows its caption: on every new caption, `layout` gets the width that the
//   caption needs (widthForCaption) and sizes the window and places its widgets for it.
void keepProgressWindowUsable(QWidget& window, QWidget& cancel, int designWidth,
                              std::function<void(int width)> layout);

// Makes a top-level window transient for the main window, so that it stays above it, also when
// it is not the main window's child.
void makeTransientFor(QWidget& window, QWidget& mainWindow);

} // namespace widgets
