#pragma once

#include <QLabel>

namespace widgets {

// A sunken label that shows a path in the room it has: a path too long for it loses its middle
// to an ellipsis, and its tool tip shows it whole. text() is always the whole path.
class PathLabel : public QLabel {
    Q_OBJECT
public:
    explicit PathLabel(const QString& path, QWidget* parent = nullptr);

    // The text as drawn: the path, or its elided form when it does not fit.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};

} // namespace widgets
