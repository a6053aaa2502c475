#include "decode/decode_driver.h"

#include "decode/wav_file_name.h"
#include "libs/mpegdll/include/mpegdll.h"
#include "mpegplay/mpeg_player.h"
#include "platform/file_system.h"
#include "platform/kept_file.h"

#include <QCoreApplication>
#include <QSet>
#include <QTimer>

namespace decode {

namespace {

constexpr int kPollInterval = 400;

QString endFailure(const TMPEGError& error, bool outputKept) {
    if (error.ErrorCode == MPEGDLL_ERR_INPUT && outputKept)
        return QStringLiteral("the stream is damaged and was decoded only in part; the output "
                              "is kept");
    return QString::fromStdString(error.what());
}

} // namespace

DecodeBatchResult DecodeBatch::run(const DecodeBatchRequest& request, DecodeProgress& progress) {
    DecodeBatchResult result;
    if (request.files.empty())
        return result;
    if (request.previewStarted)
        stopPreview();
    progress_ = &progress;
    QSet<QString> written;
    const int count = int(request.files.size());
    for (int i = 0; i < count && !result.cancelled; ++i) {
        const selection::QueuedFile& file = request.files[i];
        const QString output = request.outputDirectory + WavFileName(file.path);
        if (written.contains(platform::fileIdentity(output))) {
            result.files.push_back(
                {.source = file.path,
                 .output = output,
                 .outcome = selection::FileOutcome::NotRun,
                 .reason = QStringLiteral("its output was written by an earlier file")});
            progress.fileDone(result.files.back());
            continue;
        }
        try {
            result.files.push_back(decodeFile(file, output, i + 1, count));
            progress.fileDone(result.files.back());
        } catch (const std::exception& error) {
            endFile();
            result.startError = QString::fromUtf8(error.what());
            break;
        }
        if (platform::fileExists(output))
            written.insert(platform::fileIdentity(output));
        result.cancelled = progress.cancelRequested();
    }
    mpgtimer_.stop();
    progress_ = nullptr;
    return result;
}

DecodeFileResult DecodeBatch::decodeFile(const selection::QueuedFile& file, const QString& output,
                                         int position, int count) {
    mpgtimer_.start(kPollInterval);
    decod_.setOutputDevice(TOutputDevice::pcmfile);
    progress_->begin(file.name, output, position, count);
    QCoreApplication::processEvents();

    DecodeActive_ = true;
    fileFailure_.clear();
    const auto before = platform::modificationTime(output);
    // A stopped decode leaves what it decoded at the output path: an older file there is kept
    // aside until the file has ended, so that a cancel can bring it back.
    platform::KeptFile older(output);
    decod_.setStreamName(file.path);
    decod_.setOutFilename(output);
    decod_.Play();
    progress_->setLength(std::max(0, decod_.StreamLength()));

    // The library decodes on its own thread; the timer's tick ends the file. Waiting for the
    // next event keeps this thread idle meanwhile.
    while (DecodeActive_ && !progress_->cancelRequested())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    DecodeFileResult result{.source = file.path,
                            .output = output,
                            .outcome = selection::FileOutcome::Failed,
                            .reason = fileFailure_};
    if (DecodeActive_) {
        // Cancelled: the partial output goes, and an older file comes back.
        decod_.Stop();
        endFile();
        if (!older.restore() && platform::modificationTime(output) != before)
            platform::deleteFile(output);
        result.outcome = selection::FileOutcome::Cancelled;
        return result;
    }
    if (!result.reason.isEmpty())
        return result;
    if (platform::fileExists(output))
        result.outcome = selection::FileOutcome::Done;
    else
        result.reason = QStringLiteral("the decoder wrote no output file");
    return result;
}

void DecodeBatch::mpgtimerTimer() {
    try {
        if (decod_.PlayerMode() == MPEGDLL_MODE_PLAYING && progress_)
            progress_->setPosition(decod_.Position());
        if (decod_.CheckPlayEnd() && DecodeActive_)
            endFile();
    } catch (const TMPEGError& error) {
        if (!DecodeActive_) {
            mpgtimer_.stop();
            throw;
        }
        // The decode of this file failed; the batch goes on with the next one.
        fileFailure_ = endFailure(error, platform::fileExists(decod_.OutFilename()));
        endFile();
    }
}

void DecodeBatch::endFile() {
    mpgtimer_.stop();
    DecodeActive_ = false;
    if (progress_)
        progress_->end();
}

void DecodeBatch::stopPreview() {
    try {
        decod_.Stop();
    } catch (const TMPEGError& error) {
        // A preview that has played to its end has nothing left to stop.
        if (error.ErrorCode != MPEGDLL_ERR_MODE)
            throw;
    }
}

} // namespace decode
