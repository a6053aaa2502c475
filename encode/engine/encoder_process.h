#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

namespace encode {

class StartedEncoder;

// What a caller can do with a run while it waits, and learns of it afterwards.
class EncoderRunControl {
public:
    // Ends the running encoder: SIGTERM at once, SIGKILL when it is still there 2 s later.
    void cancel();
    // A cancel was asked for during the run.
    bool cancelRequested() const { return cancelRequested_; }
    // The cancel cut the run short. An encoder that had already exited with success when the
    // cancel came (its exit not yet seen) finished its file.
    bool cancelled() const { return cancelled_; }
    // The last non-empty line the encoder wrote (its error output when it runs hidden).
    const QString& lastLine() const { return lastLine_; }
    // What the encoder told about its file besides its progress (see StartedEncoder::notes).
    const QStringList& notes() const { return notes_; }

private:
    friend int RunEncoderProcess(const QString&, const QString&, class EncoderOutputView*,
                                 EncoderRunControl*);
    QPointer<StartedEncoder> encoder_;
    bool cancelRequested_ = false;
    bool cancelled_ = false;
    QString lastLine_;
    QStringList notes_;
};

// Where a shown encoder's output goes while it runs.
class EncoderOutputView {
public:
    virtual ~EncoderOutputView() = default;
    // The process has started; `program` is the file it runs.
    virtual void started(const QString& program) = 0;
    // Standard output and error, merged, as they come; only standard output when the view
    // leaves the error output to the run (which then keeps its last line for the control).
    virtual void append(const QString& text) = 0;
    virtual bool takesErrorOutput() const { return true; }
};

// Starts the program at its path with one command line and waits until it has ended.
//
// The line starts with the program's path; the rest of it is split into the arguments as a
// Windows program's C runtime reads it (see platform/command_line.h). The program is never looked
// for among the line's blank-delimited prefixes. The process starts as
// platform::prepareProgramStart sets it up: in the current directory, with this program's
// environment, in a session of its own and with an empty standard input; it is ended when this
// program ends, so call this on the window thread. During a file's turn in an encode batch
// (FileTurn) the batch's runner (LookAhead) starts it, with the batch's job slots in its
// environment, or has started it already, in which case this waits for it, or takes its end at
// once.
//
// With a view, the view gets the process's standard output and error as they come; without
// one, the output is discarded (its last line is kept for the control).
//
// While waiting, events keep being processed. Returns the exit code, or -1 when nothing
// was started (a program that does not exist or cannot be run, a line that does not start with
// it) or the process was ended by a signal.
int RunEncoderProcess(const QString& program, const QString& commandLine, EncoderOutputView* view,
                      EncoderRunControl* control = nullptr);

} // namespace encode
