// Entry of the GUI test programs: one real application object for all tests, answering its
// dialogs through the scripted dialogs that the tests share.
#include "app/sonabox_application.h"
#include "tests/support/gui_environment.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::ScriptedDialogs dialogs;
    app::SonaboxApplication application(argc, argv);
    testsupport::setSharedDialogs(dialogs);
    return RUN_ALL_TESTS();
}
