#pragma once

#include "encode/engine/encode_driver.h"
#include "encode/engine/encoder_process.h"

#include <QDialog>
#include <QPoint>
#include <QRect>

class QLabel;
class QTimer;

namespace widgets {
class FlatButton;
}

namespace encode {

// The encoding progress window (its timer and handlers as the program's design fixes them). Its
// first timer tick runs the job record's command line and waits until the encoder has ended,
// repainting meanwhile; then the window closes itself. It cannot be closed before that; its
// Cancel button, or Escape, ends the encoder.
class TEncForm : public QDialog {
    Q_OBJECT
public:
    explicit TEncForm(QWidget* owner = nullptr);

    void FormCreate();
    void Timer1Timer();

    // The encoder program that the job's command line starts.
    void setProgram(const QString& program) { program_ = program; }
    // How the encoder's run ended; exit code -1 when it did not start or has not run yet.
    const EncoderRun& outcome() const { return outcome_; }

    // Makes this the one window of a whole batch, shown from its first file to its end: it
    // runs no job of its own accord and cannot be closed. Cancel and Escape, whenever they come
    // (between two files too), are kept for the batch.
    void serveBatch();
    // Runs the job record's command line with the program now and returns when it has ended.
    EncoderRun runShown();
    bool batchCancelled() const { return batchCancelled_; }

    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* encinfile = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* encoutfile = nullptr;
    QTimer* Timer1 = nullptr;
    widgets::FlatButton* cancel = nullptr;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString program_;
    bool running_ = false;
    bool servesBatch_ = false;
    bool batchCancelled_ = false;
    EncoderRunControl control_;
    EncoderRun outcome_;
};

// Runs the job record's command line with `program` (see RunEncoder) and tells how it ended.
EncoderRun runJobRecord(const QString& program, QWidget* consoleParent, EncoderRunControl& control);

// Where the progress window goes over the main window: each half width and height truncated
// separately, outer sizes on both sides. The result may lie partly off the screen.
QPoint centredOver(const QRect& mainOuter, const QSize& windowOuter);

} // namespace encode
