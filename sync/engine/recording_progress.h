#pragma once

#include "encode/engine/encode_driver.h"
#include "platform/paths.h"
#include "platform/sync_files.h"
#include "sync/engine/sync_driver.h"
#include "sync/engine/sync_journal.h"

#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace mirror {

// The encode batch's progress with the record kept beside it: a file's entry is added once its
// MP3 is checked and on the disk, and dropped again should the album step then fail on it.
//
// The programs sync each MP3's data before they link it into place and leave its folder to be
// synced. Syncing the folder for every file would keep the batch from starting the next
// programs while the disk works, so the checked files wait here, at most about a second, and
// their folders are synced once for all of them before their entries are added (record()).
// A file whose entry a killed run never added is simply converted again.
class RecordingProgress final : public encode::EncodeProgress {
public:
    RecordingProgress(encode::EncodeProgress& shown, Journal& journal, const QString& destination,
                      std::map<QString, const PlannedFile*> planned, SyncResult& result)
        : shown_(shown), journal_(journal), destination_(platform::withSeparator(destination)),
          planned_(std::move(planned)), result_(result) {}

    void showError(const QString& text) override { shown_.showError(text); }

    encode::EncoderRun runJob(const QString& program, const QString& input, const QString& output,
                              int position, int count) override {
        // A full disk stops the sync: the files after it would fail the same way.
        if (!result_.stopReason.isEmpty())
            return {.exitCode = -1, .cancelled = true};
        return shown_.runJob(program, input, output, position, count);
    }

    void fileDone(const encode::EncodeFileResult& file) override;

    // Syncs the waiting files' folders and adds their entries; called once the batch ends.
    void record();

    QString options_;
    std::set<QString> spoiled_; // album folders where a file failed

private:
    struct Checked {
        const PlannedFile* planned;
        QString output; // below the destination
        QString folder; // the MP3's folder, whole
        platform::FileFacts facts;
    };

    void take(const encode::EncodeFileResult& file);
    void recordWaiting();
    // Runs the work; a record that cannot be written stops the sync with the reason.
    void stopOnFailure(const std::function<void()>& work);

    encode::EncodeProgress& shown_;
    Journal& journal_;
    QString destination_;
    std::map<QString, const PlannedFile*> planned_;
    std::set<QString> recorded_;
    SyncResult& result_;
    std::vector<Checked> waiting_;
    std::chrono::steady_clock::time_point firstWaiting_;
};

} // namespace mirror
