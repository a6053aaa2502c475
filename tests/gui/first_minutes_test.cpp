// A new user's first minutes on the real window: home-folder defaults, typed Codec text, Ctrl+X,
// drag and drop onto the queues, the progress windows' title bars and type-ahead in the lists.
#include "app/main_form.h"
#include "app/option_sets.h"
#include "selection/directory_list.h"
#include "tests/support/audio_tools.h"
#include "tests/support/gui_actions.h"
#include "tests/support/gui_environment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

template <typename Widget> Widget& find(QWidget* form, const char* name) {
    auto* widget = form->findChild<Widget*>(QString::fromLatin1(name));
    if (!widget)
        throw std::logic_error(std::string("no widget ") + name);
    return *widget;
}

// A world whose home folder lies inside it.
struct HomeWorld : TestWorld {
    HomeWorld() : savedHome(qgetenv("HOME")), home(makeDirectory("home")) {
        qputenv("HOME", QFile::encodeName(home));
    }
    ~HomeWorld() { qputenv("HOME", savedHome); }
    QByteArray savedHome;
    QString home;
};

// Drags the files over the queue and drops them, as a file manager does.
void drop(QListWidget& queue, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    const QPoint at = queue.viewport()->rect().center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(queue.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropped(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(queue.viewport(), &dropped);
    // Never a move: the file manager would delete the originals.
    EXPECT_NE(dropped.dropAction(), Qt::MoveAction);
    QCoreApplication::processEvents();
}

// Notes the window flags of every progress window that shows while it lives.
struct ProgressWatcher {
    ProgressWatcher() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                const QString name = window->objectName();
                if (window->isVisible() && (name == "EncForm" || name == "DecForm"))
                    flags[name] = window->windowFlags();
            }
        });
        timer.start(5);
    }
    QTimer timer;
    std::map<QString, Qt::WindowFlags> flags;
};

const Qt::WindowFlags kTitleOnly = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;

} // namespace

TEST(FirstMinutes, OutputDirectoriesStartAtHomeAndAStoredOldDefaultReadsAsHome) {
    HomeWorld world;
    QWidget* form = world.start();
    EXPECT_EQ(find<QLabel>(form, "encout").text(), world.home + "/");
    EXPECT_EQ(find<QLabel>(form, "decout").text(), world.home + "/");
    world.discard();

    // The old default in either letter case, and the house encoder under its old entry text.
    world.writeFile("config/sonabox/SBOX.INI",
                    "[ENCODER]\nCodec=Korvo   built on LAME and TwoLAME\nBitrate=  32 Kbit/s\n"
                    "Output=c:\\\n[DECODER]\nOutput=C:\\\n");
    form = world.start();
    EXPECT_EQ(find<QLabel>(form, "encout").text(), world.home + "/");
    EXPECT_EQ(find<QLabel>(form, "decout").text(), world.home + "/");
    EXPECT_EQ(find<QComboBox>(form, "Codec").currentText(), app::codecEntries()[0]);
    EXPECT_EQ(find<QComboBox>(form, "Bitrate").currentText(), "  48 Kbit/s");
    EXPECT_EQ(find<QComboBox>(form, "Layer").count(), 3);
}

TEST(FirstMinutes, EveryCodecEntryFitsItsBoxAndItsList) {
    TestWorld world;
    QWidget* form = world.start();
    ASSERT_EQ(form->logicalDpiY(), 96);
    auto& codec = find<QComboBox>(form, "Codec");
    // A line edit keeps two pixels on either side of its text.
    const int room = codec.lineEdit()->contentsRect().width() - 4;
    for (int entry = 0; entry < codec.count(); ++entry) {
        const QString text = codec.itemText(entry);
        EXPECT_LE(codec.lineEdit()->fontMetrics().horizontalAdvance(text), room)
            << text.toStdString();
    }
    codec.showPopup();
    QTest::qWait(20);
    for (int entry = 0; entry < codec.count(); ++entry) {
        const QModelIndex index = codec.model()->index(entry, 0);
        EXPECT_LE(codec.view()->sizeHintForIndex(index).width(),
                  codec.view()->visualRect(index).width());
    }
    codec.hidePopup();

    codec.setCurrentIndex(app::kHouseEncoder);
    find<QTabWidget>(form, "MainBoard").setCurrentIndex(2);
    QDir().mkpath(SONABOX_SCREENSHOT_DIR);
    EXPECT_TRUE(form->grab().save(SONABOX_SCREENSHOT_DIR "/page-configure-house-encoder.png"));
}

TEST(FirstMinutes, EveryChangeOfTheCodecTextKeepsTheOptionBoxesInStep) {
    TestWorld world;
    const QString wav = world.writeFile("wavs/a.wav", "RIFF");
    QWidget* form = world.start();
    auto& codec = find<QComboBox>(form, "Codec");
    auto& mode = find<QComboBox>(form, "Mode");
    auto& bitrate = find<QComboBox>(form, "Bitrate");
    find<QTabWidget>(form, "MainBoard").setCurrentIndex(0);
    drop(find<QListWidget>(form, "encodelist"), {wav});
    find<QTabWidget>(form, "MainBoard").setCurrentIndex(2);
    codec.setFocus();
    const QStringList entries = app::codecEntries();
    const struct {
        const char* typed;
        bool backspace; // takes back what completion added
        int entry;      // the entry whose set applies; -1 none
        const char* bitrate;
        const char* mode;
        bool houseSet; // Layer enabled
    } cases[] = {
        {"K", false, app::kHouseEncoder, "  48 Kbit/s", "Stereo", true},
        {"B", false, app::kBladeEnc, "  32 Kbit/s", "Stereo", false},
        {"P", false, app::kPlugger, "  32 Kbit/s", "Stereo", false},
        // Completion applied the house set; the text left names no encoder.
        {"K", true, -1, "  48 Kbit/s", "Stereo", true},
        {"Xyz", false, -1, "  32 Kbit/s", "Mono", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        codec.setCurrentIndex(app::kBladeEnc);
        emit codec.activated(app::kBladeEnc);
        bitrate.setEditText("  32 Kbit/s");
        mode.setEditText("Mono");
        codec.lineEdit()->selectAll();
        QTest::keyClicks(codec.lineEdit(), c.typed);
        if (c.backspace)
            QTest::keyClick(codec.lineEdit(), Qt::Key_Backspace);
        EXPECT_EQ(codec.currentText(), c.entry < 0 ? QString(c.typed) : entries[c.entry]);
        EXPECT_EQ(bitrate.currentText(), QString(c.bitrate));
        EXPECT_EQ(mode.currentText(), QString(c.mode));
        EXPECT_EQ(find<QComboBox>(form, "Layer").isEnabled(), c.houseSet);
        if (c.entry >= 0)
            continue;
        // The batch refuses a text that names no encoder, whatever the other boxes hold.
        sharedDialogs().reset();
        click(&find<QAbstractButton>(form, "encstart"));
        EXPECT_EQ(sharedDialogs().messageTexts(), QStringList({"No codec selected"}));
    }
}

TEST(FirstMinutes, CtrlXExitsFromEveryOptionBox) {
    TestWorld world;
    for (const char* name : {"Codec", "Mode", "Bitrate", "Layer"}) {
        for (bool onLineEdit : {true, false}) {
            SCOPED_TRACE(std::string(name) + (onLineEdit ? " line edit" : " box"));
            QWidget* form = world.start();
            auto& box = find<QComboBox>(form, name);
            box.setFocus();
            box.lineEdit()->selectAll();
            const QString text = box.currentText();
            QTest::keyClick(onLineEdit ? static_cast<QWidget*>(box.lineEdit()) : &box, Qt::Key_X,
                            Qt::ControlModifier);
            EXPECT_FALSE(form->isVisible());
            EXPECT_EQ(box.currentText(), text); // not cut
        }
    }
}

TEST(FirstMinutes, DroppedFilesAndFoldersJoinTheQueuesAsTheyDoByButton) {
    TestWorld world;
    world.installFromBuild({"encoder/plugger"});
    const QString loose = world.makeDirectory("loose");
    const QString album = world.makeDirectory("album");
    const QString out = world.makeDirectory("out") + "/";
    for (const QString& wav :
         {loose + "/x.wav", album + "/2.wav", album + "/1.WAV", album + "/sub/9.wav"}) {
        QDir().mkpath(QFileInfo(wav).path());
        makeWav(wav, 0.2, 44100, 1);
    }
    for (const QString& mp3 : {loose + "/c.mp3", loose + "/y.mp2", album + "/3.mp3",
                               album + "/1.mp2", album + "/sub/9.mp3"})
        makeMp3(mp3, 0.3, 44100, 1, 64);
    world.writeFile("loose/notes.txt", "x");

    QWidget* form = world.start();
    auto& codec = find<QComboBox>(form, "Codec");
    codec.setCurrentIndex(app::kPlugger);
    emit codec.activated(app::kPlugger);
    find<QLabel>(form, "encout").setText(out);
    find<QLabel>(form, "decout").setText(out);
    const struct {
        int page;
        const char *queue, *start;
        QStringList first, nothing, queued, outputs;
        QString error;
    } cases[] = {
        {0,
         "encodelist",
         "encstart",
         {loose + "/x.wav", loose + "/notes.txt", loose + "/c.mp3"},
         {loose + "/notes.txt", loose + "/c.mp3"},
         {"x.wav", "1.WAV", "2.wav"},
         {"x.mp3", "1.mp3", "2.mp3"},
         "No WAV files among the dropped files"},
        {1,
         "decodelist",
         "decstart",
         {loose + "/c.mp3", loose + "/x.wav", loose + "/y.mp2"},
         {loose + "/x.wav"},
         {"c.mp3", "y.mp2", "1.mp2", "3.mp3"},
         {"c.WAV", "y.WAV", "1.WAV", "3.WAV"},
         "No MP3 files among the dropped files"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.queue);
        find<QTabWidget>(form, "MainBoard").setCurrentIndex(c.page);
        auto& queue = find<QListWidget>(form, c.queue);
        sharedDialogs().reset();
        drop(queue, c.first);
        drop(queue, {album});
        EXPECT_EQ(rowTexts(queue), c.queued);
        EXPECT_TRUE(sharedDialogs().messages.empty());
        drop(queue, c.nothing);
        EXPECT_EQ(rowTexts(queue), c.queued);
        EXPECT_EQ(sharedDialogs().messageTexts(), QStringList({c.error}));

        // The batch finds every queued file by its full path.
        sharedDialogs().reset();
        ProgressWatcher watcher;
        click(&find<QAbstractButton>(form, c.start));
        EXPECT_TRUE(sharedDialogs().messages.empty())
            << sharedDialogs().messageTexts().join("|").toStdString();
        QStringList written = QDir(out).entryList(QDir::Files);
        for (const QString& output : c.outputs)
            EXPECT_TRUE(written.removeOne(output)) << output.toStdString();
        EXPECT_TRUE(written.filter("9.").isEmpty());
        // The progress windows have a title bar without buttons.
        ASSERT_EQ(watcher.flags.size(), 1u);
        EXPECT_EQ(watcher.flags.begin()->second, kTitleOnly);
        for (const QString& output : c.outputs)
            QFile::remove(out + output);
    }
}

TEST(FirstMinutes, TypeAheadReturnAndBackspaceInTheBrowsers) {
    TestWorld world;
    const QString browse = world.makeDirectory("browse");
    for (const char* folder : {"alpha", "beta", "bravo"})
        world.makeDirectory(QString("browse/") + folder);
    for (const char* file : {"one.wav", "three.wav", "two.wav"})
        world.writeFile(QString("browse/") + file, "RIFF");
    QWidget* form = world.start();
    find<QTabWidget>(form, "MainBoard").setCurrentIndex(0);
    auto& directories = find<selection::DirectoryList>(form, "encdirlist");
    auto& files = find<QListWidget>(form, "encflist");
    ASSERT_TRUE(directories.setDirectory(browse));

    directories.setFocus();
    QTest::keyClicks(&directories, "br");
    ASSERT_TRUE(directories.currentItem());
    EXPECT_EQ(directories.currentItem()->text(), "bravo");
    QTest::keyClick(&directories, Qt::Key_Return);
    EXPECT_EQ(directories.directory(), browse + "/bravo");
    QTest::keyClick(&directories, Qt::Key_Backspace);
    EXPECT_EQ(directories.directory(), browse);
    EXPECT_EQ(files.count(), 3);

    files.setFocus();
    QTest::keyClicks(&files, "th");
    ASSERT_TRUE(files.currentItem());
    EXPECT_EQ(files.currentItem()->text(), "three.wav");
    QTest::keyClick(&files, Qt::Key_Backspace);
    EXPECT_EQ(directories.directory(), world.root());
    EXPECT_EQ(files.count(), 0);
}
