// The command line's observer of a job: every message goes to standard error
// and the program never waits for a key; a question, which nothing on the
// command line raises (an interrupt stops without asking), would be answered
// Yes. With a log file every message and the outcome
// of every file are also written there with their date and time; in verbose
// mode the progress texts go to standard error too. On a terminal a job may
// show a progress line instead, with the messages written above it.
#pragma once

#include "base/JobObserver.h"
#include "cli/TerminalProgress.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vok {

class CommandLineObserver : public JobObserver {
public:
    // Opens the log for appending; false (after a message) when it cannot be written.
    bool SetLogFile(const std::filesystem::path& path);
    void SetVerbose(bool verbose) { verbose_ = verbose; }
    // Shows the progress line on the terminal open on `fd` until EndProgressLine.
    void ShowProgressLine(int fd) { progress_ = std::make_unique<TerminalProgress>(fd); }
    void EndProgressLine() { progress_.reset(); }

    void FileStarted(int64_t index, int64_t count, const std::filesystem::path& input) override;
    void TableStarted(int32_t table, int64_t firstLine, int64_t reportLines) override;
    void RowsDone(int64_t done, int64_t total) override;
    void StatusChanged(StatusTarget target, std::string_view text) override;
    void FileFinished(const std::filesystem::path& input, const std::filesystem::path& output,
                      const FileOutcome& outcome) override;

    // After an interrupt: which output it left unchanged, and in a job of
    // several files which outputs were complete before it.
    void SayStopped();

protected:
    void DisplayMessage(std::string_view text, MessageIcon icon, std::string_view caption,
                        MessageKind kind) override;
    bool DisplayQuestion(std::string_view text, MessageIcon icon,
                         std::string_view caption) override;

private:
    void Log(std::string_view text);
    // Standard error, above the progress line when there is one.
    void WriteError(std::string_view text);
    // A few progress lines a second are enough to follow a long table.
    bool ProgressDue();

    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> log_;
    std::filesystem::path logPath_;
    bool logFailed_ = false;
    bool verbose_ = false;
    std::string caption_;
    int64_t lastProgressTick_ = 0;
    std::unique_ptr<TerminalProgress> progress_;
    // For SayStopped: the outputs written, the one an interrupt left as it
    // was, and the job's file count.
    std::vector<std::filesystem::path> written_;
    std::filesystem::path stoppedOutput_;
    int64_t fileCount_ = 0;
};

} // namespace vok
