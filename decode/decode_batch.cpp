#include "decode/decode_batch.h"

#include "decode/dec_form.h"
#include "decode/wav_file_name.h"
#include "mpegplay/mpeg_player.h"
#include "widgets/flat_button.h"
#include "widgets/window_geometry.h"

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>
#include <QWindow>

#include <memory>

namespace decode {

namespace {

constexpr int kPollInterval = 400;
constexpr int kPlayingMode = 3;
constexpr std::uint8_t kIncorrectMode = 2;

} // namespace

DecodeBatch::DecodeBatch(DecodeBatchWidgets widgets) : w_(widgets) {}

DecodeBatch::~DecodeBatch() = default;

void DecodeBatch::decstartClick() {
    // Not a child of the main window: that is disabled while a file decodes, and a child window
    // would be disabled and greyed with it. It stays on top of the main window all the same.
    DecForm_ = std::make_unique<TDecForm>();
    DecForm_->winId();
    if (QWindow* handle = DecForm_->windowHandle())
        handle->setTransientParent(w_.mainWindow.windowHandle());
    const int count = w_.decodelist.count();
    int index = 0;
    try {
        if (count > 0) {
            stopRunningPreview();
            while (index < count && decodeEntry(index))
                ++index;
        }
    } catch (...) {
        // A file that could not be started ends the batch: the window comes back, and the
        // failed entry and those after it stay queued for another try.
        endFile();
        dropFirstEntries(index);
        DecForm_.reset();
        throw;
    }
    if (index < count) {
        // The player failed while a file was decoding; the tick has reported it.
        dropFirstEntries(index);
    } else if (count > 0) {
        w_.decodelist.clear();
        w_.fullname.clear();
        w_.mpgtimer.stop();
    }
    DecForm_.reset();
}

bool DecodeBatch::decodeEntry(int index) {
    w_.mpgtimer.start(kPollInterval);
    w_.decod.setOutputDevice(TOutputDevice::pcmfile);
    DecForm_->move(centredOverMain(w_.mainWindow.frameGeometry(),
                                   widgets::outerSizeLike(w_.mainWindow, DecForm_->size())));
    DecForm_->show();
    w_.mainWindow.setEnabled(false);
    DecForm_->decinfile->setText(w_.decodelist.item(index)->text());
    DecForm_->decoutfile->setText(outputPath(index));
    QCoreApplication::processEvents();

    DecodeActive_ = true;
    tickFailed_ = false;
    w_.decod.setStreamName(w_.fullname.value(index));
    w_.decod.setOutFilename(outputPath(index));
    w_.decod.Play();
    DecForm_->decprogress->setRange(0, std::max(0, w_.decod.StreamLength()));
    DecForm_->decprogress->setValue(0);

    // The library decodes on its own thread; the timer's tick hides the window at the end.
    // Waiting for the next event keeps this thread idle meanwhile.
    while (DecForm_->isVisible())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    DecodeActive_ = false;
    return !tickFailed_;
}

QString DecodeBatch::outputPath(int index) const {
    return w_.decout.text() + WavFileName(w_.fullname.value(index));
}

void DecodeBatch::dropFirstEntries(int count) {
    for (int i = 0; i < count && w_.decodelist.count() > 0; ++i) {
        std::unique_ptr<QListWidgetItem> done(w_.decodelist.takeItem(0));
        if (!w_.fullname.isEmpty())
            w_.fullname.removeFirst();
    }
}

void DecodeBatch::mpgtimerTimer() {
    try {
        if (w_.decod.PlayerMode() == kPlayingMode && DecForm_)
            DecForm_->decprogress->setValue(
                std::min(w_.decod.Position(), DecForm_->decprogress->maximum()));
        if (w_.decod.CheckPlayEnd() && DecodeActive_)
            endFile();
    } catch (...) {
        // Reported once: the timer stops and the batch ends at this file.
        if (DecodeActive_) {
            tickFailed_ = true;
            endFile();
        }
        w_.mpgtimer.stop();
        throw;
    }
}

void DecodeBatch::endFile() {
    w_.mpgtimer.stop();
    DecodeActive_ = false;
    giveBackMainWindow();
}

void DecodeBatch::giveBackMainWindow() {
    if (DecForm_)
        DecForm_->hide();
    w_.mainWindow.setEnabled(true);
    w_.mainWindow.activateWindow();
    w_.mainWindow.setFocus();
}

void DecodeBatch::stopRunningPreview() {
    if (w_.decplay.tag() == 0)
        return;
    try {
        w_.decod.Stop();
    } catch (const TMPEGError& error) {
        // A preview that has played to its end has nothing left to stop.
        if (error.ErrorCode != kIncorrectMode)
            throw;
    }
}

void DecodeBatch::decodPosUpdate(int, int) {
    if (DecForm_)
        DecForm_->decprogress->setValue(w_.decod.Position());
}

void DecodeBatch::decodPlayEnd() {
    giveBackMainWindow();
}

} // namespace decode
