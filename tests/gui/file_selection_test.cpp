// Browsing, queueing and choosing directories on the real main window, over a temporary tree of
// real files.
#include "platform/working_directory.h"
#include "selection/dirs.h"
#include "tests/support/gui_test.h"

#include <unistd.h>

using namespace testsupport;

namespace {

// A world with a directory of files for the browsers to show.
struct BrowsingWorld : TestWorld {
    BrowsingWorld() {
        for (const char* name :
             {"a.wav", "b.wav", "c.wav", "d.wav", "notes.txt", "x.mp3", "y.mp2", "z.mpg", "v.MP3"})
            writeFile(QStringLiteral("music/") + name, "data");
        makeDirectory("music/live");
    }
    const QString music = root() + "/music";
};

selection::Tchoosedirform* chooser(QWidget* modal) {
    auto* form = qobject_cast<selection::Tchoosedirform*>(modal);
    EXPECT_NE(form, nullptr) << "the modal window is not the directory chooser";
    return form;
}

} // namespace

TEST(FileSelection, QueueAndFullnameStayInStepThroughAddsAndRemoves) {
    BrowsingWorld world;
    app::TMainForm* form = world.start();
    form->showPage("Encode (wav 2 mp3)");
    ASSERT_TRUE(ui(form).encdirlist->setDirectory(world.music));
    EXPECT_EQ(platform::currentDirectory(), world.music);
    EXPECT_EQ(ui(form).encflist->directory(), world.music);
    EXPECT_EQ(rowTexts(*ui(form).encflist), QStringList({"a.wav", "b.wav", "c.wav", "d.wav"}));

    selectRows(*ui(form).encflist, {1, 3});
    click(ui(form).encFileadd);
    EXPECT_EQ(rowTexts(*ui(form).encodelist), QStringList({"b.wav", "d.wav"}));
    EXPECT_EQ(form->fullname, QStringList({world.music + "/b.wav", world.music + "/d.wav"}));
    EXPECT_TRUE(ui(form).encflist->selectedItems().isEmpty());

    // A second press without a new selection adds nothing; the same files again are welcome.
    click(ui(form).encFileadd);
    EXPECT_EQ(ui(form).encodelist->count(), 2);
    selectRows(*ui(form).encflist, {1, 3});
    click(ui(form).encFileadd);
    EXPECT_EQ(rowTexts(*ui(form).encodelist), QStringList({"b.wav", "d.wav", "b.wav", "d.wav"}));
    EXPECT_EQ(form->fullname.size(), 4);

    selectRows(*ui(form).encodelist, {0, 1, 2, 3});
    click(ui(form).EncFileRem);
    EXPECT_EQ(ui(form).encodelist->count(), 0);
    EXPECT_TRUE(form->fullname.isEmpty());
    click(ui(form).EncFileRem); // empty queue: nothing happens

    selectRows(*ui(form).encflist, {0, 1, 2, 3});
    click(ui(form).encFileadd);
    selectRows(*ui(form).encodelist, {1, 3});
    click(ui(form).EncFileRem);
    EXPECT_EQ(rowTexts(*ui(form).encodelist), QStringList({"a.wav", "c.wav"}));
    EXPECT_EQ(form->fullname, QStringList({world.music + "/a.wav", world.music + "/c.wav"}));

    ui(form).encodelist->clearSelection();
    click(ui(form).EncFileRem);
    EXPECT_EQ(ui(form).encodelist->count(), 2);
    selectRows(*ui(form).encflist, {1});
    EXPECT_TRUE(saveScreenshot(form, "encode-queue.png"));
}

TEST(FileSelection, DirectoryListOpensEntriesAndTheDecodeMaskTakesEveryMpExtension) {
    BrowsingWorld world;
    app::TMainForm* form = world.start();
    form->showPage("Decode (mp3 2 wav)");
    ASSERT_TRUE(ui(form).decdirlist->setDirectory(world.music));
    EXPECT_EQ(rowTexts(*ui(form).decflist), QStringList({"v.MP3", "x.mp3", "y.mp2", "z.mpg"}));

    // The list shows the path down to the directory, then its sub-directories.
    const QStringList shown = rowTexts(*ui(form).decdirlist);
    ASSERT_GE(shown.size(), 2);
    EXPECT_EQ(shown.front(), "/");
    EXPECT_EQ(shown.back().trimmed(), "live");

    const QPoint live =
        ui(form)
            .decdirlist->visualItemRect(ui(form).decdirlist->item(ui(form).decdirlist->count() - 1))
            .center();
    QTest::mouseClick(ui(form).decdirlist->viewport(), Qt::LeftButton, Qt::NoModifier, live);
    QTest::mouseDClick(ui(form).decdirlist->viewport(), Qt::LeftButton, Qt::NoModifier, live);
    EXPECT_EQ(ui(form).decdirlist->directory(), world.music + "/live");
    EXPECT_EQ(platform::currentDirectory(), world.music + "/live");
    EXPECT_EQ(ui(form).decflist->count(), 0);

    // Enter on the entry above goes back up.
    ui(form).decdirlist->setFocus();
    ui(form).decdirlist->setCurrentRow(ui(form).decdirlist->count() - 2);
    QTest::keyClick(ui(form).decdirlist, Qt::Key_Return);
    EXPECT_EQ(ui(form).decdirlist->directory(), world.music);
    EXPECT_EQ(ui(form).decflist->count(), 4);
}

TEST(FileSelection, ADriveThatIsNotReadyIsReportedOnceAndChangesNothing) {
    BrowsingWorld world;
    app::TMainForm* form = world.start();
    ASSERT_TRUE(ui(form).encdirlist->setDirectory(world.music));
    const QString workingDrive = ui(form).encdrive->drive();
    const QStringList before = rowTexts(*ui(form).encflist);
    const QString missing = world.root() + "/not-mounted";
    ui(form).encdrive->setDrives(QStringList(ui(form).encdrive->drives()) << missing);
    sharedDialogs().reset();

    ui(form).encdrive->setCurrentIndex(ui(form).encdrive->count() - 1);
    ASSERT_EQ(sharedDialogs().messages.size(), 1u);
    EXPECT_EQ(sharedDialogs().messages[0].caption, "Error");
    EXPECT_EQ(sharedDialogs().messages[0].icon, widgets::MessageIcon::Error);
    EXPECT_EQ(sharedDialogs().messages[0].text, "Drive " + missing + " is not ready");
    EXPECT_EQ(ui(form).encdrive->drive(), workingDrive);
    EXPECT_EQ(ui(form).encdirlist->directory(), world.music);
    EXPECT_EQ(rowTexts(*ui(form).encflist), before);
    EXPECT_EQ(platform::currentDirectory(), world.music);

    // The working drive itself passes untested.
    ui(form).encdrive->setCurrentIndex(0);
    EXPECT_EQ(sharedDialogs().messages.size(), 1u);
}

TEST(DirectoryChooser, OkGivesTheDirectoryWithOneSeparatorAndCancelKeepsTheCaption) {
    BrowsingWorld world;
    app::TMainForm* form = world.start();
    form->showPage("Configure");

    whenModal([&](QWidget* modal) {
        auto* dialog = chooser(modal);
        EXPECT_EQ(dialog->windowTitle(), "Choose directory");
        EXPECT_EQ(dialog->size(), QSize(161, 212));
        QTest::qWait(20);
        EXPECT_TRUE(saveScreenshot(dialog, "chooser.png"));
        EXPECT_EQ(dialog->cdirlist->directory(), platform::currentDirectory());
        EXPECT_TRUE(dialog->cdirlist->setDirectory("/"));
        click(dialog->btnOK);
    });
    click(ui(form).encgetdir);
    EXPECT_EQ(ui(form).encout->text(), "/");

    whenModal([&](QWidget* modal) {
        chooser(modal)->cdirlist->setDirectory(world.music);
        click(chooser(modal)->btnOK);
    });
    click(ui(form).decgetdir);
    EXPECT_EQ(ui(form).decout->text(), world.music + "/");
    EXPECT_EQ(ui(form).encout->text(), "/");

    // Cancel leaves the caption, but the working directory has followed the chooser's list.
    whenModal([&](QWidget* modal) {
        auto* dialog = chooser(modal);
        EXPECT_EQ(dialog->cdirlist->directory(), world.music);
        dialog->cdirlist->setDirectory(world.music + "/live");
        click(dialog->btnCancel);
    });
    click(ui(form).decgetdir);
    EXPECT_EQ(ui(form).decout->text(), world.music + "/");
    EXPECT_EQ(platform::currentDirectory(), world.music + "/live");
    EXPECT_FALSE(selection::DirChosen);

    whenModal([&](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    click(ui(form).encgetdir);
    EXPECT_EQ(ui(form).encout->text(), "/");
}

TEST(DirectoryChooser, MakedirCreatesAndShowsTheDirectoryOrReportsWhyNot) {
    BrowsingWorld world;
    app::TMainForm* form = world.start();
    form->showPage("Configure");
    ASSERT_TRUE(platform::setCurrentDirectory(world.music));
    sharedDialogs().reset();

    // Cancel and an empty name do nothing; "new" is made below the list's directory.
    sharedDialogs().textAnswers = {std::nullopt, QString(), QString("new")};
    whenModal([&](QWidget* modal) {
        auto* dialog = chooser(modal);
        click(dialog->btnMakeDir);
        click(dialog->btnMakeDir);
        EXPECT_EQ(dialog->cdirlist->directory(), world.music);
        click(dialog->btnMakeDir);
        EXPECT_EQ(dialog->cdirlist->directory(), world.music + "/new");
        click(dialog->btnOK);
    });
    click(ui(form).encgetdir);
    EXPECT_TRUE(QFileInfo(world.music + "/new").isDir());
    EXPECT_EQ(ui(form).encout->text(), world.music + "/new/");
    ASSERT_EQ(sharedDialogs().textPrompts.size(), 3u);
    EXPECT_EQ(sharedDialogs().textPrompts[0].first, "Make new directory");
    EXPECT_EQ(sharedDialogs().textPrompts[0].second, "Enter directory name:");
    EXPECT_TRUE(sharedDialogs().messages.empty());

    // An existing name, a missing parent and a place without rights: the platform's input/output
    // error through the default error report; the chooser stays where it was.
    QString noRights;
    if (geteuid() == 0) {
        noRights = "/sys/sonabox-test"; // even root may not create directories there
    } else {
        noRights = world.makeDirectory("locked") + "/inside";
        QFile::setPermissions(world.root() + "/locked",
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    sharedDialogs().textAnswers = {QString("live"), QString("missing/child"), noRights};
    whenModal([&](QWidget* modal) {
        auto* dialog = chooser(modal);
        dialog->cdirlist->setDirectory(world.music);
        for (int i = 0; i < 3; ++i)
            click(dialog->btnMakeDir);
        EXPECT_EQ(dialog->cdirlist->directory(), world.music);
        click(dialog->btnCancel);
    });
    click(ui(form).encgetdir);
    EXPECT_EQ(sharedDialogs().messageTexts(),
              QStringList({"I/O error 17.", "Invalid filename.", "File access denied."}));
    for (const ShownMessage& shown : sharedDialogs().messages) {
        EXPECT_EQ(shown.caption, "Sonabox");
        EXPECT_EQ(shown.icon, widgets::MessageIcon::Stop);
    }
    EXPECT_EQ(ui(form).encout->text(), world.music + "/new/");
}
