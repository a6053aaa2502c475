// The main window as the user meets it: first start, the settings file, the option sets of the
// encoders, the page rule for the two queues, the menu and the default error report.
#include "platform/paths.h"
#include "tests/support/gui_test.h"
#include "widgets/error_report.h"
#include "widgets/hyperlink_label.h"

#include <cstdio>

#include <sys/stat.h>

using app::TMainForm;
using namespace testsupport;

namespace {

const QStringList kInitialBitrates = {"  32 Kbit/s", "  48 Kbit/s", "  56 Kbit/s", "  64 Kbit/s",
                                      "  80 Kbit/s", "  96 Kbit/s", "112 Kbit/s",  "128 Kbit/s",
                                      "160 Kbit/s",  "192 Kbit/s",  "224 Kbit/s",  "256 Kbit/s",
                                      "320 Kbit/s"};

} // namespace

TEST(MainWindow, FirstStartOpensOnConfigureWithPromptsAndWritesThemOnClose) {
    TestWorld world;
    auto form = world.start();

    EXPECT_EQ(form->windowTitle(), "Velara's Sonabox 1.1(RC 1)");
    EXPECT_EQ(form->centralWidget()->size(), QSize(504, 260));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->activePageCaption(), "Configure");
    EXPECT_EQ(ui(form).Label5->text(), "Velara's Sonabox 1.1(RC 1)");
    EXPECT_EQ(entryTexts(*ui(form).Mode),
              QStringList({"Stereo", "Joint Stereo", "Mono", "Dual Mono"}));
    EXPECT_EQ(entryTexts(*ui(form).Bitrate), kInitialBitrates);
    EXPECT_EQ(entryTexts(*ui(form).Layer), QStringList({"Layer I", "Layer II", "Layer III"}));
    EXPECT_TRUE(ui(form).Layer->isEnabled());
    EXPECT_TRUE(ui(form).showenc->isEnabled());
    EXPECT_EQ(form->ProgramDir(), world.programDir() + "/");
    EXPECT_TRUE(sharedDialogs().messages.empty() ||
                sharedDialogs().messages.front().text.contains("Decoding disabled"));

    // The boxes' prompts, the check boxes and the output directories, as the file keeps them.
    world.close();
    const QByteArray home = platform::homeDirectory().toUtf8(),
                     program = world.programDir().toUtf8();
    EXPECT_EQ(fileContent(world.settingsFile()),
              "[ENCODER]\nCodec=Choose your codec\nMode=Output mode\nBitrate=Output bitrate\n"
              "Layer=MPEG Layer\nDelsource=0\nShowEnc=0\nOutput=" +
                  home + "\n[DECODER]\nOutput=" + home + "\n[DIRECTORIES]\nEncoder=" + program +
                  "\nDecoder=" + program + "\n");

    // With the file there, the next start opens on Encode.
    form = world.start();
    EXPECT_EQ(form->activePageCaption(), "Encode (wav 2 mp3)");
}

namespace {

void checkFoldersThatAreNotUtf8(TestWorld& world) {
    const QByteArray root = QFile::encodeName(world.root());
    const QByteArray folder = root + "/caf\xe9", gone = root + "/gone \xe9";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    std::fclose(std::fopen(folder + "/tone.wav", "w"));
    const QByteArray settings =
        "[ENCODER]\nCodec=Choose your codec\nMode=Output mode\nBitrate=Output bitrate\n"
        "Layer=MPEG Layer\nDelsource=0\nShowEnc=0\nOutput=" +
        folder + "/\n[DECODER]\nOutput=" + gone + "/\n[DIRECTORIES]\nEncoder=" + folder +
        "\nDecoder=" + gone + "\n";
    world.writeFile("config/sonabox/SBOX.INI", settings);

    auto form = world.start();
    EXPECT_EQ(platform::bytesFromText(ui(form).encdirlist->directory()), folder);
    EXPECT_EQ(platform::bytesFromText(ui(form).encout->text()), folder + "/");
    EXPECT_EQ(rowTexts(*ui(form).encflist), QStringList{"tone.wav"});
    EXPECT_EQ(ui(form).decdirlist->directory(), world.programDir());
    world.close();
    EXPECT_EQ(fileContent(world.settingsFile()), settings);
}

} // namespace

// Folder names are bytes: a stored folder named in Latin-1 is the one the browser opens, one
// that is gone leaves its browser at the program directory, and a start and an exit that
// change nothing give back the file byte for byte.
// The test's own folder goes with it, names that are not UTF-8 and all.
TEST(MainWindow, FolderNamesThatAreNotUtf8AreOpenedAndKeptByteForByte) {
    QString left;
    {
        TestWorld world;
        left = world.root();
        checkFoldersThatAreNotUtf8(world);
    }
    EXPECT_FALSE(QFileInfo::exists(left)) << "the test's folder stayed";
}

TEST(MainWindow, HouseEncoderChoicesSurviveARestartAsTheOptionSetsAllow) {
    TestWorld world;
    auto form = world.start();
    chooseEntry(*ui(form).Codec, kHouseRow);
    ui(form).Mode->setEditText("Joint Stereo");
    ui(form).Bitrate->setEditText("  64 Kbit/s");
    world.close();
    const QByteArray saved = fileContent(world.settingsFile());
    EXPECT_TRUE(saved.contains("Mode=Joint Stereo\n"));
    EXPECT_TRUE(saved.contains("Bitrate=  64 Kbit/s\n"));

    form = world.start();
    EXPECT_EQ(ui(form).Codec->currentText(), ui(form).Codec->itemText(0));
    EXPECT_EQ(ui(form).Mode->currentText(), "Stereo");
    EXPECT_EQ(ui(form).Bitrate->currentText(), "64 Kbit/s");
    EXPECT_EQ(ui(form).Layer->currentText(), "Layer III");
    world.close();
    EXPECT_TRUE(fileContent(world.settingsFile()).contains("Bitrate=64 Kbit/s\n"));
}

TEST(MainWindow, PartialBrokenAndStaleSettingsFilesStillStart) {
    TestWorld world;
    const QString wavs = world.makeDirectory("wavs");
    // A stored directory that is gone leaves its browser, and the drive box, at the program
    // directory.
    world.writeFile("config/sonabox/SBOX.INI", "[DIRECTORIES]\r\nEncoder=" + world.root().toUtf8() +
                                                   "/gone\r\nDecoder=" + wavs.toUtf8() + "\r\n");
    auto form = world.start();
    EXPECT_EQ(ui(form).Codec->currentText(), "");
    EXPECT_EQ(ui(form).Mode->currentText(), "");
    // Output folders the file does not hold are the home folder, as at a first start.
    EXPECT_EQ(ui(form).encout->text(), platform::homeDirectory());
    EXPECT_EQ(ui(form).decout->text(), platform::homeDirectory());
    EXPECT_FALSE(ui(form).deletesource->isChecked());
    EXPECT_EQ(ui(form).encdirlist->directory(), world.programDir());
    EXPECT_EQ(ui(form).encflist->directory(), world.programDir());
    EXPECT_EQ(ui(form).encdrive->drive(), ui(form).encdirlist->drive());
    EXPECT_EQ(ui(form).decdirlist->directory(), wavs);
    world.discard();

    world.writeFile("config/sonabox/SBOX.INI",
                    "[ENCODER]\nDelsource=2\nShowEnc=yes\nBitrate=  48 Kbit/s\nCodec=" +
                        app::codecEntries()[kBladeEncRow].toUtf8() + "\n");
    form = world.start();
    EXPECT_TRUE(ui(form).deletesource->isChecked());
    EXPECT_FALSE(ui(form).showenc->isChecked());
    EXPECT_EQ(ui(form).Bitrate->currentText(), "48 Kbit/s");
    EXPECT_EQ(ui(form).encdirlist->directory(), world.programDir());
    world.discard();

    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char((i * 37) % 256));
    world.writeFile("config/sonabox/SBOX.INI", binary + "\n[ENCODER\nMode=\"Mono\"");
    form = world.start();
    EXPECT_EQ(ui(form).Mode->currentText(), "Mono");
    world.discard();

    // A file of nothing but garbage: the outputs go to the home folder, and it is saved so.
    world.writeFile("config/sonabox/SBOX.INI", binary);
    form = world.start();
    EXPECT_EQ(ui(form).encout->text(), platform::homeDirectory());
    EXPECT_EQ(ui(form).decout->text(), platform::homeDirectory());
    world.close();
    EXPECT_TRUE(fileContent(world.settingsFile())
                    .contains("\n[DECODER]\nOutput=" + platform::homeDirectory().toUtf8() + "\n"));
}

// A VBR choice is stored as its text and read back like any bitrate; BladeEnc's list holds
// none, so it falls back to that list's first entry.
TEST(MainWindow, AVbrChoiceSurvivesARestartAndFallsBackForBladeEnc) {
    TestWorld world;
    auto form = world.start();
    chooseEntry(*ui(form).Codec, kHouseRow);
    chooseEntry(*ui(form).Bitrate, 14);
    EXPECT_EQ(ui(form).Bitrate->currentText(), "VBR V2 (~190 Kbit/s)");
    world.close();
    EXPECT_TRUE(fileContent(world.settingsFile()).contains("Bitrate=VBR V2 (~190 Kbit/s)\n"));

    form = world.start();
    EXPECT_EQ(ui(form).Bitrate->currentText(), "VBR V2 (~190 Kbit/s)");
    chooseEntry(*ui(form).Codec, kBladeEncRow);
    EXPECT_EQ(ui(form).Bitrate->currentText(), "  32 Kbit/s");
    world.close();
}

TEST(MainWindow, OptionSetsFollowTheChosenEncoder) {
    TestWorld world;
    auto form = world.start();
    const QStringList codecs = entryTexts(*ui(form).Codec);
    ASSERT_EQ(codecs.size(), 3);
    EXPECT_TRUE(codecs[0].startsWith("Korvo   "));
    EXPECT_TRUE(codecs[1].startsWith("BladeEnc   "));
    EXPECT_TRUE(codecs[2].startsWith("Plugger +   "));

    // A prompt in Bitrate gives the first entry of the new list.
    ui(form).showenc->setChecked(true);
    chooseEntry(*ui(form).Codec, kBladeEncRow);
    EXPECT_EQ(entryTexts(*ui(form).Mode), QStringList({"Stereo", "Mono"}));
    EXPECT_EQ(ui(form).Mode->currentText(), "Stereo");
    EXPECT_EQ(ui(form).Bitrate->currentText(), "  32 Kbit/s");
    EXPECT_EQ(ui(form).Bitrate->count(), 14);
    EXPECT_EQ(ui(form).Bitrate->itemText(1), "  40 Kbit/s");
    EXPECT_FALSE(ui(form).Layer->isEnabled());
    EXPECT_EQ(ui(form).Layer->count(), 0);
    EXPECT_EQ(ui(form).Layer->currentText(), "Layer III");
    EXPECT_TRUE(ui(form).showenc->isChecked());

    // 32 is not in the house list; Show encoder can't be set for it.
    chooseEntry(*ui(form).Codec, kHouseRow);
    EXPECT_EQ(ui(form).Bitrate->currentText(), "  48 Kbit/s");
    // The twelve constant rates, then the variable ones from VBR V0 to VBR V9.
    EXPECT_EQ(ui(form).Bitrate->count(), 22);
    EXPECT_EQ(ui(form).Bitrate->itemText(11), "320 Kbit/s");
    EXPECT_EQ(ui(form).Bitrate->itemText(12), "VBR V0 (~245 Kbit/s)");
    EXPECT_EQ(ui(form).Bitrate->itemText(14), "VBR V2 (~190 Kbit/s)");
    EXPECT_EQ(ui(form).Bitrate->itemText(21), "VBR V9 (~65 Kbit/s)");
    EXPECT_FALSE(ui(form).showenc->isEnabled());
    EXPECT_FALSE(ui(form).showenc->isChecked());
    EXPECT_TRUE(ui(form).Layer->isEnabled());
    EXPECT_EQ(ui(form).Layer->currentText(), "Layer III");

    ui(form).Bitrate->setEditText("128 Kbit/s");
    ui(form).Mode->setEditText("Joint Stereo");
    ui(form).Layer->setEditText("Layer I");
    chooseEntry(*ui(form).Codec, kPluggerRow);
    EXPECT_EQ(ui(form).Bitrate->currentText(), "128 Kbit/s");
    EXPECT_EQ(ui(form).Mode->currentText(), "Stereo");
    EXPECT_TRUE(ui(form).showenc->isEnabled());

    // Choosing the same encoder again re-applies its set.
    ui(form).Mode->setEditText("Mono");
    chooseEntry(*ui(form).Codec, kPluggerRow);
    EXPECT_EQ(ui(form).Mode->currentText(), "Stereo");
    EXPECT_EQ(ui(form).Bitrate->currentText(), "128 Kbit/s");
}

TEST(MainWindow, GoingBetweenTheWorkPagesEmptiesTheQueuesEvenByWayOfConfigure) {
    TestWorld world;
    world.writeFile("config/sonabox/SBOX.INI", "[ENCODER]\n");
    auto form = world.start();
    ASSERT_EQ(ui(form).MainBoard->currentIndex(), TMainForm::kEncodePage);
    // The page shown next (About through its menu command) and the entries left in the queue;
    // whenever Encode shows an empty queue, two entries are queued first.
    const std::pair<int, int> steps[] = {
        {TMainForm::kConfigurePage, 2}, {TMainForm::kEncodePage, 2}, {TMainForm::kAboutPage, 2},
        {TMainForm::kDecodePage, 0},    {TMainForm::kEncodePage, 0}, {TMainForm::kDecodePage, 0}};
    for (const auto& [page, left] : steps) {
        SCOPED_TRACE(page);
        if (ui(form).MainBoard->currentIndex() == TMainForm::kEncodePage &&
            ui(form).encodelist->count() == 0) {
            ui(form).encodelist->addItems({"a.wav", "b.wav"});
            form->fullname = QStringList{"/x/a.wav", "/x/b.wav"};
        }
        if (page == TMainForm::kAboutPage)
            ui(form).About1->trigger();
        else
            ui(form).MainBoard->setCurrentIndex(page);
        EXPECT_EQ(ui(form).MainBoard->currentIndex(), page);
        EXPECT_EQ(ui(form).encodelist->count(), left);
        EXPECT_EQ(form->fullname.size(), left);
    }
}

TEST(MainWindow, MenuCommandsAndTheHiddenMessage) {
    TestWorld world;
    auto form = world.start();
    sharedDialogs().reset();

    EXPECT_EQ(ui(form).nfofile1->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(ui(form).Exitprog->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    EXPECT_EQ(ui(form).Exitprog->text(), "E&xit");
    QTest::keyClick(form, Qt::Key_F1);
    ASSERT_EQ(sharedDialogs().opened.size(), 1u);
    EXPECT_EQ(sharedDialogs().opened[0], QUrl::fromLocalFile(world.programDir() + "/velara.nfo"));

    QTest::mouseDClick(ui(form).eegg, Qt::LeftButton);
    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    EXPECT_EQ(sharedDialogs().messages[0].caption, "Information");
    EXPECT_EQ(sharedDialogs().messages[0].icon, widgets::MessageIcon::Information);
    EXPECT_EQ(sharedDialogs().messages[0].text, "Mess with the best\rDie like the rest");

    ui(form).Exitprog->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(QFile::exists(world.settingsFile()));
}

TEST(MainWindow, FailedSettingsWriteIsReportedAndTheWindowStillCloses) {
    TestWorld world;
    auto form = world.start();
    sharedDialogs().reset();
    // A directory where the settings file should be makes every write fail.
    world.makeDirectory("config/sonabox/SBOX.INI");
    form->close();
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    EXPECT_EQ(sharedDialogs().messages[0].icon, widgets::MessageIcon::Stop);
    EXPECT_EQ(sharedDialogs().messages[0].caption, "Sonabox");
    EXPECT_EQ(sharedDialogs().messages[0].text, "Unable to write to SBOX.INI.");
}

// A settings file made read-only keeps its content, its mode and its place on the disk, and
// the user learns why the choices of this run were not kept.
TEST(MainWindow, AReadOnlySettingsFileIsLeftAsItIsAndTheUserIsTold) {
    TestWorld world;
    const QByteArray settings = "[ENCODER]\nDelsource=1\n";
    const QString file = world.writeFile("config/sonabox/SBOX.INI", settings);
    const QByteArray path = QFile::encodeName(file);
    ASSERT_EQ(::chmod(path.constData(), 0444), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.constData(), &before), 0);
    auto form = world.start();
    sharedDialogs().reset();
    chooseEntry(*ui(form).Codec, kHouseRow);
    ui(form).deletesource->setChecked(false);
    form->close();
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    EXPECT_EQ(sharedDialogs().messages[0].icon, widgets::MessageIcon::Stop);
    EXPECT_EQ(sharedDialogs().messages[0].text,
              "Unable to write to SBOX.INI: the file is read-only and stays as it is.");
    struct stat after {};
    ASSERT_EQ(::stat(path.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(fileContent(file), settings);
}

TEST(DefaultErrorReport, AppendsAFullStopOnlyAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(widgets::withClosingFullStop("I/O error 17"), "I/O error 17.");
    EXPECT_EQ(widgets::withClosingFullStop("Incorrect mode"), "Incorrect mode.");
    EXPECT_EQ(widgets::withClosingFullStop("Done."), "Done.");
    EXPECT_EQ(widgets::withClosingFullStop("Really!"), "Really!");
    EXPECT_EQ(widgets::withClosingFullStop("path/"), "path/.");
    EXPECT_EQ(widgets::withClosingFullStop(""), "");
}

TEST(MainWindow, ScreenshotsOfThePages) {
    TestWorld world;
    auto form = world.start();
    const char* names[] = {"encode", "decode", "configure", "about"};
    for (int page = 0; page < 4; ++page) {
        ui(form).MainBoard->setCurrentIndex(page);
        QTest::qWait(20);
        EXPECT_TRUE(saveScreenshot(form, QStringLiteral("page-%1.png").arg(names[page])));
    }
}
