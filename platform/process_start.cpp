#include "platform/process_start.h"

#include "platform/command_line.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace platform {

namespace {

bool isExecutableFile(const QString& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(toFsPath(path), error))
        return false;
    return ::access(QFile::encodeName(path).constData(), X_OK) == 0;
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
    process.setChildProcessModifier([] { ::setsid(); });
    return true;
}

} // namespace platform
