#include "platform/encoder_process.h"

#include "platform/command_line.h"
#include "platform/console_window.h"

#include <QEventLoop>
#include <QPointer>
#include <QProcess>
#include <QStringDecoder>

#include <unistd.h>

namespace platform {

namespace {

// Owns the console window for the length of one run. The parent owns it too, so the pointer
// notices when the parent has gone first.
class ConsoleOwner {
public:
    explicit ConsoleOwner(ConsoleWindow* window) : window_(window) {}
    ~ConsoleOwner() { delete window_.data(); }
    ConsoleOwner(const ConsoleOwner&) = delete;
    ConsoleOwner& operator=(const ConsoleOwner&) = delete;

    ConsoleWindow* get() const { return window_.data(); }

private:
    QPointer<ConsoleWindow> window_;
};

} // namespace

int RunEncoder(const QString& commandLine, int show, QWidget* consoleParent) {
    const ResolvedCommand command = resolveCommandLine(commandLine);
    if (!command.found)
        return -1;

    // Declared before the process, whose output handler uses them.
    const bool showConsole = show == 1;
    ConsoleOwner console(showConsole ? new ConsoleWindow(command.program, consoleParent) : nullptr);
    QStringDecoder decoder(QStringDecoder::System);

    QProcess process;
    process.setProgram(command.program);
    process.setArguments(command.arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setChildProcessModifier([] { ::setsid(); });
    if (showConsole) {
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [&] {
            const QString text = decoder(process.readAllStandardOutput());
            if (ConsoleWindow* window = console.get())
                window->appendOutput(text);
        });
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
    }

    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    process.start();
    if (!process.waitForStarted(-1))
        return -1;
    if (ConsoleWindow* window = console.get())
        window->show();

    // The state is checked first because a quit that comes before exec() is lost; nothing
    // can finish the process in between, since signals are only delivered by the loop.
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    // The loop also ends when the application is told to quit; the wait still has no limit.
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(-1);

    if (process.exitStatus() == QProcess::CrashExit)
        return -1;
    return process.exitCode();
}

} // namespace platform
