#pragma once

#include <QAbstractButton>

namespace widgets {

// The flat push button used for every button of the program's windows: no frame until the
// mouse is over it, a thin raised frame while it is, a sunken one while pressed. It carries an
// integer tag for small per-button state. Space, Return and Enter press it while it has the focus.
class FlatButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FlatButton(const QString& caption, QWidget* parent = nullptr);

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int tag_ = 0;
    bool hovered_ = false;
};

} // namespace widgets
