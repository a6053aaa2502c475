#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>

// What the syncs into one folder made: one entry a source, kept in the folder as a record file
// and a journal of the entries that the running sync completed since it began.
namespace mirror {

// The options of a copied file: a copy depends on no encoder setting.
inline const QString kCopied = QStringLiteral("copy");

struct RecordEntry {
    QString source; // below the source folder, '/' between folders
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    QString options;  // the encoder options' fingerprint, or kCopied
    QByteArray audio; // the digest of the source's audio part (audioDigest); empty for a copy
    QString output;   // below the destination folder
    std::int64_t outputSize = 0;
    std::int64_t outputModifiedNs = 0;

    bool operator==(const RecordEntry&) const = default;
};

using Record = std::map<QString, RecordEntry>; // by source

// The record file's first line.
inline const QByteArray kRecordHeader = QByteArrayLiteral("sonabox-sync 1\n");

// One line that adds or replaces an entry, and one that drops the entry of a source.
QByteArray entryLine(const RecordEntry& entry);
QByteArray droppedLine(const QString& source);

// Applies the lines of a record file or journal in order. A line that is cut short (a crash
// while it was written) or that cannot be read is left out: its file counts as never made.
void applyLines(Record& record, const QByteArray& text);

// The record file's content for the entries.
QByteArray recordText(const Record& record);

} // namespace mirror
