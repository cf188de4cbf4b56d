// Start-up: the error log, config.ini, the program folder and the choice
// between a command-line job and the desktop program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vok {

// Replaces the error log with its one header line.
void WriteErrorLogHeader(const std::filesystem::path& errorLogFile);

// Writes the eleven default lines of config.ini, replacing any file.
void CreateDefaultConfigFile(const std::filesystem::path& configFile);

// A display to show windows on: the X or Wayland display that DISPLAY or
// WAYLAND_DISPLAY names answers, or QT_QPA_PLATFORM names a platform that
// needs none (offscreen). A display variable left over from an earlier
// session does not count: the desktop program could not start on it.
bool HasDisplay();

// Replaces this process with the desktop program beside the executable;
// returns only when that cannot be started.
void StartDesktopProgram();

// Opens a help topic's page with the desktop's opener (xdg-open), without
// waiting for it; false when the page or the opener is missing.
bool OpenHelpTopic(int32_t topic);

// The program's entry point; returns the process's exit status.
int Main(const std::vector<std::string>& args);

} // namespace vok
