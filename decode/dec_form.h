#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>

class QLabel;
class QProgressBar;

namespace decode {

// The decoding progress window: which file goes to which WAV file, and how far it has got.
// It has no behaviour of its own and offers no way to close it.
class TDecForm : public QDialog {
    Q_OBJECT
public:
    explicit TDecForm(QWidget* owner = nullptr);

    QLabel* Label1 = nullptr;
    QLabel* decinfile = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* decoutfile = nullptr;
    QProgressBar* decprogress = nullptr;

    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
};

// Where the progress window goes over the main window: half the difference of the outer
// sizes, truncated toward zero.
QPoint centredOverMain(const QRect& mainOuter, const QSize& windowOuter);

} // namespace decode
