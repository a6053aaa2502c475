#include "encode/engine/started_encoder.h"

#include "platform/process_start.h"
#include "tools/encoders/core/batch_protocol.h"

#include <QEventLoop>
#include <QStringList>
#include <QTimer>

namespace encode {

namespace {

constexpr int kKillDelayMs = 2000;
// Enough for the last line; the progress lines of a program waited for late, in full.
constexpr qsizetype kKeptTail = 4096;
constexpr qsizetype kKeptUnread = 64 * 1024;

void keepEnd(QString& text, qsizetype size) {
    if (text.size() > size)
        text = text.right(size);
}

} // namespace

StartedEncoder::StartedEncoder(const QString& program, const QString& commandLine,
                               const QProcessEnvironment& environment, bool merged)
    : merged_(merged) {
    if (!platform::prepareProgramStart(process_, program, commandLine, environment)) {
        ended_ = true;
        return;
    }
    process_.setProcessChannelMode(merged ? QProcess::MergedChannels : QProcess::SeparateChannels);
    connect(&process_, &QProcess::readyReadStandardOutput, this,
            [this] { read(QProcess::StandardOutput); });
    connect(&process_, &QProcess::readyReadStandardError, this,
            [this] { read(QProcess::StandardError); });
    connect(&process_, &QProcess::finished, this, [this] {
        read(QProcess::StandardOutput);
        read(QProcess::StandardError);
        ended_ = true;
        emit finished();
    });
    process_.start();
    started_ = process_.waitForStarted(-1);
    ended_ = !started_;
}

StartedEncoder::~StartedEncoder() {
    // Nobody waits for it any more (a batch that ends by an exception): it must not go on.
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(-1);
    }
}

void StartedEncoder::read(QProcess::ProcessChannel channel) {
    // Merged, the process has no error channel of its own.
    if (channel == QProcess::StandardError) {
        if (!merged_)
            keepTail(errorText_(process_.readAllStandardError()));
        return;
    }
    const QByteArray bytes = process_.readAllStandardOutput();
    if (bytes.isEmpty())
        return;
    const QString text = outputText_(bytes);
    // The program writes that line whole, in one write, so one read holds all of it.
    if (!codingDone_ && encoders::protocol::codingOver(text.toStdString())) {
        codingDone_ = true;
        emit codingEnded();
    }
    takeNotes(text);
    if (merged_)
        keepTail(text);
    if (sink_) {
        sink_(text);
    } else {
        unread_ += text;
        keepEnd(unread_, kKeptUnread);
    }
}

void StartedEncoder::keepTail(const QString& text) {
    tail_ += text;
    keepEnd(tail_, kKeptTail);
}

void StartedEncoder::takeNotes(const QString& text) {
    // A read may end within a line: only whole lines are looked at.
    partLine_ += text;
    const qsizetype end = partLine_.lastIndexOf(QLatin1Char('\n'));
    if (end < 0) {
        keepEnd(partLine_, kKeptTail);
        return;
    }
    for (const std::string& note : encoders::protocol::notesIn(partLine_.first(end).toStdString()))
        notes_.append(QString::fromStdString(note));
    partLine_.remove(0, end + 1);
}

void StartedEncoder::setOutputSink(std::function<void(const QString&)> sink) {
    sink_ = std::move(sink);
    if (sink_ && !unread_.isEmpty())
        sink_(std::exchange(unread_, QString()));
}

int StartedEncoder::wait() {
    if (!ended_) {
        QEventLoop loop;
        connect(this, &StartedEncoder::finished, &loop, &QEventLoop::quit);
        // Checked again: the end may have been seen while the loop was set up.
        if (!ended_)
            loop.exec();
        // The loop also ends when the application is told to quit; the wait has no limit.
        if (!ended_ && process_.waitForFinished(-1) && !ended_) {
            read(QProcess::StandardOutput);
            read(QProcess::StandardError);
            ended_ = true;
        }
    }
    return exitCode();
}

int StartedEncoder::exitCode() const {
    if (!started_ || !ended_ || process_.exitStatus() == QProcess::CrashExit)
        return -1;
    return process_.exitCode();
}

QString StartedEncoder::lastLine() const {
    const QStringList lines = tail_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (!line->trimmed().isEmpty())
            return line->trimmed();
    }
    return QString();
}

void StartedEncoder::cancel() {
    if (ended_ || process_.state() == QProcess::NotRunning)
        return;
    cancelRequested_ = true;
    process_.terminate();
    QTimer::singleShot(kKillDelayMs, this, [this] {
        if (process_.state() != QProcess::NotRunning)
            process_.kill();
    });
}

} // namespace encode
