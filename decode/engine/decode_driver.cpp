#include "decode/engine/decode_driver.h"

#include "decode/engine/wav_file_name.h"
#include "libs/mpegdll/include/mpegdll.h"
#include "mpegplay/mpeg_player.h"
#include "platform/file_system.h"
#include "platform/kept_file.h"
#include "platform/output_folders.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QSet>
#include <QTimer>

#include <stdexcept>

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

DecodeBatch::DecodeBatch(TMPEGPlayer& decod, QTimer& mpgtimer)
    : decod_(decod), mpgtimer_(mpgtimer),
      endSeen_(QObject::connect(&decod, &TMPEGPlayer::playbackEnded, &decod, [this] {
          // The next file starts as soon as this one has ended; the timer only moves the bar.
          if (DecodeActive_)
              noticeEnd();
      })) {}

DecodeBatch::~DecodeBatch() {
    QObject::disconnect(endSeen_);
}

DecodeBatchResult DecodeBatch::run(const DecodeBatchRequest& request, DecodeProgress& progress) {
    DecodeBatchResult result;
    if (request.files.empty())
        return result;
    if (request.previewStarted)
        stopPreview();
    progress_ = &progress;
    platform::removeStaleHelperFiles(request.outputDirectory);
    platform::OutputFolders folders(request.outputDirectory);
    QSet<QString> written;
    const int count = int(request.files.size());
    for (int i = 0; i < count && !result.cancelled; ++i) {
        const selection::QueuedFile& file = request.files[i];
        // A file from a folder's tree goes as far below the output folder.
        const QString output =
            platform::outputFolder(request.outputDirectory, file.relativeFolder) +
            WavFileName(file.path);
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
            folders.make(file.relativeFolder);
        } catch (const std::runtime_error& error) {
            result.files.push_back({.source = file.path,
                                    .output = output,
                                    .outcome = selection::FileOutcome::Failed,
                                    .reason = platform::textFromBytes(error.what())});
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
    try {
        decod_.Play();
    } catch (const TMPEGError& error) {
        // Without the library no file can start: that ends the batch. Anything else is this
        // file's: one that cannot be opened, or an output that cannot be made.
        if (error.ErrorCode == 0)
            throw;
        endFile();
        return {.source = file.path,
                .output = output,
                .outcome = selection::FileOutcome::Failed,
                .reason = QString::fromStdString(error.what())};
    }
    progress_->setLength(std::max(0, decod_.StreamLength()));

    // The library decodes on its own thread; the player's end signal ends the file. Waiting
    // for the next event keeps this thread idle meanwhile.
    while (DecodeActive_ && !progress_->cancelRequested())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    DecodeFileResult result{
        .source = file.path, .output = output, .outcome = selection::FileOutcome::Failed};
    if (DecodeActive_ && stopBeforeEnd()) {
        // Cancelled: the partial output goes, and an older file comes back.
        endFile();
        if (!older.restore() && platform::modificationTime(output) != before)
            platform::deleteFile(output);
        result.outcome = selection::FileOutcome::Cancelled;
        return result;
    }
    // Read only now: the end seen while stopping may have brought this file's failure.
    result.reason = fileFailure_;
    if (!result.reason.isEmpty())
        return result;
    if (platform::fileExists(output))
        result.outcome = selection::FileOutcome::Done;
    else
        result.reason = QStringLiteral("the decoder wrote no output file");
    return result;
}

bool DecodeBatch::stopBeforeEnd() {
    // A cancel can come after the file has ended but before that end was seen: the file is
    // then finished, and stopping it would be refused.
    if (noticeEnd())
        return false;
    try {
        decod_.Stop();
    } catch (const TMPEGError&) {
        // The file ended between the look and the stop.
        if (noticeEnd())
            return false;
        throw;
    }
    // A stop that meets an end only confirms it; the end flag then tells.
    return !noticeEnd();
}

bool DecodeBatch::noticeEnd() {
    try {
        if (!decod_.CheckPlayEnd())
            return false;
    } catch (const TMPEGError& error) {
        // The decode of this file failed; the batch goes on with the next one.
        fileFailure_ = endFailure(error, platform::fileExists(decod_.OutFilename()));
    }
    endFile();
    return true;
}

void DecodeBatch::mpgtimerTimer() {
    if (!DecodeActive_) {
        // The question is asked all the same: it confirms an end that the player has reached.
        try {
            decod_.CheckPlayEnd();
        } catch (const TMPEGError&) {
            mpgtimer_.stop();
            throw;
        }
        return;
    }
    try {
        if (decod_.PlayerMode() == MPEGDLL_MODE_PLAYING && progress_)
            progress_->setPosition(decod_.Position());
    } catch (const TMPEGError&) {
        // The end check below meets the same failure and ends the file with it.
    }
    noticeEnd();
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
