#include "app/CommandLineMessages.h"

#include "base/Clock.h"
#include "base/modUtilityFile.h"

#include <csignal>
#include <ctime>
#include <fmt/format.h>

namespace vok {

namespace {

// A signal handler can reach nothing but a flag of this kind.
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
    gInterrupted = 1;
    // A second Ctrl+C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

CommandLineMessages::CommandLineMessages() {
    gInterrupted = 0;
    std::signal(SIGINT, OnInterrupt);
}

CommandLineMessages::~CommandLineMessages() {
    std::signal(SIGINT, SIG_DFL);
}

void CommandLineMessages::SetLogFile(const std::string& path) {
    if (path.empty()) return;
    log_.reset(std::fopen(NativePath(path).c_str(), "ab"));
    if (!log_) fmt::print(stderr, "Cannot write the log file {}\n", path);
}

void CommandLineMessages::Log(std::string_view text) {
    if (!log_) return;
    fmt::print(log_.get(), "[{}] {}\n", FormatDateTime(std::time(nullptr)), text);
    std::fflush(log_.get());
}

void CommandLineMessages::Show(std::string_view text, MessageIcon, std::string_view,
                               MessageKind kind) {
    NoteShown(kind);
    fmt::print(stderr, "{}\n", text);
    std::fflush(stderr);
    Log(text);
}

bool CommandLineMessages::AskYesNo(std::string_view text, MessageIcon, std::string_view) {
    // Only the stop question is asked here, and only after Ctrl+C.
    fmt::print(stderr, "{} Yes\n", text);
    Log(text);
    // A stopped job wrote only part of its output: that is no success.
    NoteShown(MessageKind::Failure);
    return true;
}

bool CommandLineMessages::ProcessEvents() {
    if (!gInterrupted) return false;
    gInterrupted = 0;
    return true;
}

void CommandLineMessages::FileConverted(std::string_view input, std::string_view output) {
    Log(fmt::format("Converted {} to {}", input, output));
}

void CommandLineMessages::StatusChanged(StatusTarget target, std::string_view text) {
    if (!verbose_ || text.empty()) return;
    // Row progress changes once per row; a few lines a second are enough to follow it.
    if (target == StatusTarget::Progress) {
        const int64_t now = TickCount();
        if (now - lastProgressTick_ < 250 && text != "Conversion Complete") return;
        lastProgressTick_ = now;
    }
    // The panel's own label tells what the bare number is.
    if (target == StatusTarget::ElapsedTime) fmt::print(stderr, "Total Time (Sec): {}\n", text);
    else fmt::print(stderr, "{}\n", text);
}

} // namespace vok
