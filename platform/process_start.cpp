#include "platform/process_start.h"

#include "platform/command_line.h"
#include "platform/paths.h"

#include <QDir>
#include <QProcess>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

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

// What one exec of the program takes, made before the fork: the child may only use what is
// ready then.
class ExecImage {
public:
    ExecImage(const QString& path, const QStringList& arguments,
              const QProcessEnvironment& environment) {
        strings_.push_back(bytesFromText(path).toStdString());
        for (const QString& argument : arguments)
            strings_.push_back(bytesFromText(argument).toStdString());
        const std::size_t argumentCount = strings_.size();
        const QStringList variables = environment.toStringList();
        for (const QString& variable : variables)
            strings_.push_back(bytesFromText(variable).toStdString());
        for (std::size_t i = 0; i < strings_.size(); ++i) {
            (i < argumentCount ? argv_ : envp_).push_back(strings_[i].data());
        }
        argv_.push_back(nullptr);
        envp_.push_back(nullptr);
    }

    // Returns only when the exec failed.
    void exec() { ::execve(argv_[0], argv_.data(), envp_.data()); }

private:
    std::vector<std::string> strings_;
    std::vector<char*> argv_;
    std::vector<char*> envp_;
};

} // namespace

bool prepareProgramStart(QProcess& process, const QString& program, const QString& commandLine,
                         const QProcessEnvironment& environment) {
    const auto arguments = argumentsAfterProgram(program, commandLine);
    // A path with no folder in it must not send QProcess searching along PATH.
    const QString path = QDir::current().absoluteFilePath(program);
    if (!arguments || !isExecutableFile(path))
        return false;
    process.setProgram(path);
    process.setArguments(*arguments);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    // QProcess would hand the program its path and arguments as UTF-8, which has no spelling
    // for a name that is not UTF-8: the child runs the program itself, with the bytes, once
    // QProcess has set up its channels. Should that exec fail, QProcess's own one tells.
    const auto image = std::make_shared<ExecImage>(path, *arguments, environment);
    // The child ends with this program: a program killed mid-batch must not leave an encoder
    // finishing its file with nobody watching. The death signal follows the thread that starts
    // the child, so processes are started from the window thread, which lives as long as the
    // program. The parent may have died before the signal was set: then the child's parent is
    // no longer the one that started it, and the child ends at once.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent, image] {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        image->exec();
    });
    return true;
}

} // namespace platform
