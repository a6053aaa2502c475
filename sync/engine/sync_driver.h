#pragma once

#include "encode/engine/encode_driver.h"
#include "naming/engine/name_pattern.h"
#include "sync/engine/sync_plan.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <stdexcept>

// A library mirror over plain values: a source tree and a destination folder in, what was done
// out. Only what changed since the last sync into that folder is converted again.
namespace mirror {

// The files the sync keeps in the destination folder for itself.
inline const QString kRecordName = QStringLiteral(".sonabox-sync");
inline const QString kJournalName = QStringLiteral(".sonabox-sync.journal");
inline const QString kLockName = QStringLiteral(".sonabox-sync.lock");

struct SyncRequest {
    QString source;      // absolute, clean
    QString destination; // absolute, clean; there already unless a dry run
    // The encoder, its options and the program folder; the sync fills in the files and the
    // output folder.
    encode::EncodeBatchRequest encode;
    QString options; // the fingerprint of the encoder options
    bool deleteWithoutSource = false;
    bool dryRun = false;
    bool transcodeLossy = false;
    // Output names from the sources' tags (--names); nothing: each MP3 keeps its source's name.
    // The fingerprint in `options` must name the pattern, so that a new one converts anew.
    std::optional<naming::NamePattern> names;
};

// The sync could not begin (another sync holds the folder); nothing was changed.
class SyncRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the sync tells as it goes. The conversions report through the encode batch's progress.
class SyncProgress {
public:
    virtual ~SyncProgress() = default;
    virtual void warn(const QString& text) = 0;
    // A dry run: what would be done with one file; `output` lies below the destination.
    virtual void planned(const PlannedFile& file) = 0;
    virtual void plannedTrash(const QString& output) = 0;
    // One copy of `count`, started and done.
    virtual void copyStarted(int position, int count, const QString& source,
                             const QString& output) = 0;
    virtual void copyDone(const QString& source, const QString& output, bool done,
                          const QString& reason) = 0;
    virtual void trashed(const QString& output, const QString& reason) = 0;
    // An MP3's tags or album gain ("tags", "album gain") written again; the reason when not.
    virtual void updated(const QString& what, const QString& output, const QString& reason) = 0;
    // The progress of the encode batch over these files.
    virtual std::unique_ptr<encode::EncodeProgress>
    encoding(const std::vector<selection::QueuedFile>& files) = 0;
    // Lets a Ctrl+C come through; true once one has.
    virtual bool interrupted() = 0;
};

struct SyncCounts {
    int converted = 0;
    int copied = 0;
    int tagsUpdated = 0;
    int albumGains = 0; // MP3s not converted whose album gain was written again
    int upToDate = 0;
    int trashed = 0;
    int failed = 0;
    int toConvert = 0; // a dry run's
    int toCopy = 0;
    int toUpdateTags = 0;
    QStringList withoutSource; // made by a sync, their source gone, and left where they are
    // Their source is gone, but they changed since a sync made them: --delete leaves them.
    QStringList changedSinceMade;
};

struct SyncResult {
    SyncCounts counts;
    bool interrupted = false;
    QString stopReason; // why the sync stopped before its end (a full disk), else empty
};

// Throws SyncRefused, and std::runtime_error when the record cannot be written.
SyncResult runSync(const SyncRequest& request, SyncProgress& progress);

} // namespace mirror
