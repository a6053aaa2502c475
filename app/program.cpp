#include "app/program.h"

#include "app/main_form.h"
#include "app/sonabox_application.h"
#include "platform/dialogs.h"

namespace app {

int runSonabox(int argc, char** argv) {
    platform::QtDialogs dialogs;
    SonaboxApplication application(argc, argv, dialogs);
    TMainForm MainForm(dialogs);
    MainForm.show();
    return application.exec();
}

} // namespace app
