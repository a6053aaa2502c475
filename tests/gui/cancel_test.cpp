// Cancel in the progress windows: the running file leaves no partial output and keeps its
// source, and the files not yet converted stay queued with their full paths.
#include "decode/dec_form.h"
#include "libs/mpegdll/include/mpegdll.h"
#include "mpegplay/mpeg_player.h"
#include "tests/support/decode_watch.h"
#include "tests/support/gui_test.h"

#include <QDeadlineTimer>

using namespace testsupport;

namespace {

QStringList filesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

// Whether a child process of this one is still running (not ended, or ended and not yet
// collected by Qt).
bool childRunning() {
    const QString tasks = QStringLiteral("/proc/self/task");
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QByteArray& pid : fileContent(tasks + "/" + task + "/children").split(' ')) {
            const QByteArray stat = fileContent("/proc/" + pid.trimmed() + "/stat");
            const qsizetype state = stat.lastIndexOf(')') + 2;
            if (!pid.trimmed().isEmpty() && state < stat.size() && stat[state] != 'Z')
                return true;
        }
    }
    return false;
}

// The house encoder with Layer III, stereo, 128 kbit/s over a queue of these WAV files (name,
// seconds), deleting each source once its MP3 is checked.
app::TMainForm* startEncodeQueue(TestWorld& world, const QString& wavs, const QString& out,
                                 const std::vector<std::pair<QString, double>>& files) {
    world.installFromBuild({"mp3.dll"});
    for (const auto& [name, seconds] : files)
        makeWav(wavs + "/" + name, seconds, 44100, 2);
    app::TMainForm* form = world.start();
    const MainWidgets w = ui(form);
    chooseEntry(*w.Codec, kHouseRow);
    w.Mode->setEditText("Stereo");
    w.Bitrate->setEditText("128 Kbit/s");
    w.Layer->setEditText("Layer III");
    w.deletesource->setChecked(true);
    showWorkPage(form, true, wavs, out);
    queueAll(form);
    sharedDialogs().reset();
    return form;
}

} // namespace

TEST(Cancel, StopsTheEncoderKeepsTheSourceAndTheRestOfTheQueue) {
    TestWorld world;
    const QString wavs = world.makeDirectory("wavs");
    const QString out = world.makeDirectory("out") + "/";
    app::TMainForm* form =
        startEncodeQueue(world, wavs, out, {{"a-long.wav", 240}, {"b.wav", 1}, {"c.wav", 1}});
    const MainWidgets w = ui(form);

    whenModal([](QWidget* progress) {
        QTimer::singleShot(300, progress, [progress] {
            click(progress->findChild<widgets::FlatButton*>("cancel"));
        });
    });
    click(w.encstart);

    EXPECT_TRUE(sharedDialogs().messages.empty())
        << sharedDialogs().messageTexts().join("|").toStdString();
    EXPECT_TRUE(filesIn(out).isEmpty()) << filesIn(out).join(",").toStdString();
    EXPECT_EQ(filesIn(wavs), QStringList({"a-long.wav", "b.wav", "c.wav"}));
    EXPECT_EQ(rowTexts(*w.encodelist), QStringList({"a-long.wav", "b.wav", "c.wav"}));
    EXPECT_EQ(form->fullname,
              QStringList({wavs + "/a-long.wav", wavs + "/b.wav", wavs + "/c.wav"}));
    EXPECT_FALSE(QFile::exists(world.programDir() + "/codec"));
}

TEST(Cancel, StopsTheDecodeRemovesItsWavAndKeepsTheRestOfTheQueue) {
    TestWorld world;
    const QString mp3s = world.makeDirectory("mp3s");
    const QString out = world.makeDirectory("out") + "/";
    makeMp3(mp3s + "/a.mp3", 1, 44100, 2, 128);
    // A long stream, made quickly: the same frames many times over.
    makeMp3(mp3s + "/part.mp3", 20, 44100, 2, 320);
    QFile part(mp3s + "/part.mp3");
    ASSERT_TRUE(part.open(QIODevice::ReadOnly));
    const QByteArray frames = part.readAll();
    part.close();
    part.remove();
    QFile whole(mp3s + "/b-long.mp3");
    ASSERT_TRUE(whole.open(QIODevice::WriteOnly));
    for (int i = 0; i < 90; ++i)
        whole.write(frames);
    whole.close();
    makeMp3(mp3s + "/c.mp3", 1, 44100, 2, 128);
    world.writeFile("out/b-long.WAV", "an older file"); // a cancel brings it back
    app::TMainForm* form = world.start();
    const MainWidgets w = ui(form);
    showWorkPage(form, false, mp3s, out);
    queueAll(form);
    sharedDialogs().reset();

    // The first file is done before the window is first looked at; the long one is cancelled.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* progress = topLevelWindow<decode::TDecForm>("DecForm");
        if (progress && progress->isVisible() && progress->decinfile->text() == "b-long.mp3") {
            watch.stop();
            click(progress->cancel);
        }
    });
    watch.start(2);
    click(w.decstart);

    EXPECT_EQ(sharedDialogs().messageTexts(),
              QStringList({"Cancelled. 1 of 3 files were done before it:\ra.mp3"}));
    EXPECT_EQ(filesIn(out), QStringList({"a.WAV", "b-long.WAV"}));
    EXPECT_EQ(fileContent(out + "b-long.WAV"), "an older file");
    EXPECT_EQ(rowTexts(*w.decodelist), QStringList({"b-long.mp3", "c.mp3"}));
    EXPECT_EQ(form->fullname, QStringList({mp3s + "/b-long.mp3", mp3s + "/c.mp3"}));
    EXPECT_TRUE(form->isEnabled());
}

// Cancel pressed after the library has finished the file but before the window has seen it: the
// file counts as finished (its new WAV stays, no error), and the files after it stay queued.
TEST(Cancel, ACancelThatComesAfterTheFileHasEndedKeepsItsWav) {
    TestWorld world;
    const QString mp3s = world.makeDirectory("mp3s");
    const QString out = world.makeDirectory("out") + "/";
    makeMp3(mp3s + "/a.mp3", 1, 44100, 2, 128);
    makeMp3(mp3s + "/b.mp3", 2, 44100, 2, 128);
    makeMp3(mp3s + "/c.mp3", 1, 44100, 2, 128);
    world.writeFile("out/b.WAV", "an older file");
    app::TMainForm* form = world.start();
    const MainWidgets w = ui(form);
    showWorkPage(form, false, mp3s, out);
    queueAll(form);
    sharedDialogs().reset();

    // Holding this thread once b.mp3 has started until the library reports its end keeps the
    // window from seeing that end before the click.
    DecodeFileWatch watch([form](decode::TDecForm& progress) {
        if (progress.decinfile->text() != "b.mp3")
            return;
        const QDeadlineTimer deadline(30000);
        while (form->decod->PlayerMode() != MPEGDLL_MODE_ENDED && !deadline.hasExpired()) {
        }
        click(progress.cancel);
    });
    click(w.decstart);

    // The summary names the files done before the cancel.
    EXPECT_EQ(sharedDialogs().messageTexts(),
              QStringList({"Cancelled. 2 of 3 files were done before it:\ra.mp3\rb.mp3"}));
    EXPECT_EQ(filesIn(out), QStringList({"a.WAV", "b.WAV"}));
    EXPECT_NEAR(probe(out + "b.WAV").duration, 2.0, 0.03);
    EXPECT_EQ(rowTexts(*w.decodelist), QStringList({"c.mp3"}));
    EXPECT_EQ(form->fullname, QStringList({mp3s + "/c.mp3"}));
    EXPECT_TRUE(form->isEnabled());
}

// Cancel pressed after the encoder has exited with its output in place but before the window
// has seen it end: the file counts as finished (its MP3 stays, its source goes as asked), and
// the files after it stay queued.
TEST(Cancel, ACancelThatComesAfterTheEncoderHasEndedKeepsItsMp3) {
    TestWorld world;
    const QString wavs = world.makeDirectory("wavs");
    const QString out = world.makeDirectory("out") + "/";
    app::TMainForm* form = startEncodeQueue(world, wavs, out, {{"a.wav", 1.5}, {"b.wav", 1}});
    const MainWidgets w = ui(form);

    // Once the encoder runs, this thread waits for its exit without letting Qt see it.
    bool clicked = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* progress = QApplication::activeModalWidget();
        if (clicked || !progress || progress->objectName() != "EncForm" || !childRunning())
            return;
        const QDeadlineTimer deadline(60000);
        while (childRunning() && !deadline.hasExpired()) {
        }
        click(progress->findChild<widgets::FlatButton*>("cancel"));
        clicked = true;
    });
    watch.start(0);
    click(w.encstart);

    ASSERT_TRUE(clicked);
    EXPECT_EQ(sharedDialogs().messageTexts(),
              QStringList({"Cancelled. 1 of 2 files were done before it:\ra.wav"}));
    EXPECT_EQ(filesIn(out), QStringList({"a.mp3"}));
    EXPECT_NEAR(probe(out + "a.mp3").duration, 1.5, 0.1);
    EXPECT_EQ(filesIn(wavs), QStringList({"b.wav"}));
    EXPECT_EQ(rowTexts(*w.encodelist), QStringList({"b.wav"}));
    EXPECT_EQ(form->fullname, QStringList({wavs + "/b.wav"}));
}

namespace {

// The user presses Escape: it goes to the window that has the keyboard.
void pressEscape() {
    QWindow* target = QGuiApplication::focusWindow();
    if (!target && QApplication::activeWindow())
        target = QApplication::activeWindow()->windowHandle();
    if (target)
        QTest::keyClick(target, Qt::Key_Escape);
}

struct CancelMoment {
    const char* what;
    int sourcesGone;     // pressed once so many sources are gone; -1: at the window's first show
    bool button = false; // the Cancel button of the window shown then, else Escape
};

} // namespace

// A batch of many short files where most files end before their turn: a cancel at any moment,
// between two files too, ends the batch. The files not done keep their sources and stay queued,
// and the summary names the files done before the cancel.
TEST(Cancel, EndsABatchOfShortFilesAtAnyMomentAndNamesWhatWasDone) {
    const std::vector<CancelMoment> moments = {
        {"Escape as the progress window shows", -1}, {"Escape after the first source is gone", 1},
        {"Escape after three sources are gone", 3},  {"Cancel after two sources are gone", 2, true},
        {"Escape after six sources are gone", 6},
    };
    constexpr int kFiles = 12;
    for (const CancelMoment& moment : moments) {
        SCOPED_TRACE(moment.what);
        TestWorld world;
        const QString wavs = world.makeDirectory("wavs");
        const QString out = world.makeDirectory("out") + "/";
        std::vector<std::pair<QString, double>> files;
        QStringList names;
        for (int i = 1; i <= kFiles; ++i) {
            names.append(QStringLiteral("f%1").arg(i, 2, 10, QLatin1Char('0')));
            files.emplace_back(names.back() + ".wav", 0.4);
        }
        app::TMainForm* form = startEncodeQueue(world, wavs, out, files);
        const MainWidgets w = ui(form);

        bool pressed = false;
        const auto press = [&] {
            if (pressed)
                return;
            if (moment.button) {
                auto* progress = qobject_cast<QWidget*>(QApplication::activeModalWidget());
                if (!progress || !progress->isVisible())
                    return; // pressed once the window is there
                click(progress->findChild<widgets::FlatButton*>("cancel"));
            } else {
                pressEscape();
            }
            pressed = true;
        };
        struct ShowWatch : QObject {
            std::function<void()> shown;
            bool eventFilter(QObject* object, QEvent* event) override {
                if (event->type() == QEvent::Show && object->objectName() == "EncForm") {
                    // Pressed once the window looks ready for it: up and active.
                    QTimer::singleShot(0, [this, window = qobject_cast<QWidget*>(object)] {
                        (void)QTest::qWaitFor(
                            [window] {
                                return QGuiApplication::focusWindow() == window->windowHandle();
                            },
                            1000);
                        shown();
                    });
                }
                return false;
            }
        } showWatch;
        if (moment.sourcesGone < 0) {
            showWatch.shown = press;
            qApp->installEventFilter(&showWatch);
        }
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (moment.sourcesGone >= 0 && kFiles - filesIn(wavs).size() >= moment.sourcesGone)
                press();
        });
        watch.start(1);
        click(w.encstart);
        watch.stop();
        qApp->removeEventFilter(&showWatch);

        ASSERT_TRUE(pressed);
        const QStringList outputs = filesIn(out);
        const int done = int(outputs.size());
        EXPECT_GE(done, std::max(0, moment.sourcesGone));
        ASSERT_LT(done, kFiles) << "the batch ran to its end";
        QStringList doneMp3s, keptWavs;
        for (int i = 0; i < kFiles; ++i)
            (i < done ? doneMp3s : keptWavs).append(names[i] + (i < done ? ".mp3" : ".wav"));
        EXPECT_EQ(outputs, doneMp3s);
        EXPECT_EQ(filesIn(wavs), keptWavs);
        EXPECT_EQ(rowTexts(*w.encodelist), keptWavs);
        if (done == 0) {
            EXPECT_TRUE(sharedDialogs().messages.empty())
                << sharedDialogs().messageTexts().join("|").toStdString();
            continue;
        }
        ASSERT_EQ(sharedDialogs().messages.size(), 1u);
        const QString summary = sharedDialogs().messages[0].text;
        EXPECT_TRUE(
            summary.startsWith(QStringLiteral("Cancelled. %1 of 12 files were done").arg(done)))
            << summary.toStdString();
        for (int i = 0; i < kFiles; ++i)
            EXPECT_EQ(summary.contains(names[i] + ".wav"), i < done) << names[i].toStdString();
    }
}

// The same for a decode batch of many short files: Escape pressed once some of them are done
// ends it, the rest stay queued, and the summary names the files done.
TEST(Cancel, EndsADecodeBatchOfShortFilesAtAnyMoment) {
    constexpr int kFiles = 10;
    for (const int wavsMade : {2, 5}) {
        SCOPED_TRACE(wavsMade);
        TestWorld world;
        const QString mp3s = world.makeDirectory("mp3s");
        const QString out = world.makeDirectory("out") + "/";
        QStringList names;
        for (int i = 1; i <= kFiles; ++i) {
            names.append(QStringLiteral("f%1").arg(i, 2, 10, QLatin1Char('0')));
            makeMp3(mp3s + "/" + names.back() + ".mp3", 0.3, 44100, 2, 128);
        }
        app::TMainForm* form = world.start();
        const MainWidgets w = ui(form);
        showWorkPage(form, false, mp3s, out);
        queueAll(form);
        sharedDialogs().reset();

        bool pressed = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!pressed && filesIn(out).size() >= wavsMade) {
                pressEscape();
                pressed = true;
            }
        });
        watch.start(1);
        click(w.decstart);
        watch.stop();

        ASSERT_TRUE(pressed);
        const int done = int(filesIn(out).size());
        // The last WAV seen may have been the one being written, which the cancel takes away.
        EXPECT_GE(done, wavsMade - 1);
        ASSERT_LT(done, kFiles) << "the batch ran to its end";
        QStringList wavs, kept;
        for (int i = 0; i < kFiles; ++i)
            (i < done ? wavs : kept).append(names[i] + (i < done ? ".WAV" : ".mp3"));
        EXPECT_EQ(filesIn(out), wavs);
        EXPECT_EQ(rowTexts(*w.decodelist), kept);
        if (done == 0) {
            EXPECT_TRUE(sharedDialogs().messages.empty());
            continue;
        }
        ASSERT_EQ(sharedDialogs().messages.size(), 1u);
        const QString summary = sharedDialogs().messages[0].text;
        for (int i = 0; i < kFiles; ++i)
            EXPECT_EQ(summary.contains(names[i] + ".mp3"), i < done) << names[i].toStdString();
    }
}
