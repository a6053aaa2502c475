#pragma once

#include <QSize>

class QWidget;

namespace widgets {

// The outer size (frame and title included) that a window of this client size gets, with the
// frame that the reference window has. A window that has not been shown yet has no frame of
// its own to measure.
QSize outerSizeLike(const QWidget& reference, const QSize& client);

} // namespace widgets
