#include "widgets/path_label.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

namespace widgets {

PathLabel::PathLabel(const QString& path, QWidget* parent) : QLabel(path, parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setTextFormat(Qt::PlainText);
}

QString PathLabel::shownText() const {
    const int room = contentsRect().width() - 2 * margin() - 2;
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, std::max(0, room));
}

void PathLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().adjusted(margin() + 1, margin(), -margin() - 1, -margin());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shownText(),
                          foregroundRole());
}

bool PathLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // The whole path, however much of it is shown.
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
        return true;
    }
    return QLabel::event(event);
}

} // namespace widgets
