#include "app/program.h"

#include "app/program_windows.h"
#include "app/sonabox_application.h"
#include "widgets/dialogs.h"

namespace app {

int runSonabox(int argc, char** argv) {
    widgets::QtDialogs dialogs;
    SonaboxApplication application(argc, argv);
    ProgramWindows windows(dialogs);
    windows.MainForm.show();
    return application.exec();
}

} // namespace app
