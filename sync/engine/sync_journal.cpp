#include "sync/engine/sync_journal.h"

#include "platform/file_system.h"
#include "platform/paths.h"
#include "sync/engine/sync_driver.h"

#include <QFileInfo>

namespace mirror {

Journal::Journal(const QString& destination, bool readOnly)
    : recordPath_(platform::joinPath(destination, kRecordName)),
      journalPath_(platform::joinPath(destination, kJournalName)) {
    if (!readOnly) {
        lock_ = std::make_unique<platform::FolderLock>(platform::joinPath(destination, kLockName));
        if (!lock_->held())
            throw SyncRefused(
                (lock_->error().isEmpty()
                     ? QStringLiteral("another sync is writing into %1").arg(destination)
                     : QStringLiteral("cannot lock %1: %2").arg(destination, lock_->error()))
                    .toStdString());
    }
    if (const auto text = platform::readWholeFile(recordPath_))
        applyLines(record_, *text);
    // What a killed sync completed after its last record file.
    if (const auto text = platform::readWholeFile(journalPath_)) {
        applyLines(record_, *text);
        changed_ = true;
    }
}

void Journal::add(const RecordEntry& entry) {
    write(entryLine(entry));
    record_.files[entry.key()] = entry;
}

void Journal::addMade(const RecordEntry& entry) {
    write(entryLine(entry), true);
    record_.files[entry.key()] = entry;
}

void Journal::drop(const RecordKey& key) {
    if (record_.files.erase(key) > 0)
        write(droppedLine(key));
}

void Journal::keepLeftover(const RecordEntry& entry) {
    write(leftoverLine(entry));
    record_.leftovers[entry.output] = {.output = entry.output,
                                       .outputSize = entry.outputSize,
                                       .outputModifiedNs = entry.outputModifiedNs};
}

void Journal::dropLeftover(const QString& output) {
    if (record_.leftovers.erase(output) > 0)
        write(leftoverGoneLine(output));
}

void Journal::setSheets(const std::map<QString, SheetFacts>& sheets) {
    for (const auto& [sheet, facts] : record_.sheets) {
        if (sheets.count(sheet) == 0)
            write(sheetGoneLine(sheet));
    }
    for (const auto& [sheet, facts] : sheets) {
        const auto known = record_.sheets.find(sheet);
        if (known == record_.sheets.end() || !(known->second == facts))
            write(sheetLine(sheet, facts));
    }
    record_.sheets = sheets;
}

void Journal::write(const QByteArray& line, bool soon) {
    if (!journal_)
        journal_ = std::make_unique<platform::AppendedFile>(journalPath_);
    if (soon)
        journal_->appendSoon(line);
    else
        journal_->append(line);
    changed_ = true;
}

void Journal::compact() {
    if (!changed_ || !lock_)
        return;
    platform::replaceFileDurably(recordPath_, recordText(record_));
    journal_.reset();
    // The journal's lines are all in the record now; read again they would change nothing.
    if (platform::deleteFile(journalPath_))
        platform::syncFolder(QFileInfo(journalPath_).path());
    changed_ = false;
}

} // namespace mirror
