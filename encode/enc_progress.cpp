#include "encode/enc_progress.h"

#include "encode/enc_form.h"
#include "encode/look_ahead.h"
#include "widgets/dialogs.h"
#include "widgets/window_geometry.h"

#include <QLabel>

namespace encode {

void EncodeProgressWindows::showError(const QString& text) {
    widgets::showError(dialogs_, &mainWindow_, text);
}

EncoderRun EncodeProgressWindows::runJob(const QString& program, const QString& input,
                                         const QString& output, int position, int count) {
    // A file whose program the batch started before its turn and which has ended already
    // needs no window: its result is there.
    if (const FileTurn* turn = FileTurn::current(); turn && turn->runner.endedEarly(turn->index)) {
        EncoderRunControl control;
        return runJobRecord(program, owner_, control);
    }
    TEncForm progress(owner_);
    progress.setProgram(program);
    // The encoder tells no progress of its own: the speed comes from the files already done.
    estimate_.update(position - 1, 0, double(clock_.elapsed()) / 1000);
    progress.setWindowTitle(selection::batchCaption(QStringLiteral("Encoding"), position, count,
                                                    estimate_.secondsLeft()));
    progress.encinfile->setText(input);
    progress.encoutfile->setText(output);
    const QSize outer = widgets::outerSizeLike(mainWindow_, progress.size());
    widgets::placeWindow(progress, centredOver(mainWindow_.frameGeometry(), outer));
    widgets::makeTransientFor(progress, mainWindow_);
    progress.exec();
    return progress.outcome();
}

} // namespace encode
