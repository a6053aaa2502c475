#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>

class QLabel;
class QProgressBar;

namespace widgets {
class FlatButton;
}

namespace decode {

// The decoding progress window: which file goes to which WAV file, and how far it has got.
// It cannot be closed; its Cancel button, or Escape, asks the batch to stop.
class TDecForm : public QDialog {
    Q_OBJECT
public:
    explicit TDecForm(QWidget* owner = nullptr);

    QLabel* Label1 = nullptr;
    QLabel* decinfile = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* decoutfile = nullptr;
    QProgressBar* decprogress = nullptr;
    widgets::FlatButton* cancel = nullptr;

    bool cancelRequested() const { return cancelRequested_; }
    void reject() override; // Escape counts as Cancel

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool cancelRequested_ = false;
};

// Where the progress window goes over the main window: half the difference of the outer
// sizes, truncated toward zero.
QPoint centredOverMain(const QRect& mainOuter, const QSize& windowOuter);

} // namespace decode
