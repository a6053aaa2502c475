#include "encode/encoder_process.h"

#include "encode/console_window.h"
#include "encode/look_ahead.h"
#include "encode/started_encoder.h"

#include <QPointer>

#include <memory>

namespace encode {

namespace {

// Owns the console window for the length of one run. The parent owns it too, so the pointer
// notices when the parent has gone first.
class ConsoleOwner {
public:
    ConsoleOwner() = default;
    ~ConsoleOwner() { delete window_.data(); }
    ConsoleOwner(const ConsoleOwner&) = delete;
    ConsoleOwner& operator=(const ConsoleOwner&) = delete;

    ConsoleWindow* get() const { return window_.data(); }
    void open(const QString& title, QWidget* parent) { window_ = new ConsoleWindow(title, parent); }

private:
    QPointer<ConsoleWindow> window_;
};

} // namespace

void EncoderRunControl::cancel() {
    if (!encoder_ || encoder_->ended())
        return;
    cancelRequested_ = true;
    encoder_->cancel();
}

int RunEncoder(const QString& program, const QString& commandLine, int show, QWidget* consoleParent,
               EncoderRunControl* control) {
    // Declared before the run, whose output goes to it.
    ConsoleOwner console;
    const bool merged = show == 1;
    // During a batch its runner may have started this very run already.
    std::unique_ptr<StartedEncoder> own;
    StartedEncoder* run = nullptr;
    if (LookAhead* batch = LookAhead::active()) {
        run = &batch->take(program, commandLine, merged);
    } else {
        own = std::make_unique<StartedEncoder>(program, commandLine,
                                               QProcessEnvironment::systemEnvironment(), merged);
        run = own.get();
    }
    if (!run->started())
        return -1;
    if (control) {
        control->encoder_ = run;
        control->cancelRequested_ = control->cancelled_ = false;
    }
    if (merged) {
        console.open(run->program(), consoleParent);
        console.get()->show();
        run->setOutputSink([&console](const QString& text) {
            if (ConsoleWindow* window = console.get())
                window->appendOutput(text);
        });
    }
    const int exitCode = run->wait();
    run->setOutputSink({});
    if (control) {
        control->lastLine_ = run->lastLine();
        // The signal may have reached an encoder that had exited already: its file is done.
        control->cancelled_ = control->cancelRequested_ && exitCode != 0;
    }
    return exitCode;
}

} // namespace encode
