#include "encode/encoder_process.h"

#include "platform/process_start.h"

#include <QEventLoop>
#include <QPointer>
#include <QProcess>
#include <QStringDecoder>
#include <QTimer>

namespace encode {

namespace {

// Keeps the end of what the encoder writes, enough for its last line.
class OutputTail {
public:
    void append(const QString& text) {
        tail_ += text;
        if (tail_.size() > kKept)
            tail_ = tail_.right(kKept);
    }
    QString lastLine() const {
        const QStringList lines = tail_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
            if (!line->trimmed().isEmpty())
                return line->trimmed();
        }
        return QString();
    }

private:
    static constexpr qsizetype kKept = 4096;
    QString tail_;
};

constexpr int kKillDelayMs = 2000;

} // namespace

void EncoderRunControl::cancel() {
    if (!process_ || process_->state() == QProcess::NotRunning)
        return;
    cancelRequested_ = true;
    process_->terminate();
    QProcess* process = process_;
    QTimer::singleShot(kKillDelayMs, process, [process] { process->kill(); });
}

int RunEncoderProcess(const QString& program, const QString& commandLine, EncoderOutputView* view,
                      EncoderRunControl* control) {
    // Declared before the process, whose output handler uses them.
    QStringDecoder decoder(QStringDecoder::System);
    QStringDecoder outputText(QStringDecoder::System);
    OutputTail tail;
    QProcess process;
    if (!platform::prepareProgramStart(process, program, commandLine))
        return -1;

    const bool merged = view && view->takesErrorOutput();
    if (merged) {
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [&] {
            const QString text = decoder(process.readAllStandardOutput());
            tail.append(text);
            view->append(text);
        });
    } else {
        if (view)
            QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                             [&] { view->append(outputText(process.readAllStandardOutput())); });
        else
            process.setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [&] { tail.append(decoder(process.readAllStandardError())); });
    }

    if (control) {
        control->process_ = &process;
        control->cancelRequested_ = control->cancelled_ = false;
    }
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    process.start();
    if (!process.waitForStarted(-1))
        return -1;
    if (view)
        view->started(process.program());

    // The state is checked first because a quit that comes before exec() is lost; nothing
    // can finish the process in between, since signals are only delivered by the loop.
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    // The loop also ends when the application is told to quit; the wait still has no limit.
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(-1);

    if (!merged)
        tail.append(decoder(process.readAllStandardError()));
    const int exitCode = process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode();
    if (control) {
        control->lastLine_ = tail.lastLine();
        // The signal may have reached an encoder that had exited already: its file is done.
        control->cancelled_ = control->cancelRequested_ && exitCode != 0;
    }
    return exitCode;
}

} // namespace encode
