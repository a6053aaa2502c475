#include "cli/sync_command.h"

#include "app/engine/audio_durations.h"
#include "cli/batch_report.h"
#include "cli/cli_requests.h"
#include "cli/terminal_batches.h"
#include "encode/engine/command_lines.h"
#include "encode/engine/encoder_job.h"
#include "platform/file_system.h"
#include "platform/interrupt_signal.h"
#include "platform/output_folders.h"
#include "platform/paths.h"
#include "platform/sync_files.h"
#include "sync/engine/sync_driver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace cli {

namespace {

// A sync that cannot begin as asked: one line, exit status 2.
class Refusal : public std::runtime_error {
public:
    explicit Refusal(const QString& text) : std::runtime_error(text.toStdString()) {}
};

void line(std::FILE* stream, const QString& text) {
    const QByteArray bytes = platform::bytesFromText(text + u'\n');
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

void json(const QJsonObject& object) {
    line(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

bool within(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(platform::withSeparator(folder));
}

// The two folders, checked: SOURCE a folder, DEST a folder this user can write (made when
// missing, but not by a dry run), and neither inside the other.
std::pair<QString, QString> folders(const CliArguments& a) {
    const QString source = platform::realPath(a.paths[0]);
    if (!platform::isReadableDirectory(source))
        throw Refusal(QStringLiteral("SOURCE %1 is not a readable folder").arg(a.paths[0]));
    const QString given = QDir::cleanPath(QFileInfo(a.paths[1]).absoluteFilePath());
    const auto check = [&](const QString& destination) {
        if (destination == source)
            throw Refusal(QStringLiteral("DEST %1 is SOURCE itself").arg(a.paths[1]));
        if (within(destination, source))
            throw Refusal(
                QStringLiteral("DEST %1 lies inside SOURCE %2").arg(a.paths[1], a.paths[0]));
        if (within(source, destination))
            throw Refusal(
                QStringLiteral("SOURCE %1 lies inside DEST %2").arg(a.paths[0], a.paths[1]));
    };
    check(platform::realPath(given));
    if (a.dryRun && !platform::fileExists(given))
        return {source, given};
    if (!platform::fileExists(given)) {
        try {
            platform::makeFolders(given);
        } catch (const std::runtime_error& error) {
            throw Refusal(QStringLiteral("DEST %1 cannot be made: %2")
                              .arg(a.paths[1], platform::textFromBytes(error.what())));
        }
    }
    const QString destination = platform::realPath(given);
    check(destination);
    if (!platform::isReadableDirectory(destination))
        throw Refusal(QStringLiteral("DEST %1 is not a folder").arg(a.paths[1]));
    if (!a.dryRun && !platform::isWritableFolder(destination))
        throw Refusal(QStringLiteral("DEST %1 cannot be written").arg(a.paths[1]));
    return {source, destination};
}

// What makes an MP3 out of date when it changes: the command line its program gets for a
// source, less the paths, so that every option that reaches the program counts.
QString fingerprint(const encode::EncodeBatchRequest& request) {
    encode::EncodeOptions options = request.options;
    options.outputDirectory = QStringLiteral("/");
    encode::TEncoderJob job;
    try {
        encode::fillJob(job, request.encoder->id, QStringLiteral("/program"),
                        QStringLiteral("/source.wav"), options);
    } catch (const std::exception&) {
        // A bitrate without a number: the batch refuses it before anything runs.
        return QStringList{request.encoder->commandWord, options.mode, options.bitrate,
                           options.layer}
            .join(u'|');
    }
    return request.encoder->commandWord + u'|' + job.commandLine();
}

QString actionWord(mirror::Action action) {
    switch (action) {
    case mirror::Action::Convert:
        return QStringLiteral("convert");
    case mirror::Action::Copy:
        return QStringLiteral("copy");
    case mirror::Action::UpdateTags:
        return QStringLiteral("update tags");
    case mirror::Action::Clash:
        return QStringLiteral("left out");
    case mirror::Action::UpToDate:
        break;
    }
    return QStringLiteral("up to date");
}

class TerminalSync final : public mirror::SyncProgress {
public:
    explicit TerminalSync(bool json) : json_(json) {}

    void warn(const QString& text) override {
        line(stderr, QStringLiteral("sonabox: warning: ") + text);
    }

    void planned(const mirror::PlannedFile& file) override {
        const QString action = actionWord(file.action);
        if (json_)
            json({{"event", "plan"},
                  {"action", action},
                  {"source", file.label()},
                  {"output", file.output},
                  {"why", file.why}});
        else
            line(stdout,
                 action + QStringLiteral(": ") + file.label() +
                     (file.why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(file.why)));
        if (file.albumGain && json_)
            json({{"event", "plan"}, {"action", "update album gain"}, {"output", file.output}});
        else if (file.albumGain)
            line(stdout, QStringLiteral("update album gain: ") + file.output);
    }

    void plannedTrash(const QString& output) override {
        if (json_)
            json({{"event", "plan"}, {"action", "move to the Trash"}, {"output", output}});
        else
            line(stdout, QStringLiteral("move to the Trash: ") + output);
    }

    void copyStarted(int position, int count, const QString& source,
                     const QString& output) override {
        if (!copies_)
            copies_ = std::make_unique<BatchReport>(
                QStringLiteral("Copying"), std::vector<double>(std::size_t(count), 1.0), json_);
        copies_->started(position, count, source, output);
    }

    void copyDone(const QString& source, const QString& output, bool done,
                  const QString& reason) override {
        copies_->finished(source, output,
                          done ? selection::FileOutcome::Done : selection::FileOutcome::Failed,
                          reason);
    }

    void trashed(const QString& output, const QString& reason) override {
        if (json_)
            json({{"event", "trash"}, {"output", output}, {"reason", reason}});
        line(stderr, reason.isEmpty() ? QStringLiteral("moved to the Trash: ") + output
                                      : QStringLiteral("sonabox: ") + reason);
    }

    void updated(const QString& what, const QString& output, const QString& reason) override {
        if (json_)
            json({{"event", "updated"}, {"what", what}, {"output", output}, {"reason", reason}});
        line(stderr, reason.isEmpty()
                         ? QStringLiteral("%1 updated: %2").arg(what, output)
                         : QStringLiteral("sonabox: %1: the %2 could not be written: %3")
                               .arg(output, what, reason));
    }

    std::unique_ptr<encode::EncodeProgress>
    encoding(const std::vector<selection::QueuedFile>& files) override {
        encodes_ = std::make_unique<BatchReport>(QStringLiteral("Encoding"),
                                                 app::audioDurations(files), json_);
        encodeCount_ = int(files.size());
        return terminalEncodeProgress(*encodes_, interrupt_);
    }

    bool interrupted() override {
        QCoreApplication::processEvents();
        return interrupt_.received();
    }

    // The encode batch's last event, the counts and the exit status.
    int finish(const mirror::SyncResult& result, bool dryRun) {
        const mirror::SyncCounts& c = result.counts;
        const bool interrupted = result.interrupted || interrupt_.received();
        if (encodes_)
            encodes_->batchDone(encodeCount_, c.converted, c.failed, interrupted);
        QString text =
            dryRun ? QStringLiteral("sync --dry-run: %1 to convert, %2 to update tags, %3 to copy, "
                                    "%4 album gains to update, %5 to move to the Trash, %6 up to "
                                    "date, %7 left out; nothing was changed")
                         .arg(c.toConvert)
                         .arg(c.toUpdateTags)
                         .arg(c.toCopy)
                         .arg(c.albumGains)
                         .arg(c.trashed)
                         .arg(c.upToDate)
                         .arg(c.failed)
                   : QStringLiteral("sync: %1 converted, %2 tags updated, %3 copied, %4 album "
                                    "gains updated, %5 moved to the Trash, %6 up to date, %7 "
                                    "failed")
                         .arg(c.converted)
                         .arg(c.tagsUpdated)
                         .arg(c.copied)
                         .arg(c.albumGains)
                         .arg(c.trashed)
                         .arg(c.upToDate)
                         .arg(c.failed);
        if (!c.withoutSource.isEmpty())
            text += QStringLiteral("; %1 made by a sync without a source now, kept (--delete "
                                   "moves them to the Trash): %2")
                        .arg(c.withoutSource.size())
                        .arg(c.withoutSource.join(QStringLiteral(", ")));
        if (!c.changedSinceMade.isEmpty())
            text += QStringLiteral("; %1 without a source now but changed since a sync made "
                                   "them, kept: %2")
                        .arg(c.changedSinceMade.size())
                        .arg(c.changedSinceMade.join(QStringLiteral(", ")));
        if (!result.stopReason.isEmpty())
            text += QStringLiteral("; stopped: ") + result.stopReason;
        if (interrupted)
            text += QStringLiteral("; interrupted");
        if (json_)
            json({{"event", "sync"},
                  {"converted", c.converted},
                  {"copied", c.copied},
                  {"tagsUpdated", c.tagsUpdated},
                  {"albumGains", c.albumGains},
                  {"toUpdateTags", c.toUpdateTags},
                  {"trashed", c.trashed},
                  {"upToDate", c.upToDate},
                  {"failed", c.failed},
                  {"toConvert", c.toConvert},
                  {"toCopy", c.toCopy},
                  {"withoutSource", QJsonValue::fromVariant(c.withoutSource)},
                  {"changedSinceMade", QJsonValue::fromVariant(c.changedSinceMade)},
                  {"dryRun", dryRun},
                  {"interrupted", interrupted}});
        line(stderr, QStringLiteral("sonabox: ") + text);
        if (interrupted)
            return kInterrupted;
        return c.failed > 0 || !result.stopReason.isEmpty() ? kSomeFailed : kAllDone;
    }

private:
    bool json_;
    platform::InterruptSignal interrupt_;
    std::unique_ptr<BatchReport> copies_;
    std::unique_ptr<BatchReport> encodes_;
    int encodeCount_ = 0;
};

} // namespace

int runSync(const CliArguments& arguments, const app::StoredSettings& stored,
            const QString& programDir) {
    TerminalSync terminal(arguments.json);
    try {
        const auto [source, destination] = folders(arguments);
        mirror::SyncRequest request{.source = source,
                                    .destination = destination,
                                    .encode =
                                        encodeRequestFor(arguments, stored, programDir, {},
                                                         platform::withSeparator(destination)),
                                    .options = {},
                                    .deleteWithoutSource = arguments.deleteWithoutSource,
                                    .dryRun = arguments.dryRun,
                                    .transcodeLossy = arguments.transcodeLossy,
                                    .names = namePattern(arguments.names)};
        request.options = fingerprint(request.encode);
        if (request.names)
            request.options += QStringLiteral("|names=") + arguments.names;
        return terminal.finish(mirror::runSync(request, terminal), arguments.dryRun);
    } catch (const Refusal& refusal) {
        line(stderr, QStringLiteral("sonabox: sync: ") + QString::fromStdString(refusal.what()));
        return kUsage;
    } catch (const mirror::SyncRefused& refusal) {
        line(stderr, QStringLiteral("sonabox: sync: ") + QString::fromStdString(refusal.what()));
        return kUsage;
    }
}

} // namespace cli
