// The main window's Encode and Decode handlers: they turn the widgets into a batch request, run
// the batch, and turn its results into the queue's new state and one report of the failures.
#include "app/audio_durations.h"
#include "app/batch_notice.h"
#include "app/batch_summary.h"
#include "app/codec_change.h"
#include "app/main_form.h"
#include "app/option_sets.h"
#include "decode/dec_progress.h"
#include "decode/decode_driver.h"
#include "encode/enc_progress.h"
#include "encode/encode_driver.h"
#include "mpegplay/mpeg_player.h"
#include "selection/batch_queue.h"
#include "selection/file_list.h"
#include "widgets/dialogs.h"
#include "widgets/flat_button.h"

#include <QCheckBox>
#include <QComboBox>
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
        QStringList failures;
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
            const encode::EncodeBatchResult result = encode::runEncodeBatch(request, progress);
            if (result.cancelled)
                finished = finishedEntries(result.files);
            failures = failureLines(result.files);
            notice.batchEnded(*this, countOutcomes(result.files));
        }
        selection::dropFirstEntries(*encodelist, fullname, finished);
        if (const auto summary = summariseFailures(failures, count))
            dialogs_.message(this, widgets::MessageIcon::Error, QStringLiteral("Error"),
                             summary->text, summary->details);
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
        throw;
    }
    decodeProgress_ = nullptr;
    const bool stopped = result.cancelled || !result.startError.isEmpty();
    selection::dropFirstEntries(*decodelist, fullname,
                                stopped ? finishedEntries(result.files) : count);
    if (!result.files.empty())
        notice.batchEnded(*this, countOutcomes(result.files));
    if (const auto summary = summariseFailures(failureLines(result.files), count))
        dialogs_.message(this, widgets::MessageIcon::Error, QStringLiteral("Error"), summary->text,
                         summary->details);
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
