// Start-up: the error log, config.ini, the program folder and the choice
// between a command-line job and the desktop program.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vok {

// Replaces the error log with its one header line.
void WriteErrorLogHeader(const std::filesystem::path& errorLogFile);

// Writes the eleven default lines of config.ini, replacing any file.
void CreateDefaultConfigFile(const std::filesystem::path& configFile);

// The program's entry point; returns the process's exit status.
int Main(const std::vector<std::string>& args);

} // namespace vok
