#pragma once

#include "platform/sync_files.h"
#include "sync/engine/sync_record.h"

#include <QString>

#include <memory>

// The record of a destination folder while a sync runs: the lock that keeps other syncs out,
// the record as the last sync left it, and a journal line for each file that this sync
// completes, on the disk before the next file begins. At the end the journal is folded into a
// new record file. A sync that is killed leaves the journal, which the next one reads.
namespace mirror {

class Journal {
public:
    // Takes the folder's lock, unless `readOnly` (a dry run changes nothing, a lock file
    // neither), and reads the record. Throws SyncRefused when another sync holds the lock.
    Journal(const QString& destination, bool readOnly);

    const Record& record() const { return record_; }

    // Throw std::system_error when the journal cannot be written.
    void add(const RecordEntry& entry);
    // An output this run has made and synced: its line reaches the disk within about a second
    // (the durable replace at the end does the rest). A power cut before then loses the line,
    // and the next sync converts the file again; no line ever names an output not on the disk.
    void addMade(const RecordEntry& entry);
    void drop(const RecordKey& key);
    // The cue sheets of the source tree as they are now, once the sync took each into account.
    void setSheets(const std::map<QString, SheetFacts>& sheets);
    // An output that no source gives any more, kept in DEST; one no longer kept.
    void keepLeftover(const RecordEntry& entry);
    void dropLeftover(const QString& output);

    // Writes the record file whole, then removes the journal. Nothing when nothing changed.
    void compact();

private:
    void write(const QByteArray& line, bool soon = false);

    QString recordPath_;
    QString journalPath_;
    std::unique_ptr<platform::FolderLock> lock_;
    std::unique_ptr<platform::AppendedFile> journal_;
    Record record_;
    bool changed_ = false;
};

} // namespace mirror
