#pragma once

#include <QString>

class QWidget;

namespace platform {

// Starts one command line as a process and waits until it has ended.
//
// The line is split into the program and its arguments as a Windows process start reads it
// (see command_line.h); it is not shortened. The process starts in the current directory with
// this program's environment and in a session of its own, so signals meant for our terminal or
// process group do not reach it. Its standard input is empty.
//
// show == 1: a console window, a top-level window owned by consoleParent, shows the process's
// standard output and error as they come, and goes away when the process has ended. Any other
// value: no window, and the output is discarded.
//
// While waiting, events keep being processed, so windows repaint; keeping input away from other
// windows is the job of the caller's modal window. Returns the exit code, or -1 when nothing
// was started (an empty line, a program that does not exist or cannot be run) or the process
// was ended by a signal.
int RunEncoder(const QString& commandLine, int show, QWidget* consoleParent);

} // namespace platform
