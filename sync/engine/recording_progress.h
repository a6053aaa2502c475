#pragma once

#include "encode/engine/encode_driver.h"
#include "platform/paths.h"
#include "sync/engine/sync_driver.h"
#include "sync/engine/sync_journal.h"

#include <QString>

#include <map>
#include <set>

namespace mirror {

// The encode batch's progress with the record kept beside it: a file's entry is added once its
// MP3 is checked and on the disk, and dropped again should the album step then fail on it.
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

    QString options_;
    std::set<QString> spoiled_; // album folders where a file failed

private:
    void record(const encode::EncodeFileResult& file);

    encode::EncodeProgress& shown_;
    Journal& journal_;
    QString destination_;
    std::map<QString, const PlannedFile*> planned_;
    std::set<QString> recorded_;
    SyncResult& result_;
};

} // namespace mirror
