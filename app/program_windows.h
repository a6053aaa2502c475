#pragma once

#include "app/main_form.h"
#include "encode/enc_form.h"
#include "selection/dirs.h"

namespace widgets {
class Dialogs;
}

namespace app {

// The windows the program creates at start, in this order: the main window, then the
// never-shown windows that own every encoding progress window and every directory chooser.
struct ProgramWindows {
    explicit ProgramWindows(widgets::Dialogs& dialogs, const QString& pathToDll = QString());

    TMainForm MainForm;
    encode::TEncForm EncForm;
    selection::Tchoosedirform choosedirform;
};

} // namespace app
