// The command line: the switch syntax (/I path /O path /R recipe ...)
// and the Linux-style syntax (-i/--input ...), both filling the same options.
#pragma once

#include "job/clsConversionOptions.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

// One more than the number of delimiters in the text ("" gives 1).
int32_t CountFields(std::string_view text, char delimiter);

// The argument of 1-based field n; sets the letter at the end of a non-empty
// field and leaves it as it was for an empty one.
std::string GetField(int32_t n, std::string_view text, char delimiter, std::string& letter);

// Creates the folder that is to hold a log file, with its missing parents;
// what the parsers do for /L and --log.
void CreateLogFolder(const std::filesystem::path& logFile);
using LogFolderMaker = void (*)(const std::filesystem::path& logFile);

enum class CommandLineAction {
    Interactive, // no arguments: the desktop program
    RunJob,      // run one job with the options
    ShowHelp,    // --help: print the usage text and end
    ShowVersion, // --version
    PdfText,     // --pdf-text REPORT: print the text a PDF report is read as
    Error,       // a Linux-style command line that cannot be read
    Refused,     // a value no job may take (a tab size outside 1 to 64)
};

struct CommandLine {
    CommandLineAction action = CommandLineAction::Interactive;
    bool helpRequested = false; // "/?": the usage text, then the job still runs
    std::string error;          // why the command line is an Error or Refused
};

// The message that refuses a tab size as typed, or "" for one from 1 to 64,
// which `size` then holds.
std::string TabSizeProblem(std::string_view argument, int32_t& size);

// Parses the switch syntax. Returns false for an empty text. Paths
// without a backslash name files in the program folder. "/?" sets
// `result.helpRequested`; parsing goes on after it. A value no job may take
// sets `result.action` to Refused, with the first such refusal as its error.
// `makeLogFolder` is the one effect on the disk; a caller that must not
// touch it passes another.
bool ParseCommandLine(std::string_view text, clsConversionOptions& options,
                      const std::filesystem::path& programFolder, CommandLine& result,
                      LogFolderMaker makeLogFolder = CreateLogFolder);

// Reads the program's arguments: none, the switch syntax (joined with single
// blanks) or, when the first argument starts with "-", the Linux style.
CommandLine ReadCommandLine(const std::vector<std::string>& args, clsConversionOptions& options,
                            const std::filesystem::path& programFolder,
                            const std::filesystem::path& currentFolder,
                            LogFolderMaker makeLogFolder = CreateLogFolder);

// The usage text covering both syntaxes.
std::string UsageText();

} // namespace vok
