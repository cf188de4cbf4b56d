#include "cli/MainModule.h"

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/HelpTopics.h"
#include "base/ProgramLayout.h"
#include "base/modUtilityFile.h"
#include "cli/CommandLineObserver.h"
#include "cli/InterruptWatcher.h"
#include "cli/PreviewText.h"
#include "cli/modParseCommandLine.h"
#include "engine/InputChecks.h"
#include "engine/RecipePreview.h"
#include "job/ConversionJob.h"
#include "job/ProgramSettings.h"
#include "output/OutputType.h"
#include "pdf/PdfReport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <netdb.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

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

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Whether something listens on the socket; a remote one gets a second.
bool CanConnect(const sockaddr* address, socklen_t length) {
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool connected = ::connect(fd, address, length) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd wait{fd, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        connected = ::poll(&wait, 1, 1000) == 1 &&
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    ::close(fd);
    return connected;
}

bool CanConnectToSocketFile(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    path.copy(address.sun_path, path.size());
    return CanConnect(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

// An X display "[host]:number[.screen]": its socket file, or TCP port 6000 + number.
bool XDisplayReachable(const std::string& display) {
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.size() > 5 ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    if (host.empty() || host == "unix") return CanConnectToSocketFile("/tmp/.X11-unix/X" + number);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(6000 + std::stoi(number));
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return false;
    bool reachable = false;
    for (const addrinfo* a = found; a && !reachable; a = a->ai_next)
        reachable = CanConnect(a->ai_addr, a->ai_addrlen);
    ::freeaddrinfo(found);
    return reachable;
}

bool WaylandDisplayReachable(const std::string& name) {
    if (!name.empty() && name.front() == '/') return CanConnectToSocketFile(name);
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    return !runtime.empty() && CanConnectToSocketFile(runtime + "/" + name);
}

} // namespace

bool HasDisplay() {
    // A platform other than X or Wayland (offscreen, say) needs no server.
    const std::string platform = Environment("QT_QPA_PLATFORM");
    if (!platform.empty() && platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0)
        return true;
    const std::string wayland = Environment("WAYLAND_DISPLAY");
    if (!wayland.empty() && platform.rfind("xcb", 0) != 0 && WaylandDisplayReachable(wayland))
        return true;
    const std::string x = Environment("DISPLAY");
    return !x.empty() && platform.rfind("wayland", 0) != 0 && XDisplayReachable(x);
}

void StartDesktopProgram() {
    // The desktop is its own executable, so that command-line jobs never load Qt.
    const std::filesystem::path desktop = ExecutableFolder() / "vok-desktop";
    std::string program = desktop.string();
    char* const argv[] = {program.data(), nullptr};
    ::execv(program.c_str(), argv);
}

bool OpenHelpTopic(int32_t topic) {
    const std::filesystem::path page = HelpPageFile(topic);
    if (page.empty() || !FileExists(page)) return false;
    // The desktop's opener, started and left to itself; its output would only
    // mix with the job's messages.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    std::string opener = "xdg-open";
    std::string url = FileUrl(page);
    char* const argv[] = {opener.data(), url.data(), nullptr};
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, opener.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0;
}

namespace {

// A preview of the job: what it would write, printed; nothing is written.
// The exit status is a job's: 1 when anything but a notice was said.
int RunPreview(const ProgramSettings& program, const clsConversionOptions& options,
               CommandLineObserver& observer) {
    if (options.sInputFile.native().find('*') != std::string::npos) {
        observer.Show("A preview takes one report, not a folder pattern: " +
                          options.sInputFile.string(),
                      MessageIcon::Exclamation);
        return 1;
    }
    PreviewRequest request;
    request.source = options.bUseRecipe ? PreviewRequest::Source::RecipeFile
                                        : PreviewRequest::Source::MarkedReport;
    request.recipeFile = options.sRecipeFile;
    request.report = options.sInputFile;
    request.tabSize = options.lTabSize;
    request.rowLimit = options.lPreviewRows;
    // The limits of the workbook the job would write; CSV has none of its own.
    request.outputType = OutputTypeOf(options.sOutputFile).value_or(OutputType::Xlsx);
    if (!IsWorkbook(request.outputType)) request.outputType = OutputType::Xlsx;
    request.tabNoticeShown = program.Settings.bWarnedAboutTabsInFile;
    request.specName = program.ExportSpecsFile;
    // The report view reads the text the preview rebuilt from a PDF.
    request.pdfTexts = std::make_shared<RebuiltTextMemo>();
    StopRequest stop;
    InterruptWatcher watcher([&stop](int) { stop.RequestStop(); });
    std::unique_ptr<TextIndex> index;
    const PreviewResult result = PreviewRecipe(request, stop, &index);
    watcher.Finish();
    if (watcher.Signal() != 0) return watcher.ExitStatus();
    for (const PreviewMessage& message : result.messages)
        observer.Show(message.text, message.icon, {}, message.kind);
    ReportLineSource report = index ? ReportLineSource(std::move(index), request.tabSize)
                                    : ReportLineSource(result.report, request.tabSize,
                                                       request.pdfTexts.get());
    fmt::print("{}", FormatPreview(result, report));
    std::fflush(stdout);
    return observer.FailuresShown() == 0 && !result.stopped ? 0 : 1;
}

// The program's own folders, made on first use, then the error log and the
// default config.ini in them. False, with the reason, when a folder cannot be made.
bool PrepareProgramFiles(const ProgramFolders& folders, const ProgramSettings& program,
                         std::string& error) {
    if (!MakeProgramFolders(folders, error)) return false;
    // The error log is reset before anything else can fail.
    WriteErrorLogHeader(program.gErrorLogFile);
    // config.ini exists before any setting is read.
    if (!FileExists(program.gConfigFile)) CreateDefaultConfigFile(program.gConfigFile);
    return true;
}

// What a command line that runs no job does: its exit status, or nothing
// for a job.
std::optional<int> AnswerWithoutJob(const CommandLine& commandLine) {
    switch (commandLine.action) {
    case CommandLineAction::Error:
        fmt::print(stderr, "vok: {}\nTry 'vok --help'.\n", commandLine.error);
        return 2;
    case CommandLineAction::Refused:
        // A value the options dialog would refuse too: said as a job's message.
        fmt::print(stderr, "{}\n", commandLine.error);
        return 1;
    case CommandLineAction::ShowHelp:
        fmt::print("{}", UsageText());
        return 0;
    case CommandLineAction::ShowVersion:
        fmt::print("vok {}\n", VOK_VERSION);
        return 0;
    case CommandLineAction::Interactive:
        // Without a display (or without the desktop program) the usage text.
        fmt::print("{}", UsageText());
        return 0;
    case CommandLineAction::RunJob:
    case CommandLineAction::PdfText:
        break;
    }
    return std::nullopt;
}

// --pdf-text: the text a PDF report is read as, on standard output, LF line
// ends; what was said of the PDF on standard error.
int PrintPdfText(const std::filesystem::path& report) {
    if (!FileExists(report)) {
        fmt::print(stderr, "{}\n", NoSuchFileMessage("Input file: ", report));
        return 1;
    }
    if (!StartsAsPdf(report)) {
        fmt::print(stderr, "The file {} is no PDF: its content does not begin with %PDF-.\n",
                   report.string());
        return 1;
    }
    const ReportSource source = ReportSourceOf(report, {});
    int status = 0;
    for (const ReportNote& note : source.notes) {
        fmt::print(stderr, "{}\n", note.text);
        if (note.failure) status = 1;
    }
    if (!source.problem.empty()) {
        fmt::print(stderr, "{}\n", source.problem);
        return 1;
    }
    std::string error;
    if (!CopyRebuiltText(source, STDOUT_FILENO, error)) {
        fmt::print(stderr, "Cannot write the text of {}: {}\n", report.string(), error);
        return 1;
    }
    return status;
}

// The log is appended to from the first message on: naming the report, the
// recipe or the output as the log would write into it. True, said, when it does.
bool LogFileIsAnotherFile(const clsConversionOptions& options) {
    for (const auto& [other, what] :
         {std::pair{&options.sInputFile, "input"}, std::pair{&options.sRecipeFile, "recipe"},
          std::pair{&options.sOutputFile, "output"}}) {
        if (!options.sLogFile.empty() && SameFile(options.sLogFile, *other)) {
            fmt::print(stderr, "The log file {} is the {} file {}; nothing was converted.\n",
                       options.sLogFile.string(), what, other->string());
            return true;
        }
    }
    return false;
}

// The job, with the interrupts (Ctrl+C, SIGTERM, SIGHUP) as its stop request
// and, on a terminal, the progress line. An interrupted job keeps every
// output it had not completed as it was, says so, and ends with the status
// of that signal.
int RunJob(ProgramSettings& program, const clsConversionOptions& options,
           CommandLineObserver& observer) {
    program.ReadSettings(observer);
    ConversionJob job(program, options, observer);
    InterruptWatcher watcher([&job](int) { job.RequestInterrupt(); });
    // A long job on a terminal shows where it is; -v prints its own lines.
    if (!options.bQuiet && !options.bVerbose && TerminalProgress::Suits(STDERR_FILENO))
        observer.ShowProgressLine(STDERR_FILENO);
    const JobResult result = job.BeginProcessing();
    observer.EndProgressLine();
    watcher.Finish();
    if (watcher.Signal() != 0) {
        observer.SayStopped();
        return watcher.ExitStatus();
    }
    return result.Succeeded() && observer.FailuresShown() == 0 ? 0 : 1;
}

int RunCommandLine(const std::vector<std::string>& args) {
    const ProgramFolders folders = ThisProgramFolders();
    ProgramSettings program(folders);

    // The command line.
    std::error_code ec;
    clsConversionOptions options;
    const CommandLine commandLine =
        ReadCommandLine(args, options, program.ProgramFolder, std::filesystem::current_path(ec));
    // A preview writes nothing, not even the error log, a default config.ini
    // or its folders, also when its command line is refused. A log it writes
    // only when -l asks.
    const bool preview = commandLine.action == CommandLineAction::RunJob && options.bPreview;
    std::string folderError;
    const bool foldersReady = options.bPreview ||
                              commandLine.action == CommandLineAction::PdfText ||
                              PrepareProgramFiles(folders, program, folderError);
    if (const std::optional<int> status = AnswerWithoutJob(commandLine)) return *status;
    // Rebuilding a PDF's text writes nothing but the text.
    if (commandLine.action == CommandLineAction::PdfText) return PrintPdfText(options.sInputFile);
    // "/?" opens the how-to-use page on a desktop, or prints the usage text;
    // then the job runs as parsed.
    if (commandLine.helpRequested && !(HasDisplay() && OpenHelpTopic(kHelpHowToUseTopic)))
        fmt::print("{}", UsageText());
    if (LogFileIsAnotherFile(options)) return 1;

    // A log that is a device or a named pipe would take the messages away
    // (or wait for a reader): refused before anything is done.
    if (const std::string kind = NonFileTarget(options.sLogFile); !kind.empty()) {
        fmt::print(stderr, "The log file {} is {}; nothing was converted.\n",
                   options.sLogFile.string(), kind);
        return 1;
    }
    // Command-line mode: the form's settings are read, nothing is written back.
    CommandLineObserver observer;
    observer.SetLogFile(options.sLogFile);
    observer.SetVerbose(options.bVerbose);
    // A job without its folders would have nowhere for its working files.
    if (!foldersReady) {
        observer.Show(folderError, MessageIcon::Critical);
        return 1;
    }
    if (preview) {
        // The settings as they stand; a missing config.ini is the defaults.
        if (FileExists(program.gConfigFile)) program.ReadSettings(observer);
        return RunPreview(program, options, observer);
    }
    return RunJob(program, options, observer);
}

} // namespace

int Main(const std::vector<std::string>& args) {
    IgnoreFileSizeSignal();
    // No arguments on a desktop: the window. execv returns only when the
    // desktop program cannot be started; the usage text then says what to do.
    if (args.empty() && HasDisplay()) StartDesktopProgram();
    try {
        return RunCommandLine(args);
    } catch (const std::exception& e) {
        // Nothing should get here; if it does, say what happened instead of crashing.
        fmt::print(stderr, "vok: unexpected failure: {}\n", e.what());
        return 1;
    }
}

} // namespace vok
