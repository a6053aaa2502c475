#include "app/program_windows.h"

namespace app {

ProgramWindows::ProgramWindows(widgets::Dialogs& dialogs, const QString& pathToDll)
    : MainForm(dialogs, pathToDll), choosedirform(dialogs) {
    MainForm.setEncFormOwner(EncForm);
    MainForm.setChooserOwner(choosedirform);
}

} // namespace app
