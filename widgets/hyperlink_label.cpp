#include "widgets/hyperlink_label.h"

#include "widgets/dialogs.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace widgets {

namespace {

// What assistive technology sees of a link label: the role of a link, its caption as the name
// (unless an accessible name is set) and a press action that opens it.
class AccessibleLink : public QAccessibleWidget {
public:
    explicit AccessibleLink(HyperlinkLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text kind) const override {
        const auto* label = static_cast<const HyperlinkLabel*>(widget());
        if (kind == QAccessible::Name && label->accessibleName().isEmpty())
            return label->text();
        if (kind == QAccessible::Description && label->accessibleDescription().isEmpty())
            return label->toolTip();
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString& action) override {
        if (action == pressAction())
            static_cast<HyperlinkLabel*>(widget())->activate();
    }
};

QAccessibleInterface* linkFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(HyperlinkLabel::staticMetaObject.className()))
        if (auto* label = qobject_cast<HyperlinkLabel*>(object))
            return new AccessibleLink(label);
    return nullptr;
}

} // namespace

HyperlinkLabel::HyperlinkLabel(const QString& caption, const QUrl& target,
                               widgets::Dialogs& dialogs, QWidget* parent)
    : QLabel(caption, parent), target_(target), dialogs_(dialogs) {
    static const bool factoryInstalled = (QAccessible::installFactory(linkFactory), true);
    (void)factoryInstalled;
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    // The colour comes from the palette, so that the link stays readable on a dark desktop.
    setForegroundRole(QPalette::Link);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setToolTip(target.toString());
}

void HyperlinkLabel::activate() {
    dialogs_.openUrl(target_);
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        activate();
    QLabel::mouseReleaseEvent(event);
}

void HyperlinkLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        activate();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void HyperlinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void DoubleClickLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QLabel::mouseDoubleClickEvent(event);
}

} // namespace widgets
