#pragma once

#include "app/main_form.h"
#include "selection/dirs.h"

namespace platform {
class Dialogs;
}

namespace app {

// The windows the program creates at start, in this order: the main window, then the
// never-shown chooser that owns every directory chooser the user opens.
struct ProgramWindows {
    explicit ProgramWindows(platform::Dialogs& dialogs);

    TMainForm MainForm;
    selection::Tchoosedirform choosedirform;
};

} // namespace app
