#pragma once

#include "selection/engine/queued_file.h"

#include <QObject>
#include <QString>

#include <vector>

class QTimer;
class TMPEGPlayer;

// The decode batch over plain values: the queued files and the output directory in, one result
// per file out. Its progress window is behind DecodeProgress.
namespace decode {

// What the program says when the player cannot load the decoder library.
inline const QString kDecoderMissing =
    QStringLiteral("File libmpegdll.so not found. Decoding disabled");

struct DecodeBatchRequest {
    std::vector<selection::QueuedFile> files;
    QString outputDirectory;     // ends in a separator
    bool previewStarted = false; // the MP3 preview state is not 0: stop it first
};

struct DecodeFileResult {
    QString source;
    QString output;
    selection::FileOutcome outcome = selection::FileOutcome::NotRun;
    QString reason = {}; // why it is not Done, for the user
};

struct DecodeBatchResult {
    // One per file that the batch reached; the last one is Cancelled when a cancel stopped it
    // before its end.
    std::vector<DecodeFileResult> files;
    bool cancelled = false; // the files after the last result were not started
    // The player's error that stopped the batch while it started the next file (the decoder
    // library is missing); that file and those after it were not decoded.
    QString startError;
};

// The progress window of the batch, and the main window that it keeps from input.
class DecodeProgress {
public:
    virtual ~DecodeProgress() = default;
    // Shows the window for file `position` (from 1) of `count` and disables the main window.
    virtual void begin(const QString& name, const QString& output, int position, int count) = 0;
    virtual void setLength(int length) = 0;
    virtual void setPosition(int position) = 0;
    // Hides the window and gives the main window back, enabled and focused.
    virtual void end() = 0;
    // The user asked to stop the batch.
    virtual bool cancelRequested() const = 0;
    // A file of the batch has its result.
    virtual void fileDone(const DecodeFileResult&) {}
};

// Decodes queued files with the player into WAV files, one after another. A file ends as soon
// as the player signals its end; the main window's timer moves the progress bar meanwhile.
class DecodeBatch {
public:
    DecodeBatch(TMPEGPlayer& decod, QTimer& mpgtimer);
    ~DecodeBatch();
    DecodeBatch(const DecodeBatch&) = delete;
    DecodeBatch& operator=(const DecodeBatch&) = delete;

    DecodeBatchResult run(const DecodeBatchRequest& request, DecodeProgress& progress);
    // The tick of the main window's timer.
    void mpgtimerTimer();

    // True from just before a file's start until the batch has seen it finish.
    bool DecodeActive() const { return DecodeActive_; }

private:
    DecodeFileResult decodeFile(const selection::QueuedFile& file, const QString& output,
                                int position, int count);
    void stopPreview();
    // Stops the running file for a cancel; false when it had reached its end already.
    bool stopBeforeEnd();
    // Ends the running file when the player has reached its end; false while it decodes.
    bool noticeEnd();
    void endFile();

    TMPEGPlayer& decod_;
    QTimer& mpgtimer_;
    DecodeProgress* progress_ = nullptr;
    bool DecodeActive_ = false;
    QString fileFailure_;
    QMetaObject::Connection endSeen_;
};

} // namespace decode
