// Start-up: the error log, config.ini, the program folder and the choice
// between a command-line job and the desktop program.
#pragma once

#include "app/ProgramState.h"

#include <string>
#include <vector>

namespace vok {

// The folder that holds the executable, or the folder VOK_HOME names.
std::string ProgramFolderPath();

// Replaces the error log with its one header line.
void WriteErrorLogHeader(const std::string& errorLogFile);

// Writes the eleven default lines of config.ini, replacing any file.
void CreateDefaultConfigFile(const std::string& configFile);

// Reads the conversion form's settings from config.ini's [General] section;
// shows "<path> can not be found!" when the file is missing.
void ReadSettings(ProgramState& state);

// The program's entry point; returns the process's exit status.
int Main(const std::vector<std::string>& args);

} // namespace vok
