#include "encode/engine/encode_driver.h"

#include "encode/engine/album_gain.h"
#include "encode/engine/encode_file.h"
#include "encode/engine/look_ahead.h"
#include "encode/engine/output_check.h"
#include "encode/engine/track_output.h"
#include "platform/file_system.h"
#include "platform/output_claim.h"
#include "platform/output_folders.h"
#include "platform/paths.h"
#include "platform/shared_use.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <QThread>
#include <QtDebug>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

namespace encode {

using selection::FileOutcome;

namespace {

constexpr std::size_t kAlbumWriters = 8;

// Some file systems keep modification times to two seconds only.
constexpr auto kTimeSlack = std::chrono::seconds(2);

// The output counts as this run's when it is there now, differs from what was there before the
// run, and was written after the run began.
bool writtenByThisRun(const QString& path, std::optional<platform::FileTime> before,
                      platform::FileTime start) {
    const auto written = platform::modificationTime(path);
    return written && written != before && *written >= start - kTimeSlack;
}

// Copies the encoder over the program that runs, so that a copy left by a killed run or by an
// older build never runs and no run finds the copy half made. The old one is removed first,
// which works also while it still runs. The "copy" is a second name of the same file where the
// folder allows: nothing that runs writes to either. An installed, read-only program folder
// keeps the program it was installed with, which then runs. Batches that run at once from one
// program folder share one copy (a lock file beside it counts them): the first makes it, the
// others run it as it is, and the last one to end removes it where no program stood before the
// copy (an installed folder that root can write keeps its program).
class ProgramCopy {
public:
    ProgramCopy(const QString& from, const QString& to)
        : from_(from), to_(to),
          users_(QFileInfo(to).absolutePath() + "/." + QFileInfo(to).fileName() + ".lock") {}
    ~ProgramCopy() {
        if (!made_)
            return;
        if (!users_.usable()) {
            if (remove_)
                platform::deleteFile(to_);
            return;
        }
        users_.end([this] {
            if (users_.note() == kMadeByBatch && platform::deleteFile(to_))
                users_.setNote({});
        });
    }
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

    // Makes the copy unless it is made already.
    void make() {
        if (made_ || !platform::fileExists(from_))
            return;
        made_ = true;
        users_.begin([this] {
            // A copy that an earlier batch made and could not remove (it was killed) is a batch's
            // copy still.
            const bool batchCopy = users_.note() == kMadeByBatch;
            users_.setNote(replace() || (batchCopy && platform::fileExists(to_)) ? kMadeByBatch
                                                                                 : QByteArray());
        });
        // Without a lock file (a folder this batch cannot write, or one without locks) the batch
        // is taken to be alone.
        if (!users_.usable())
            remove_ = replace();
    }

private:
    static constexpr char kMadeByBatch[] = "made by a batch";

    // Puts a fresh copy in place; whether no program stood there before it.
    bool replace() {
        const bool existed = platform::fileExists(to_);
        if (existed && !platform::deleteFile(to_))
            return false;
        return platform::linkOrCopyFile(from_, to_) && !existed;
    }

    QString from_;
    QString to_;
    platform::SharedUse users_;
    bool made_ = false;
    bool remove_ = false;
};

QString runFailure(const EncoderRun& run) {
    QString reason = run.exitCode < 0
                         ? QStringLiteral("the encoder did not start or was stopped")
                         : QStringLiteral("the encoder ended with exit code %1").arg(run.exitCode);
    if (!run.lastLine.isEmpty())
        reason += QStringLiteral(": ") + run.lastLine;
    return reason;
}

// Waits until `ended` reaches `count` while the windows keep repainting and the batch's programs
// are taken the moment they end, so the next ones start at once; input waits meanwhile. Each
// worker counts itself in and then posts an empty call, which wakes the loop.
void waitResponsively(const std::atomic<std::size_t>& ended, std::size_t count) {
    while (ended.load(std::memory_order_acquire) < count)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
}

// Counts a worker in as it ends, however it ends.
struct WorkerEnd {
    explicit WorkerEnd(std::atomic<std::size_t>& counter) : ended(counter) {}
    WorkerEnd(const WorkerEnd&) = delete;
    WorkerEnd& operator=(const WorkerEnd&) = delete;
    ~WorkerEnd() {
        ended.fetch_add(1, std::memory_order_release);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    }
    std::atomic<std::size_t>& ended;
};

std::filesystem::path fsPath(const QString& path) {
    return platform::toFsPath(path);
}

// The files of one source folder in the batch: an album. Each program leaves its file's
// loudness measurement; after the folder's last file, when every one of them went well, the
// album's gain goes into each MP3.
struct Album {
    int remaining = 0;
    bool spoiled = false;
    std::vector<QString> outputs;
    std::vector<encoders::TrackLoudness> tracks;

    // Writes the album's gain into each MP3; returns those it could not be written into, with
    // why (a full disk, say).
    std::vector<std::pair<QString, QString>> write() {
        std::vector<const encoders::TrackLoudness*> measured;
        for (const auto& track : tracks)
            measured.push_back(&track);
        const auto gain = encoders::replayGain(measured);
        if (!gain)
            return {}; // silence: no gain to give
        // Each write waits mostly for the disk to sync it; several at once share the syncs.
        const std::size_t lanes = std::min<std::size_t>(outputs.size(), kAlbumWriters);
        std::vector<std::vector<std::pair<QString, QString>>> failed(lanes);
        // Before the writers: each touches it until its thread ends.
        std::atomic<std::size_t> ended = 0;
        std::vector<std::future<void>> writers;
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            writers.push_back(std::async(std::launch::async, [this, &gain, &failed, &ended, lane,
                                                              lanes] {
                const WorkerEnd end{ended};
                for (std::size_t i = lane; i < outputs.size(); i += lanes) {
                    try {
                        writeAlbumGain(fsPath(outputs[i]), *gain);
                    } catch (const std::exception& error) {
                        failed[lane].emplace_back(outputs[i], QString::fromLocal8Bit(error.what()));
                    }
                }
            }));
        }
        waitResponsively(ended, lanes);
        for (auto& writer : writers)
            writer.get();
        std::vector<std::pair<QString, QString>> all;
        for (const auto& lane : failed)
            all.insert(all.end(), lane.begin(), lane.end());
        return all;
    }
};

class Batch {
public:
    Batch(const EncodeBatchRequest& request, EncodeProgress& progress)
        : request_(request), progress_(progress),
          program_(request.programDir + request.encoder->program),
          presence_(request.programDir + request.encoder->presenceFile),
          folders_(request.options.outputDirectory) {}

    EncodeBatchResult run() {
        // Helper files that ended runs left where this batch writes.
        platform::removeStaleHelperFiles(request_.options.outputDirectory);
        const int count = int(request_.files.size());
        for (const auto& queued : request_.files)
            ++albums_[folderOf(queued.path)].remaining;
        findSharedNames();
        // Before the runner, which goes first and may run the copy.
        ProgramCopy copy(presence_, program_);
        if (request_.encoder->programCopiedForEachRun)
            copy.make();
        LookAhead runner(
            {.program = program_,
             .presence = presence_,
             .runs = planRuns(request_, program_),
             .programs = request_.programs > 0 ? request_.programs : QThread::idealThreadCount(),
             .beside = request_.encoder->writesBesideInput,
             .early = !request_.options.showEncoder,
             .claim = [this](int index) {
                 return !sharedNames_.contains(index) && makeOutputFolder(index).isEmpty() &&
                        claimOutputs(index).isEmpty();
             }});
        runner_ = &runner;
        for (int i = 0; i < count && !result_.cancelled; ++i) {
            runner.reach(i);
            // Once the runner has put the files before this one behind it, their names are free.
            claims_.releaseBefore(i);
            if (!platform::fileExists(presence_)) {
                progress_.showError("File " + presence_ + " not found");
                result_.files.push_back({.source = shownSource(request_.files[i]),
                                         .outcome = FileOutcome::NotRun,
                                         .reason = QStringLiteral("the encoder is missing"),
                                         .toldAlready = true});
                progress_.fileDone(result_.files.back());
                endOfAlbumFile(request_.files[i].path, false);
                continue;
            }
            EncodeFileResult file = encodeOne(request_.files[i], i + 1, count);
            if (request_.deleteSource && file.outcome == FileOutcome::Failed)
                file.reason += QStringLiteral("; source kept");
            result_.files.push_back(file);
            progress_.fileDone(file);
            endOfAlbumFile(request_.files[i].path, file.outcome == FileOutcome::Done);
            if (result_.cancelled) {
                // Every program still running ends; later files stay as if never started.
                runner.stopAll(file.outcome == FileOutcome::Cancelled ? i : i + 1);
            }
        }
        runner_ = nullptr;
        // The programs and the album step left the new names to be synced here, once a folder.
        for (const QString& folder : writtenFolders_) {
            if (!platform::syncFolder(folder))
                qWarning("cannot sync the folder %s", qPrintable(folder));
        }
        return result_;
    }

private:
    static QString folderOf(const QString& source) {
        return QString::fromStdString(fsPath(source).parent_path().string());
    }

    void endOfAlbumFile(const QString& source, bool produced) {
        Album& album = albums_[folderOf(source)];
        album.spoiled = album.spoiled || !produced || result_.cancelled;
        if (--album.remaining == 0 && !album.spoiled) {
            for (const auto& [output, why] : album.write())
                failForAlbumGain(result_.files, output, why, progress_);
        }
    }

    // Takes the loudness that the program of a confirmed file measured.
    void measuredForAlbum(const QString& source, const QString& output, int index) {
        Album& album = albums_[folderOf(source)];
        try {
            album.tracks.push_back(encoders::loadLoudness(fsPath(runner_->loudnessFile(index))));
            album.outputs.push_back(output);
        } catch (const std::exception& error) {
            qWarning("no album gain: %s", error.what());
            album.spoiled = true;
        }
    }

    // Where file `index` goes: as far below the output folder as it lay below the folder that
    // brought it, or where its output name puts it.
    QString outputDirectoryOf(int index) const {
        return platform::outputFolder(request_.options.outputDirectory,
                                      outputRelativeFolder(request_.files[std::size_t(index)]));
    }

    QString outputOf(int index) const {
        return outputFileOf(request_.files[std::size_t(index)], request_.options.outputDirectory);
    }

    // Output names given to two or more files: none of those files is written, so that neither
    // replaces the other. Each one keeps the source of another file of its name.
    void findSharedNames() {
        std::map<QString, std::vector<int>> byName;
        for (int i = 0; i < int(request_.files.size()); ++i) {
            if (!request_.files[std::size_t(i)].outputName.isEmpty())
                byName[outputOf(i)].push_back(i);
        }
        for (const auto& [name, files] : byName) {
            for (std::size_t k = 0; files.size() > 1 && k < files.size(); ++k)
                sharedNames_[files[k]] =
                    request_.files[std::size_t(files[(k + 1) % files.size()])].path;
        }
    }

    // Makes file `index`'s output folder where it is missing: empty, or why it cannot be made.
    QString makeOutputFolder(int index) {
        try {
            folders_.make(outputRelativeFolder(request_.files[std::size_t(index)]));
            return {};
        } catch (const std::runtime_error& error) {
            return platform::textFromBytes(error.what());
        }
    }

    EncodeFileResult encodeOne(const selection::QueuedFile& queued, int position, int count) {
        const QString& source = queued.path;
        EncodeFileResult file{.source = shownSource(queued), .output = outputOf(position - 1)};
        if (const auto shared = sharedNames_.find(position - 1); shared != sharedNames_.end()) {
            file.reason =
                QStringLiteral("%1 gets the same name; neither is converted").arg(shared->second);
            return file;
        }
        if (producedOutputs_.contains(platform::fileIdentity(file.output))) {
            file.reason = QStringLiteral("its output was written by an earlier file");
            return file;
        }
        if (const QString why = makeOutputFolder(position - 1); !why.isEmpty()) {
            file.outcome = FileOutcome::Failed;
            file.reason = why;
            return file;
        }
        // Another batch writing the same name would replace this MP3 while, or after, it is
        // checked: the file fails and its source stays.
        if (const QString inUse = claimOutputs(position - 1); !inUse.isEmpty()) {
            file.outcome = FileOutcome::Failed;
            file.reason = QStringLiteral("another conversion is writing ") + inUse;
            return file;
        }
        // A program started before the file's turn was timed when it started.
        const auto early = runner_->startedEarly(position - 1);
        const auto before = early ? early->before : platform::modificationTime(file.output);
        const auto start = early ? early->at : std::chrono::system_clock::now();
        const EncodeContext context{.programDir = request_.programDir,
                                    .outputDirectory = outputDirectoryOf(position - 1),
                                    .output = file.output,
                                    .showEncoder = request_.options.showEncoder,
                                    .position = position,
                                    .count = count,
                                    .shownInput = file.source};
        // The encoder that EncodeFile starts is this file's run in the runner.
        const FileTurn turn(*runner_, position - 1);
        const EncodeFileRun encoded =
            EncodeFile(progress_, context, program_, source, request_.options.mode,
                       request_.options.bitrate, request_.options.layer);
        file.outcome = FileOutcome::Failed;
        // A cancel that came after the encoder had finished its file still ends the batch.
        result_.cancelled = encoded.run.cancelled || encoded.run.cancelRequested;
        const bool written = writtenByThisRun(file.output, before, start);
        if (written) {
            producedOutputs_.insert(platform::fileIdentity(file.output));
            writtenFolders_.insert(QFileInfo(file.output).absolutePath());
        }
        if (encoded.run.cancelled) {
            result_.cancelled = true;
            if (written)
                platform::deleteFile(file.output);
            file.outcome = FileOutcome::Cancelled;
            return file;
        }
        if (encoded.run.exitCode != 0) {
            file.reason = runFailure(encoded.run);
            return file;
        }
        if (encoded.moveFailed) {
            file.reason = QStringLiteral("its MP3 could not be moved to ") + file.output;
            return file;
        }
        if (!written) {
            file.reason = QStringLiteral("the encoder wrote no output file");
            return file;
        }
        const QString shortfall =
            confirmEncoded(source, file.output,
                           queued.track ? std::optional(queued.track->seconds) : std::nullopt);
        if (!shortfall.isEmpty()) {
            file.reason = shortfall;
            return file;
        }
        file.outcome = FileOutcome::Done;
        file.note = encoded.run.notes.join(QStringLiteral("; "));
        runner_->checked(position - 1);
        measuredForAlbum(source, file.output, position - 1);
        // The source goes only once its MP3 is on the disk, name and data.
        // An album's file holds the other tracks too: it stays.
        if (request_.deleteSource && !queued.track)
            file.sourceDeleted = platform::syncToDisk(file.output) && platform::deleteFile(source);
        return file;
    }

    // Claims the names file `index` writes, from before its program starts until its result and
    // its source's removal are settled: empty, or the name that another process holds.
    QString claimOutputs(int index) {
        const QString source = request_.files[std::size_t(index)].path;
        QStringList names{outputOf(index)};
        if (request_.encoder->writesBesideInput)
            names.append(bladeEncOutput(source));
        return claims_.claim(index, names);
    }

    const EncodeBatchRequest& request_;
    EncodeProgress& progress_;
    const QString program_;
    const QString presence_;
    QSet<QString> producedOutputs_;
    std::set<QString> writtenFolders_;
    std::map<QString, Album> albums_;
    std::map<int, QString> sharedNames_; // by file index: another file's source of that name
    platform::OutputFolders folders_;
    LookAhead* runner_ = nullptr;
    // Outlives the runner, which puts back what unfinished runs replaced before they end.
    platform::OutputClaims claims_;
    EncodeBatchResult result_;
};

} // namespace

EncodeBatchResult runEncodeBatch(const EncodeBatchRequest& request, EncodeProgress& progress) {
    return Batch(request, progress).run();
}

} // namespace encode
