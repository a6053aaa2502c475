#include "decode/dec_progress.h"

#include "decode/dec_form.h"
#include "widgets/window_geometry.h"

#include <QLabel>
#include <QProgressBar>

namespace decode {

DecodeProgressWindow::DecodeProgressWindow(QWidget& mainWindow, std::vector<double> seconds)
    : mainWindow_(mainWindow), form_(std::make_unique<TDecForm>()), estimate_(std::move(seconds)) {
    clock_.start();
    // Not a child of the main window: that is disabled while a file decodes, and a child window
    // would be disabled and greyed with it. It stays on top of the main window all the same.
    widgets::makeTransientFor(*form_, mainWindow_);
}

DecodeProgressWindow::~DecodeProgressWindow() {
    finish();
}

void DecodeProgressWindow::begin(const QString& name, const QString& output, int position,
                                 int count) {
    position_ = position;
    count_ = count;
    showCaption(0);
    widgets::placeWindow(*form_,
                         centredOverMain(mainWindow_.frameGeometry(),
                                         widgets::outerSizeLike(mainWindow_, form_->size())));
    if (form_->isHidden()) {
        form_->show();
        // The keyboard goes to it, so that Escape cancels from the start.
        form_->activateWindow();
    }
    mainWindow_.setEnabled(false);
    form_->decinfile->setText(name);
    form_->decoutfile->setText(output);
}

void DecodeProgressWindow::setLength(int length) {
    // Each file's bar starts empty, even where the last file's bar stood at 0 as well.
    form_->decprogress->reset();
    form_->decprogress->setRange(0, length);
    form_->decprogress->setValue(0);
}

void DecodeProgressWindow::setPosition(int position) {
    form_->decprogress->setValue(std::min(position, form_->decprogress->maximum()));
    const int length = form_->decprogress->maximum();
    showCaption(length > 0 ? double(form_->decprogress->value()) / length : 0);
}

void DecodeProgressWindow::showCaption(double fraction) {
    estimate_.update(position_ - 1, fraction, double(clock_.elapsed()) / 1000);
    form_->setWindowTitle(selection::batchCaption(QStringLiteral("Decoding"), position_, count_,
                                                  estimate_.secondsLeft()));
}

void DecodeProgressWindow::end() {
    // The window stays up until the batch ends: a Cancel or an Escape between two files is the
    // batch's too, and the main window takes no input meanwhile.
}

void DecodeProgressWindow::finish() {
    if (form_->isHidden())
        return;
    form_->hide();
    mainWindow_.setEnabled(true);
    mainWindow_.activateWindow();
    mainWindow_.setFocus();
}

bool DecodeProgressWindow::cancelRequested() const {
    return form_->cancelRequested();
}

} // namespace decode
