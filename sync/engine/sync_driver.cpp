#include "sync/engine/sync_driver.h"

#include "encode/engine/command_lines.h"
#include "encode/engine/track_output.h"
#include "naming/engine/tag_names.h"
#include "platform/file_system.h"
#include "platform/folder_tree.h"
#include "platform/output_folders.h"
#include "platform/paths.h"
#include "platform/sync_files.h"
#include "platform/trash.h"
#include "selection/engine/album_tracks.h"
#include "sync/engine/audio_digest.h"
#include "sync/engine/mp3_refresh.h"
#include "sync/engine/recording_progress.h"
#include "sync/engine/source_tree.h"
#include "sync/engine/sync_journal.h"

#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <system_error>

namespace mirror {

namespace {

class Sync {
public:
    Sync(const SyncRequest& request, SyncProgress& progress)
        : request_(request), progress_(progress), journal_(request.destination, request.dryRun) {}

    SyncResult run() {
        const SourceTree tree = walkSources(request_.source, request_.destination,
                                            [this](const QString& text) { progress_.warn(text); });
        const Plan plan = makePlan({
            .sources = tree.sources,
            .record = journal_.record(),
            .options = request_.options,
            .transcodeLossy = request_.transcodeLossy,
            .sheets = tree.sheets,
            .convertedName = [this](const SourceFile& file) { return convertedName(file); },
            .trackName =
                [this](const SourceFile& file, const selection::QueuedTrack& track) {
                    return trackName(file, track);
                },
            .queued = [this](const SourceFile& file) { return queued(file); },
            .facts =
                [this](const QString& relative) {
                    return platform::regularFileFacts(
                        platform::joinPath(request_.source, relative));
                },
            .outputExists =
                [this](const QString& output) { return !platform::isMissing(below(output)); },
            .audioDigest = [](const SourceFile& file) { return audioDigest(file.path); },
            .sourceGone =
                [this](const QString& source) {
                    return platform::isMissing(platform::joinPath(request_.source, source));
                },
        });
        if (request_.dryRun)
            tellPlan(plan);
        else
            carryOut(plan, tree.sheets);
        return result_;
    }

private:
    QString below(const QString& relative) const {
        return platform::joinPath(request_.destination, relative);
    }

    // Where the encode batch puts a converted source's MP3, below the destination.
    QString convertedName(const SourceFile& file) const {
        if (request_.names)
            return namedFromTags(file);
        const QString folder = platform::outputFolder(platform::withSeparator(request_.destination),
                                                      file.relativeFolder);
        return encode::OutputFileName(file.path, folder)
            .mid(platform::withSeparator(request_.destination).size());
    }

    // An album track's MP3 below the destination, named as the encode batch names it.
    QString trackName(const SourceFile& file, const selection::QueuedTrack& track) const {
        const QString top = platform::withSeparator(request_.destination);
        return encode::outputFileOf(queuedFile(file, track), top).mid(top.size());
    }

    static selection::QueuedFile queuedFile(const SourceFile& file,
                                            std::optional<selection::QueuedTrack> track) {
        return {.name = file.relative,
                .path = file.path,
                .relativeFolder = file.relativeFolder,
                .track = std::move(track)};
    }

    // What encoding the source queues: the tracks of its album, or itself. A sheet that does
    // not fit is told, and the file is converted whole.
    std::vector<selection::QueuedFile> queued(const SourceFile& file) {
        QStringList refusals;
        auto files = selection::albumTracks(queuedFile(file, std::nullopt), refusals);
        for (const QString& refusal : refusals)
            progress_.warn(refusal);
        return files;
    }

    // A name from the source's tags. An unchanged source keeps the name it was recorded under,
    // so that deciding it is up to date opens no source.
    QString namedFromTags(const SourceFile& file) const {
        const auto& record = journal_.record().files;
        const auto entry = record.find({file.relative, 0});
        if (entry != record.end() && entry->second.size == file.facts.size &&
            entry->second.modifiedNs == file.facts.modifiedNs &&
            entry->second.options == request_.options)
            return entry->second.output;
        return platform::fromFsPath(
            naming::nameFromTags(*request_.names, platform::toFsPath(file.path)));
    }

    void tellPlan(const Plan& plan) {
        for (const PlannedFile& file : plan.files) {
            progress_.planned(file);
            count(file);
            result_.counts.albumGains += file.albumGain ? 1 : 0;
        }
        std::vector<RecordEntry> outputs = plan.withoutSource;
        outputs.insert(outputs.end(), plan.superseded.begin(), plan.superseded.end());
        outputs.insert(outputs.end(), plan.leftovers.begin(), plan.leftovers.end());
        for (const RecordEntry& gone : outputs) {
            if (platform::isMissing(below(gone.output)))
                continue;
            if (!request_.deleteWithoutSource) {
                result_.counts.withoutSource.append(gone.output);
            } else if (!asMade(gone)) {
                result_.counts.changedSinceMade.append(gone.output);
            } else {
                progress_.plannedTrash(gone.output);
                ++result_.counts.trashed;
            }
        }
    }

    void count(const PlannedFile& file) {
        switch (file.action) {
        case Action::Convert:
            ++result_.counts.toConvert;
            break;
        case Action::Copy:
            ++result_.counts.toCopy;
            break;
        case Action::UpdateTags:
            ++result_.counts.toUpdateTags;
            break;
        case Action::UpToDate:
            ++result_.counts.upToDate;
            break;
        case Action::Clash:
            ++result_.counts.failed;
            break;
        }
    }

    void carryOut(const Plan& plan, const std::map<QString, SheetFacts>& sheets) {
        std::vector<const PlannedFile*> copies;
        std::vector<const PlannedFile*> conversions;
        std::vector<const PlannedFile*> tags;
        for (const PlannedFile& file : plan.files) {
            count(file);
            if (file.action == Action::Copy)
                copies.push_back(&file);
            else if (file.action == Action::UpdateTags)
                tags.push_back(&file);
            else if (file.action == Action::Convert)
                conversions.push_back(&file);
            else if (file.action == Action::Clash)
                progress_.warn(file.source.relative + QStringLiteral(" is left out: ") + file.why);
        }
        for (const RecordKey& key : plan.forget)
            journal_.drop(key);
        for (const QString& output : plan.forgetLeftovers)
            journal_.dropLeftover(output);
        copy(copies);
        if (!result_.interrupted && result_.stopReason.isEmpty())
            updateTags(tags);
        if (!result_.interrupted && result_.stopReason.isEmpty())
            convert(conversions);
        if (!result_.interrupted && result_.stopReason.isEmpty())
            refreshAlbums(plan);
        restat(plan);
        if (!result_.interrupted && result_.stopReason.isEmpty()) {
            putAside(plan.withoutSource);
            putAsideSuperseded(plan);
            putAsideLeftovers(plan.leftovers);
        }
        settleSheets(plan, sheets);
        journal_.compact();
    }

    // Whether each of a source's planned outputs is made, from the source as it is now.
    std::map<QString, bool> remade(const Plan& plan) const {
        std::map<QString, bool> made;
        for (const PlannedFile& file : plan.files) {
            bool& done = made.try_emplace(file.source.relative, true).first->second;
            if (file.action == Action::Clash) {
                done = false;
            } else if (file.action == Action::Convert) {
                const auto entry = journal_.record().files.find(file.key());
                done = done && entry != journal_.record().files.end() &&
                       entry->second.output == file.output &&
                       entry->second.size == file.source.facts.size &&
                       entry->second.modifiedNs == file.source.facts.modifiedNs;
            }
        }
        return made;
    }

    // The record takes the sheets as they are now, but for the folders where a source's new
    // outputs are not all made: there the next sync reads the sheets again.
    void settleSheets(const Plan& plan, const std::map<QString, SheetFacts>& sheets) {
        std::set<QString> unsettled;
        for (const auto& [source, done] : remade(plan)) {
            if (!done)
                unsettled.insert(source.left(std::max<qsizetype>(0, source.lastIndexOf(u'/'))));
        }
        std::map<QString, SheetFacts> settled;
        const auto& known = journal_.record().sheets;
        const auto folderOf = [](const QString& sheet) {
            return sheet.left(std::max<qsizetype>(0, sheet.lastIndexOf(u'/')));
        };
        for (const auto& [sheet, facts] : sheets) {
            if (unsettled.count(folderOf(sheet)) == 0)
                settled[sheet] = facts;
            else if (const auto old = known.find(sheet); old != known.end())
                settled[sheet] = old->second;
        }
        for (const auto& [sheet, facts] : known) {
            if (unsettled.count(folderOf(sheet)) > 0)
                settled.try_emplace(sheet, facts);
        }
        journal_.setSheets(settled);
    }

    // The output facts as this run left them: the album steps wrote into MP3s after their
    // entries were added.
    void restat(const Plan& plan) {
        for (const PlannedFile& file : plan.files) {
            const auto found = journal_.record().files.find(file.key());
            if (found == journal_.record().files.end() ||
                (file.action == Action::UpToDate && !file.albumGain))
                continue;
            RecordEntry entry = found->second;
            const auto facts = platform::regularFileFacts(below(entry.output));
            if (!facts ||
                (facts->size == entry.outputSize && facts->modifiedNs == entry.outputModifiedNs))
                continue;
            entry.outputSize = facts->size;
            entry.outputModifiedNs = facts->modifiedNs;
            journal_.addMade(entry);
        }
    }

    // Whether the output is still as the sync that made it left it.
    bool asMade(const RecordEntry& entry) const {
        const auto facts = platform::regularFileFacts(below(entry.output));
        return facts && facts->size == entry.outputSize &&
               facts->modifiedNs == entry.outputModifiedNs;
    }

    void copy(const std::vector<const PlannedFile*>& files) {
        platform::OutputFolders folders(platform::withSeparator(request_.destination));
        int position = 0;
        for (const PlannedFile* file : files) {
            if (progress_.interrupted()) {
                result_.interrupted = true;
                return;
            }
            const QString output = below(file->output);
            progress_.copyStarted(++position, int(files.size()), file->source.path, output);
            try {
                folders.make(file->source.relativeFolder);
                platform::copyFileDurably(file->source.path, output);
                const auto facts = platform::syncToDisk(output) ? platform::regularFileFacts(output)
                                                                : std::nullopt;
                if (!facts)
                    throw std::runtime_error("cannot sync " + output.toStdString());
                journal_.add({.source = file->source.relative,
                              .size = file->source.facts.size,
                              .modifiedNs = file->source.facts.modifiedNs,
                              .options = kCopied,
                              .audio = {},
                              .output = file->output,
                              .outputSize = facts->size,
                              .outputModifiedNs = facts->modifiedNs});
                ++result_.counts.copied;
                progress_.copyDone(file->source.path, output, true, {});
            } catch (const std::exception& error) {
                const QString reason = platform::textFromBytes(error.what());
                ++result_.counts.failed;
                progress_.copyDone(file->source.path, output, false, reason);
                const auto* system = dynamic_cast<const std::system_error*>(&error);
                if (system && system->code() == std::errc::no_space_on_device) {
                    result_.stopReason = reason;
                    return;
                }
            }
        }
    }

    void convert(const std::vector<const PlannedFile*>& files) {
        if (files.empty())
            return;
        encode::EncodeBatchRequest request = request_.encode;
        request.options.outputDirectory = platform::withSeparator(request_.destination);
        request.deleteSource = false;
        std::map<QString, const PlannedFile*> planned; // by the name the batch's results use
        for (const PlannedFile* file : files) {
            selection::QueuedFile queued = queuedFile(file->source, file->track);
            queued.outputName = request_.names && !file->track ? file->output : QString();
            planned[encode::shownSource(queued)] = file;
            request.files.push_back(std::move(queued));
        }
        const auto shown = progress_.encoding(request.files);
        RecordingProgress recording(*shown, journal_, request_.destination, std::move(planned),
                                    result_);
        recording.options_ = request_.options;
        const encode::EncodeBatchResult batch = encode::runEncodeBatch(request, recording);
        recording.record();
        result_.interrupted = batch.cancelled && result_.stopReason.isEmpty();
        spoiled_.insert(recording.spoiled_.begin(), recording.spoiled_.end());
    }

    void updateTags(const std::vector<const PlannedFile*>& files) {
        for (const PlannedFile* file : files) {
            if (progress_.interrupted()) {
                result_.interrupted = true;
                return;
            }
            try {
                const QString output = below(file->output);
                refreshTags(file->source.path, output);
                const auto facts = platform::regularFileFacts(output);
                if (!facts)
                    throw std::runtime_error("cannot find " + output.toStdString());
                journal_.add({.source = file->source.relative,
                              .size = file->source.facts.size,
                              .modifiedNs = file->source.facts.modifiedNs,
                              .options = request_.options,
                              .audio = file->audio,
                              .output = file->output,
                              .outputSize = facts->size,
                              .outputModifiedNs = facts->modifiedNs});
                ++result_.counts.tagsUpdated;
                progress_.updated(QStringLiteral("tags"), file->output, {});
            } catch (const std::exception& error) {
                spoiled_.insert(file->source.relativeFolder);
                ++result_.counts.failed;
                progress_.updated(QStringLiteral("tags"), file->output,
                                  platform::textFromBytes(error.what()));
            }
        }
    }

    // The album gain of each folder where a track was converted again, or went, while others
    // stayed: measured over the folder's tracks as they are now, written into each MP3.
    void refreshAlbums(const Plan& plan) {
        std::map<QString, std::vector<const PlannedFile*>> albums;
        std::set<QString> stale;
        for (const PlannedFile& file : plan.files) {
            if (file.track)
                continue; // an album of one file has its gain from its batch
            const bool track = file.action == Action::Convert || file.albumGain;
            if (track)
                albums[file.source.relativeFolder].push_back(&file);
            if (file.albumGain)
                stale.insert(file.source.relativeFolder);
        }
        for (const QString& folder : stale) {
            if (spoiled_.count(folder) > 0)
                continue;
            std::vector<std::pair<QString, QString>> tracks;
            for (const PlannedFile* file : albums[folder])
                tracks.emplace_back(file->source.path, below(file->output));
            try {
                refreshAlbumGain(tracks);
                platform::syncFolder(below(folder));
                for (const PlannedFile* file : albums[folder]) {
                    if (file->albumGain) {
                        ++result_.counts.albumGains;
                        progress_.updated(QStringLiteral("album gain"), file->output, {});
                    }
                }
            } catch (const std::exception& error) {
                ++result_.counts.failed;
                progress_.updated(QStringLiteral("album gain"), folder,
                                  platform::textFromBytes(error.what()));
            }
        }
    }

    // The outputs whose source is gone: to the Trash with --delete, else named in the summary.
    void putAside(const std::vector<RecordEntry>& gone) {
        std::set<QString> emptied;
        for (const RecordEntry& entry : gone) {
            // A source that is still there and took another name: its entry is the new name's
            // once that is made, and until then its old output stays.
            const auto now = journal_.record().files.find(entry.key());
            const bool renamed =
                now != journal_.record().files.end() && now->second.output != entry.output;
            if (!renamed && !platform::isMissing(platform::joinPath(request_.source, entry.source)))
                continue;
            // A renamed source's old output is no entry's any more: kept, it is a leftover.
            setAside(
                entry,
                [&] {
                    if (!renamed)
                        journal_.drop(entry.key());
                },
                [&] {
                    if (renamed)
                        journal_.keepLeftover(entry);
                },
                emptied);
        }
        trashEmptied(emptied);
    }

    // The outputs that a source gives no more, once its new ones are all made. Without
    // --delete they are kept as leftovers.
    void putAsideSuperseded(const Plan& plan) {
        const std::map<QString, bool> made = remade(plan);
        std::set<QString> emptied;
        for (const RecordEntry& entry : plan.superseded) {
            const auto done = made.find(entry.source);
            if (done == made.end() || !done->second)
                continue;
            const auto now = journal_.record().files.find(entry.key());
            // Its entry goes, unless the entry now stands for a new output of the source.
            const bool drop =
                now != journal_.record().files.end() && now->second.output == entry.output;
            setAside(
                entry,
                [&] {
                    if (drop)
                        journal_.drop(entry.key());
                },
                [&] {
                    if (drop)
                        journal_.drop(entry.key());
                    journal_.keepLeftover(entry);
                },
                emptied);
        }
        trashEmptied(emptied);
    }

    // The outputs kept without a source by earlier syncs: to the Trash with --delete.
    void putAsideLeftovers(const std::vector<RecordEntry>& leftovers) {
        std::set<QString> emptied;
        for (const RecordEntry& entry : leftovers)
            setAside(
                entry, [&] { journal_.dropLeftover(entry.output); }, [] {}, emptied);
        trashEmptied(emptied);
    }

    // One output to the Trash with --delete, else named in the summary; `gone` is called once
    // it is no longer in DEST, `kept` when it stays.
    void setAside(const RecordEntry& entry, const std::function<void()>& gone,
                  const std::function<void()>& kept, std::set<QString>& emptied) {
        const QString output = below(entry.output);
        if (platform::isMissing(output)) {
            gone();
            return;
        }
        if (!request_.deleteWithoutSource || !asMade(entry)) {
            (request_.deleteWithoutSource ? result_.counts.changedSinceMade
                                          : result_.counts.withoutSource)
                .append(entry.output);
            kept();
            return;
        }
        try {
            platform::moveToTrash(output);
            gone();
            ++result_.counts.trashed;
            progress_.trashed(entry.output, {});
            emptied.insert(QFileInfo(entry.output).path());
        } catch (const std::runtime_error& error) {
            ++result_.counts.failed;
            progress_.trashed(entry.output, platform::textFromBytes(error.what()));
        }
    }

    // A folder that held only such files goes with them; the deepest first.
    void trashEmptied(const std::set<QString>& emptied) {
        for (auto folder = emptied.rbegin(); folder != emptied.rend(); ++folder) {
            for (QString relative = *folder; relative != QStringLiteral(".") && !relative.isEmpty();
                 relative = QFileInfo(relative).path()) {
                if (!platform::isEmptyFolder(below(relative)))
                    break;
                try {
                    platform::moveToTrash(below(relative));
                } catch (const std::runtime_error& error) {
                    progress_.warn(platform::textFromBytes(error.what()));
                    break;
                }
            }
        }
    }

    const SyncRequest& request_;
    SyncProgress& progress_;
    Journal journal_;
    SyncResult result_;
    std::set<QString> spoiled_; // album folders where a file failed
};

} // namespace

SyncResult runSync(const SyncRequest& request, SyncProgress& progress) {
    return Sync(request, progress).run();
}

} // namespace mirror
