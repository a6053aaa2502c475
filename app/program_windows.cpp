#include "app/program_windows.h"

namespace app {

ProgramWindows::ProgramWindows(platform::Dialogs& dialogs)
    : MainForm(dialogs), choosedirform(dialogs) {
    MainForm.setChooserOwner(choosedirform);
}

} // namespace app
