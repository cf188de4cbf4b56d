#include "cli/TerminalProgress.h"

#include "base/Clock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fmt/format.h>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vok {

namespace {

constexpr int64_t kFirstDrawAfter = 500; // milliseconds of the job
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr std::string_view kClearLine = "\r\x1b[K";

// 1234567 as "1,234,567".
std::string Grouped(int64_t number) {
    std::string digits = std::to_string(number < 0 ? 0 : number);
    for (int64_t at = static_cast<int64_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), 1, ',');
    return digits;
}

// A rate as "950", "81k" or "2.2M".
std::string Compact(int64_t number) {
    if (number < 10000) return std::to_string(number);
    if (number < 1000000) return fmt::format("{}k", number / 1000);
    return fmt::format("{:.1f}M", static_cast<double>(number) / 1e6);
}

// Seconds as "0:07", "12:30" or "1:02:03".
std::string Duration(int64_t seconds) {
    if (seconds >= 3600)
        return fmt::format("{}:{:02}:{:02}", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return fmt::format("{}:{:02}", seconds / 60, seconds % 60);
}

// A file name as the terminal may show it: a control character in it would
// move the cursor or start an escape sequence.
std::string Printable(std::string_view name) {
    std::string shown(name);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) c = '?';
    }
    return shown;
}

// The text cut to `width` characters (UTF-8: continuation bytes take no column).
void CutToWidth(std::string& text, int width) {
    int columns = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (++columns > width) {
            text.resize(i);
            return;
        }
    }
}

} // namespace

TerminalProgress::TerminalProgress(int fd)
    : fd_(fd), start_(TickCount()), fileStart_(start_),
      drawer_([this](std::stop_token stop) { Run(stop); }) {}

TerminalProgress::~TerminalProgress() {
    drawer_.request_stop();
    if (drawer_.joinable()) drawer_.join();
    const std::lock_guard lock(mutex_);
    if (shown_) Write(kClearLine);
}

bool TerminalProgress::Suits(int fd) {
    const char* term = std::getenv("TERM");
    return ::isatty(fd) == 1 && !(term && std::string_view(term) == "dumb");
}

void TerminalProgress::FileStarted(int64_t index, int64_t count,
                                   const std::filesystem::path& input) {
    const std::lock_guard lock(mutex_);
    state_ = State{};
    state_.fileIndex = index;
    state_.fileCount = count;
    state_.fileName = Printable(input.filename().native());
    tableRows_.store(0, std::memory_order_relaxed);
    fileStart_ = TickCount();
}

void TerminalProgress::TableStarted(int32_t table, int64_t firstLine, int64_t reportLines) {
    const std::lock_guard lock(mutex_);
    // The rows of the table before count for the file.
    state_.rows += tableRows_.exchange(0, std::memory_order_relaxed);
    state_.table = table;
    state_.firstLine = firstLine;
    state_.reportLines = reportLines;
}

void TerminalProgress::WriteAbove(std::string_view text) {
    const std::lock_guard lock(mutex_);
    if (shown_) Write(kClearLine);
    Write(text);
    // Drawn again at once, so that the line does not blink away.
    if (shown_) Draw();
}

std::string TerminalProgress::Compose(const State& state, int width) {
    std::string text = fmt::format("file {} of {} {}", state.fileIndex, state.fileCount,
                                   state.fileName);
    if (state.table == 0) {
        text += "  reading the report";
    } else {
        const int64_t rows = state.rows + state.tableRows;
        text += fmt::format("  Table {}  {} rows", state.table, Grouped(rows));
        // The line of the row begun, of all the report's lines.
        const int64_t line = state.firstLine + std::max<int64_t>(state.tableRows - 1, 0);
        const double share =
            state.reportLines > 0
                ? std::clamp(static_cast<double>(line) / static_cast<double>(state.reportLines),
                             0.0, 1.0)
                : 0.0;
        text += fmt::format("  {}%", static_cast<int>(share * 100));
        const double seconds = static_cast<double>(state.fileMilliseconds) / 1000.0;
        if (seconds > 0)
            text += fmt::format("  {} rows/s",
                                Compact(static_cast<int64_t>(static_cast<double>(rows) / seconds)));
        if (share >= 0.01 && share < 1.0)
            text += fmt::format("  {} left",
                                Duration(static_cast<int64_t>(seconds * (1.0 - share) / share)));
    }
    CutToWidth(text, width);
    return text;
}

int TerminalProgress::Width() const {
    winsize size{};
    if (::ioctl(fd_, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 79;
    // The last column left free: writing into it wraps on some terminals.
    return size.ws_col - 1;
}

TerminalProgress::State TerminalProgress::Snapshot() const {
    State now = state_;
    now.tableRows = tableRows_.load(std::memory_order_relaxed);
    now.fileMilliseconds = TickCount() - fileStart_;
    return now;
}

TerminalProgress::State TerminalProgress::Current() {
    const std::lock_guard lock(mutex_);
    return Snapshot();
}

void TerminalProgress::Draw() {
    Write("\r" + Compose(Snapshot(), Width()) + "\x1b[K");
    shown_ = true;
}

void TerminalProgress::Write(std::string_view bytes) {
    // A terminal that stops taking output loses the line, never the job.
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

void TerminalProgress::Run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        // Sleeps a tenth of a second, or until the end is asked for.
        wake_.wait_for(lock, stop, kRedrawEvery, [] { return false; });
        if (stop.stop_requested()) break;
        if (TickCount() - start_ >= kFirstDrawAfter) Draw();
    }
}

} // namespace vok
