#include "cli/CommandLineObserver.h"

#include "base/Clock.h"
#include "base/modUtilityFile.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <fmt/format.h>

namespace vok {

bool CommandLineObserver::SetLogFile(const std::filesystem::path& path) {
    if (path.empty()) return true;
    logPath_ = path;
    // A named pipe or a device that took the place of the file is not waited on.
    std::string error;
    const int fd = OpenForAppending(path, error);
    if (fd >= 0) {
        log_.reset(::fdopen(fd, "ab"));
        if (log_) return true;
        error = std::strerror(errno);
        ::close(fd);
    }
    Show(fmt::format("Cannot write the log file {}: {}", path.string(), error),
         MessageIcon::Critical);
    return false;
}

void CommandLineObserver::Log(std::string_view text) {
    if (!log_ || logFailed_) return;
    fmt::print(log_.get(), "[{}] {}\n", FormatDateTime(std::time(nullptr)), text);
    if (std::fflush(log_.get()) != 0) {
        // Said once; the messages still reach standard error.
        logFailed_ = true;
        Show(fmt::format("Cannot write the log file {}: {}", logPath_.string(),
                         std::strerror(errno)),
             MessageIcon::Critical);
    }
}

void CommandLineObserver::WriteError(std::string_view text) {
    if (progress_) {
        progress_->WriteAbove(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void CommandLineObserver::DisplayMessage(std::string_view text, MessageIcon, std::string_view,
                                         MessageKind) {
    WriteError(fmt::format("{}\n", text));
    Log(text);
}

bool CommandLineObserver::DisplayQuestion(std::string_view text, MessageIcon, std::string_view) {
    // The stop question belongs to the window's Pause; an interrupt asks nothing.
    WriteError(fmt::format("{} Yes\n", text));
    Log(text);
    return true;
}

void CommandLineObserver::FileStarted(int64_t index, int64_t count,
                                      const std::filesystem::path& input) {
    fileCount_ = count;
    if (progress_) progress_->FileStarted(index, count, input);
}

void CommandLineObserver::TableStarted(int32_t table, int64_t firstLine, int64_t reportLines) {
    if (progress_) progress_->TableStarted(table, firstLine, reportLines);
}

bool CommandLineObserver::ProgressDue() {
    const int64_t now = TickCount();
    if (lastProgressTick_ != 0 && now - lastProgressTick_ < 250) return false;
    lastProgressTick_ = now;
    return true;
}

void CommandLineObserver::RowsDone(int64_t done, int64_t total) {
    if (progress_) progress_->RowsDone(done);
    if (!verbose_ || (done != 0 && !ProgressDue())) return;
    fmt::print(stderr, "{} row {} of {}\n", caption_, done + 1, total);
}

void CommandLineObserver::StatusChanged(StatusTarget target, std::string_view text) {
    if (target == StatusTarget::Caption) caption_.assign(text);
    if (!verbose_ || text.empty()) return;
    // The panel's own label tells what the bare number is.
    if (target == StatusTarget::ElapsedTime)
        fmt::print(stderr, "Total Time (Sec): {}\n", text);
    else
        fmt::print(stderr, "{}\n", text);
}

void CommandLineObserver::FileFinished(const std::filesystem::path& input,
                                       const std::filesystem::path& output,
                                       const FileOutcome& outcome) {
    if (outcome.written) written_.push_back(output);
    if (outcome.stopped) stoppedOutput_ = output;
    if (!log_ || logFailed_) return; // nothing formatted for a log that is not kept
    if (outcome.kind == FileOutcome::Kind::Converted)
        Log(fmt::format("Converted {} to {}", input.string(), output.string()));
    else
        Log(fmt::format("{} {}: {}", FileOutcomeName(outcome.kind), input.string(),
                        outcome.reason));
}

void CommandLineObserver::SayStopped() {
    std::string text;
    if (!stoppedOutput_.empty())
        text = fmt::format("Stopped: {} was not {}.", stoppedOutput_.string(),
                           FileExists(stoppedOutput_) ? "changed" : "written");
    else if (!written_.empty())
        text = fmt::format("Stopped: {} is complete; the stop came after it was saved.",
                           written_.back().string());
    else
        text = "Stopped: no output was changed.";
    // A folder job: which outputs are whole, a few by name (the log names each).
    if (fileCount_ > 1) {
        constexpr size_t kNamed = 10;
        text += fmt::format(" Outputs already complete: {} of {} files", written_.size(),
                            fileCount_);
        for (size_t i = 0; i < written_.size() && i < kNamed; ++i)
            text += (i == 0 ? ": " : ", ") + written_[i].string();
        if (written_.size() > kNamed) text += fmt::format(" and {} more", written_.size() - kNamed);
        text += ".";
    }
    Show(text, MessageIcon::Information, {}, MessageKind::Notice);
}

} // namespace vok
