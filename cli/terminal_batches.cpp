#include "cli/terminal_batches.h"

#include "app/engine/audio_durations.h"
#include "app/engine/batch_summary.h"
#include "cli/batch_report.h"
#include "cli/cli_requests.h"
#include "encode/engine/encoder_job.h"
#include "encode/engine/encoder_process.h"
#include "mpegplay/mpeg_player.h"
#include "platform/interrupt_signal.h"
#include "tools/encoders/core/batch_protocol.h"

#include <QRegularExpression>
#include <QSet>
#include <QTimer>

#include <algorithm>

namespace cli {

namespace {

// The encoders print "  50% done" as they go.
class PercentView final : public encode::EncoderOutputView {
public:
    explicit PercentView(BatchReport& report) : report_(report) {}
    void started(const QString&) override {}
    void append(const QString& text) override {
        for (const int percent : encoders::protocol::percentsDone(text.toStdString()))
            report_.progress(percent / 100.0);
    }
    bool takesErrorOutput() const override { return false; }

private:
    BatchReport& report_;
};

class TerminalEncodeProgress final : public encode::EncodeProgress {
public:
    TerminalEncodeProgress(BatchReport& report, platform::InterruptSignal& interrupt)
        : report_(report), interrupt_(interrupt) {
        QObject::connect(&interrupt_, &platform::InterruptSignal::interrupted, [this] {
            if (control_)
                control_->cancel();
        });
    }

    void showError(const QString& text) override { report_.say(text); }

    encode::EncoderRun runJob(const QString& program, const QString& input, const QString& output,
                              int position, int count) override {
        report_.started(position, count, input, output);
        if (interrupt_.received())
            return {.exitCode = -1, .cancelled = true};
        encode::EncoderRunControl control;
        PercentView view(report_);
        control_ = &control;
        const int exitCode =
            encode::RunEncoderProcess(program, encode::EncoderJob.commandLine(), &view, &control);
        control_ = nullptr;
        // An encoder that had finished its file when Ctrl+C came keeps it; the batch still ends.
        return {.exitCode = exitCode,
                .cancelled = control.cancelled(),
                .lastLine = control.lastLine(),
                .cancelRequested = control.cancelRequested() || interrupt_.received(),
                .notes = control.notes()};
    }

    void fileDone(const encode::EncodeFileResult& file) override {
        // A second result for a file: the album step failed on its MP3.
        if (reported_.contains(file.source))
            report_.albumFailed(file.source, file.output, file.reason);
        else
            report_.finished(file.source, file.output, file.outcome, file.reason, file.note);
        reported_.insert(file.source);
    }

private:
    BatchReport& report_;
    platform::InterruptSignal& interrupt_;
    encode::EncoderRunControl* control_ = nullptr;
    QSet<QString> reported_;
};

class TerminalDecodeProgress final : public decode::DecodeProgress {
public:
    TerminalDecodeProgress(BatchReport& report, platform::InterruptSignal& interrupt)
        : report_(report), interrupt_(interrupt) {}

    void begin(const QString&, const QString& output, int position, int count) override {
        output_ = output;
        report_.started(position, count, source_(position), output);
    }
    void setLength(int length) override { length_ = length; }
    void setPosition(int position) override {
        if (length_ > 0)
            report_.progress(std::min(1.0, double(position) / length_));
    }
    void end() override {}
    bool cancelRequested() const override { return interrupt_.received(); }
    void fileDone(const decode::DecodeFileResult& file) override {
        report_.finished(file.source, file.output, file.outcome, file.reason);
    }

    std::function<QString(int)> source_;

private:
    BatchReport& report_;
    platform::InterruptSignal& interrupt_;
    QString output_;
    int length_ = 0;
};

// The window's error box, as lines on standard error; then the exit status.
template <class Result>
int finish(BatchReport& report, const std::vector<Result>& files, int total, bool interrupted,
           const QString& stopError = QString()) {
    const app::BatchCounts counts = app::countOutcomes(files);
    report.batchDone(total, counts.done, counts.failed, interrupted);
    if (const auto summary = app::summariseFailures(app::failureLines(files), total)) {
        const QString text = summary->details.isEmpty() ? summary->text : summary->details;
        report.say(QString(text).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    }
    if (!stopError.isEmpty())
        report.say(stopError);
    if (interrupted)
        return kInterrupted;
    return counts.done == total ? kAllDone : kSomeFailed;
}

} // namespace

std::unique_ptr<encode::EncodeProgress>
terminalEncodeProgress(BatchReport& report, platform::InterruptSignal& interrupt) {
    return std::make_unique<TerminalEncodeProgress>(report, interrupt);
}

int runEncode(const CliArguments& arguments, const app::StoredSettings& stored,
              const QString& programDir) {
    const encode::EncodeBatchRequest request = encodeRequest(arguments, stored, programDir);
    platform::InterruptSignal interrupt;
    BatchReport report(QStringLiteral("Encoding"), app::audioDurations(request.files),
                       arguments.json);
    TerminalEncodeProgress progress(report, interrupt);
    encode::EncodeBatchResult result;
    try {
        result = encode::runEncodeBatch(request, progress);
    } catch (const std::exception& error) {
        // The bitrate has no number: nothing has run.
        report.say(QString::fromUtf8(error.what()));
        return kUsage;
    }
    return finish(report, result.files, int(request.files.size()), interrupt.received());
}

int runDecode(const CliArguments& arguments, const app::StoredSettings& stored,
              const QString& programDir) {
    const decode::DecodeBatchRequest request = decodeRequest(arguments, stored);
    platform::InterruptSignal interrupt;
    BatchReport report(QStringLiteral("Decoding"), app::audioDurations(request.files),
                       arguments.json);
    TMPEGPlayer decod;
    try {
        decod.setPathToDLL(programDir);
        decod.LoadDecoder();
    } catch (const std::exception&) {
        report.say(decode::kDecoderMissing);
        return kSomeFailed;
    }
    QTimer mpgtimer;
    decode::DecodeBatch batch(decod, mpgtimer);
    QString timerError;
    QObject::connect(&mpgtimer, &QTimer::timeout, [&] {
        try {
            batch.mpgtimerTimer();
        } catch (const std::exception& error) {
            timerError = QString::fromUtf8(error.what());
        }
    });
    TerminalDecodeProgress progress(report, interrupt);
    progress.source_ = [&](int position) {
        return request.files[position - 1].path;
    };
    const decode::DecodeBatchResult result = batch.run(request, progress);
    const QString stopError = !result.startError.isEmpty() ? result.startError : timerError;
    const int status =
        finish(report, result.files, int(request.files.size()), interrupt.received(), stopError);
    return status == kAllDone && !stopError.isEmpty() ? kSomeFailed : status;
}

} // namespace cli
