// Encoding from the Encode page of the real window with the real encoder programs; every
// output is checked with ffprobe and mpg123.
#include "encode/console_window.h"
#include "encode/enc_form.h"
#include "platform/paths.h"
#include "tests/support/gui_test.h"

#include <filesystem>

#include <cstdio>

using namespace testsupport;

namespace {

struct Source {
    QString name;
    int rate;
    int channels;
    QString format;
};

const Source kSources[] = {{"mono44.wav", 44100, 1, "pcm_s16le"},
                           {"stereo48.wav", 48000, 2, "pcm_s16le"},
                           {"eightbit.wav", 44100, 2, "pcm_u8"}};

// A world with the encoders installed and three WAV files in a folder of their own.
struct EncodingWorld : TestWorld {
    explicit EncodingWorld(bool withEncoders = true) {
        if (withEncoders)
            installFromBuild({"mp3.dll", "bladeenc/bladeenc", "encoder/plugger"});
        for (const Source& source : kSources)
            makeWav(wavs + "/" + source.name, 1.5, source.rate, source.channels, source.format);
    }

    app::TMainForm* startOnWavs() {
        app::TMainForm* form = start();
        showWorkPage(form, true, wavs, out);
        return form;
    }

    void choose(app::TMainForm* form, int codec, const QString& mode, const QString& bitrate,
                const QString& layer = "Layer III") {
        chooseEntry(*ui(form).Codec, codec);
        ui(form).Mode->setEditText(mode);
        ui(form).Bitrate->setEditText(bitrate);
        ui(form).Layer->setEditText(layer);
    }

    const QString wavs = makeDirectory("wavs");
    const QString out = makeDirectory("out") + "/";
};

} // namespace

TEST(Encoding, ChecksComeInOrderAndARefusedBatchEmptiesTheQueue) {
    EncodingWorld world(false);
    app::TMainForm* form = world.startOnWavs();
    sharedDialogs().reset();
    click(ui(form).encstart); // empty queue: nothing to say
    EXPECT_TRUE(sharedDialogs().messages.empty());

    // An unknown codec keeps the queue; every queued file meets a missing encoder once.
    const QString missing = "File " + world.programDir() + "/%1 not found";
    const struct {
        int codec;
        QString mode, layer;
        QStringList said;
        int left;
    } cases[] = {
        {-1, "", "", {"No codec selected"}, 3},
        {kBladeEncRow,
         "Output mode",
         "MPEG Layer",
         {"No mode selected\rNo layer selected\r\rGo to the Config -tab and change it"},
         0},
        {kBladeEncRow, "Stereo", "Layer III", QStringList(3, missing.arg("bladeenc/bladeenc")), 0},
        {kHouseRow, "Stereo", "Layer III", QStringList(3, missing.arg("mp3.dll")), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said.value(0).toStdString());
        sharedDialogs().reset();
        if (ui(form).encodelist->count() == 0)
            queueAll(form);
        if (c.codec >= 0)
            world.choose(form, c.codec, c.mode, "  64 Kbit/s", c.layer);
        click(ui(form).encstart);
        EXPECT_EQ(sharedDialogs().messageTexts(), c.said);
        for (const ShownMessage& shown : sharedDialogs().messages)
            EXPECT_EQ(shown.caption, "Error");
        EXPECT_EQ(ui(form).encodelist->count(), c.left);
        EXPECT_EQ(form->fullname.size(), c.left);
    }
    EXPECT_TRUE(QDir(world.out).entryList(QDir::Files).isEmpty());
}

// The encoders' own tests check what they write in depth; here each output is checked for the
// options the window passed on.
TEST(Encoding, EveryEncoderTurnsTheQueueIntoMpegAudio) {
    EncodingWorld world;
    app::TMainForm* form = world.startOnWavs();
    const struct {
        int codec;
        QString mode, bitrate, layer, format;
        long long bitRate;
        bool mono;
    } cases[] = {
        {kHouseRow, "Joint Stereo", "128 Kbit/s", "Layer III", "mp3", 128000, false},
        {kHouseRow, "Stereo", "192 Kbit/s", "Layer II", "mp2", 192000, false},
        {kHouseRow, "Mono", "  64 Kbit/s", "Layer I", "mp1", 64000, true},
        {kBladeEncRow, "Mono", "  64 Kbit/s", "Layer III", "mp3", 64000, true},
        {kBladeEncRow, "Stereo", "160 Kbit/s", "Layer III", "mp3", 160000, false},
        {kPluggerRow, "Stereo", "128 Kbit/s", "Layer III", "mp3", 128000, false},
        {kPluggerRow, "Mono", "  96 Kbit/s", "Layer III", "mp3", 96000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.mode + " " + c.bitrate + " " + c.layer).toStdString() + " codec " +
                     std::to_string(c.codec));
        for (const QString& old : QDir(world.out).entryList(QDir::Files))
            QFile::remove(world.out + old);
        sharedDialogs().reset();
        queueAll(form);
        world.choose(form, c.codec, c.mode, c.bitrate, c.layer);
        click(ui(form).encstart);
        EXPECT_TRUE(sharedDialogs().messages.empty())
            << sharedDialogs().messageTexts().join("|").toStdString();
        EXPECT_EQ(ui(form).encodelist->count(), 0);
        for (const Source& source : kSources) {
            const QString mp3 = world.out + QString(source.name).chopped(3) + "mp3";
            SCOPED_TRACE(mp3.toStdString());
            const Probe result = probe(mp3);
            EXPECT_EQ(result.codec, c.format);
            EXPECT_EQ(result.bitRate, c.bitRate);
            EXPECT_EQ(result.channels, c.mono ? 1 : source.channels);
            EXPECT_NEAR(result.duration, 1.5, 0.1);
        }
        // BladeEnc's files are moved into the output directory; nothing stays beside the source.
        EXPECT_TRUE(QDir(world.wavs).entryList({"*.MP3", "*.mp3"}, QDir::Files).isEmpty());
        EXPECT_FALSE(QFileInfo::exists(world.programDir() + "/codec"));
        EXPECT_TRUE(QFileInfo::exists(world.programDir() + "/mp3.dll"));
    }
}

TEST(Encoding, DeleteSourceRemovesOnlyTheSourcesOfRunsThatProducedTheirOutput) {
    EncodingWorld world;
    world.writeFile("wavs/broken.wav", "this is not a wave file");
    // A header that claims 7 samples a second: the file would pass for hours of audio.
    makeWav(world.wavs + "/damaged.wav", 1.0, 44100, 2);
    QFile damaged(world.wavs + "/damaged.wav");
    ASSERT_TRUE(damaged.open(QIODevice::ReadWrite) && damaged.seek(24));
    damaged.write(QByteArray("\x07\0\0\0", 4));
    damaged.close();
    const QString other = world.makeDirectory("other");
    makeWav(other + "/stereo48.wav", 1.0, 48000, 2);
    app::TMainForm* form = world.startOnWavs();
    ui(form).deletesource->setChecked(true);
    world.choose(form, kHouseRow, "Stereo", "128 Kbit/s");
    queueAll(form); // broken, damaged, eightbit, mono44, stereo48
    ui(form).encdirlist->setDirectory(other);
    queueAll(form); // a second stereo48, from another folder
    ASSERT_EQ(ui(form).encodelist->count(), 6);
    sharedDialogs().reset();
    click(ui(form).encstart);

    // One box lists the three failures; their sources stay.
    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    const QStringList lines = sharedDialogs().messages[0].text.split('\r');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "3 of 6 files failed:");
    EXPECT_TRUE(lines[1].startsWith("broken.wav: ")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("damaged.wav: ")) << lines[2].toStdString();
    EXPECT_EQ(lines[3], "stereo48.wav: not run: its output was written by an earlier file");
    for (const QString& kept :
         {world.wavs + "/broken.wav", world.wavs + "/damaged.wav", other + "/stereo48.wav"})
        EXPECT_TRUE(QFileInfo::exists(kept)) << kept.toStdString();
    EXPECT_FALSE(QFileInfo::exists(world.out + "broken.mp3"));
    for (const Source& source : kSources) {
        EXPECT_FALSE(QFileInfo::exists(world.wavs + "/" + source.name))
            << source.name.toStdString();
        EXPECT_TRUE(QFileInfo::exists(world.out + QString(source.name).chopped(3) + "mp3"));
    }
    EXPECT_EQ(probe(world.out + "stereo48.mp3").sampleRate, 48000);
    ui(form).encdirlist->setDirectory(world.wavs);
    EXPECT_EQ(ui(form).encflist->count(), 2); // the file list shows what is left

    // BladeEnc's move never replaces a file: an old output stays, and so does the source; the
    // file it could not move goes, so that it cannot stand in the way of the next run.
    makeWav(world.wavs + "/again.wav", 0.5, 44100, 1);
    world.writeFile("out/again.mp3", "an older file");
    ui(form).encflist->reread();
    queueAll(form);
    world.choose(form, kBladeEncRow, "Mono", "  64 Kbit/s");
    click(ui(form).encstart);
    EXPECT_TRUE(QFileInfo::exists(world.wavs + "/again.wav"));
    EXPECT_FALSE(QFileInfo::exists(world.wavs + "/again.MP3"));
    EXPECT_EQ(fileContent(world.out + "again.mp3"), "an older file");
}

TEST(Encoding, TheProgressWindowShowsAndRepaintsWhileTheEncoderWorks) {
    EncodingWorld world;
    // A long path makes a command line well over 255 characters.
    const QString deep = world.makeDirectory("wavs/" + QString(90, 'a') + "/" + QString(90, 'b') +
                                             "/" + QString(90, 'c'));
    makeWav(deep + "/long.wav", 30, 44100, 2);
    app::TMainForm* form = world.startOnWavs();
    showWorkPage(form, true, deep, deep + "/");
    queueAll(form);
    world.choose(form, kHouseRow, "Stereo", "128 Kbit/s");

    // The modal progress window's title, source and target, the watcher's ticks while the encoder
    // ran and the paints the window got.
    QStringList shown;
    int ticks = 0, paints = 0;
    struct PaintCounter : QObject {
        int* paints = nullptr;
        bool eventFilter(QObject*, QEvent* event) override {
            *paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    counter.paints = &paints;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* progress = qobject_cast<encode::TEncForm*>(QApplication::activeModalWidget());
        if (!progress)
            return;
        if (ticks++ == 0) {
            progress->installEventFilter(&counter);
            shown = {progress->windowTitle(), progress->encinfile->text(),
                     progress->encoutfile->text()};
            saveScreenshot(progress, "encoding-progress.png");
        }
        progress->update();
    });
    watcher.start(5);
    click(ui(form).encstart);
    watcher.stop();

    EXPECT_EQ(shown, QStringList({"Encoding... (1 of 1)", deep + "/long.wav", deep + "/long.mp3"}));
    EXPECT_GT(ticks, 3) << "the event loop stood still while the encoder ran";
    EXPECT_GT(paints, 1) << "the progress window was not repainted";
    EXPECT_NEAR(probe(deep + "/long.mp3").duration, 30.0, 0.1);
}

TEST(Encoding, ShowEncoderOpensAConsoleWithTheEncodersOutput) {
    EncodingWorld world;
    makeWav(world.wavs + "/long.wav", 20, 44100, 2);
    app::TMainForm* form = world.startOnWavs();
    ui(form).showenc->setChecked(true);
    QStringList shown;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* console = qobject_cast<encode::ConsoleWindow*>(window);
                console && console->isVisible())
                shown.append(console->text());
        }
    });
    watcher.start(10);
    const auto found = ui(form).encflist->findItems("long.wav", Qt::MatchExactly);
    selectRows(*ui(form).encflist, {ui(form).encflist->row(found.value(0))});
    click(ui(form).encFileadd);
    world.choose(form, kBladeEncRow, "Stereo", "128 Kbit/s");
    click(ui(form).encstart);
    ASSERT_FALSE(shown.isEmpty()) << "no console window while BladeEnc ran";
    EXPECT_TRUE(shown.back().contains("long.wav")) << shown.back().toStdString();
    EXPECT_TRUE(ui(form).showenc->isChecked());
    EXPECT_TRUE(QFileInfo::exists(world.out + "long.mp3"));
}

// With the encoder shown, the console leaves the keyboard with the progress window, lies inside
// the screen also below a main window at the screen's bottom, and an Escape ends the batch
// wherever it is pressed: in the window that has the keyboard, or in the console itself.
TEST(Encoding, TheConsoleLeavesEscapeToCancelAndStaysOnTheScreen) {
    for (const bool inConsole : {false, true}) {
        SCOPED_TRACE(inConsole ? "Escape in the console" : "Escape where the keyboard is");
        EncodingWorld world;
        makeWav(world.wavs + "/long.wav", 120, 44100, 2);
        app::TMainForm* form = world.startOnWavs();
        const QRect available = form->screen()->availableGeometry();
        form->move(form->x(), available.bottom() - form->frameGeometry().height());
        ui(form).showenc->setChecked(true);
        const auto found = ui(form).encflist->findItems("long.wav", Qt::MatchExactly);
        selectRows(*ui(form).encflist, {ui(form).encflist->row(found.value(0))});
        click(ui(form).encFileadd);
        world.choose(form, kBladeEncRow, "Stereo", "128 Kbit/s");
        sharedDialogs().reset();

        QString keyboard; // the window that has it
        QRect placed;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            QPointer<encode::ConsoleWindow> console;
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* shown = qobject_cast<encode::ConsoleWindow*>(window);
                if (shown && shown->isVisible() && !shown->text().isEmpty())
                    console = shown;
            }
            if (!console)
                return;
            watcher.stop();
            QTest::qWait(100); // time for a window that takes the keyboard to take it
            if (!console)
                return;
            keyboard = QApplication::activeWindow() ? QApplication::activeWindow()->objectName()
                                                    : QStringLiteral("no window");
            placed = console->frameGeometry();
            if (inConsole)
                QTest::keyClick(console, Qt::Key_Escape);
            else if (QWindow* focus = QGuiApplication::focusWindow())
                QTest::keyClick(focus, Qt::Key_Escape);
        });
        watcher.start(10);
        const QElapsedTimer clock = [] {
            QElapsedTimer started;
            started.start();
            return started;
        }();
        click(ui(form).encstart);
        watcher.stop();

        ASSERT_FALSE(placed.isNull()) << "no console window while BladeEnc ran";
        EXPECT_EQ(keyboard, "EncForm");
        EXPECT_TRUE(available.contains(placed))
            << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
        EXPECT_LT(clock.elapsed(), 30000) << "the encoder ran to its end";
        EXPECT_FALSE(QFileInfo::exists(world.out + "long.mp3"));
        EXPECT_EQ(rowTexts(*ui(form).encodelist), QStringList({"long.wav"}));
    }
}

// A source whose name is not UTF-8 is listed, queued and encoded by every encoder like any
// other, and its MP3's name keeps the source's bytes.
TEST(Encoding, NamesThatAreNotUtf8AreListedEncodedAndKeepTheirBytes) {
    const QByteArray name = "caf\xe9";
    for (const int codec : {kHouseRow, kBladeEncRow, kPluggerRow}) {
        SCOPED_TRACE(codec);
        EncodingWorld world(true);
        const QByteArray wavs = QFile::encodeName(world.wavs) + "/";
        const QByteArray out = QFile::encodeName(world.out);
        makeWav(world.wavs + "/plain.wav", 1, 44100, 2);
        ASSERT_EQ(::rename(wavs + "plain.wav", wavs + name + ".wav"), 0);
        app::TMainForm* form = world.startOnWavs();
        const QString shown = platform::textFromBytes(name + ".wav");
        const auto found = ui(form).encflist->findItems(shown, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << rowTexts(*ui(form).encflist).join(",").toStdString();
        selectRows(*ui(form).encflist, {ui(form).encflist->row(found[0])});
        click(ui(form).encFileadd);
        world.choose(form, codec, "Stereo", "128 Kbit/s");
        sharedDialogs().reset();
        click(ui(form).encstart);

        EXPECT_TRUE(sharedDialogs().messages.empty())
            << sharedDialogs().messageTexts().join("|").toStdString();
        const std::filesystem::path mp3((out + name + ".mp3").toStdString());
        ASSERT_TRUE(std::filesystem::exists(mp3));
        // The tools we run to check it take a plain name.
        std::filesystem::copy_file(mp3, (out + "check.mp3").toStdString());
        EXPECT_NEAR(probe(world.out + "check.mp3").duration, 1.0, 0.1);
    }
}
