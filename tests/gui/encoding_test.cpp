// Encoding from the Encode page of the real window with the real encoder programs; every
// output is checked with ffprobe and mpg123.
#include "app/main_form.h"
#include "app/option_sets.h"
#include "app/program_windows.h"
#include "encode/console_window.h"
#include "encode/enc_form.h"
#include "selection/directory_list.h"
#include "selection/file_list.h"
#include "tests/support/audio_tools.h"
#include "tests/support/gui_actions.h"
#include "tests/support/gui_environment.h"
#include "tests/support/main_widgets.h"
#include "widgets/flat_button.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QTimer>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const QStringList kEncoders = {"mp3.dll", "bladeenc/bladeenc", "encoder/plugger"};

struct Source {
    QString name;
    int rate;
    int channels;
    QString format;
};

const Source kSources[] = {{"mono44.wav", 44100, 1, "pcm_s16le"},
                           {"stereo48.wav", 48000, 2, "pcm_s16le"},
                           {"eightbit.wav", 44100, 2, "pcm_u8"}};
constexpr double kSeconds = 1.5;

// A world with the encoders installed and three WAV files in a folder of their own.
struct EncodingWorld : TestWorld {
    explicit EncodingWorld(bool withEncoders = true) {
        if (withEncoders)
            installFromBuild(kEncoders);
        wavs = makeDirectory("wavs");
        out = makeDirectory("out") + "/";
        for (const Source& source : kSources)
            makeWav(wavs + "/" + source.name, kSeconds, source.rate, source.channels,
                    source.format);
    }

    app::TMainForm* startOnWavs() {
        app::TMainForm* form = start();
        ui(form).encout->setText(out);
        form->showPage("Encode (wav 2 mp3)");
        ui(form).encdirlist->setDirectory(wavs);
        return form;
    }

    // Queues every WAV file that the file list shows.
    void queueAll(app::TMainForm* form) {
        ui(form).encflist->selectAll();
        click(ui(form).encFileadd);
    }

    void choose(app::TMainForm* form, int codec, const QString& mode, const QString& bitrate,
                const QString& layer = "Layer III") {
        ui(form).Codec->setCurrentIndex(codec);
        emit ui(form).Codec->activated(codec);
        ui(form).Mode->setEditText(mode);
        ui(form).Bitrate->setEditText(bitrate);
        ui(form).Layer->setEditText(layer);
    }

    QString wavs;
    QString out;
};

struct Expected {
    QString codec;
    long long bitRate;
    bool mono;
    int samplesPerFrame;
};

void checkOutputs(const QString& out, const Expected& expected) {
    for (const Source& source : kSources) {
        const QString mp3 = out + QString(source.name).chopped(3) + "mp3";
        SCOPED_TRACE(mp3.toStdString());
        ASSERT_TRUE(QFileInfo::exists(mp3));
        const Probe result = probe(mp3);
        EXPECT_EQ(result.codec, expected.codec);
        EXPECT_EQ(result.bitRate, expected.bitRate);
        EXPECT_EQ(result.channels, expected.mono ? 1 : source.channels);
        EXPECT_TRUE(mpg123Decodes(mp3));
        // The decoded length: the file's own length counts the encoder's delay and padding.
        const QString decoded = out + "decoded.wav";
        mpg123ToWav(mp3, decoded);
        const double frame = double(expected.samplesPerFrame) / result.sampleRate;
        EXPECT_NEAR(probe(decoded).duration, kSeconds, frame);
        QFile::remove(decoded);
    }
}

} // namespace

TEST(Encoding, ChecksComeInOrderAndARefusedBatchEmptiesTheQueue) {
    EncodingWorld world(false);
    app::TMainForm* form = world.startOnWavs();
    sharedDialogs().reset();

    click(ui(form).encstart); // empty queue: nothing to say
    EXPECT_TRUE(sharedDialogs().messages.empty());

    world.queueAll(form);
    click(ui(form).encstart);
    EXPECT_EQ(sharedDialogs().messageTexts(), QStringList({"No codec selected"}));
    EXPECT_EQ(ui(form).encodelist->count(), 3);

    sharedDialogs().reset();
    world.choose(form, kBladeEncRow, "Output mode", "  64 Kbit/s", "MPEG Layer");
    click(ui(form).encstart);
    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    EXPECT_EQ(sharedDialogs().messages[0].caption, "Error");
    EXPECT_EQ(sharedDialogs().messages[0].text,
              "No mode selected\rNo layer selected\r\rGo to the Config -tab and change it");
    EXPECT_EQ(ui(form).encodelist->count(), 0);
    EXPECT_TRUE(form->fullname.isEmpty());

    // Every queued file meets the missing encoder once.
    sharedDialogs().reset();
    world.queueAll(form);
    world.choose(form, kBladeEncRow, "Stereo", "  64 Kbit/s");
    click(ui(form).encstart);
    const QString missing = "File " + world.programDir() + "/bladeenc/bladeenc not found";
    EXPECT_EQ(sharedDialogs().messageTexts(), QStringList({missing, missing, missing}));
    EXPECT_EQ(ui(form).encodelist->count(), 0);

    sharedDialogs().reset();
    world.queueAll(form);
    world.choose(form, kHouseRow, "Stereo", "128 Kbit/s");
    click(ui(form).encstart);
    ASSERT_EQ(sharedDialogs().messages.size(), 3u);
    EXPECT_EQ(sharedDialogs().messages[0].text,
              "File " + world.programDir() + "/mp3.dll not found");
    EXPECT_TRUE(QFileInfo(world.out).dir().entryList(QDir::Files).isEmpty());
}

TEST(Encoding, EveryEncoderTurnsTheQueueIntoMpegAudio) {
    EncodingWorld world;
    app::TMainForm* form = world.startOnWavs();
    struct Case {
        int codec;
        QString mode, bitrate, layer;
        Expected expected;
    } cases[] = {
        {kHouseRow, "Joint Stereo", "128 Kbit/s", "Layer III", {"mp3", 128000, false, 1152}},
        {kHouseRow, "Stereo", "192 Kbit/s", "Layer II", {"mp2", 192000, false, 1152}},
        {kHouseRow, "Mono", "  64 Kbit/s", "Layer I", {"mp1", 64000, true, 384}},
        {kBladeEncRow, "Mono", "  64 Kbit/s", "Layer III", {"mp3", 64000, true, 1152}},
        {kBladeEncRow, "Stereo", "160 Kbit/s", "Layer III", {"mp3", 160000, false, 1152}},
        {kPluggerRow, "Stereo", "128 Kbit/s", "Layer III", {"mp3", 128000, false, 1152}},
        {kPluggerRow, "Mono", "  96 Kbit/s", "Layer III", {"mp3", 96000, true, 1152}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.mode + " " + c.bitrate + " " + c.layer).toStdString() + " codec " +
                     std::to_string(c.codec));
        for (const QString& old : QDir(world.out).entryList(QDir::Files))
            QFile::remove(world.out + old);
        sharedDialogs().reset();
        world.queueAll(form);
        world.choose(form, c.codec, c.mode, c.bitrate, c.layer);
        click(ui(form).encstart);
        EXPECT_TRUE(sharedDialogs().messages.empty())
            << sharedDialogs().messageTexts().join("|").toStdString();
        EXPECT_EQ(ui(form).encodelist->count(), 0);
        checkOutputs(world.out, c.expected);
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
    world.queueAll(form); // broken, damaged, eightbit, mono44, stereo48
    ui(form).encdirlist->setDirectory(other);
    world.queueAll(form); // a second stereo48, from another folder
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
    for (const QString& kept : {world.wavs + "/broken.wav", world.wavs + "/damaged.wav",
                                other + "/stereo48.wav"})
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
    EXPECT_TRUE(QFileInfo::exists(world.programDir() + "/mp3.dll"));
    EXPECT_FALSE(QFileInfo::exists(world.programDir() + "/codec"));

    // BladeEnc's move never replaces a file: an old output stays, and so does the source.
    makeWav(world.wavs + "/again.wav", 0.5, 44100, 1);
    world.writeFile("out/again.mp3", "an older file");
    ui(form).encflist->reread();
    world.queueAll(form);
    world.choose(form, kBladeEncRow, "Mono", "  64 Kbit/s");
    click(ui(form).encstart);
    EXPECT_TRUE(QFileInfo::exists(world.wavs + "/again.wav"));
    EXPECT_TRUE(QFileInfo::exists(world.wavs + "/again.MP3"));
    QFile old(world.out + "again.mp3");
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "an older file");
}

TEST(Encoding, TheProgressWindowShowsAndRepaintsWhileTheEncoderWorks) {
    EncodingWorld world;
    // A long path makes a command line well over 255 characters.
    const QString deep = world.makeDirectory("wavs/" + QString(90, 'a') + "/" + QString(90, 'b') +
                                             "/" + QString(90, 'c'));
    makeWav(deep + "/long.wav", 30, 44100, 2);
    app::TMainForm* form = world.startOnWavs();
    ui(form).encout->setText(deep + "/");
    ui(form).encdirlist->setDirectory(deep);
    world.queueAll(form);
    world.choose(form, kHouseRow, "Stereo", "128 Kbit/s");

    struct Seen {
        int ticks = 0;
        int paints = 0;
        bool progressWindow = false;
        QString source, target, title;
        bool mainBlocked = false;
    } seen;
    struct PaintCounter : QObject {
        int* paints;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint)
                ++*paints;
            return false;
        }
    } counter;
    counter.paints = &seen.paints;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* progress = qobject_cast<encode::TEncForm*>(QApplication::activeModalWidget());
        if (!progress)
            return;
        ++seen.ticks;
        if (!seen.progressWindow) {
            seen.progressWindow = true;
            progress->installEventFilter(&counter);
            progress->update();
            seen.source = progress->encinfile->text();
            seen.target = progress->encoutfile->text();
            seen.title = progress->windowTitle();
            seen.mainBlocked = QApplication::activeModalWidget() != form;
            QDir().mkpath(SONABOX_SCREENSHOT_DIR);
            progress->grab().save(SONABOX_SCREENSHOT_DIR "/encoding-progress.png");
        } else {
            progress->update();
        }
    });
    watcher.start(5);
    click(ui(form).encstart);
    watcher.stop();

    EXPECT_TRUE(seen.progressWindow);
    EXPECT_EQ(seen.title, "Encoding... (1 of 1)");
    EXPECT_EQ(seen.source, deep + "/long.wav");
    EXPECT_EQ(seen.target, deep + "/long.mp3");
    EXPECT_TRUE(seen.mainBlocked);
    EXPECT_GT(seen.ticks, 3) << "the event loop stood still while the encoder ran";
    EXPECT_GT(seen.paints, 1) << "the progress window was not repainted";
    EXPECT_EQ(probe(deep + "/long.mp3").codec, "mp3");
    mpg123ToWav(deep + "/long.mp3", world.root() + "/long.wav");
    EXPECT_NEAR(probe(world.root() + "/long.wav").duration, 30.0, 0.03);
}

TEST(Encoding, ShowEncoderOpensAConsoleWithTheEncodersOutputAndTheHouseEncoderRunsHidden) {
    EncodingWorld world;
    makeWav(world.wavs + "/long.wav", 20, 44100, 2);
    app::TMainForm* form = world.startOnWavs();
    ui(form).showenc->setChecked(true);

    auto encodeWatchingConsoles = [&](int codec) {
        QStringList seen;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (auto* console = qobject_cast<encode::ConsoleWindow*>(window);
                    console && console->isVisible())
                    seen.append(console->text());
            }
        });
        watcher.start(10);
        const auto found = ui(form).encflist->findItems("long.wav", Qt::MatchExactly);
        selectRows(*ui(form).encflist, {ui(form).encflist->row(found.value(0))});
        click(ui(form).encFileadd);
        world.choose(form, codec, "Stereo", "128 Kbit/s");
        click(ui(form).encstart);
        return seen;
    };

    const QStringList shown = encodeWatchingConsoles(kBladeEncRow);
    ASSERT_FALSE(shown.isEmpty()) << "no console window while BladeEnc ran";
    EXPECT_TRUE(shown.back().contains("long.wav")) << shown.back().toStdString();
    EXPECT_TRUE(ui(form).showenc->isChecked());
    EXPECT_TRUE(QFileInfo::exists(world.out + "long.mp3"));

    QFile::remove(world.out + "long.mp3");
    EXPECT_TRUE(encodeWatchingConsoles(kHouseRow).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(world.out + "long.mp3"));
}
