#pragma once

namespace app {

// The program entry: creates the application, the main window and the two windows that own
// the per-use windows, then runs until the main window closes.
int runSonabox(int argc, char** argv);

} // namespace app
