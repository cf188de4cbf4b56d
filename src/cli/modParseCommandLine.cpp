#include "cli/modParseCommandLine.h"

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

// The Linux-style options that take no value, and what each sets.
struct LinuxFlag {
    std::string_view shortName;
    std::string_view longName;
    bool clsConversionOptions::*option;
    bool value;
};
constexpr LinuxFlag kLinuxFlags[] = {
    {"-s", "--subfolders", &clsConversionOptions::bDoSubfolders, true},
    {"-g", "--original-folder", &clsConversionOptions::bSaveInOriginalFolder, true},
    {"-c", "--no-clear", &clsConversionOptions::bClearOutputFileBeforeProcessing, false},
    {"-e", "--show", &clsConversionOptions::bShowExcel, true},
    {"-v", "--verbose", &clsConversionOptions::bVerbose, true},
    {"-q", "--quiet", &clsConversionOptions::bQuiet, true},
    {"--preview", "--preview", &clsConversionOptions::bPreview, true},
};

bool IsLinuxFlag(std::string_view name) {
    if (name == "--help" || name == "--version") return true;
    for (const LinuxFlag& flag : kLinuxFlags) {
        if (name == flag.longName) return true;
    }
    return false;
}

bool TakesValue(std::string_view name) {
    for (const std::string_view option : {"-i", "--input", "-o", "--output", "-r", "--recipe", "-l",
                                          "--log", "-t", "--tab-size", "-w", "--sheet", "--rows",
                                          "--pdf-text"}) {
        if (name == option) return true;
    }
    return false;
}

// A Linux-style command line while it is read.
struct LinuxReading {
    clsConversionOptions& options;
    const std::filesystem::path& currentFolder;
    LogFolderMaker makeLogFolder;
    CommandLine result;
    bool rowsGiven = false;
    bool pdfText = false;

    // Ends the reading with `error`; false, for the caller to return.
    bool Fail(CommandLineAction action, std::string error) {
        result.action = action;
        result.error = std::move(error);
        return false;
    }
    std::filesystem::path Path(const std::string& text) const {
        return ResolveLinuxPath(text, currentFolder);
    }
};

// Applies an option that takes a value; false when the reading ends there.
bool ApplyLinuxValue(LinuxReading& reading, std::string_view name, const std::string& value) {
    clsConversionOptions& options = reading.options;
    if (name == "-i" || name == "--input") {
        options.sInputFile = reading.Path(value);
    } else if (name == "-o" || name == "--output") {
        options.sOutputFile = reading.Path(value);
    } else if (name == "-r" || name == "--recipe") {
        options.bUseRecipe = true;
        options.sRecipeFile = reading.Path(value);
    } else if (name == "-l" || name == "--log") {
        options.sLogFile = reading.Path(value);
        reading.makeLogFolder(options.sLogFile);
    } else if (name == "-t" || name == "--tab-size") {
        std::string problem = TabSizeProblem(value, options.lTabSize);
        if (!problem.empty()) return reading.Fail(CommandLineAction::Refused, std::move(problem));
    } else if (name == "-w" || name == "--sheet") {
        options.sSheetTarget = value;
    } else if (name == "--pdf-text") {
        options.sInputFile = reading.Path(value);
        reading.pdfText = true;
    } else {
        int32_t rows;
        if (!ParseWholeNumber(value, rows) || rows < 0)
            return reading.Fail(CommandLineAction::Error,
                                "The number of rows must be a whole number, 0 or more: " + value);
        options.lPreviewRows = rows;
        reading.rowsGiven = true;
    }
    return true;
}

// Applies an option without a value; false when the reading ends there (help,
// version, an unknown option).
bool ApplyLinuxFlag(LinuxReading& reading, std::string_view name) {
    for (const LinuxFlag& flag : kLinuxFlags) {
        if (name == flag.shortName || name == flag.longName) {
            reading.options.*flag.option = flag.value;
            return true;
        }
    }
    if (name == "-h" || name == "--help") return reading.Fail(CommandLineAction::ShowHelp, {});
    if (name == "--version") return reading.Fail(CommandLineAction::ShowVersion, {});
    return reading.Fail(CommandLineAction::Error, "Unknown option: " + std::string(name));
}

CommandLine ReadLinuxStyle(const std::vector<std::string>& args, clsConversionOptions& options,
                           const std::filesystem::path& currentFolder,
                           LogFolderMaker makeLogFolder) {
    LinuxReading reading{options, currentFolder, makeLogFolder, {}};
    reading.result.action = CommandLineAction::RunJob;
    for (size_t i = 0; i < args.size(); ++i) {
        // "--name=value" carries its value; "-x value" and "--name value" take the next argument.
        std::string_view name = args[i];
        std::string value;
        const size_t eq = name.rfind("--", 0) == 0 ? name.find('=') : std::string_view::npos;
        const bool hasValue = eq != std::string_view::npos;
        if (hasValue) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (TakesValue(name)) {
            if (!hasValue && i + 1 >= args.size()) {
                reading.Fail(CommandLineAction::Error,
                             "The option " + std::string(name) + " needs a value.");
                break;
            }
            if (!hasValue) value = args[++i];
            if (!ApplyLinuxValue(reading, name, value)) break;
        } else if (hasValue) {
            reading.Fail(CommandLineAction::Error,
                         IsLinuxFlag(name) ? "The option " + std::string(name) + " takes no value."
                                           : "Unknown option: " + args[i]);
            break;
        } else if (!ApplyLinuxFlag(reading, name)) {
            break;
        }
    }
    if (reading.result.action == CommandLineAction::RunJob && reading.rowsGiven &&
        !options.bPreview)
        reading.Fail(CommandLineAction::Error, "The option --rows goes with --preview.");
    if (reading.result.action == CommandLineAction::RunJob && reading.pdfText)
        reading.result.action = CommandLineAction::PdfText;
    return reading.result;
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

namespace {

// The text of --help and /?, one block as the terminal shows it.
constexpr std::string_view kUsage =
    R"(vok - converts printed-style text reports into CSV files and workbooks.

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
  vok --pdf-text report.pdf

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
      --pdf-text PATH     print the text vok reads from a PDF report (its
                          character grid rebuilt), to write a recipe against
  -h, --help              show this text
      --version           show the version

  Relative paths resolve against the current folder.

On a terminal a long job shows one progress line, unless -q or -v is given.
The exit status is 0 when the job reported no problem, 1 otherwise, and 2 when
the Linux-style command line cannot be read.
)";

} // namespace

std::string UsageText() {
    return std::string(kUsage);
}

} // namespace vok
