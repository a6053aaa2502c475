#include "sync/engine/recording_progress.h"

#include "platform/file_system.h"
#include "platform/sync_files.h"
#include "sync/engine/audio_digest.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace mirror {

namespace {

using selection::FileOutcome;

bool diskFull(const QString& reason) {
    return reason.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)));
}

} // namespace

void RecordingProgress::fileDone(const encode::EncodeFileResult& file) {
    shown_.fileDone(file);
    // The batch goes on past this call: a record that cannot be written stops the sync here.
    try {
        record(file);
    } catch (const std::system_error& error) {
        ++result_.counts.failed;
        result_.stopReason = platform::textFromBytes(error.what());
    }
}

void RecordingProgress::record(const encode::EncodeFileResult& file) {
    const PlannedFile& planned = *planned_.at(file.source);
    const bool again = recorded_.count(file.source) > 0;
    if (file.outcome == FileOutcome::Done && !again) {
        recorded_.insert(file.source);
        const QString output = file.output.mid(destination_.size());
        const auto facts = platform::syncToDisk(file.output)
                               ? platform::regularFileFacts(file.output)
                               : std::nullopt;
        if (!facts) {
            ++result_.counts.failed;
            return;
        }
        // A track's tags come from its sheet: its source's audio needs no digest.
        journal_.addMade({.source = planned.source.relative,
                          .size = planned.source.facts.size,
                          .modifiedNs = planned.source.facts.modifiedNs,
                          .options = options_,
                          .audio = planned.track ? QByteArray() : audioDigest(planned.source.path),
                          .output = output,
                          .outputSize = facts->size,
                          .outputModifiedNs = facts->modifiedNs,
                          .track = planned.key().track,
                          .album = planned.album});
        ++result_.counts.converted;
    } else if (again) {
        journal_.drop(planned.key());
        spoiled_.insert(planned.source.relativeFolder);
        --result_.counts.converted;
        ++result_.counts.failed;
    } else if (file.outcome != FileOutcome::Done) {
        spoiled_.insert(planned.source.relativeFolder);
        if (file.outcome != FileOutcome::Failed)
            return;
        ++result_.counts.failed;
        if (diskFull(file.reason))
            result_.stopReason = file.reason;
    }
}

} // namespace mirror
