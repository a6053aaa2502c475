#pragma once

#include "decode/engine/decode_driver.h"
#include "selection/engine/batch_estimate.h"

#include <QElapsedTimer>

#include <memory>
#include <vector>

class QWidget;

namespace decode {

class TDecForm;

// The decode batch's progress window over the main window, made for one press of Decode and
// shown from its first file to its end.
class DecodeProgressWindow final : public DecodeProgress {
public:
    // `seconds`: the audio seconds of each file, for the time left in the caption.
    explicit DecodeProgressWindow(QWidget& mainWindow, std::vector<double> seconds = {});
    ~DecodeProgressWindow() override;

    void begin(const QString& name, const QString& output, int position, int count) override;
    void setLength(int length) override;
    void setPosition(int position) override;
    void end() override;
    bool cancelRequested() const override;
    // The batch has ended: the window goes and the main window takes input again.
    void finish();

    TDecForm& form() { return *form_; }

private:
    QWidget& mainWindow_;
    std::unique_ptr<TDecForm> form_;
    selection::BatchEstimate estimate_;
    QElapsedTimer clock_;
    int position_ = 0;
    int count_ = 0;

    void showCaption(double fraction);
};

} // namespace decode
