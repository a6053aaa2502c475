#pragma once

#include <QProcessEnvironment>
#include <QString>

class QProcess;

namespace platform {

// Sets a process up to start the program at its path with the arguments of a command line that
// starts with that path (see argumentsAfterProgram): a relative path is taken from the current
// directory and never looked for elsewhere. The process gets an empty standard input and a
// session of its own, so signals meant for our terminal or process group do not reach it; it
// starts in the current directory with `environment`. It is sent SIGTERM when the thread that
// starts it ends (or the program, however it ends), so start it from the window thread: no
// child then outlives the program.
//
// The program's path and its arguments reach it as the file system's bytes (see
// bytesFromText), so a file whose name is not UTF-8 is named to it as it is on the disk.
// False, with the process left as it was, when the program is not an executable regular file
// or the line does not start with its path.
bool prepareProgramStart(
    QProcess& process, const QString& program, const QString& commandLine,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

} // namespace platform
