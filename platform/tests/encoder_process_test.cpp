#include "platform/console_window.h"
#include "platform/encoder_process.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>

using platform::ConsoleWindow;
using platform::RunEncoder;

namespace {

const QString probe = QStringLiteral(PROCESS_PROBE);

const char* const probeVariables[] = {"PROBE_ARGS_FILE", "PROBE_STATE_FILE", "PROBE_STDOUT",
                                      "PROBE_STDERR",    "PROBE_SLEEP_MS",   "PROBE_DONE_FILE",
                                      "PROBE_EXIT",      "PROBE_CRASH"};

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

class RunEncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        for (const char* name : probeVariables)
            qunsetenv(name);
    }
    void TearDown() override {
        for (const char* name : probeVariables)
            qunsetenv(name);
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

    // The arguments the probe received on its last run.
    QStringList receivedArguments() const {
        const QByteArray data = readAll(path("args"));
        QStringList arguments;
        for (const QByteArray& argument : data.split('\0'))
            arguments.append(QString::fromUtf8(argument));
        arguments.removeLast(); // after the last NUL
        return arguments;
    }

    QTemporaryDir dir_;
};

TEST_F(RunEncoderTest, ReturnsTheExitCode) {
    EXPECT_EQ(RunEncoder(probe, 0, nullptr), 0);
    qputenv("PROBE_EXIT", "3");
    EXPECT_EQ(RunEncoder(probe, 0, nullptr), 3);
    EXPECT_EQ(RunEncoder(probe + " a b", 1, nullptr), 3);
    qputenv("PROBE_CRASH", "1");
    EXPECT_EQ(RunEncoder(probe, 0, nullptr), -1);
}

TEST_F(RunEncoderTest, NothingStartedGivesMinusOne) {
    EXPECT_EQ(RunEncoder(QString(), 0, nullptr), -1);
    EXPECT_EQ(RunEncoder("   ", 1, nullptr), -1);
    EXPECT_EQ(RunEncoder(path("missing") + " x", 0, nullptr), -1);
    EXPECT_EQ(RunEncoder(dir_.path(), 0, nullptr), -1);
    QFile plain(path("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_EQ(RunEncoder(path("plain"), 0, nullptr), -1);
    // No console window is left behind by a start that failed.
    EXPECT_TRUE(consoleWindows().isEmpty());
}

TEST_F(RunEncoderTest, ArgumentsArriveExactly) {
    qputenv("PROBE_ARGS_FILE", QFile::encodeName(path("args")));
    ASSERT_EQ(
        RunEncoder(probe + " \"in put.wav\" -b 128 a\\\"b \"\" C:\\x\\ \"q\"\"q\" ü  ", 0, nullptr),
        0);
    EXPECT_EQ(receivedArguments(),
              (QStringList{"in put.wav", "-b", "128", "a\"b", "", "C:\\x\\", "q\"q", "ü"}));

    // A long line reaches the program whole.
    QStringList many;
    for (int i = 0; i < 100; ++i)
        many.append(QStringLiteral("arg%1").arg(i, 3, 10, QChar(u'0')));
    const QString line = probe + " " + many.join(' ');
    ASSERT_GT(line.size(), 600);
    ASSERT_EQ(RunEncoder(line, 0, nullptr), 0);
    EXPECT_EQ(receivedArguments(), many);
}

TEST_F(RunEncoderTest, ProgramPathWithBlanks) {
    ASSERT_TRUE(QDir(dir_.path()).mkpath("my tools"));
    const QString copy = path("my tools/probe");
    ASSERT_TRUE(QFile::copy(probe, copy));
    ASSERT_TRUE(QFile::setPermissions(copy, QFile::permissions(probe)));
    qputenv("PROBE_ARGS_FILE", QFile::encodeName(path("args")));
    qputenv("PROBE_EXIT", "7");

    EXPECT_EQ(RunEncoder(copy + " one \"two three\"", 0, nullptr), 7);
    EXPECT_EQ(receivedArguments(), (QStringList{"one", "two three"}));
    EXPECT_EQ(RunEncoder("\"" + copy + "\" four", 0, nullptr), 7);
    EXPECT_EQ(receivedArguments(), QStringList{"four"});
}

TEST_F(RunEncoderTest, StartsInItsOwnSessionInTheCurrentDirectoryWithOurEnvironment) {
    qputenv("PROBE_STATE_FILE", QFile::encodeName(path("state")));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    const int result = RunEncoder(probe, 0, nullptr);
    ASSERT_TRUE(QDir::setCurrent(previous));
    ASSERT_EQ(result, 0);

    // The probe only wrote the file because it saw PROBE_STATE_FILE in its environment.
    const QList<QByteArray> lines = readAll(path("state")).split('\n');
    ASSERT_GE(lines.size(), 2);
    const QList<QByteArray> ids = lines[0].split(' ');
    ASSERT_EQ(ids.size(), 2);
    const long pid = ids[0].toLong();
    const long sid = ids[1].toLong();
    EXPECT_EQ(sid, pid);
    EXPECT_NE(sid, static_cast<long>(getsid(0)));
    EXPECT_EQ(QDir(QString::fromLocal8Bit(lines[1])).canonicalPath(),
              QDir(dir_.path()).canonicalPath());
}

TEST_F(RunEncoderTest, EventsAreProcessedWhileWaiting) {
    qputenv("PROBE_SLEEP_MS", "600");
    qputenv("PROBE_DONE_FILE", QFile::encodeName(path("done")));
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    EXPECT_EQ(RunEncoder(probe, 0, nullptr), 0);
    // The wait lasted until the program had ended...
    EXPECT_TRUE(QFile::exists(path("done")));
    // ...and the timer went on firing during it.
    EXPECT_GT(ticks, 0);
}

TEST_F(RunEncoderTest, ShownConsoleCarriesTheOutputAndGoesAway) {
    qputenv("PROBE_STDOUT", "hello from stdout\n");
    qputenv("PROBE_STDERR", "hello from stderr\n");
    qputenv("PROBE_SLEEP_MS", "500");
    QWidget owner;
    int seen = 0;
    QString title;
    QString text;
    bool visible = false;
    QWidget* parent = nullptr;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        const QList<ConsoleWindow*> consoles = consoleWindows();
        seen = std::max(seen, static_cast<int>(consoles.size()));
        if (consoles.size() == 1) {
            title = consoles[0]->windowTitle();
            text = consoles[0]->text();
            visible = consoles[0]->isVisible();
            parent = consoles[0]->parentWidget();
        }
    });
    watcher.start();
    EXPECT_EQ(RunEncoder(probe + " x", 1, &owner), 0);

    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(visible);
    EXPECT_EQ(parent, &owner);
    EXPECT_EQ(title, probe);
    EXPECT_TRUE(text.contains("hello from stdout")) << text.toStdString();
    EXPECT_TRUE(text.contains("hello from stderr")) << text.toStdString();
    EXPECT_TRUE(consoleWindows().isEmpty());
    EXPECT_TRUE(owner.findChildren<ConsoleWindow*>().isEmpty());
}

TEST_F(RunEncoderTest, HiddenRunsShowNoWindow) {
    qputenv("PROBE_STDOUT", "nobody sees this\n");
    qputenv("PROBE_SLEEP_MS", "200");
    for (const int show : {0, 2, -1}) {
        int seen = 0;
        QTimer watcher;
        watcher.setInterval(10);
        QObject::connect(&watcher, &QTimer::timeout,
                         [&] { seen += static_cast<int>(consoleWindows().size()); });
        watcher.start();
        EXPECT_EQ(RunEncoder(probe, show, nullptr), 0);
        EXPECT_EQ(seen, 0) << "show " << show;
    }
}

TEST(ConsoleWindow, CarriageReturnOverwritesTheLine) {
    ConsoleWindow console("title", nullptr);
    console.appendOutput("first line\r\nprogress 10%");
    console.appendOutput("\rprogress 50%\r");
    console.appendOutput("progress 100%\n");
    console.appendOutput("done\r");
    console.appendOutput("\nend");
    EXPECT_EQ(console.text(), "first line\nprogress 100%\ndone\nend");
    EXPECT_EQ(console.windowTitle(), "title");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
