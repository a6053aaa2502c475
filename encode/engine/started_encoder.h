#pragma once

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <functional>

namespace encode {

// One encoder program, started now and waited for whenever its result is wanted: the batch
// starts the programs of later files while an earlier one runs, and takes their results in
// queue order. Until someone reads it, the program's standard output is kept (a few lines of
// progress); its error output is kept for its last line.
class StartedEncoder : public QObject {
    Q_OBJECT
public:
    // Starts the program as platform::prepareProgramStart sets it up, with `environment`.
    // `merged`: standard output and error come as one stream (for a console that shows both).
    // A program that cannot start has ended at once with exit code -1.
    StartedEncoder(const QString& program, const QString& commandLine,
                   const QProcessEnvironment& environment, bool merged);
    ~StartedEncoder() override;

    bool started() const { return started_; }
    bool ended() const { return ended_; }
    // The program has said that its coding is over ("100% done"): what it still does until it
    // ends (putting its file on the disk) takes no core.
    bool codingDone() const { return codingDone_; }
    // The file the process runs.
    QString program() const { return process_.program(); }

    // Waits, processing events, until the program has ended; then its exit code, or -1 when it
    // did not start or was ended by a signal.
    int wait();
    int exitCode() const;
    // The last non-empty line of its error output (of all its output when merged).
    QString lastLine() const;
    // What its note lines on standard output told about its file, in order.
    const QStringList& notes() const { return notes_; }

    // The output so far goes to `sink` at once, and the rest as it comes.
    void setOutputSink(std::function<void(const QString&)> sink);

    // SIGTERM at once, SIGKILL when it is still there 2 s later.
    void cancel();
    bool cancelRequested() const { return cancelRequested_; }

signals:
    void finished();
    void codingEnded();

private:
    void read(QProcess::ProcessChannel channel);
    void keepTail(const QString& text);
    void takeNotes(const QString& text);

    QProcess process_;
    QStringDecoder outputText_{QStringDecoder::System};
    QStringDecoder errorText_{QStringDecoder::System};
    QString unread_; // standard output that no sink has taken yet
    QString tail_;
    QString partLine_; // the start of a line of standard output whose end has not come
    QStringList notes_;
    std::function<void(const QString&)> sink_;
    bool merged_;
    bool started_ = false;
    bool ended_ = false;
    bool codingDone_ = false;
    bool cancelRequested_ = false;
};

} // namespace encode
