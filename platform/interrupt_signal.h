#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// Turns SIGINT and SIGTERM into a Qt signal on the thread that owns this object. The signal
// handler only writes one byte to a pipe; a socket notifier reads it in the event loop, where
// anything may be done. One instance at a time; the previous handlers come back when it goes.
class InterruptSignal : public QObject {
    Q_OBJECT
public:
    explicit InterruptSignal(QObject* parent = nullptr);
    ~InterruptSignal() override;
    InterruptSignal(const InterruptSignal&) = delete;
    InterruptSignal& operator=(const InterruptSignal&) = delete;

    // An interrupt has come since the start.
    bool received() const { return received_; }

signals:
    void interrupted();

private:
    void readPipe();

    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    bool received_ = false;
};

} // namespace platform
