#pragma once

#include <QObject>

#include <functional>

namespace decode {
class TDecForm;
}

namespace testsupport {

// Calls `started` with the decoding progress window each time a file of a decode batch has
// started: right after the player's start, when the window sets its bar to 0. Nothing else
// runs on this thread meanwhile, so the window shows that file, and its end is not yet taken.
class DecodeFileWatch : public QObject {
public:
    explicit DecodeFileWatch(std::function<void(decode::TDecForm&)> started);
    ~DecodeFileWatch() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(decode::TDecForm&)> started_;
};

} // namespace testsupport
