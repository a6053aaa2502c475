// The main window's Encode and Decode handlers: they turn the widgets into a batch request, run
// the batch, and turn its results into the queue's new state and one report of the failures.
#include "app/batch_notice.h"
#include "app/codec_change.h"
#include "app/engine/audio_durations.h"
#include "app/engine/batch_summary.h"
#include "app/engine/option_sets.h"
#include "app/main_form.h"
#include "decode/dec_progress.h"
#include "decode/engine/decode_driver.h"
#include "encode/enc_progress.h"
#include "encode/engine/encode_driver.h"
#include "mpegplay/mpeg_player.h"
#include "selection/batch_queue.h"
#include "selection/file_list.h"
#include "widgets/dialogs.h"
#include "widgets/flat_button.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

namespace app {

namespace {

// Entries the batch did not reach stay queued, and so does a file that a cancel cut short. A
// file that had ended before the cancel came counts as finished.
template <class Result> int finishedEntries(const std::vector<Result>& files) {
    return int(std::count_if(files.begin(), files.end(), [](const Result& file) {
        return file.outcome != selection::FileOutcome::Cancelled;
    }));
}

constexpr int kNamesShown = 20;

// After a cancel, the files done before it, by name (the queue no longer holds them), ahead of
// the failures if there were any. Nothing when no file was done and none failed.
template <class Result>
std::optional<BatchSummary> cancelSummary(const std::vector<Result>& files, int total,
                                          std::optional<BatchSummary> failures) {
    QStringList done;
    for (const Result& file : files) {
        if (file.outcome == selection::FileOutcome::Done)
            done.append(QFileInfo(file.source).fileName());
    }
    if (done.isEmpty())
        return failures;
    BatchSummary summary;
    summary.text = QStringLiteral("Cancelled. %1 of %2 files were done before it:")
                       .arg(done.size())
                       .arg(total);
    for (int i = 0; i < done.size() && i < kNamesShown; ++i)
        summary.text += QLatin1Char('\r') + done[i];
    if (done.size() > kNamesShown)
        summary.text += QStringLiteral("\r... and %1 more").arg(done.size() - kNamesShown);
    if (done.size() > kNamesShown)
        summary.details = done.join(QLatin1Char('\n'));
    if (failures) {
        summary.text += QStringLiteral("\r\r") + failures->text;
        summary.details += QStringLiteral("\n\n") + failures->details;
    }
    return summary;
}

// The batch's one box at its end: the failures, and after a cancel what was done before it.
template <class Result>
void showSummary(widgets::Dialogs& dialogs, QWidget* parent, const std::vector<Result>& files,
                 int total, bool cancelled) {
    const bool failed = !failureLines(files).isEmpty();
    auto summary = summariseFailures(failureLines(files), total);
    if (cancelled)
        summary = cancelSummary(files, total, std::move(summary));
    if (summary)
        dialogs.message(parent,
                        failed ? widgets::MessageIcon::Error : widgets::MessageIcon::Information,
                        failed ? QStringLiteral("Error") : QStringLiteral("Cancelled"),
                        summary->text, summary->details.trimmed());
}

} // namespace

bool TMainForm::ValidateEncodeSettings() {
    QString message;
    if (Mode->currentText() == kModePrompt)
        message += "No mode selected\r";
    if (Bitrate->currentText() == kBitratePrompt)
        message += "No bitrate selected\r";
    if (Layer->currentText() == kLayerPrompt)
        message += "No layer selected\r";
    if (message.isEmpty())
        return true;
    message += "\rGo to the Config -tab and change it";
    widgets::showError(dialogs_, this, message);
    return false;
}

void TMainForm::encstartClick() {
    const int count = encodelist->count();
    if (count > 0) {
        const encode::EncoderDescription* encoder =
            recognisedCodec(Codec->currentText(), entryTexts(*Codec));
        if (!encoder) {
            widgets::showError(dialogs_, this, kNoCodecSelected);
            encflist->reread();
            return;
        }
        int finished = count;
        encode::EncodeBatchResult result;
        if (ValidateEncodeSettings()) {
            const encode::EncodeBatchRequest request{
                .files = selection::queuedFiles(*encodelist, fullname),
                .encoder = encoder,
                .options = {.mode = Mode->currentText(),
                            .bitrate = Bitrate->currentText(),
                            .layer = Layer->currentText(),
                            .outputDirectory = encout->text(),
                            .showEncoder = showenc->isChecked()},
                .programDir = ProgramDir_,
                .deleteSource = deletesource->isChecked()};
            const BatchNotice notice(QStringLiteral("Encoding finished"));
            encode::EncodeProgressWindows progress(*this, encFormOwner_, dialogs_,
                                                   audioDurations(request.files));
            result = encode::runEncodeBatch(request, progress);
            progress.finish();
            if (result.cancelled)
                finished = finishedEntries(result.files);
            notice.batchEnded(*this, countOutcomes(result.files));
        }
        selection::dropFirstEntries(*encodelist, fullname, finished);
        showSummary(dialogs_, this, result.files, count, result.cancelled);
    }
    encflist->reread();
}

void TMainForm::decstartClick() {
    const BatchNotice notice(QStringLiteral("Decoding finished"));
    const decode::DecodeBatchRequest request{.files = selection::queuedFiles(*decodelist, fullname),
                                             .outputDirectory = decout->text(),
                                             .previewStarted = decplay->tag() != 0};
    decode::DecodeProgressWindow progress(*this, audioDurations(request.files));
    decodeProgress_ = &progress;
    decode::DecodeBatchResult result;
    const int count = decodelist->count();
    try {
        result = decodeBatch_->run(request, progress);
    } catch (...) {
        decodeProgress_ = nullptr;
        progress.finish();
        throw;
    }
    decodeProgress_ = nullptr;
    progress.finish();
    const bool stopped = result.cancelled || !result.startError.isEmpty();
    selection::dropFirstEntries(*decodelist, fullname,
                                stopped ? finishedEntries(result.files) : count);
    if (!result.files.empty())
        notice.batchEnded(*this, countOutcomes(result.files));
    showSummary(dialogs_, this, result.files, count, result.cancelled);
    // A file that could not be started ends the batch with the player's own error.
    if (!result.startError.isEmpty())
        throw std::runtime_error(result.startError.toStdString());
}

void TMainForm::mpgtimerTimer() {
    decodeBatch_->mpgtimerTimer();
}

void TMainForm::decodPosUpdate(int, int) {
    if (decodeProgress_)
        decodeProgress_->setPosition(decod->Position());
}

void TMainForm::decodPlayEnd() {
    if (decodeProgress_)
        decodeProgress_->end();
}

} // namespace app
