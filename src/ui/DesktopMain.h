// The desktop program's start: the error log and config.ini as the command
// line prepares them, the start-up window, then the main window.
#pragma once

namespace vok {

// Runs the desktop program; with arguments it runs them as the command line does.
int DesktopMain(int argc, char** argv);

} // namespace vok
