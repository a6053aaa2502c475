#include "sync/engine/recording_progress.h"

#include "platform/file_system.h"
#include "platform/sync_files.h"
#include "sync/engine/audio_digest.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace mirror {

namespace {

using selection::FileOutcome;

// How long a checked file waits at most for its entry while the batch goes on.
constexpr auto kMostWait = std::chrono::seconds(1);

bool diskFull(const QString& reason) {
    return reason.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)));
}

} // namespace

void RecordingProgress::fileDone(const encode::EncodeFileResult& file) {
    shown_.fileDone(file);
    stopOnFailure([&] {
        take(file);
        if (!waiting_.empty() && std::chrono::steady_clock::now() - firstWaiting_ >= kMostWait)
            recordWaiting();
    });
}

void RecordingProgress::record() {
    stopOnFailure([&] { recordWaiting(); });
}

void RecordingProgress::stopOnFailure(const std::function<void()>& work) {
    // The batch goes on past these calls: a record that cannot be written stops the sync here.
    try {
        work();
    } catch (const std::system_error& error) {
        ++result_.counts.failed;
        result_.stopReason = platform::textFromBytes(error.what());
    }
}

void RecordingProgress::take(const encode::EncodeFileResult& file) {
    const PlannedFile& planned = *planned_.at(file.source);
    const bool again = recorded_.count(file.source) > 0;
    if (file.outcome == FileOutcome::Done && !again) {
        recorded_.insert(file.source);
        // Its facts as the batch left it, before an album step writes into it.
        const auto facts = platform::regularFileFacts(file.output);
        if (!facts) {
            ++result_.counts.failed;
            return;
        }
        if (waiting_.empty())
            firstWaiting_ = std::chrono::steady_clock::now();
        waiting_.push_back({&planned, file.output.mid(destination_.size()),
                            QFileInfo(file.output).path(), *facts});
        ++result_.counts.converted;
    } else if (again) {
        // Its entry is added first, so that dropping it holds.
        recordWaiting();
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

void RecordingProgress::recordWaiting() {
    std::set<QString> folders;
    for (const Checked& file : waiting_)
        folders.insert(file.folder);
    std::set<QString> failedFolders;
    for (const QString& folder : folders) {
        if (!platform::syncFolder(folder))
            failedFolders.insert(folder);
    }
    for (const Checked& file : std::exchange(waiting_, {})) {
        const PlannedFile& planned = *file.planned;
        if (failedFolders.count(file.folder) > 0) {
            --result_.counts.converted;
            ++result_.counts.failed;
            continue;
        }
        // A track's tags come from its sheet: its source's audio needs no digest.
        journal_.addMade({.source = planned.source.relative,
                          .size = planned.source.facts.size,
                          .modifiedNs = planned.source.facts.modifiedNs,
                          .options = options_,
                          .audio = planned.track ? QByteArray() : audioDigest(planned.source.path),
                          .output = file.output,
                          .outputSize = file.facts.size,
                          .outputModifiedNs = file.facts.modifiedNs,
                          .track = planned.key().track,
                          .album = planned.album});
    }
}

} // namespace mirror
