// The window on the desktop: keyboard paths, the progress windows under a window manager that
// minimises them, captions that fit, the palette's colours, output folders that fit their
// captions, and where the browsers start.
#include "decode/dec_form.h"
#include "decode/dec_progress.h"
#include "encode/enc_form.h"
#include "platform/paths.h"
#include "tests/support/gui_test.h"
#include "widgets/dialogs.h"
#include "widgets/path_label.h"
#include "widgets/window_geometry.h"

#include <QMessageBox>
#include <QWindow>

#include <unistd.h>

using namespace testsupport;

namespace {

// The object names of the widgets that Tab visits, from `first` on. An editable combo box hands
// the focus to its edit field: that counts as the box.
QStringList tabOrder(QWidget* first, int steps) {
    first->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (int i = 0; i < steps; ++i) {
        QWidget* focus = QApplication::focusWidget();
        names.append(focus->objectName().isEmpty() ? focus->parentWidget()->objectName()
                                                   : focus->objectName());
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    return names;
}

// The screenshots of one run carry the scale factor (the tests also run at QT_SCALE_FACTOR=2).
QString atScale(QWidget* window, const char* name) {
    return QStringLiteral("%1-%2x.png").arg(name).arg(window->devicePixelRatio());
}

// True when every text of the window's labels, buttons and check boxes fits its widget and the
// widget lies inside its parent: nothing is clipped.
void expectNothingClipped(QWidget* window, const QStringList& elidedByDesign = {}) {
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (!child->isVisibleTo(window) || elidedByDesign.contains(child->objectName()))
            continue;
        if (qobject_cast<QLabel*>(child) || qobject_cast<QAbstractButton*>(child)) {
            EXPECT_LE(child->sizeHint().width(), child->width())
                << child->objectName().toStdString();
            EXPECT_TRUE(child->parentWidget()->rect().contains(child->geometry()))
                << child->objectName().toStdString();
        }
    }
}

// A progress window just shown: the focus on Cancel, a caption that fits, nothing clipped.
void checkProgressWindow(QDialog* window, QWidget* cancel) {
    const std::string title = window->windowTitle().toStdString();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window)) << title;
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == cancel; })) << title;
    // The designed width of 225 pixels cut the caption short in a title bar.
    EXPECT_GT(window->width(), 225);
    EXPECT_EQ(cancel->geometry().center().x(), window->rect().center().x());
    expectNothingClipped(window, {"decinfile", "decoutfile", "encinfile", "encoutfile"});
    EXPECT_TRUE(saveScreenshot(window, atScale(window, window->objectName().toLatin1())));
}

} // namespace

// The Decode page is laid out by the same code as the Encode page.
TEST(Keyboard, TabFollowsTheLayoutOfEachPage) {
    TestWorld world;
    app::TMainForm* form = world.start();
    const struct {
        int page;
        const char* first;
        QStringList order;
    } pages[] = {
        {app::TMainForm::kEncodePage,
         "encdrive",
         {"encdrive", "encdirlist", "encflist", "encFileadd", "EncFileRem", "encodelist", "encplay",
          "encpause", "encstop", "encstart", "encplay2", "encpause2", "encstop2"}},
        {app::TMainForm::kConfigurePage,
         "Codec",
         {"Codec", "Mode", "Bitrate", "Layer", "deletesource", "showenc", "encgetdir",
          "decgetdir"}},
        {app::TMainForm::kAboutPage,
         "Mail1",
         {"Mail1", "Mail2", "Link1", "Link2", "Link3", "Link4", "Link5"}},
    };
    for (const auto& page : pages) {
        ui(form).MainBoard->setCurrentIndex(page.page);
        EXPECT_EQ(tabOrder(form->findChild<QWidget*>(page.first), page.order.size()), page.order);
    }
}

TEST(Keyboard, ButtonsTakeSpaceAndReturnQueuesTakeDeleteAndPagesSwitchWithControlKeys) {
    TestWorld world;
    const QString wavs = world.makeDirectory("wavs");
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        world.writeFile(QStringLiteral("wavs/") + name, "RIFF");
    app::TMainForm* form = world.start();
    showWorkPage(form, true, wavs);
    MainWidgets w = ui(form);

    for (auto [key, row] :
         {std::pair{Qt::Key_Space, 0}, std::pair{Qt::Key_Return, 1}, std::pair{Qt::Key_Enter, 2}}) {
        selectRows(*w.encflist, {row});
        w.encFileadd->setFocus();
        QTest::keyClick(w.encFileadd, key);
        QTest::qWait(300); // the button's animated press
        EXPECT_EQ(w.encodelist->count(), row + 1) << key;
    }
    selectRows(*w.encodelist, {0, 2});
    w.encodelist->setFocus();
    QTest::keyClick(w.encodelist, Qt::Key_Delete);
    EXPECT_EQ(rowTexts(*w.encodelist), QStringList({"b.wav"}));

    // From wherever the focus is in the window, round the four pages and back.
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int page;
    } switches[] = {
        {Qt::Key_Tab, Qt::ControlModifier, app::TMainForm::kDecodePage},
        {Qt::Key_PageDown, Qt::ControlModifier, app::TMainForm::kConfigurePage},
        {Qt::Key_PageDown, Qt::ControlModifier, app::TMainForm::kAboutPage},
        {Qt::Key_Tab, Qt::ControlModifier, app::TMainForm::kEncodePage},
        {Qt::Key_PageUp, Qt::ControlModifier, app::TMainForm::kAboutPage},
        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, app::TMainForm::kConfigurePage},
    };
    for (const auto& press : switches) {
        QTest::keyClick(QApplication::focusWidget(), press.key, press.modifiers);
        EXPECT_EQ(w.MainBoard->currentIndex(), press.page) << press.key;
    }
}

TEST(ProgressWindows, AreRestoredWhenMinimisedFitTheirCaptionAndTakeTheFocusToCancel) {
    TestWorld world;
    app::TMainForm* form = world.start();
    // Owned by a window that is never shown, as the program's are.
    QWidget owner;
    encode::TEncForm encoding(&owner);
    encoding.Timer1->stop(); // shown without running an encoder
    encoding.setWindowTitle("Encoding... (1 of 2)");
    encoding.show();
    checkProgressWindow(&encoding, encoding.cancel);
    // A longer caption widens the window again.
    const int width = encoding.width();
    encoding.setWindowTitle("Encoding... (2 of 12, 1:23 left)");
    EXPECT_GT(encoding.width(), width);
    encoding.hide();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));

    decode::DecodeProgressWindow decoding(*form);
    decoding.begin("/music/first.mp3", "/out/first.WAV", 1, 2);
    checkProgressWindow(&decoding.form(), decoding.form().cancel);
    EXPECT_EQ(decoding.form().windowHandle()->transientParent(), form->windowHandle());
    encoding.show();

    for (QDialog* window : std::initializer_list<QDialog*>{&encoding, &decoding.form()}) {
        window->showMinimized();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isMinimized(); }))
            << window->windowTitle().toStdString();
        EXPECT_TRUE(window->isVisible());
    }
    decoding.finish();
    encoding.reject();
}

TEST(Look, LinksAndFlatButtonsTakeTheirColoursFromThePalette) {
    TestWorld world;
    app::TMainForm* form = world.start();
    ui(form).MainBoard->setCurrentIndex(app::TMainForm::kAboutPage);
    const QPalette saved = QApplication::palette();
    QPalette dark(QColor(0x30, 0x30, 0x30), QColor(0x20, 0x20, 0x20)); // button, window
    dark.setColor(QPalette::Link, QColor(0x80, 0xc0, 0xff));
    QApplication::setPalette(dark);
    QTest::qWait(20);
    const QImage link = form->findChild<QLabel*>("Link1")->grab().toImage();
    const QImage button = ui(form).encstart->grab().toImage();
    QApplication::setPalette(saved);

    bool linkColoured = false;
    for (int y = 0; y < link.height(); ++y)
        for (int x = 0; x < link.width(); ++x)
            linkColoured = linkColoured || link.pixelColor(x, y) == dark.color(QPalette::Link);
    EXPECT_TRUE(linkColoured);
    EXPECT_EQ(button.pixelColor(1, 1), dark.color(QPalette::Button));
}

TEST(Look, LongOutputDirectoriesAreElidedInTheMiddleAndWholeInTheirToolTip) {
    TestWorld world;
    app::TMainForm* form = world.start();
    ui(form).MainBoard->setCurrentIndex(app::TMainForm::kConfigurePage);
    const QString path = "/home/somebody/Music/Encoded albums/A rather long artist name/";
    ui(form).encout->setText(path);
    auto* label = qobject_cast<widgets::PathLabel*>(ui(form).encout);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), path);
    const QString shown = label->shownText();
    EXPECT_TRUE(shown.startsWith("/home/") && shown.endsWith("name/") &&
                shown.contains(QChar(0x2026)))
        << shown.toStdString();
    EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
    QTest::qWait(20);
    expectNothingClipped(ui(form).MainBoard->currentWidget(), {"encout", "decout"});
    EXPECT_TRUE(saveScreenshot(form, atScale(form, "page-configure-long-output")));
    world.close();
}

TEST(StartFolder, BrowsersStartInTheProgramFolderOnlyWhereTheUserMayWriteIt) {
    TestWorld world;
    const QByteArray savedHome = qgetenv("HOME");
    const QString home = world.makeDirectory("home");
    qputenv("HOME", QFile::encodeName(home));
    app::TMainForm* form = world.start();
    EXPECT_EQ(ui(form).encdirlist->directory(), world.programDir());
    world.discard();

    // An installed program: a program folder the user may not write to.
    QFile::setPermissions(world.programDir(), QFile::ReadOwner | QFile::ExeOwner);
    const bool writable = ::access(QFile::encodeName(world.programDir()), W_OK) == 0;
    if (!writable) {
        form = world.start();
        EXPECT_EQ(ui(form).encdirlist->directory(), home);
        EXPECT_EQ(ui(form).decdirlist->directory(), home);
        world.discard();
    }
    QFile::setPermissions(world.programDir(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Root may write to any folder but those of a read-only file system.
    if (writable && ::access("/sys", W_OK) != 0) {
        EXPECT_EQ(platform::browserStartDirectory("/sys/"), home + "/");
    }
    qputenv("HOME", savedHome);
}

TEST(UrlOpener, WhereTheDesktopCannotOpenALinkAnErrorBoxSaysSo) {
    // A desktop without xdg-open and without a browser named in the environment.
    const QByteArray savedPath = qgetenv("PATH");
    QTemporaryDir empty;
    qputenv("PATH", QFile::encodeName(empty.path()));
    qunsetenv("BROWSER");
    qunsetenv("DEFAULT_BROWSER");
    widgets::QtDialogs dialogs;
    QString shown;
    whenModal([&shown](QWidget* box) {
        shown = qobject_cast<QMessageBox*>(box)->text();
        qobject_cast<QMessageBox*>(box)->accept();
    });
    dialogs.openUrl(QUrl("https://www.mpg123.de/"));
    qputenv("PATH", savedPath);
    EXPECT_EQ(shown, "No program was found to open https://www.mpg123.de/.\nInstall xdg-utils "
                     "to open links and the help text.");
}
