// The desktop program's start: the error log and config.ini as the command
// line prepares them, the start-up window, then the main window.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vok {

// The file the window opens with: the one argument, when it names an existing
// file and is no option. The menu entry and file managers start the desktop
// program so; any other arguments are a command line.
std::optional<std::filesystem::path> FileToOpen(const std::vector<std::string>& args,
                                                const std::filesystem::path& currentFolder);

// Runs the desktop program, with the window opening on a file when one is
// given (FileToOpen); other arguments run as the command line runs them.
int DesktopMain(int argc, char** argv);

} // namespace vok
