#pragma once

#include "platform/sync_files.h"
#include "selection/engine/queued_file.h"
#include "sync/engine/sync_record.h"

#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <vector>

// What a sync does with each file of the source tree, decided from file facts and the record
// alone: no source is opened to find that it is up to date.
namespace mirror {

// The source kinds a sync takes: sources the encoders read, MPEG audio that is copied as it
// is, and a folder's cover image, copied beside its MP3s; and the cue sheets, which are no
// sources but cut the sources they name into tracks.
QString syncMask();
bool isLossy(const QString& name);
bool isCover(const QString& name);
bool isCueSheet(const QString& name);

struct SourceFile {
    QString relative;       // below the source folder
    QString relativeFolder; // its folder below the source folder; "" at the top
    QString path;           // the full path
    platform::FileFacts facts;
};

enum class Action {
    Convert,    // encoded to its MP3
    Copy,       // copied as it is
    UpdateTags, // only its tags changed: its MP3's tags are written again, its audio stays
    UpToDate,   // its output is there and was made from it as it is now
    Clash,      // another source of the tree has the same output name; it is left out
};

struct PlannedFile {
    Action action = Action::UpToDate;
    SourceFile source;
    // One track of the album that a cue sheet cuts the source into; nothing: the whole source.
    // A track that is up to date, planned from the record alone, has no length.
    std::optional<selection::QueuedTrack> track = {};
    TrackFacts album = {}; // a track's, as its entry records them
    QString output;        // below the destination folder
    QString why = {};      // for Convert, UpdateTags and Clash: what makes it so
    QByteArray audio = {}; // UpdateTags: the digest of its audio, as recorded
    // Another track of its album (its folder) changed, came or went: its album gain is brought
    // up to date.
    bool albumGain = false;

    RecordKey key() const { return {source.relative, track ? track->number : 0}; }
    // The source below the source folder, a track's followed by its number and title.
    QString label() const;
};

struct Plan {
    std::vector<PlannedFile> files; // in the tree's order
    // Made by a sync; their source is gone, or is converted under another name (the old
    // output goes once the new one is made).
    std::vector<RecordEntry> withoutSource;
    // Sources that are gone whose output name another source has now: their entries go, their
    // output stays (it is the other source's).
    std::vector<RecordKey> forget;
    // Made by a sync from a source that is still there but gives other outputs now: an album's
    // tracks where the file is whole again, the file's MP3 where it became an album, a track
    // its sheet has no more. Each goes once its source's new outputs are made.
    std::vector<RecordEntry> superseded;
    // The outputs the record keeps without a source (Record::leftovers), and those whose name
    // a source has now: they are its output from now on.
    std::vector<RecordEntry> leftovers;
    std::vector<QString> forgetLeftovers;
};

struct PlanInputs {
    const std::vector<SourceFile>& sources;
    const Record& record;
    QString options; // the fingerprint of the encoder options now
    bool transcodeLossy = false;
    // The cue sheets of the tree now, below the source folder.
    const std::map<QString, SheetFacts>& sheets;
    // Where a converted source's MP3 goes, below the destination folder, and an album track's.
    // Output names are chosen here only, so another naming rule plugs in here.
    std::function<QString(const SourceFile&)> convertedName;
    std::function<QString(const SourceFile&, const selection::QueuedTrack&)> trackName;
    // What encoding a source queues: the tracks of the album a cue sheet makes of it, or the
    // source itself. Asked only when the source, its sheet or the sheets beside it changed
    // since the record, as this reads the sheets and the source.
    std::function<std::vector<selection::QueuedFile>(const SourceFile&)> queued;
    // A file's facts below the source folder (a sheet's); nothing when it is not there.
    std::function<std::optional<platform::FileFacts>(const QString&)> facts;
    // Whether something is at a path below the destination folder.
    std::function<bool(const QString&)> outputExists;
    // The digest of a source's audio part, asked for only when its size or time changed.
    std::function<QByteArray(const SourceFile&)> audioDigest;
    // Whether a source of the record that the walk did not bring is gone (and not merely in a
    // folder that could not be read).
    std::function<bool(const QString&)> sourceGone;
};

Plan makePlan(const PlanInputs& inputs);

} // namespace mirror
