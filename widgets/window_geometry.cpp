#include "widgets/window_geometry.h"

#include <QWidget>

namespace widgets {

QSize outerSizeLike(const QWidget& reference, const QSize& client) {
    const QRect outer = reference.frameGeometry();
    const QRect inner = reference.geometry();
    return client + QSize(outer.width() - inner.width(), outer.height() - inner.height());
}

} // namespace widgets
