#pragma once

#include "encode/encode_driver.h"
#include "selection/batch_estimate.h"

#include <QElapsedTimer>

#include <vector>

class QWidget;

namespace widgets {
class Dialogs;
}

namespace encode {

// The encode batch's windows: the error box and, for each file, a modal progress window owned
// by `owner` and centred on the main window, that runs the job record's command line.
class EncodeProgressWindows final : public EncodeProgress {
public:
    // `seconds`: the audio seconds of each file, for the time left in the caption.
    EncodeProgressWindows(QWidget& mainWindow, QWidget* owner, widgets::Dialogs& dialogs,
                          std::vector<double> seconds = {})
        : mainWindow_(mainWindow), owner_(owner), dialogs_(dialogs), estimate_(std::move(seconds)) {
        clock_.start();
    }

    void showError(const QString& text) override;
    EncoderRun runJob(const QString& program, const QString& input, const QString& output,
                      int position, int count) override;

private:
    QWidget& mainWindow_;
    QWidget* owner_;
    widgets::Dialogs& dialogs_;
    selection::BatchEstimate estimate_;
    QElapsedTimer clock_;
};

} // namespace encode
