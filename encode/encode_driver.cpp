#include "encode/encode_driver.h"

#include "encode/encode_file.h"
#include "encode/output_check.h"
#include "platform/file_system.h"

#include <QSet>

#include <chrono>
#include <optional>

namespace encode {

using selection::FileOutcome;

namespace {

// Some file systems keep modification times to two seconds only.
constexpr auto kTimeSlack = std::chrono::seconds(2);

// The output counts as this run's when it is there now, differs from what was there before the
// run, and was written after the run began.
bool writtenByThisRun(const QString& path, std::optional<platform::FileTime> before,
                      platform::FileTime start) {
    const auto written = platform::modificationTime(path);
    return written && written != before && *written >= start - kTimeSlack;
}

QString runFailure(const EncoderRun& run) {
    QString reason = run.exitCode < 0
                         ? QStringLiteral("the encoder did not start or was stopped")
                         : QStringLiteral("the encoder ended with exit code %1").arg(run.exitCode);
    if (!run.lastLine.isEmpty())
        reason += QStringLiteral(": ") + run.lastLine;
    return reason;
}

class Batch {
public:
    Batch(const EncodeBatchRequest& request, EncodeProgress& progress)
        : request_(request), progress_(progress),
          program_(request.programDir + request.encoder->program),
          presence_(request.programDir + request.encoder->presenceFile) {}

    EncodeBatchResult run() {
        const int count = int(request_.files.size());
        for (int i = 0; i < count && !result_.cancelled; ++i) {
            if (!platform::fileExists(presence_)) {
                progress_.showError("File " + presence_ + " not found");
                result_.files.push_back({.source = request_.files[i].path,
                                         .outcome = FileOutcome::NotRun,
                                         .reason = QStringLiteral("the encoder is missing"),
                                         .toldAlready = true});
                progress_.fileDone(result_.files.back());
                continue;
            }
            EncodeFileResult file = encodeOne(request_.files[i].path, i + 1, count);
            if (request_.deleteSource && file.outcome == FileOutcome::Failed)
                file.reason += QStringLiteral("; source kept");
            result_.files.push_back(file);
            progress_.fileDone(file);
        }
        return result_;
    }

private:
    EncodeFileResult encodeOne(const QString& source, int position, int count) {
        EncodeFileResult file{.source = source,
                              .output = OutputFileName(source, request_.options.outputDirectory)};
        if (producedOutputs_.contains(platform::fileIdentity(file.output))) {
            file.reason = QStringLiteral("its output was written by an earlier file");
            return file;
        }
        const auto before = platform::modificationTime(file.output);
        const auto start = std::chrono::system_clock::now();
        // An installed program folder may be read-only: then the program that lies there runs.
        // A program that was there before the batch stays there.
        const bool copied = request_.encoder->programCopiedForEachRun &&
                            !platform::fileExists(program_) &&
                            platform::copyFileReplacing(presence_, program_);
        const EncodeContext context{.programDir = request_.programDir,
                                    .outputDirectory = request_.options.outputDirectory,
                                    .showEncoder = request_.options.showEncoder,
                                    .position = position,
                                    .count = count};
        EncodeFileRun encoded;
        try {
            encoded = EncodeFile(progress_, context, program_, source, request_.options.mode,
                                 request_.options.bitrate, request_.options.layer);
        } catch (...) {
            if (copied)
                platform::deleteFile(program_);
            throw;
        }
        if (copied)
            platform::deleteFile(program_);
        file.outcome = FileOutcome::Failed;
        const bool written = writtenByThisRun(file.output, before, start);
        if (written)
            producedOutputs_.insert(platform::fileIdentity(file.output));
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
        const QString shortfall = confirmEncoded(source, file.output);
        if (!shortfall.isEmpty()) {
            file.reason = shortfall;
            return file;
        }
        file.outcome = FileOutcome::Done;
        if (request_.deleteSource)
            file.sourceDeleted = platform::deleteFile(source);
        return file;
    }

    const EncodeBatchRequest& request_;
    EncodeProgress& progress_;
    const QString program_;
    const QString presence_;
    QSet<QString> producedOutputs_;
    EncodeBatchResult result_;
};

} // namespace

EncodeBatchResult runEncodeBatch(const EncodeBatchRequest& request, EncodeProgress& progress) {
    return Batch(request, progress).run();
}

} // namespace encode
