#include "encode/engine/encoder_process.h"

#include "encode/engine/look_ahead.h"
#include "encode/engine/started_encoder.h"

#include <memory>

namespace encode {

void EncoderRunControl::cancel() {
    if (!encoder_ || encoder_->ended())
        return;
    cancelRequested_ = true;
    encoder_->cancel();
}

int RunEncoderProcess(const QString& program, const QString& commandLine, EncoderOutputView* view,
                      EncoderRunControl* control) {
    const bool merged = view && view->takesErrorOutput();
    // During a batch its runner may have started this very run already.
    std::unique_ptr<StartedEncoder> own;
    StartedEncoder* run = nullptr;
    if (const FileTurn* turn = FileTurn::current()) {
        run = &turn->runner.take(turn->index, program, commandLine, merged);
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
    if (view) {
        view->started(run->program());
        run->setOutputSink([view](const QString& text) { view->append(text); });
    }
    const int exitCode = run->wait();
    run->setOutputSink({});
    if (control) {
        control->lastLine_ = run->lastLine();
        control->notes_ = run->notes();
        // The signal may have reached an encoder that had exited already: its file is done.
        control->cancelled_ = control->cancelRequested_ && exitCode != 0;
    }
    return exitCode;
}

} // namespace encode
