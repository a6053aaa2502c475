#include "widgets/flat_button.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFrame>

namespace widgets {

FlatButton::FlatButton(const QString& caption, QWidget* parent) : QAbstractButton(parent) {
    setText(caption);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
}

QSize FlatButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text()) + 8, metrics.height() + 4);
}

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colours = palette();
    painter.fillRect(rect(), colours.button());

    const bool sunken = isDown() || isChecked();
    if (sunken || (hovered_ && isEnabled())) {
        const QRect frame = rect().adjusted(0, 0, -1, -1);
        painter.setPen(sunken ? colours.dark().color() : colours.light().color());
        painter.drawLine(frame.topLeft(), frame.topRight());
        painter.drawLine(frame.topLeft(), frame.bottomLeft());
        painter.setPen(sunken ? colours.light().color() : colours.dark().color());
        painter.drawLine(frame.bottomLeft(), frame.bottomRight());
        painter.drawLine(frame.topRight(), frame.bottomRight());
    }

    painter.setPen(isEnabled() ? colours.buttonText().color()
                               : colours.color(QPalette::Disabled, QPalette::ButtonText));
    const QRect textArea = sunken ? rect().translated(1, 1) : rect();
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextShowMnemonic, text());

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void FlatButton::keyPressEvent(QKeyEvent* event) {
    // Space is the button's own key; Return and Enter press it too, as on a push button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void FlatButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void FlatButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace widgets
