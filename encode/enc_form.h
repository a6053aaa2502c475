#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>

class QLabel;
class QTimer;

namespace encode {

// The encoding progress window. Its first timer tick runs the job record's command line and
// waits until the encoder has ended, repainting meanwhile; then the window closes itself. It
// offers no way to close it before that.
class TEncForm : public QDialog {
    Q_OBJECT
public:
    explicit TEncForm(QWidget* owner = nullptr);

    void FormCreate();
    void Timer1Timer();

    // What the encoder's process ended with: its exit code, or -1 when it did not start or has
    // not run yet.
    int exitCode() const { return exitCode_; }

    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* encinfile = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* encoutfile = nullptr;
    QTimer* Timer1 = nullptr;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool running_ = false;
    int exitCode_ = -1;
};

// Where the progress window goes over the main window: each half width and height truncated
// separately, outer sizes on both sides. The result may lie partly off the screen.
QPoint centredOver(const QRect& mainOuter, const QSize& windowOuter);

} // namespace encode
