#include "pdf/PdfReport.h"

#include "base/ProgramLayout.h"
#include "pdf/grid/PdfTextOutcome.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vok {

namespace {

// How the reader process ended.
struct ReaderRun {
    int status = -1; // its exit status, when it exited
    int signal = 0;  // the signal that ended it, when one did
    bool stopped = false;
    std::string error; // why it could not be started
};

// The reader beside the program (in lib/vok/ of an installation), or the
// build tree's for programs built into a folder of their own.
std::filesystem::path PdfReaderPath() {
    const ProgramLayout layout = ThisProgramLayout();
    std::error_code ec;
    if (!layout.moduleFolder.empty()) {
        const std::filesystem::path beside = layout.moduleFolder / kPdfReaderProgram;
        if (std::filesystem::exists(beside, ec) || layout.installed) return beside;
    }
    return std::filesystem::path(VOK_PDF_READER_DIR) / kPdfReaderProgram;
}

// Waits for the reader to end, asking `stopped` now and then; a stop kills it.
void AwaitReader(pid_t pid, const StopCheck& stopped, ReaderRun& run) {
    // A descriptor of the process wakes the wait the moment it ends.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        if (stopped && stopped()) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            run.stopped = true;
            break;
        }
        if (pidfd >= 0) {
            pollfd wait{pidfd, POLLIN, 0};
            ::poll(&wait, 1, 50);
        } else {
            ::usleep(5000);
        }
    }
    if (pidfd >= 0) ::close(pidfd);
    if (run.stopped) return;
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
}

// Runs the reader on `pdf` with its standard output into `out`; its input
// and its error output go nowhere.
ReaderRun RunPdfReader(const std::filesystem::path& pdf, int out, const StopCheck& stopped) {
    ReaderRun run;
    const std::filesystem::path program = PdfReaderPath();
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string programText = program.native(), pdfText = pdf.native();
    std::array<char*, 3> argv{programText.data(), pdfText.data(), nullptr};
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        run.error = fmt::format("the PDF reader {} cannot be started: {}", program.string(),
                                std::strerror(error));
        return run;
    }
    AwaitReader(pid, stopped, run);
    return run;
}

// The message that ends a PDF report the reader made no text of.
std::string ProblemOf(const std::filesystem::path& pdf, const ReaderRun& run) {
    const std::string name = pdf.string();
    if (!run.error.empty())
        return fmt::format("Cannot read the PDF report {}: {}.", name, run.error);
    if (run.stopped)
        return fmt::format("The PDF report {} was not read: the job was stopped.", name);
    if (run.signal != 0)
        return fmt::format("Cannot read the PDF report {}: the PDF library failed on it ({}).",
                           name, strsignal(run.signal));
    switch (run.status) {
    case kPdfTextNoText:
        return fmt::format("The PDF report {} holds no text layer: it may be a scanned image.",
                           name);
    case kPdfTextLocked:
        return fmt::format("The PDF report {} is encrypted and needs a password to open; vok "
                           "cannot read it.",
                           name);
    case kPdfTextUnreadable:
        return fmt::format("Cannot read the PDF report {}: it is damaged, or no PDF the PDF "
                           "library can open.",
                           name);
    case kPdfTextWriteFailed:
        return fmt::format("Cannot read the PDF report {}: its text could not be written to a "
                           "temporary file (is the temporary folder full?).",
                           name);
    default:
        return fmt::format("Cannot read the PDF report {}: the PDF reader ended with status {}.",
                           name, run.status);
    }
}

ReportSource RebuildPdf(const std::filesystem::path& pdf, const StopCheck& stopped) {
    ReportSource source;
    std::string error;
    auto text = std::make_shared<TemporaryText>(TemporaryText::Make(error));
    if (!text->IsOpen()) {
        source.problem =
            fmt::format("Cannot read the PDF report {}: no temporary file for its text: {}.",
                        pdf.string(), error);
        return source;
    }
    const ReaderRun run = RunPdfReader(pdf, text->Descriptor(), stopped);
    if (!run.error.empty() || run.stopped || run.signal != 0 || run.status >= kPdfTextFailures ||
        run.status < 0) {
        source.problem = ProblemOf(pdf, run);
        return source;
    }
    // Rows lost with the missing part would pass unseen: a file cut short is
    // not converted.
    if (run.status & kPdfTextRepaired) {
        source.problem = fmt::format("The PDF report {} is damaged (cut short): some of its text "
                                     "may be missing, so vok does not read it.",
                                     pdf.string());
        return source;
    }
    source.readFrom = text->Path();
    source.rebuilt = std::move(text);

    if (run.status & kPdfTextProportional)
        source.notes.push_back({fmt::format("The PDF report {} is not set in a fixed-pitch font: "
                                            "columns may not line up.",
                                            pdf.string()),
                                false});
    return source;
}

} // namespace

bool StartsAsPdf(int descriptor) {
    char head[5] = {};
    return ::pread(descriptor, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) &&
           std::memcmp(head, "%PDF-", sizeof head) == 0;
}

bool StartsAsPdf(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    // Only a regular file is looked into: a pipe or device is refused later.
    const bool pdf = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && StartsAsPdf(fd);
    ::close(fd);
    return pdf;
}

ReportSource ReportSourceOf(const std::filesystem::path& report, const StopCheck& stopped) {
    return ReportSourceOf(report, -1, stopped);
}

ReportSource ReportSourceOf(const std::filesystem::path& report, int descriptor,
                            const StopCheck& stopped) {
    const bool pdf = descriptor >= 0 ? StartsAsPdf(descriptor) : StartsAsPdf(report);
    return pdf ? RebuildPdf(report, stopped) : ReportSource::Plain(report);
}

bool CopyRebuiltText(const ReportSource& source, int out, std::string& error) {
    std::vector<char> block(1 << 16);
    off_t offset = 0;
    for (;;) {
        const ssize_t got =
            ::pread(source.rebuilt->Descriptor(), block.data(), block.size(), offset);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) return true;
        if (got < 0 || ::write(out, block.data(), static_cast<size_t>(got)) != got) {
            error = std::strerror(errno);
            return false;
        }
        offset += got;
    }
}

std::filesystem::path KeepRebuiltText(const ReportSource& source,
                                      const std::filesystem::path& report, std::string& error) {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) folder = "/tmp";
    std::string name = (folder / ("vok-" + report.stem().string() + "-XXXXXX.txt")).native();
    const int out = ::mkostemps(name.data(), 4, O_CLOEXEC);
    if (out < 0) {
        error = std::strerror(errno);
        return {};
    }
    if (!CopyRebuiltText(source, out, error)) {
        ::close(out);
        ::unlink(name.c_str());
        return {};
    }
    ::fchmod(out, 0400);
    ::close(out);
    return name;
}

ReportSource RebuiltTextMemo::SourceOf(const std::filesystem::path& report,
                                       const StopCheck& stopped) {
    struct stat now {};
    if (::stat(report.c_str(), &now) != 0 || !StartsAsPdf(report))
        return ReportSource::Plain(report);
    const auto same = [&](const Kept& k) {
        return k.report == report && k.file.st_dev == now.st_dev && k.file.st_ino == now.st_ino &&
               k.file.st_size == now.st_size && k.file.st_mtim.tv_sec == now.st_mtim.tv_sec &&
               k.file.st_mtim.tv_nsec == now.st_mtim.tv_nsec;
    };
    std::unique_lock lock(mutex_);
    if (const auto k = std::find_if(kept_.begin(), kept_.end(), same); k != kept_.end())
        return k->source;
    lock.unlock();
    // A text cut short by a stop is not kept.
    bool stop = false;
    ReportSource source = RebuildPdf(report, [&stopped, &stop] {
        stop = stop || (stopped && stopped());
        return stop;
    });
    if (stop) return source;
    lock.lock();
    if (kept_.size() == kKept) kept_.erase(kept_.begin());
    kept_.push_back({report, now, source});
    return source;
}

ReportSourceMaker PdfAwareSources(StopCheck stopped) {
    return [stopped = std::move(stopped)](const std::filesystem::path& report, int descriptor) {
        return ReportSourceOf(report, descriptor, stopped);
    };
}

} // namespace vok
