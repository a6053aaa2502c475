// The window and the command line are two faces of the same batches: the same queue and options
// give byte-identical MP3 files and the same failure lines. A long batch that ends while the main
// window is not active tells a real notification daemon.
#include "encode/enc_form.h"
#include "tests/support/gui_test.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>

#include <filesystem>

#include <cstdio>

using namespace testsupport;

namespace {

const QString kCli = QStringLiteral(SONABOX_PROGRAM_DIR "/sonabox-cli");

// What the command line said and did for a queue.
ToolRun runCli(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QT_QPA_PLATFORM");
    environment.remove("DISPLAY");
    process.setProcessEnvironment(environment);
    process.start(kCli, arguments);
    process.waitForFinished(120000);
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

} // namespace

TEST(BatchFaces, WindowAndCommandLineGiveTheSameFilesAndFailureLines) {
    TestWorld world;
    world.installFromBuild({"mp3.dll", "bladeenc/bladeenc", "encoder/plugger"});
    const QString wavs = world.makeDirectory("wavs");
    makeWav(wavs + "/a.wav", 1.2, 44100, 2);
    makeWav(wavs + "/b.wav", 0.8, 48000, 1);
    world.writeFile("wavs/broken.wav", "this is not a wave file");
    const QString windowOut = world.makeDirectory("window") + "/";
    const QString cliOut = world.makeDirectory("cli") + "/";
    app::TMainForm* form = world.start();
    showWorkPage(form, true, wavs, windowOut);
    const struct {
        int codec;
        QString mode, bitrate, layer;
        QStringList words;
    } cases[] = {
        {kHouseRow, "Joint Stereo", "128 Kbit/s", "Layer II", {"korvo", "joint", "128", "2"}},
        {kBladeEncRow, "Stereo", "160 Kbit/s", "Layer III", {"bladeenc", "stereo", "160", "3"}},
        {kPluggerRow, "Mono", "  96 Kbit/s", "Layer III", {"plugger", "mono", "96", "3"}},
        {kHouseRow, "Stereo", "VBR V2 (~190 Kbit/s)", "Layer III", {"korvo", "stereo", "2", "3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words.join(' ').toStdString());
        for (const QString& folder : {windowOut, cliOut})
            for (const QString& old : QDir(folder).entryList(QDir::Files))
                QFile::remove(folder + old);
        sharedDialogs().reset();
        queueAll(form);
        chooseEntry(*ui(form).Codec, c.codec);
        ui(form).Mode->setEditText(c.mode);
        ui(form).Bitrate->setEditText(c.bitrate);
        ui(form).Layer->setEditText(c.layer);
        click(ui(form).encstart);
        ASSERT_EQ(sharedDialogs().messages.size(), 1u);
        const QStringList windowLines = sharedDialogs().messages[0].text.split('\r');

        const bool vbr = c.bitrate.startsWith("VBR");
        const ToolRun cli = runCli({"encode", "--encoder", c.words[0], "--mode", c.words[1],
                                    vbr ? "--vbr" : "--bitrate", c.words[2], "--layer", c.words[3],
                                    "--output", cliOut, "--keep-source", wavs});
        EXPECT_EQ(cli.exitCode, 1);
        const qsizetype summary = cli.errors.indexOf("sonabox: ");
        ASSERT_GE(summary, 0) << cli.errors.toStdString();
        EXPECT_EQ(cli.errors.mid(summary + 9).trimmed().split('\n'), windowLines);
        for (const char* name : {"a.mp3", "b.mp3"}) {
            const QByteArray mp3 = fileContent(windowOut + name);
            EXPECT_FALSE(mp3.isEmpty()) << name;
            EXPECT_TRUE(mp3 == fileContent(cliOut + name)) << name;
            // A variable bitrate's frame count and seek table are in a Xing frame.
            EXPECT_EQ(mp3.left(600).contains("Xing"), vbr) << name;
        }
    }
}

// The box takes typed text: a VBR quality off the -V scale is refused in one line, and the
// batch codes nothing.
TEST(BatchFaces, AVbrQualityOutOfRangeIsRefusedInOneLine) {
    TestWorld world;
    world.installFromBuild({"mp3.dll"});
    const QString wavs = world.makeDirectory("wavs");
    makeWav(wavs + "/a.wav", 0.5, 44100, 2);
    const QString out = world.makeDirectory("out") + "/";
    app::TMainForm* form = world.start();
    showWorkPage(form, true, wavs, out);
    queueAll(form);
    chooseEntry(*ui(form).Codec, kHouseRow);
    ui(form).Bitrate->setEditText("VBR V12 (~30 Kbit/s)");
    sharedDialogs().reset();
    click(ui(form).encstart);
    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    const QString text = sharedDialogs().messages[0].text;
    EXPECT_TRUE(text.startsWith("'VBR V12 (~30 Kbit/s)' names no VBR quality from V0 to V9"))
        << text.toStdString();
    EXPECT_FALSE(text.contains('\r') || text.contains('\n')) << text.toStdString();
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
}

TEST(BatchFaces, TheCaptionAddsTheTimeLeftOnceTheSpeedIsKnown) {
    TestWorld world;
    world.installFromBuild({"mp3.dll"});
    const QString wavs = world.makeDirectory("wavs");
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        makeWav(wavs + "/" + name, 60, 44100, 2);
    app::TMainForm* form = world.start();
    showWorkPage(form, true, wavs, world.makeDirectory("out") + "/");
    queueAll(form);
    chooseEntry(*ui(form).Codec, kHouseRow);
    ui(form).Bitrate->setEditText("128 Kbit/s");
    QStringList captions;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* progress = qobject_cast<encode::TEncForm*>(QApplication::activeModalWidget()))
            if (!captions.contains(progress->windowTitle()))
                captions.append(progress->windowTitle());
    });
    watch.start(20);
    click(ui(form).encstart);
    watch.stop();
    // The last file may have ended before its turn, its encoder started beside the second's:
    // then it needs no window.
    ASSERT_GE(captions.size(), 2) << captions.join('|').toStdString();
    EXPECT_EQ(captions[0], "Encoding... (1 of 3)");
    const QRegularExpression withTimeLeft(R"(^Encoding\.\.\. \(([23]) of 3, \d+:\d\d left\)$)");
    for (qsizetype i = 1; i < captions.size(); ++i)
        EXPECT_TRUE(withTimeLeft.match(captions[i]).hasMatch()) << captions[i].toStdString();
}

namespace {

// A private D-Bus session with dunst on a private X server; dunst's script rule writes each
// notification's summary and body to a file.
class NotificationDaemon {
public:
    explicit NotificationDaemon(const QString& folder) : log_(folder + "/notifications") {
        const QString script = folder + "/log-notification";
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(QStringLiteral("#!/bin/sh\nprintf '%s|%s\\n' \"$2\" \"$3\" >> '%1'\n")
                       .arg(log_)
                       .toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile config(folder + "/dunstrc");
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(
            QStringLiteral("[log]\n    summary = \"*\"\n    script = %1\n").arg(script).toUtf8());
        config.close();

        xvfb_.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!xvfb_.waitForReadyRead(10000) || !bus_.waitForReadyRead(10000)) {
            why_ = "Xvfb or dbus-daemon did not start";
            return;
        }
        display_ = ":" + QString::fromUtf8(xvfb_.readLine()).trimmed();
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display_);
        environment.insert("DBUS_SESSION_BUS_ADDRESS", address_);
        dunst_.setProcessEnvironment(environment);
        dunst_.start("dunst", {"-config", folder + "/dunstrc"});
        // Ready once it owns the notification service's name.
        for (int i = 0; i < 100 && why_.isEmpty(); ++i) {
            QProcess ask;
            ask.setProcessEnvironment(environment);
            ask.start("dbus-send", {"--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                    "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                    "string:org.freedesktop.Notifications"});
            ask.waitForFinished(5000);
            if (ask.readAllStandardOutput().contains("boolean true"))
                return;
            QTest::qWait(100);
        }
        why_ = "dunst did not take the notification service";
    }
    ~NotificationDaemon() {
        for (QProcess* process : {&dunst_, &bus_, &xvfb_}) {
            process->terminate();
            process->waitForFinished(5000);
        }
    }

    QString whyNot() const { return why_; }
    QString address() const { return address_; }
    QString said() const {
        QFile file(log_);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QString log_;
    QProcess xvfb_, bus_, dunst_;
    QString display_, address_, why_;
};

} // namespace

TEST(BatchFaces, ALongBatchEndingBehindAnotherWindowTellsTheDesktop) {
    TestWorld world;
    NotificationDaemon daemon(world.root());
    if (!daemon.whyNot().isEmpty())
        GTEST_SKIP() << daemon.whyNot().toStdString();
    // The program's session bus is the private one: nothing here has used D-Bus before.
    qputenv("DBUS_SESSION_BUS_ADDRESS", daemon.address().toUtf8());
    // The house encoder is the real one behind a wrapper that first waits 11 s, so that the batch
    // is a long one however fast the machine is, also with both files encoding at once.
    world.installFromBuild({"mp3.dll"});
    const QString encoder = world.programDir() + "/mp3.dll";
    ASSERT_TRUE(QFile::rename(encoder, world.programDir() + "/real-encoder"));
    world.writeFile("program/mp3.dll",
                    "#!/bin/sh\nsleep 11\nexec \"$(dirname \"$0\")/real-encoder\" \"$@\"\n");
    QFile(encoder).setPermissions(QFile(encoder).permissions() | QFileDevice::ExeOwner);
    const QString wavs = world.makeDirectory("wavs");
    makeWav(wavs + "/long.wav", 2, 44100, 2);
    world.writeFile("wavs/broken.wav", "this is not a wave file");
    app::TMainForm* form = world.start();
    showWorkPage(form, true, wavs, world.makeDirectory("out") + "/");
    queueAll(form);
    chooseEntry(*ui(form).Codec, kHouseRow);
    ui(form).Layer->setEditText("Layer II");
    ui(form).Bitrate->setEditText("128 Kbit/s");
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QTest::qWait(50);
    sharedDialogs().reset();
    click(ui(form).encstart);
    // The summary box still comes.
    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    for (int i = 0; i < 50 && daemon.said().isEmpty(); ++i)
        QTest::qWait(100);
    EXPECT_EQ(daemon.said(), "Encoding finished|1 file converted, 1 failed\n");
}

// A source whose name is not UTF-8 converts on the command line like any other, named itself
// or in a folder, and its MP3's name keeps the source's bytes.
TEST(BatchFaces, TheCommandLineConvertsNamesThatAreNotUtf8) {
    for (const char* given : {"wavs/caf\\351.wav", "wavs"}) {
        SCOPED_TRACE(given);
        TestWorld world;
        const QByteArray root = QFile::encodeName(world.root()) + "/";
        world.makeDirectory("out");
        makeWav(world.makeDirectory("wavs") + "/plain.wav", 1, 44100, 2);
        ASSERT_EQ(::rename(root + "wavs/plain.wav", root + "wavs/caf\xe9.wav"), 0);
        // The shell makes the bytes: QProcess would hand the name over as UTF-8.
        QProcess process;
        process.setWorkingDirectory(world.root());
        process.start(
            "sh", {"-c",
                   QStringLiteral(
                       "exec \"$0\" encode --encoder korvo --mode stereo "
                       "--bitrate 128 --layer 3 --output out --delete-source \"$(printf '%1')\"")
                       .arg(given),
                   kCli});
        ASSERT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        const std::filesystem::path mp3((root + "out/caf\xe9.mp3").toStdString());
        ASSERT_TRUE(std::filesystem::exists(mp3));
        std::filesystem::copy_file(mp3, (root + "out/check.mp3").toStdString());
        EXPECT_NEAR(probe(world.root() + "/out/check.mp3").duration, 1.0, 0.1);
        const ToolRun tags =
            runTool("ffprobe", {"-v", "quiet", "-show_entries", "format_tags", "-of",
                                "default=nw=1", world.root() + "/out/check.mp3"});
        EXPECT_TRUE(tags.output.contains("REPLAYGAIN_ALBUM_GAIN")) << tags.output.toStdString();
        EXPECT_FALSE(std::filesystem::exists((root + "wavs/caf\xe9.wav").toStdString()))
            << "Delete Source kept the source of a checked MP3";
    }
}
