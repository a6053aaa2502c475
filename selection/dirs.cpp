#include "selection/dirs.h"

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/volumes.h"
#include "platform/working_directory.h"
#include "selection/directory_list.h"
#include "selection/drive_box.h"
#include "selection/filemod.h"
#include "widgets/dialogs.h"
#include "widgets/error_report.h"
#include "widgets/flat_button.h"
#include "widgets/window_geometry.h"

#include <QAbstractItemView>
#include <QSignalBlocker>

namespace selection {

Tchoosedirform::Tchoosedirform(widgets::Dialogs& dialogs, QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint), dialogs_(dialogs) {
    setObjectName(QStringLiteral("choosedirform"));
    setWindowTitle(QStringLiteral("Choose directory"));
    setFixedSize(161, 212);
    widgets::placeWindow(*this, {428, 311});

    cdrive = new DriveBox(this);
    cdrive->setObjectName(QStringLiteral("cdrive"));
    cdrive->setGeometry(8, 8, 147, 19);
    cdirlist = new DirectoryList(this);
    cdirlist->setObjectName(QStringLiteral("cdirlist"));
    cdirlist->setGeometry(8, 32, 145, 153);
    btnOK = new widgets::FlatButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(8, 192, 49, 17);
    btnCancel = new widgets::FlatButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(64, 192, 41, 17);
    btnMakeDir = new widgets::FlatButton(QStringLiteral("Makedir"), this);
    btnMakeDir->setObjectName(QStringLiteral("btnMakeDir"));
    btnMakeDir->setGeometry(112, 192, 45, 17);

    cdrive->setAccessibleName(QStringLiteral("Drive"));
    cdrive->setAccessibleDescription(QStringLiteral("Drive of the folders"));
    cdrive->view()->setAccessibleName(QStringLiteral("Drives"));
    cdirlist->setAccessibleName(QStringLiteral("Folders"));
    cdirlist->setAccessibleDescription(
        QStringLiteral("Return opens a folder, Backspace goes up one"));
    btnOK->setAccessibleName(QStringLiteral("Choose the folder shown"));
    btnMakeDir->setAccessibleName(QStringLiteral("Make a new folder in the folder shown"));

    using widgets::guardedSlot;
    connect(cdrive, &DriveBox::driveChanged, this,
            guardedSlot(dialogs_, this, &Tchoosedirform::cdriveChange));
    connect(btnOK, &QAbstractButton::clicked, this,
            guardedSlot(dialogs_, this, &Tchoosedirform::btnOKClick));
    connect(btnCancel, &QAbstractButton::clicked, this,
            guardedSlot(dialogs_, this, &Tchoosedirform::btnCancelClick));
    connect(btnMakeDir, &QAbstractButton::clicked, this,
            guardedSlot(dialogs_, this, &Tchoosedirform::btnMakeDirClick));
}

void Tchoosedirform::btnOKClick() {
    DirChosen = true;
    ChosenDir = platform::withSeparator(cdirlist->directory());
    accept();
}

void Tchoosedirform::btnCancelClick() {
    DirChosen = false;
    QDialog::reject();
}

void Tchoosedirform::reject() {
    btnCancelClick();
}

void Tchoosedirform::btnMakeDirClick() {
    const auto name = dialogs_.textInput(this, QStringLiteral("Make new directory"),
                                         QStringLiteral("Enter directory name:"));
    if (!name || name->isEmpty())
        return;
    const QString path = name->startsWith(platform::separator())
                             ? *name
                             : platform::joinPath(platform::currentDirectory(), *name);
    platform::createDirectory(path);
    platform::setCurrentDirectory(path);
    cdirlist->setDirectory(platform::currentDirectory());
}

void Tchoosedirform::cdriveChange() {
    const QString working = platform::volumeOf(platform::currentDirectory(), cdrive->drives());
    QString drive = cdrive->drive();
    if (drive == working)
        return;
    if (CheckDriveReady(drive, cdrive->drives(), dialogs_, this)) {
        cdirlist->setDrive(drive);
        return;
    }
    const QSignalBlocker quiet(cdrive);
    cdrive->setDrive(drive);
}

bool ChooseDir(widgets::Dialogs& dialogs, QWidget* owner, QString& directory) {
    Tchoosedirform chooser(dialogs, owner);
    chooser.exec();
    directory = ChosenDir;
    return DirChosen;
}

} // namespace selection
