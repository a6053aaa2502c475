#include "encode/console_window.h"
#include "encode/engine/encoder_process.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <csignal>

#include <unistd.h>

using encode::ConsoleWindow;
using encode::RunEncoder;

namespace {

const QString probe = QStringLiteral(PROCESS_PROBE);

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<ConsoleWindow*> consoleWindows() {
    QList<ConsoleWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* console = qobject_cast<ConsoleWindow*>(widget))
            found.append(console);
    return found;
}

// Runs the probe with arguments after its path.
int runProbe(const QString& arguments = QString(), int show = 0, QWidget* parent = nullptr) {
    return RunEncoder(probe, probe + arguments, show, parent);
}

// The child of `parent` that runs `program`, waited for up to 10 s; 0 when none appears.
pid_t childRunning(qint64 parent, const QString& program) {
    for (const QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(20)) {
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
            if (readAll("/proc/" + pid + "/stat").split(' ').value(3).toLongLong() == parent &&
                QFile::symLinkTarget("/proc/" + pid + "/exe") == program)
                return pid.toInt();
        }
    }
    return 0;
}

// Running: neither gone nor a zombie.
bool isRunning(pid_t pid) {
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    return !stat.isEmpty() && !QByteArray("ZX").contains(stat[stat.lastIndexOf(')') + 2]);
}

class RunEncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        for (const QString& name : QProcessEnvironment::systemEnvironment().keys())
            if (name.startsWith("PROBE_"))
                qunsetenv(name.toLocal8Bit().constData());
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

    void makeFile(const QString& name, const QByteArray& content, QFile::Permissions mode) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        ASSERT_TRUE(file.setPermissions(mode));
    }

    // The arguments the probe received on its last run.
    QStringList receivedArguments() const {
        QStringList arguments;
        for (const QByteArray& argument : readAll(path("args")).split('\0'))
            arguments.append(QString::fromUtf8(argument));
        arguments.removeLast(); // after the last NUL
        return arguments;
    }

    QTemporaryDir dir_;
};

TEST_F(RunEncoderTest, ExitCodesAndStartsThatFail) {
    makeFile("plain", "", QFile::ReadOwner | QFile::WriteOwner);
    const struct {
        QByteArray setting; // NAME=value for the run
        QString program;
        QString line;
        int show;
        int result;
    } cases[] = {
        {"PROBE_EXIT=0", probe, probe, 0, 0},
        {"PROBE_EXIT=3", probe, probe + " a b", 1, 3},
        {"PROBE_CRASH=1", probe, probe, 0, -1},
        // Nothing started: no program, a line that does not start with it, a program that is
        // missing, a folder or not executable.
        {"PROBE_EXIT=0", QString(), "   ", 1, -1},
        {"PROBE_EXIT=0", probe, "x " + probe, 0, -1},
        {"PROBE_EXIT=0", path("missing"), path("missing") + " x", 0, -1},
        {"PROBE_EXIT=0", dir_.path(), dir_.path(), 1, -1},
        {"PROBE_EXIT=0", path("plain"), path("plain"), 0, -1},
    };
    for (const auto& c : cases) {
        const QList<QByteArray> setting = c.setting.split('=');
        qputenv(setting[0], setting[1]);
        EXPECT_EQ(RunEncoder(c.program, c.line, c.show, nullptr), c.result) << c.line.toStdString();
        qunsetenv(setting[0]);
    }
    // No console window is left behind, also by a start that failed.
    EXPECT_TRUE(consoleWindows().isEmpty());
}

// The unquoted-path hole: with a blank in the program's folder and an executable at the part
// before the blank, the encoder must run, not the planted program, and get its arguments.
TEST_F(RunEncoderTest, TheProgramAtItsPathRunsWithItsArgumentsExactly) {
    ASSERT_TRUE(QDir(dir_.path()).mkpath("my apps"));
    const QString encoder = path("my apps/probe");
    ASSERT_TRUE(QFile::copy(probe, encoder));
    ASSERT_TRUE(QFile::setPermissions(encoder, QFile::permissions(probe)));
    makeFile("my", "#!/bin/sh\ntouch \"$0.ran\"\nexit 9\n",
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PROBE_ARGS_FILE", QFile::encodeName(path("args")));
    qputenv("PROBE_EXIT", "7");
    QStringList many; // a long line reaches the program whole
    for (int i = 0; i < 100; ++i)
        many.append(QStringLiteral("arg%1").arg(i, 3, 10, QChar(u'0')));
    const struct {
        QString line;
        QStringList arguments;
    } cases[] = {
        {encoder + " \"in put.wav\" -b 128 a\\\"b \"\" C:\\x\\ \"q\"\"q\" ü  ",
         {"in put.wav", "-b", "128", "a\"b", "", "C:\\x\\", "q\"q", "ü"}},
        {"\"" + encoder + "\" four", {"four"}},
        {encoder + " " + many.join(' '), many},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunEncoder(encoder, c.line, 0, nullptr), 7);
        EXPECT_EQ(receivedArguments(), c.arguments);
    }
    EXPECT_FALSE(QFile::exists(path("my.ran")));
}

TEST_F(RunEncoderTest, StartsInItsOwnSessionInTheCurrentDirectoryWithOurEnvironment) {
    qputenv("PROBE_STATE_FILE", QFile::encodeName(path("state")));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    const int result = runProbe();
    ASSERT_TRUE(QDir::setCurrent(previous));
    ASSERT_EQ(result, 0);

    // The probe only wrote the file because it saw PROBE_STATE_FILE in its environment.
    const QList<QByteArray> lines = readAll(path("state")).split('\n');
    ASSERT_GE(lines.size(), 2);
    const QList<QByteArray> ids = lines[0].split(' ');
    ASSERT_EQ(ids.size(), 2);
    EXPECT_EQ(ids[1].toLong(), ids[0].toLong());
    EXPECT_NE(ids[1].toLong(), static_cast<long>(getsid(0)));
    EXPECT_EQ(QDir(QString::fromLocal8Bit(lines[1])).canonicalPath(),
              QDir(dir_.path()).canonicalPath());
}

// While the program runs, events go on (the timer fires) and only a shown run has a console,
// owned by the given parent, with the program's output; it is gone once the program has ended.
TEST_F(RunEncoderTest, EventsGoOnAndOnlyAShownRunHasAConsole) {
    qputenv("PROBE_STDOUT", "hello from stdout\n");
    qputenv("PROBE_STDERR", "hello from stderr\n");
    qputenv("PROBE_SLEEP_MS", "400");
    qputenv("PROBE_DONE_FILE", QFile::encodeName(path("done")));
    for (const int show : {1, 0, 2, -1}) {
        SCOPED_TRACE(show);
        QFile::remove(path("done"));
        QWidget owner;
        int ticks = 0;
        QStringList seen; // what each console showed: parent, title, visibility and text
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            ++ticks;
            for (const ConsoleWindow* console : consoleWindows())
                seen.append(QStringList{console->parentWidget() == &owner ? "owned" : "stray",
                                        console->windowTitle(),
                                        console->isVisible() ? "shown" : "hidden", console->text()}
                                .join('|'));
        });
        watcher.start(20);
        EXPECT_EQ(runProbe(" x", show, &owner), 0);
        EXPECT_TRUE(QFile::exists(path("done")));
        EXPECT_GT(ticks, 0);
        EXPECT_TRUE(consoleWindows().isEmpty());
        EXPECT_TRUE(owner.findChildren<ConsoleWindow*>().isEmpty());
        EXPECT_EQ(seen.isEmpty(), show != 1);
        if (!seen.isEmpty()) {
            EXPECT_EQ(seen.back(),
                      "owned|" + probe + "|shown|hello from stdout\nhello from stderr\n");
        }
    }
}

// A program killed mid-encode takes its encoder with it: no encoder goes on to finish its MP3
// with nobody watching. The real house encoder runs, on one thread, a file long enough to be
// far from done when the program is killed.
TEST_F(RunEncoderTest, AProgramKilledMidEncodeLeavesNoEncoderRunning) {
    const QString wav = path("long.wav"), mp3 = path("long.mp3"), codec = path("codec");
    ASSERT_EQ(
        QProcess::execute("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "600"}),
        0);
    ASSERT_TRUE(QFile::copy(SONABOX_PROGRAM_DIR "/mp3.dll", codec));
    qputenv("SONABOX_ENCODER_THREADS", "1");
    QProcess program;
    program.start(RUN_ENCODER_HARNESS, {codec, codec + " " + wav + " " + mp3 + " -M0 -B64"});
    const pid_t encoder = childRunning(program.processId(), QFileInfo(codec).canonicalFilePath());
    qunsetenv("SONABOX_ENCODER_THREADS");
    ASSERT_NE(encoder, 0) << "the encoder did not start";
    QThread::msleep(100);
    ASSERT_TRUE(isRunning(encoder)) << "the encoder ended before its program was killed";
    ::kill(pid_t(program.processId()), SIGKILL);
    program.waitForFinished();

    for (const QDeadlineTimer deadline(1000); isRunning(encoder) && !deadline.hasExpired();)
        QThread::msleep(20);
    EXPECT_FALSE(isRunning(encoder));
    if (isRunning(encoder))
        ::kill(encoder, SIGKILL);
    EXPECT_FALSE(QFile::exists(mp3));
}

TEST(ConsoleWindow, CarriageReturnOverwritesTheLine) {
    ConsoleWindow console("title", nullptr);
    console.appendOutput("first line\r\nprogress 10%");
    console.appendOutput("\rprogress 50%\r");
    console.appendOutput("progress 100%\n");
    console.appendOutput("done\r");
    console.appendOutput("\nend");
    EXPECT_EQ(console.text(), "first line\nprogress 100%\ndone\nend");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
