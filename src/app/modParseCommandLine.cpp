#include "app/modParseCommandLine.h"

#include "base/TextAccess.h"
#include "base/TextEncoding.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityFileSystemObject.h"
#include "base/modUtilityString.h"

#include <filesystem>

namespace vok {

int32_t CountFields(std::string_view text, char delimiter) {
    int32_t count = 1;
    for (const char c : text) {
        if (c == delimiter) ++count;
    }
    return count;
}

std::string GetField(int32_t n, std::string_view text, char delimiter, std::string& letter) {
    // 1. One blank appended, so that the last field ends like the others.
    std::string padded(text);
    padded.push_back(' ');
    size_t fieldStart = 0;
    int32_t field = 1;
    // 2. A field ends at each delimiter and at the last position.
    for (size_t pos = 0; pos < padded.size(); ++pos) {
        const bool last = pos + 1 == padded.size();
        if (padded[pos] != delimiter && !last) continue;
        std::string argument;
        // 3. The letter is the field's first character; the argument the trimmed rest.
        if (pos > fieldStart) {
            letter = std::string(Trim(std::string_view(padded).substr(fieldStart, 1)));
            if (pos > fieldStart + 1) {
                argument = std::string(
                    Trim(std::string_view(padded).substr(fieldStart + 1, pos - fieldStart - 1)));
            }
        }
        // 4. Stop at field n.
        if (field == n) return argument;
        ++field;
        fieldStart = pos + 1;
    }
    return {};
}

namespace {

// /I, /L, /O, /R: a path with a backslash is full, and every backslash in it
// separates folders; a bare name lies in the program folder.
std::filesystem::path ResolveSwitchPath(const std::string& argument,
                                        const std::filesystem::path& programFolder) {
    if (argument.find('\\') != std::string::npos)
        return PathFromSwitchSyntax(StripQuotes(argument));
    return programFolder / argument;
}

} // namespace

std::string TabSizeProblem(std::string_view argument, int32_t& size) {
    int32_t value = 0;
    if (ParseWholeNumber(argument, value) && value >= kSmallestTabSize &&
        value <= kLargestTabSize) {
        size = value;
        return {};
    }
    return "The tab size must be a whole number from 1 to 64: " + Echo(argument);
}

void CreateLogFolder(const std::filesystem::path& logFile) {
    const std::filesystem::path folder = GetParentFolderName(logFile);
    if (!folder.empty() && !FolderExistsFso(folder)) MakeFolderPath(folder);
}

bool ParseCommandLine(std::string_view text, clsConversionOptions& options,
                      const std::filesystem::path& programFolder, CommandLine& result,
                      LogFolderMaker makeLogFolder) {
    // 1. An empty text starts the desktop program.
    if (text.empty()) return false;
    // 3-4. Fields between slashes; none means the job runs with the options as they are.
    const int32_t n = CountFields(text, '/');
    if (n < 2) return true;
    std::string letter;
    // 5. Field 1, the text before the first slash, is never looked at.
    for (int32_t i = 2; i <= n; ++i) {
        const std::string argument = GetField(i, text, '/', letter);
        const std::string upper = AsciiUpper(letter);
        if (upper == "C")
            options.bClearOutputFileBeforeProcessing = false;
        else if (upper == "E")
            options.bShowExcel = true;
        else if (upper == "G")
            options.bSaveInOriginalFolder = true;
        else if (upper == "I")
            options.sInputFile = ResolveSwitchPath(argument, programFolder);
        else if (upper == "L") {
            options.sLogFile = ResolveSwitchPath(argument, programFolder);
            makeLogFolder(options.sLogFile);
        } else if (upper == "O")
            options.sOutputFile = ResolveSwitchPath(argument, programFolder);
        else if (upper == "P") {
            // A preview; its argument, when a whole number, the rows per table.
            options.bPreview = true;
            int32_t rows;
            if (ParseWholeNumber(argument, rows) && rows >= 0) options.lPreviewRows = rows;
        } else if (upper == "Q")
            options.bQuiet = true;
        else if (upper == "R") {
            options.bUseRecipe = true;
            options.sRecipeFile = ResolveSwitchPath(argument, programFolder);
        } else if (upper == "S")
            options.bDoSubfolders = true;
        else if (upper == "T") {
            std::string problem = TabSizeProblem(argument, options.lTabSize);
            if (!problem.empty() && result.action != CommandLineAction::Refused) {
                result.action = CommandLineAction::Refused;
                result.error = std::move(problem);
            }
        } else if (upper == "V")
            options.bVerbose = true;
        else if (upper == "W")
            options.sSheetTarget = StripQuotes(argument);
        else if (upper == "?")
            result.helpRequested = true;
    }
    return true;
}

namespace {

// A path as a Linux program takes it: a backslash is an ordinary character of
// a file name, and a relative path starts in the current folder.
std::filesystem::path ResolveLinuxPath(const std::string& text,
                                       const std::filesystem::path& currentFolder) {
    if (text.empty()) return {};
    const std::filesystem::path p(text);
    if (p.is_absolute()) return p;
    return (currentFolder / p).lexically_normal();
}

// The Linux-style options that take no value.
bool IsLinuxFlag(std::string_view name) {
    for (const std::string_view flag : {"--subfolders", "--original-folder", "--no-clear", "--show",
                                        "--verbose", "--quiet", "--help", "--version", "--preview"}) {
        if (name == flag) return true;
    }
    return false;
}

CommandLine ReadLinuxStyle(const std::vector<std::string>& args, clsConversionOptions& options,
                           const std::filesystem::path& currentFolder,
                           LogFolderMaker makeLogFolder) {
    CommandLine result;
    result.action = CommandLineAction::RunJob;
    bool rowsGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        // "--name=value" carries its value; "-x value" and "--name value" take the next argument.
        if (name.rfind("--", 0) == 0) {
            const size_t eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
                hasValue = true;
            }
        }
        auto takeValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) {
                result.action = CommandLineAction::Error;
                result.error = "The option " + name + " needs a value.";
                return false;
            }
            value = args[++i];
            return true;
        };
        if (name == "-i" || name == "--input") {
            if (!takeValue()) return result;
            options.sInputFile = ResolveLinuxPath(value, currentFolder);
        } else if (name == "-o" || name == "--output") {
            if (!takeValue()) return result;
            options.sOutputFile = ResolveLinuxPath(value, currentFolder);
        } else if (name == "-r" || name == "--recipe") {
            if (!takeValue()) return result;
            options.bUseRecipe = true;
            options.sRecipeFile = ResolveLinuxPath(value, currentFolder);
        } else if (name == "-l" || name == "--log") {
            if (!takeValue()) return result;
            options.sLogFile = ResolveLinuxPath(value, currentFolder);
            makeLogFolder(options.sLogFile);
        } else if (name == "-t" || name == "--tab-size") {
            if (!takeValue()) return result;
            std::string problem = TabSizeProblem(value, options.lTabSize);
            if (!problem.empty()) {
                result.action = CommandLineAction::Refused;
                result.error = std::move(problem);
                return result;
            }
        } else if (name == "-w" || name == "--sheet") {
            if (!takeValue()) return result;
            options.sSheetTarget = value;
        } else if (name == "--rows") {
            if (!takeValue()) return result;
            int32_t rows;
            if (!ParseWholeNumber(value, rows) || rows < 0) {
                result.action = CommandLineAction::Error;
                result.error = "The number of rows must be a whole number, 0 or more: " + value;
                return result;
            }
            options.lPreviewRows = rows;
            rowsGiven = true;
        } else if (hasValue && IsLinuxFlag(name)) {
            result.action = CommandLineAction::Error;
            result.error = "The option " + name + " takes no value.";
            return result;
        } else if (hasValue) {
            result.action = CommandLineAction::Error;
            result.error = "Unknown option: " + args[i];
            return result;
        } else if (name == "-s" || name == "--subfolders") {
            options.bDoSubfolders = true;
        } else if (name == "-g" || name == "--original-folder") {
            options.bSaveInOriginalFolder = true;
        } else if (name == "-c" || name == "--no-clear") {
            options.bClearOutputFileBeforeProcessing = false;
        } else if (name == "-e" || name == "--show") {
            options.bShowExcel = true;
        } else if (name == "-v" || name == "--verbose") {
            options.bVerbose = true;
        } else if (name == "-q" || name == "--quiet") {
            options.bQuiet = true;
        } else if (name == "--preview") {
            options.bPreview = true;
        } else if (name == "-h" || name == "--help") {
            result.action = CommandLineAction::ShowHelp;
            return result;
        } else if (name == "--version") {
            result.action = CommandLineAction::ShowVersion;
            return result;
        } else {
            result.action = CommandLineAction::Error;
            result.error = "Unknown option: " + args[i];
            return result;
        }
    }
    if (rowsGiven && !options.bPreview) {
        result.action = CommandLineAction::Error;
        result.error = "The option --rows goes with --preview.";
    }
    return result;
}

} // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& args, clsConversionOptions& options,
                            const std::filesystem::path& programFolder,
                            const std::filesystem::path& currentFolder,
                            LogFolderMaker makeLogFolder) {
    CommandLine result;
    if (args.empty()) return result;
    if (!args.front().empty() && args.front().front() == '-') {
        return ReadLinuxStyle(args, options, currentFolder, makeLogFolder);
    }
    std::string text;
    for (const std::string& arg : args) {
        if (!text.empty()) text.push_back(' ');
        text.append(arg);
    }
    result.action = CommandLineAction::RunJob;
    if (!ParseCommandLine(text, options, programFolder, result, makeLogFolder))
        result.action = CommandLineAction::Interactive;
    return result;
}

std::string UsageText() {
    return R"(vok - converts printed-style text reports into CSV files and workbooks.

Usage (switch syntax):
  vok /I input /O output [/R recipe] [/S] [/G] [/C] [/E] [/T size] [/W sheet] [/L log]
      [/V] [/Q] [/?]
  vok /I input [/R recipe] /P [rows]

  /I path   input file, or a folder and pattern such as \data\in\*.txt
  /O path   output file; with a pattern input a folder pattern with "*",
            such as \data\out\*.csv. ".csv" writes CSV, ".xls"/".xlsx" a workbook,
            ".db"/".sqlite" one SQLite database for the whole job (no "*")
  /R path   convert with this recipe file (without /R the tables are marked
            in the input file with ">>" and "<<" lines)
  /S        with a pattern input, also search the sub-folders
  /G        with a pattern input, write each output beside its input
  /C        do not clear the target sheet before writing
  /E        show the spreadsheet while it works (kept for compatibility)
  /T size   tab stop size for reading the input, 1 to 64 (default 8)
  /W sheet  the workbook sheet the tables go to: a number (1-255) or a name
  /L path   write every message and each converted file to this log file
  /V        print the progress texts
  /Q        quiet: no progress line on a terminal (messages still show)
  /P [rows] preview: show each table's lines, fields and first rows (10
            unless a number follows) instead of converting; nothing is written
  /?        show this text, then run the job

  In this syntax a path uses "\" between folders ("/" starts a switch). A name
  without "\" names a file in the program folder (for an installed vok, its
  state folder, ~/.local/state/vok).

Usage (Linux style, when the first argument starts with "-"):
  vok -i input -o output [-r recipe] [options]
  vok --preview -i input [-r recipe] [--rows N] [-t size]

  -i, --input PATH        input file or folder pattern
  -o, --output PATH       output file or folder pattern
  -r, --recipe PATH       recipe file
  -s, --subfolders        also search the sub-folders
  -g, --original-folder   write each output beside its input
  -c, --no-clear          do not clear the target sheet before writing
  -e, --show              show the spreadsheet while it works
  -t, --tab-size N        tab stop size, 1 to 64 (default 8)
  -w, --sheet TEXT        the sheet the tables go to: a number or a name
  -l, --log PATH          log file
  -v, --verbose           print the progress texts
  -q, --quiet             no progress line on a terminal (messages still show)
      --preview           show what the job would write instead of writing it:
                          each table's lines, a ruler with its fields over its
                          first lines and its first rows; nothing is written
      --rows N            rows of each table the preview shows (default 10)
  -h, --help              show this text
      --version           show the version

  Relative paths resolve against the current folder.

On a terminal a long job shows one progress line, unless -q or -v is given.
The exit status is 0 when the job reported no problem, 1 otherwise, and 2 when
the Linux-style command line cannot be read.
)";
}

} // namespace vok
