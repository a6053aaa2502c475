#pragma once

#include "decode/decode_driver.h"

#include <memory>

class QWidget;

namespace decode {

class TDecForm;

// The decode batch's progress window over the main window, made for one press of Decode.
class DecodeProgressWindow final : public DecodeProgress {
public:
    explicit DecodeProgressWindow(QWidget& mainWindow);
    ~DecodeProgressWindow() override;

    void begin(const QString& name, const QString& output, int position, int count) override;
    void setLength(int length) override;
    void setPosition(int position) override;
    void end() override;
    bool cancelRequested() const override;

    TDecForm& form() { return *form_; }

private:
    QWidget& mainWindow_;
    std::unique_ptr<TDecForm> form_;
};

} // namespace decode
