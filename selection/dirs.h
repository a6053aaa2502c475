#pragma once

#include <QDialog>
#include <QString>

namespace widgets {
class Dialogs;
}
namespace widgets {
class FlatButton;
}

namespace selection {

class DirectoryList;
class DriveBox;

// The directory chooser: a drive box, a directory list and OK, Cancel and Makedir. It opens at
// the working directory, which follows its list while it is open.
class Tchoosedirform : public QDialog {
    Q_OBJECT
public:
    Tchoosedirform(widgets::Dialogs& dialogs, QWidget* owner = nullptr);

    void btnOKClick();
    void btnCancelClick();
    void btnMakeDirClick();
    void cdriveChange();

    DriveBox* cdrive = nullptr;
    DirectoryList* cdirlist = nullptr;
    widgets::FlatButton* btnOK = nullptr;
    widgets::FlatButton* btnCancel = nullptr;
    widgets::FlatButton* btnMakeDir = nullptr;

    void reject() override; // Escape counts as Cancel

private:
    widgets::Dialogs& dialogs_;
};

// What the last chooser ended with: OK (with the directory chosen, ending in a separator) or
// Cancel. Kept between openings.
inline bool DirChosen = false;
inline QString ChosenDir;

// Opens a new chooser owned by `owner`, modally; true and the directory when the user chose OK.
bool ChooseDir(widgets::Dialogs& dialogs, QWidget* owner, QString& directory);

} // namespace selection
