#pragma once

#include "encode/engine/encoders.h"
#include "selection/engine/queued_file.h"

#include <QString>
#include <QStringList>

#include <vector>

// The encode batch over plain values: which files, which encoder and options in; one result
// per file out. The windows it shows are behind EncodeProgress.
namespace encode {

struct EncodeBatchRequest {
    std::vector<selection::QueuedFile> files;
    const EncoderDescription* encoder = nullptr;
    EncodeOptions options;
    QString programDir; // ends in a separator
    bool deleteSource = false;
    // Encoder programs running at once, and job slots they share; 0: one per core.
    int programs = 0;
};

// How one encoder run ended.
struct EncoderRun {
    int exitCode = -1;      // -1: not started, or ended by a signal
    bool cancelled = false; // the user's cancel cut it short; the batch ends
    QString lastLine = {};  // the last line the encoder printed, for a failure's reason
    // The user cancelled, maybe after the encoder had finished its file; the batch ends.
    bool cancelRequested = false;
    QStringList notes = {}; // what the encoder told about the file ("mixed down from 6 channels")
};

struct EncodeFileResult;

// What the batch needs of the desktop: the error box and one progress window per file.
class EncodeProgress {
public:
    virtual ~EncodeProgress() = default;
    virtual void showError(const QString& text) = 0;
    // Runs the job's command line with the encoder `program` behind the progress window of
    // file `position` (from 1) of `count`, and returns when the encoder has ended.
    virtual EncoderRun runJob(const QString& program, const QString& input, const QString& output,
                              int position, int count) = 0;
    // A file of the batch has its result; a done file hears again should the album step then
    // fail on its MP3.
    virtual void fileDone(const EncodeFileResult&) {}
};

struct EncodeFileResult {
    QString source; // its path; an album track's followed by " [3] Title" (see shownSource)
    QString output = {};
    selection::FileOutcome outcome = selection::FileOutcome::NotRun;
    QString reason = {}; // why it is not Done, for the user
    bool sourceDeleted = false;
    bool toldAlready = false; // the failure had its own message box
    QString note = {};        // of a done file: what its encoder told about it, for the user
};

struct EncodeBatchResult {
    std::vector<EncodeFileResult> files; // one per file that the batch reached
    bool cancelled = false;              // files after the last result were not started
};

// Encodes the files, taking their results one after another in queue order; while a file's
// encoder runs, the next files' encoders may start on idle cores (see LookAhead), which changes
// nothing of the results. A source is deleted only when its output has been
// checked to hold its audio; an output that an earlier file of the batch wrote is never
// written again. Throws ConversionError when the bitrate has no number: the options are the
// same for every file, so nothing has been run then.
EncodeBatchResult runEncodeBatch(const EncodeBatchRequest& request, EncodeProgress& progress);

} // namespace encode
