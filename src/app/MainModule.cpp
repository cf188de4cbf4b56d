#include "app/MainModule.h"

#include "base/Clock.h"
#include "app/CommandLineMessages.h"
#include "app/ConversionJob.h"
#include "app/modParseCommandLine.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityFileSystemObject.h"
#include "base/modUtilityString.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fmt/format.h>
#include <system_error>

#ifndef VOK_VERSION
#define VOK_VERSION "1.0.0"
#endif

namespace vok {

std::string ProgramFolderPath() {
    if (const char* home = std::getenv("VOK_HOME"); home && *home) {
        if (!FolderExists(home)) MakeFolderPath(home);
        return home;
    }
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec).string();
    return exe.parent_path().string();
}

void WriteErrorLogHeader(const std::string& errorLogFile) {
    // A failure here is silent: start-up goes on without a log.
    WriteLineToFile(errorLogFile,
                    "VOK Wizard Error Log [" + FormatDateTime(std::time(nullptr)) + "]", false);
}

void CreateDefaultConfigFile(const std::string& configFile) {
    static constexpr std::string_view kDefault = "[Header]\r\n"
                                                 "Product=VOK_B\r\n"
                                                 "FileType=CONFIG\r\n"
                                                 "FileFormat=1.0\r\n"
                                                 "\r\n"
                                                 "[General]\r\n"
                                                 "DefaultInputFile=\r\n"
                                                 "DefaultOutputFile=\r\n"
                                                 "UseRecipeFile=\r\n"
                                                 "DefaultRecipeFile=\r\n"
                                                 "\r\n";
    ReplaceFileContents(configFile, kDefault);
}

void ReadSettings(ProgramState& state) {
    if (!FileExists(state.gConfigFile)) {
        state.messages.Show(state.gConfigFile + " can not be found!", MessageIcon::Critical);
        return;
    }
    const ProfileFile config(state.gConfigFile);
    auto flag = [&](std::string_view key, std::string_view defaultValue) {
        return AsciiUpper(config.Get("General", key, defaultValue)) != "FALSE";
    };
    FormSettings& s = state.Settings;
    s.bWarnedAboutTabsInFile = flag("bWarnedAboutTabsInFile", "FALSE");
    s.bShowExcel = flag("bShowExcel", "TRUE");
    s.bClearOutputFileBeforeProcessing = flag("bClearOutputFileBeforeProcessing", "TRUE");
    s.sSheetTarget = config.Get("General", "sSheetTarget", "1");
    int32_t tabSize = 8;
    if (ParseWholeNumber(config.Get("General", "lTabSize", "8"), tabSize)) s.lTabSize = tabSize;
    s.UseRecipeFile =
        AsciiUpper(Trim(GetIniValue(state.gConfigFile, "General", "UseRecipeFile", "NO"))) == "YES";
}

namespace {

int RunCommandLine(const std::vector<std::string>& args) {
    CommandLineMessages messages;
    ProgramState state(messages, ProgramFolderPath());

    // 2. The error log is reset before anything else can fail.
    WriteErrorLogHeader(state.gErrorLogFile);
    // 3. Defaults of the run.
    state.gCommandLineMode = false;
    state.gTabSize = 8;
    // 5. config.ini exists before any setting is read.
    if (!FileExists(state.gConfigFile)) CreateDefaultConfigFile(state.gConfigFile);

    // 6. The command line.
    std::error_code ec;
    const std::string currentFolder = std::filesystem::current_path(ec).string();
    const CommandLine commandLine =
        ReadCommandLine(args, state.gConversionOptions, state.ProgramFolder, currentFolder);
    switch (commandLine.action) {
    case CommandLineAction::Error:
        fmt::print(stderr, "vok: {}\nTry 'vok --help'.\n", commandLine.error);
        return 2;
    case CommandLineAction::ShowHelp:
        fmt::print("{}", UsageText());
        return 0;
    case CommandLineAction::ShowVersion:
        fmt::print("vok {}\n", VOK_VERSION);
        return 0;
    case CommandLineAction::Interactive:
        // The desktop program comes with its own target; here a short usage text.
        fmt::print("{}", UsageText());
        return 0;
    case CommandLineAction::RunJob:
        break;
    }
    // "/?" shows the how-to-use text, then the job runs as parsed.
    if (commandLine.helpRequested) fmt::print("{}", UsageText());

    // 7. Command-line mode: the form's settings are read, nothing is written back.
    state.gCommandLineMode = true;
    const clsConversionOptions& options = state.gConversionOptions;
    messages.SetLogFile(options.sLogFile);
    messages.SetVerbose(options.bVerbose);
    ReadSettings(state);
    ConversionJob job(state);
    job.BeginProcessing();
    return messages.FailureShown() ? 1 : 0;
}

} // namespace

int Main(const std::vector<std::string>& args) {
    try {
        return RunCommandLine(args);
    } catch (const std::exception& e) {
        // Nothing should get here; if it does, say what happened instead of crashing.
        fmt::print(stderr, "vok: unexpected failure: {}\n", e.what());
        return 1;
    }
}

} // namespace vok
