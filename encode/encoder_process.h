#pragma once

#include <QPointer>
#include <QString>

class QWidget;

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

private:
    friend int RunEncoder(const QString&, const QString&, int, QWidget*, EncoderRunControl*);
    QPointer<StartedEncoder> encoder_;
    bool cancelRequested_ = false;
    bool cancelled_ = false;
    QString lastLine_;
};

// Starts the program at its path with one command line and waits until it has ended.
//
// The line starts with the program's path; the rest of it is split into the arguments as a
// Windows program's C runtime reads it (see platform/command_line.h). The program is never looked
// for among the line's blank-delimited prefixes. The process starts as
// platform::prepareProgramStart sets it up: in the current directory, with this program's
// environment, in a session of its own and with an empty standard input; it is ended when this
// program ends, so call this on the window thread. During an encode batch the batch's runner
// (LookAhead) starts it, with the batch's job slots in its environment, or has started it
// already, in which case this waits for it, or takes its end at once.
//
// show == 1: a console window, a top-level window owned by consoleParent, shows the process's
// standard output and error as they come, and goes away when the process has ended. Any other
// value: no window, and the output is discarded.
//
// While waiting, events keep being processed, so windows repaint; keeping input away from other
// windows is the job of the caller's modal window. Returns the exit code, or -1 when nothing
// was started (a program that does not exist or cannot be run, a line that does not start with
// it) or the process was ended by a signal.
int RunEncoder(const QString& program, const QString& commandLine, int show, QWidget* consoleParent,
               EncoderRunControl* control = nullptr);

} // namespace encode
