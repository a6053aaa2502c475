#include "platform/process_start.h"

#include "platform/command_line.h"
#include "platform/paths.h"

#include <QDir>
#include <QProcess>

#include <filesystem>
#include <system_error>

#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

namespace platform {

namespace {

bool isExecutableFile(const QString& path) {
    const std::filesystem::path file = toFsPath(path);
    std::error_code error;
    return std::filesystem::is_regular_file(file, error) && ::access(file.c_str(), X_OK) == 0;
}

} // namespace

bool prepareProgramStart(QProcess& process, const QString& program, const QString& commandLine) {
    const auto arguments = argumentsAfterProgram(program, commandLine);
    // A path with no folder in it must not send QProcess searching along PATH.
    const QString path = QDir::current().absoluteFilePath(program);
    if (!arguments || !isExecutableFile(path))
        return false;
    process.setProgram(path);
    process.setArguments(*arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    // The child ends with this program: a program killed mid-batch must not leave an encoder
    // finishing its file with nobody watching. The death signal follows the thread that starts
    // the child, so processes are started from the window thread, which lives as long as the
    // program. The parent may have died before the signal was set: then the child's parent is
    // no longer the one that started it, and the child ends at once.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
    });
    return true;
}

} // namespace platform
