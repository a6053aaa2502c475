#pragma once

#include <QLabel>
#include <QUrl>

namespace widgets {
class Dialogs;
}

namespace widgets {

// A label drawn as a link in the palette's link colour; a click, or Return or Space while it
// has the focus, hands its target to the desktop. Screen readers see it as a link that can be
// pressed.
class HyperlinkLabel : public QLabel {
    Q_OBJECT
public:
    HyperlinkLabel(const QString& caption, const QUrl& target, widgets::Dialogs& dialogs,
                   QWidget* parent = nullptr);

    // Hands the target to the desktop.
    void activate();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

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
