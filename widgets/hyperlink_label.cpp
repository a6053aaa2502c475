#include "widgets/hyperlink_label.h"

#include "widgets/dialogs.h"

#include <QMouseEvent>

namespace widgets {

HyperlinkLabel::HyperlinkLabel(const QString& caption, const QUrl& target,
                               widgets::Dialogs& dialogs, QWidget* parent)
    : QLabel(caption, parent), target_(target), dialogs_(dialogs) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(colours);
    setCursor(Qt::PointingHandCursor);
    setToolTip(target.toString());
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        dialogs_.openUrl(target_);
    QLabel::mouseReleaseEvent(event);
}

void DoubleClickLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QLabel::mouseDoubleClickEvent(event);
}

} // namespace widgets
