#pragma once

#include "encode/engine/encode_driver.h"
#include "selection/engine/batch_estimate.h"

#include <QElapsedTimer>

#include <memory>
#include <vector>

class QWidget;

namespace widgets {
class Dialogs;
}

namespace encode {

class TEncForm;

// The encode batch's windows: the error box and one modal progress window owned by `owner`,
// centred on the main window, shown from the first file to the end of the batch. Each file's
// job record runs behind it. Being there all along, it takes a Cancel or an Escape at any moment
// of the batch, also while the batch checks a finished file or takes a result that a program
// started early has left: the batch ends before the next file.
class EncodeProgressWindows final : public EncodeProgress {
public:
    // `seconds`: the audio seconds of each file, for the time left in the caption.
    EncodeProgressWindows(QWidget& mainWindow, QWidget* owner, widgets::Dialogs& dialogs,
                          std::vector<double> seconds = {});
    ~EncodeProgressWindows() override;

    void showError(const QString& text) override;
    EncoderRun runJob(const QString& program, const QString& input, const QString& output,
                      int position, int count) override;
    // The batch has ended: the progress window goes.
    void finish();

private:
    TEncForm& window();

    QWidget& mainWindow_;
    QWidget* owner_;
    widgets::Dialogs& dialogs_;
    selection::BatchEstimate estimate_;
    QElapsedTimer clock_;
    std::unique_ptr<TEncForm> window_;
};

} // namespace encode
