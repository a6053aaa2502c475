#pragma once

#include <QLabel>
#include <QUrl>

namespace widgets {
class Dialogs;
}

namespace widgets {

// A label drawn as a link; a click hands its target to the desktop.
class HyperlinkLabel : public QLabel {
    Q_OBJECT
public:
    HyperlinkLabel(const QString& caption, const QUrl& target, widgets::Dialogs& dialogs,
                   QWidget* parent = nullptr);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QUrl target_;
    widgets::Dialogs& dialogs_;
};

// A label that tells its owner when it is double-clicked.
class DoubleClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

} // namespace widgets
