#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>

// What the syncs into one folder made: one entry a source, or a track of an album that a cue
// sheet cuts a source into, kept in the folder as a record file and a journal of the entries
// that the running sync completed since it began.
namespace mirror {

// The options of a copied file: a copy depends on no encoder setting.
inline const QString kCopied = QStringLiteral("copy");

// What an entry stands for: a source (track 0), or one track of the album it holds.
struct RecordKey {
    QString source; // below the source folder, '/' between folders
    int track = 0;

    bool operator==(const RecordKey&) const = default;
    bool operator<(const RecordKey& other) const {
        return source != other.source ? source < other.source : track < other.track;
    }
};

// The album an entry's track belongs to, as the sync that made it found it.
struct TrackFacts {
    QString title;
    int tracks = 0; // of the source's album
    QString sheet;  // below the source folder: the .cue file, or the source for its own sheet
    std::int64_t sheetSize = 0;
    std::int64_t sheetModifiedNs = 0;

    bool operator==(const TrackFacts&) const = default;
};

struct RecordEntry {
    QString source = {}; // below the source folder, '/' between folders
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    QString options = {};  // the encoder options' fingerprint, or kCopied
    QByteArray audio = {}; // the digest of the source's audio part (audioDigest); empty for a copy
    QString output = {};   // below the destination folder
    std::int64_t outputSize = 0;
    std::int64_t outputModifiedNs = 0;
    int track = 0; // the album's track it holds; 0: the whole source
    TrackFacts album = {};

    RecordKey key() const { return {source, track}; }
    bool operator==(const RecordEntry&) const = default;
};

// A cue sheet's size and time as the last sync that took every sheet into account saw them.
struct SheetFacts {
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;

    bool operator==(const SheetFacts&) const = default;
};

struct Record {
    std::map<RecordKey, RecordEntry> files;
    std::map<QString, SheetFacts> sheets; // below the source folder
    // Outputs that a sync made and no source gives any more (an output its source renamed, the
    // tracks of an album whose file is whole again...), kept in DEST until --delete; by output.
    // Only their output fields count.
    std::map<QString, RecordEntry> leftovers;
};

// The record file's first line. A whole source's line has not changed since the first
// version; the lines of tracks and sheets are of kinds that it passes over.
inline const QByteArray kRecordHeader = QByteArrayLiteral("sonabox-sync 1\n");

// One line that adds or replaces an entry, and one that drops an entry.
QByteArray entryLine(const RecordEntry& entry);
QByteArray droppedLine(const RecordKey& key);
// A sheet seen as it is now, and a sheet that is gone.
QByteArray sheetLine(const QString& sheet, const SheetFacts& facts);
QByteArray sheetGoneLine(const QString& sheet);
// An output kept without a source, and one that is no longer kept.
QByteArray leftoverLine(const RecordEntry& entry);
QByteArray leftoverGoneLine(const QString& output);

// Applies the lines of a record file or journal in order. A line that is cut short (a crash
// while it was written) or that cannot be read is left out: its file counts as never made.
void applyLines(Record& record, const QByteArray& text);

// The record file's content for the entries.
QByteArray recordText(const Record& record);

} // namespace mirror
