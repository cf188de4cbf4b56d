#include "app/MainModule.h"

#include "app/CommandLineObserver.h"
#include "app/ConversionJob.h"
#include "app/InterruptWatcher.h"
#include "app/ProgramSettings.h"
#include "app/modParseCommandLine.h"
#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/modUtilityFile.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fmt/format.h>
#include <system_error>

#ifndef VOK_VERSION
#define VOK_VERSION "1.0.0"
#endif

namespace vok {

void WriteErrorLogHeader(const std::filesystem::path& errorLogFile) {
    // A failure here is silent: start-up goes on without a log. The log is
    // remade at every start, so it is written over in place, without waiting
    // for the disk.
    std::string error;
    ReplaceFileContents(errorLogFile,
                        "VOK Wizard Error Log [" + FormatDateTime(std::time(nullptr)) + "]\r\n",
                        error, AtomicFile::Durability::InPlace);
}

void CreateDefaultConfigFile(const std::filesystem::path& configFile) {
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
    // Only the defaults, which the next start writes again if they are lost:
    // not worth waiting for the disk.
    std::string error;
    ReplaceFileContents(configFile, kDefault, error, AtomicFile::Durability::Unsynced);
}

namespace {

int RunCommandLine(const std::vector<std::string>& args) {
    ProgramSettings program(ProgramFolderPath());

    // The error log is reset before anything else can fail.
    WriteErrorLogHeader(program.gErrorLogFile);
    // config.ini exists before any setting is read.
    if (!FileExists(program.gConfigFile)) CreateDefaultConfigFile(program.gConfigFile);

    // The command line.
    std::error_code ec;
    clsConversionOptions options;
    const CommandLine commandLine =
        ReadCommandLine(args, options, program.ProgramFolder, std::filesystem::current_path(ec));
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

    // Command-line mode: the form's settings are read, nothing is written back.
    CommandLineObserver observer;
    observer.SetLogFile(options.sLogFile);
    observer.SetVerbose(options.bVerbose);
    program.ReadSettings(observer);
    ConversionJob job(program, options, observer);
    const InterruptWatcher watcher([&job] { job.RequestStop(); });
    const JobResult result = job.BeginProcessing();
    return result.Succeeded() && observer.FailuresShown() == 0 ? 0 : 1;
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
