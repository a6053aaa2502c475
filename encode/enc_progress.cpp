#include "encode/enc_progress.h"

#include "encode/enc_form.h"
#include "encode/engine/look_ahead.h"
#include "widgets/dialogs.h"
#include "widgets/window_geometry.h"

#include <QCoreApplication>
#include <QLabel>

namespace encode {

EncodeProgressWindows::EncodeProgressWindows(QWidget& mainWindow, QWidget* owner,
                                             widgets::Dialogs& dialogs, std::vector<double> seconds)
    : mainWindow_(mainWindow), owner_(owner), dialogs_(dialogs), estimate_(std::move(seconds)) {
    clock_.start();
}

EncodeProgressWindows::~EncodeProgressWindows() = default;

void EncodeProgressWindows::showError(const QString& text) {
    widgets::showError(dialogs_, &mainWindow_, text);
}

TEncForm& EncodeProgressWindows::window() {
    if (!window_) {
        window_ = std::make_unique<TEncForm>(owner_);
        window_->serveBatch();
        const QSize outer = widgets::outerSizeLike(mainWindow_, window_->size());
        widgets::placeWindow(*window_, centredOver(mainWindow_.frameGeometry(), outer));
        widgets::makeTransientFor(*window_, mainWindow_);
        window_->show();
        // The keyboard goes to it, so that Escape cancels from the start.
        window_->activateWindow();
    }
    return *window_;
}

void EncodeProgressWindows::finish() {
    window_.reset();
}

EncoderRun EncodeProgressWindows::runJob(const QString& program, const QString& input,
                                         const QString& output, int position, int count) {
    TEncForm& progress = window();
    progress.setProgram(program);
    // The encoder tells no progress of its own: the speed comes from the files already done.
    estimate_.update(position - 1, 0, double(clock_.elapsed()) / 1000);
    progress.setWindowTitle(selection::batchCaption(QStringLiteral("Encoding"), position, count,
                                                    estimate_.secondsLeft()));
    progress.encinfile->setText(input);
    progress.encoutfile->setText(output);
    // A press that came while the batch checked the file before reaches the window now.
    QCoreApplication::processEvents();
    EncoderRun run;
    if (progress.batchCancelled()) {
        // Not started: the file stays as it was.
        run.cancelled = run.cancelRequested = true;
        return run;
    }
    // A file whose program the batch started before its turn and which has ended already
    // needs no wait: its result is there.
    if (const FileTurn* turn = FileTurn::current(); turn && turn->runner.endedEarly(turn->index)) {
        EncoderRunControl control;
        run = runJobRecord(program, owner_, control);
    } else {
        run = progress.runShown();
    }
    run.cancelRequested = run.cancelRequested || progress.batchCancelled();
    return run;
}

} // namespace encode
