// One status line at the foot of a terminal, redrawn in place while a job
// runs: file i of n and its name, the table, the rows written, the share of
// the report read, the rate and the time left. A thread of its own draws it,
// only once the job has run for half a second and at most ten times a
// second, so that the job pays one store per row for it. Messages are
// written above the line, never through it; the line is cleared at the end.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace vok {

class TerminalProgress {
public:
    // Draws on the terminal open on `fd`.
    explicit TerminalProgress(int fd);
    // Stops drawing and clears the line.
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void FileStarted(int64_t index, int64_t count, const std::filesystem::path& input);
    void TableStarted(int32_t table, int64_t firstLine, int64_t reportLines);
    // Rows of the running table begun; called for every row.
    void RowsDone(int64_t done) { tableRows_.store(done + 1, std::memory_order_relaxed); }
    // Writes text (whole lines) above the status line.
    void WriteAbove(std::string_view text);

    // Whether a status line can be drawn on `fd`: a terminal that knows how
    // to clear a line.
    static bool Suits(int fd);

    // The status line for the state of a job, `width` columns at most.
    struct State {
        int64_t fileIndex = 0, fileCount = 0;
        std::string fileName;
        int32_t table = 0; // 0 before the first table
        int64_t firstLine = 0, reportLines = 0;
        int64_t rows = 0;          // rows begun in the file, all tables
        int64_t tableRows = 0;     // of them, in the running table
        int64_t fileMilliseconds = 0;
    };
    static std::string Compose(const State& state, int width);
    // The state of the job as the line would show it now. Only the tests ask:
    // a line drawn to no terminal cannot be read back.
    State Current();

private:
    State Snapshot() const; // with the mutex held
    void Draw();            // with the mutex held
    void Write(std::string_view bytes);
    void Run(std::stop_token stop);
    int Width() const;

    const int fd_;
    const int64_t start_;
    std::atomic<int64_t> tableRows_{0};
    std::mutex mutex_; // guards what follows and the terminal
    State state_;
    int64_t fileStart_ = 0;
    bool shown_ = false;
    std::condition_variable_any wake_;
    std::jthread drawer_; // last: it starts once everything else is ready
};

} // namespace vok
