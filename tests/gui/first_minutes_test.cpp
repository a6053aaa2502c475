// A new user's first minutes on the real window: home-folder defaults, typed Codec text, Ctrl+X,
// drag and drop onto the queues, the progress windows' title bars and type-ahead in the lists.
#include "platform/paths.h"
#include "tests/support/gui_test.h"

#include <QDirIterator>
#include <QDropEvent>
#include <QMimeData>

#include <set>

#include <cstdio>

#include <dirent.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// Drags the folder's files or sub-folders (names apart by blanks) over the queue and drops them,
// as a file manager does.
void drop(QListWidget& queue, const QString& folder, const char* names) {
    QMimeData data;
    for (const QString& name : QString(names).split(' '))
        data.setUrls(data.urls() << QUrl::fromLocalFile(folder + "/" + name));
    const QPoint at = queue.viewport()->rect().center();
    const auto offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(queue.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropped(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(queue.viewport(), &dropped);
    // Never a move: the file manager would delete the originals.
    EXPECT_NE(dropped.dropAction(), Qt::MoveAction);
    QCoreApplication::processEvents();
}

// While it lives, this thread is refused folders that its permissions refuse, also as root: the
// capabilities that override them leave its effective set (they stay permitted, and come back).
class FolderPermissionsApply {
public:
    FolderPermissionsApply() {
        if (::getuid() != 0)
            return;
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct less[2] = {saved_[0], saved_[1]};
        less[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
        changed_ = ::syscall(SYS_capset, &header_, less) == 0;
    }
    ~FolderPermissionsApply() {
        if (changed_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    FolderPermissionsApply(const FolderPermissionsApply&) = delete;
    FolderPermissionsApply& operator=(const FolderPermissionsApply&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool changed_ = false;
};

bool canList(const QString& folder) {
    DIR* listing = ::opendir(QFile::encodeName(folder).constData());
    if (listing)
        ::closedir(listing);
    return listing != nullptr;
}

} // namespace

TEST(FirstMinutes, FirstStartAtHomeWithCodecEntriesThatFitAndAStoredOldDefaultReadsAsHome) {
    TestWorld world;
    const QByteArray savedHome = qgetenv("HOME");
    const QString home = world.makeDirectory("home") + "/";
    qputenv("HOME", QFile::encodeName(home));
    app::TMainForm* form = world.start();
    ASSERT_EQ(form->logicalDpiY(), 96);
    EXPECT_EQ(ui(form).encout->text(), home);
    EXPECT_EQ(ui(form).decout->text(), home);
    // A line edit keeps two pixels on either side of its text.
    auto& codec = *ui(form).Codec;
    for (int entry = 0; entry < codec.count(); ++entry)
        EXPECT_LE(codec.fontMetrics().horizontalAdvance(codec.itemText(entry)),
                  codec.lineEdit()->contentsRect().width() - 4);
    codec.setCurrentIndex(kHouseRow);
    EXPECT_TRUE(saveScreenshot(form, "page-configure-house-encoder.png"));
    world.discard();

    // The old default in either letter case, and the house encoder under its old entry text.
    world.writeFile("config/sonabox/SBOX.INI",
                    "[ENCODER]\nCodec=Korvo   built on LAME and TwoLAME\nBitrate=  32 Kbit/s\n"
                    "Output=c:\\\n[DECODER]\nOutput=C:\\\n");
    form = world.start();
    EXPECT_EQ(ui(form).encout->text(), home);
    EXPECT_EQ(ui(form).decout->text(), home);
    EXPECT_EQ(ui(form).Codec->currentText(), app::codecEntries()[0]);
    EXPECT_EQ(ui(form).Bitrate->currentText(), "  48 Kbit/s");
    qputenv("HOME", savedHome);
}

TEST(FirstMinutes, EveryChangeOfTheCodecTextKeepsTheOptionBoxesInStep) {
    TestWorld world;
    app::TMainForm* form = world.start();
    auto& codec = *ui(form).Codec;
    auto& mode = *ui(form).Mode;
    auto& bitrate = *ui(form).Bitrate;
    ui(form).MainBoard->setCurrentIndex(0);
    world.writeFile("a.wav", "RIFF");
    drop(*ui(form).encodelist, world.root(), "a.wav");
    ui(form).MainBoard->setCurrentIndex(2);
    codec.setFocus();
    // Typed keys, Backspace to take back what completion added, the entry whose set applies
    // (-1 none), then what Bitrate, Mode and Layer's enabled state show.
    const struct {
        const char* typed;
        bool backspace;
        int entry;
        const char *bitrate, *mode;
        bool layer;
    } cases[] = {
        {"K", false, kHouseRow, "  48 Kbit/s", "Stereo", true},
        {"B", false, kBladeEncRow, "  32 Kbit/s", "Stereo", false},
        {"P", false, kPluggerRow, "  32 Kbit/s", "Stereo", false},
        // Completion applied the house set; the text left names no encoder.
        {"K", true, -1, "  48 Kbit/s", "Stereo", true},
        {"Xyz", false, -1, "  32 Kbit/s", "Mono", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        codec.setEditText(app::codecEntries()[kBladeEncRow]);
        bitrate.setEditText("  32 Kbit/s");
        mode.setEditText("Mono");
        codec.lineEdit()->selectAll();
        QTest::keyClicks(codec.lineEdit(), c.typed);
        if (c.backspace)
            QTest::keyClick(codec.lineEdit(), Qt::Key_Backspace);
        EXPECT_EQ(codec.currentText(),
                  c.entry < 0 ? QString(c.typed) : app::codecEntries()[c.entry]);
        EXPECT_EQ(bitrate.currentText(), QString(c.bitrate));
        EXPECT_EQ(mode.currentText(), QString(c.mode));
        EXPECT_EQ(ui(form).Layer->isEnabled(), c.layer);
        if (c.entry >= 0)
            continue;
        // The batch refuses a text that names no encoder, whatever the other boxes hold.
        sharedDialogs().reset();
        click(ui(form).encstart);
        EXPECT_EQ(sharedDialogs().messageTexts(), QStringList({"No codec selected"}));
    }
}

TEST(FirstMinutes, CtrlXExitsFromEveryOptionBox) {
    TestWorld world;
    for (const char* name : {"Codec", "Mode", "Bitrate", "Layer"}) {
        SCOPED_TRACE(name);
        app::TMainForm* form = world.start();
        auto& box = *form->findChild<QComboBox*>(name);
        box.setFocus();
        box.lineEdit()->selectAll();
        const QString text = box.currentText();
        QTest::keyClick(&box, Qt::Key_X, Qt::ControlModifier);
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(box.currentText(), text); // not cut
    }
}

TEST(FirstMinutes, DroppedFilesAndFoldersJoinTheQueuesAsTheyDoByButton) {
    TestWorld world;
    world.installFromBuild({"encoder/plugger"});
    world.makeDirectory("loose");
    world.makeDirectory("album/sub");
    for (const char* wav : {"loose/x.wav", "album/2.wav", "album/1.WAV", "album/sub/9.wav"})
        makeWav(world.root() + "/" + wav, 0.2, 44100, 1);
    for (const char* mp3 :
         {"loose/c.mp3", "loose/y.mp2", "album/3.mp3", "album/1.mp2", "album/sub/9.mp3"})
        makeMp3(world.root() + "/" + mp3, 0.3, 44100, 1, 64);
    world.writeFile("loose/notes.txt", "x");
    // Other source kinds join the encode queue too.
    ASSERT_EQ(testsupport::runTool("flac", {"-s", world.root() + "/album/2.wav", "-o",
                                            world.root() + "/album/4.flac"})
                  .exitCode,
              0);
    makeWav(world.root() + "/loose/z.wav", 0.2, 48000, 1);
    ASSERT_EQ(testsupport::runTool("opusenc", {"--quiet", world.root() + "/loose/z.wav",
                                               world.root() + "/loose/z.opus"})
                  .exitCode,
              0);
    QFile::remove(world.root() + "/loose/z.wav");

    app::TMainForm* form = world.start();
    ui(form).Codec->setCurrentIndex(kPluggerRow);
    const struct {
        int page;
        const char *queue, *start, *out, *first, *nothing, *queued, *outputs, *error;
    } cases[] = {
        {0, "encodelist", "encstart", "encout", "x.wav notes.txt c.mp3 z.opus", "notes.txt c.mp3",
         "x.wav z.opus 1.WAV 2.wav 4.flac sub/9.wav", "1.mp3 2.mp3 4.mp3 x.mp3 z.mp3",
         "No WAV files among the dropped files"},
        {1, "decodelist", "decstart", "decout", "c.mp3 x.wav y.mp2", "x.wav",
         "c.mp3 y.mp2 1.mp2 3.mp3 sub/9.mp3", "1.WAV 3.WAV c.WAV y.WAV",
         "No MP3 files among the dropped files"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.queue);
        ui(form).MainBoard->setCurrentIndex(c.page);
        auto& queue = *form->findChild<QListWidget*>(c.queue);
        const QString out = world.makeDirectory(c.out) + "/";
        form->findChild<QLabel*>(c.out)->setText(out);
        sharedDialogs().reset();
        drop(queue, world.root() + "/loose", c.first);
        drop(queue, world.root(), "album"); // and its sub-folder's, named below it
        EXPECT_EQ(rowTexts(queue).join(' '), c.queued);
        drop(queue, world.root() + "/loose", c.nothing);
        EXPECT_EQ(rowTexts(queue).join(' '), c.queued);
        EXPECT_EQ(sharedDialogs().messageTexts(), QStringList({c.error}));

        // The batch finds every queued file by its full path.
        std::set<int> flags;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->isVisible() && window->objectName().endsWith("Form") && window != form)
                    flags.insert(int(window->windowFlags()));
        });
        watch.start(5);
        click(form->findChild<QWidget*>(c.start));
        EXPECT_EQ(QDir(out).entryList(QDir::Files).join(' '), c.outputs);
        // Title bar only: no minimise, maximise or close button.
        EXPECT_EQ(flags,
                  std::set({int(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)}));
    }
}

TEST(FirstMinutes, TypeAheadReturnAndBackspaceInTheBrowsers) {
    TestWorld world;
    const QString browse = world.makeDirectory("browse");
    for (const QString name : {"alpha", "beta", "bravo", "one.wav", "three.wav", "two.wav"})
        name.endsWith(".wav") ? (void)world.writeFile("browse/" + name, "RIFF")
                              : (void)world.makeDirectory("browse/" + name);
    app::TMainForm* form = world.start();
    ui(form).MainBoard->setCurrentIndex(0);
    auto& directories = *ui(form).encdirlist;
    auto& files = *ui(form).encflist;
    ASSERT_TRUE(directories.setDirectory(browse));

    directories.setFocus();
    QTest::keyClicks(&directories, "br");
    EXPECT_EQ(directories.currentIndex().data().toString(), "bravo");
    QTest::keyClick(&directories, Qt::Key_Return);
    EXPECT_EQ(directories.directory(), browse + "/bravo");
    QTest::keyClick(&directories, Qt::Key_Backspace);
    EXPECT_EQ(directories.directory(), browse);
    EXPECT_EQ(files.count(), 3);

    files.setFocus();
    QTest::keyClicks(&files, "th");
    EXPECT_EQ(files.currentIndex().data().toString(), "three.wav");
    QTest::keyClick(&files, Qt::Key_Backspace);
    EXPECT_EQ(directories.directory(), world.root());
    EXPECT_EQ(files.count(), 0);
}

// A file manager's URL of a file whose name is not UTF-8 queues the file by its bytes.
TEST(FirstMinutes, ADroppedNameThatIsNotUtf8IsQueuedByItsBytes) {
    TestWorld world;
    app::TMainForm* form = world.start();
    ui(form).MainBoard->setCurrentIndex(0);
    const QByteArray root = QFile::encodeName(world.root());
    world.writeFile("plain.wav", "RIFF");
    ASSERT_EQ(::rename(root + "/plain.wav", root + "/caf\xe9.wav"), 0);
    QMimeData data;
    data.setUrls({QUrl::fromEncoded("file://" + root.toPercentEncoding("/") + "/caf%E9.wav")});
    QListWidget& queue = *ui(form).encodelist;
    const QPoint at = queue.viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(queue.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(queue.viewport(), &dropped);
    QCoreApplication::processEvents();
    EXPECT_TRUE(sharedDialogs().messages.empty())
        << sharedDialogs().messageTexts().join("|").toStdString();
    EXPECT_EQ(rowTexts(queue), QStringList({platform::textFromBytes("caf\xe9.wav")}));
    ASSERT_EQ(form->fullname.size(), 1);
    EXPECT_EQ(platform::bytesFromText(form->fullname[0]), root + "/caf\xe9.wav");
}

// A dropped library: its whole tree is queued, each file shown by its path below the dropped
// folder (dot folders and a link back up left out), and encoded into the same tree below the
// output folder. A folder that cannot be read is named in one box after the drop.
TEST(FirstMinutes, ADroppedTreeIsQueuedByItsPlacesAndEncodedIntoTheSameTree) {
    TestWorld world;
    world.installFromBuild({"encoder/plugger"});
    const QStringList places{"top.wav", "\u00c4rtist \"Q\"/Album's One/01.wav",
                             "\u00c4rtist \"Q\"/Album's One/CD 2/01.wav",
                             "\u00c4rtist \"Q\"/Zweites/01.wav"};
    for (const QString& place : places) {
        world.makeDirectory(QFileInfo("lib/" + place).path());
        makeWav(world.root() + "/lib/" + place, 0.2, 44100, 1);
    }
    world.makeDirectory("lib/.dot");
    makeWav(world.root() + "/lib/.dot/h.wav", 0.2, 44100, 1);
    ASSERT_EQ(::symlink("..", QFile::encodeName(world.root() + "/lib/\u00c4rtist \"Q\"/loop")), 0);
    const QString locked = world.makeDirectory("lib/locked");
    makeWav(locked + "/l.wav", 0.2, 44100, 1);
    ASSERT_EQ(::chmod(QFile::encodeName(locked), 0), 0);

    app::TMainForm* form = world.start();
    ui(form).Codec->setCurrentIndex(kPluggerRow);
    ui(form).MainBoard->setCurrentIndex(0);
    const QString out = world.makeDirectory("out") + "/";
    ui(form).encout->setText(out);
    sharedDialogs().reset();
    bool refused = false;
    {
        const FolderPermissionsApply permissions;
        refused = !canList(locked);
        drop(*ui(form).encodelist, world.root(), "lib");
    }
    ::chmod(QFile::encodeName(locked), 0755);
    EXPECT_EQ(rowTexts(*ui(form).encodelist), places);
    if (refused)
        EXPECT_EQ(sharedDialogs().messageTexts(),
                  QStringList({"The folder " + locked + " is skipped: Permission denied"}));
    else
        std::printf("The unreadable folder is not checked: this process reads every folder.\n");

    sharedDialogs().reset();
    click(ui(form).encstart);
    EXPECT_TRUE(sharedDialogs().messages.empty())
        << sharedDialogs().messageTexts().join("|").toStdString();
    EXPECT_EQ(ui(form).encodelist->count(), 0);
    for (const QString& place : places) {
        SCOPED_TRACE(place.toStdString());
        const QString mp3 = out + place.chopped(3) + "mp3";
        EXPECT_EQ(probe(mp3).codec, "mp3");
    }
    QStringList written;
    QDirIterator all(out, QDir::Files, QDirIterator::Subdirectories);
    while (all.hasNext())
        written.append(all.next().mid(out.size()));
    written.sort();
    QStringList expected;
    for (const QString& place : places)
        expected.append(place.chopped(3) + "mp3");
    expected.sort();
    EXPECT_EQ(written, expected);
}
