// An observer for tests: every message, question, status text and file event
// is recorded; questions are answered from a queue (Yes when it is empty).
// Calls may come from a job's worker thread; read the records after the job
// has ended.
#pragma once

#include "base/JobObserver.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vok {

class RecordingObserver : public JobObserver {
public:
    struct Entry {
        std::string text;
        MessageIcon icon;
        std::string caption;
        MessageKind kind;
    };
    struct FileEvent {
        std::filesystem::path input;
        std::filesystem::path output;
        FileOutcome outcome;
    };

    void Beep() override { ++beeps; }

    void FileStarted(int64_t index, int64_t count, const std::filesystem::path& input) override {
        events.push_back("started " + std::to_string(index) + " of " + std::to_string(count) + " " +
                         input.string());
    }
    void RowsDone(int64_t done, int64_t total) override {
        ++rowReports;
        lastRowsDone = done;
        lastRowsTotal = total;
        if (onRowsDone) onRowsDone(done, total);
    }
    void StatusChanged(StatusTarget target, std::string_view text) override {
        status[target] = std::string(text);
    }
    void FileFinished(const std::filesystem::path& input, const std::filesystem::path& output,
                      const FileOutcome& outcome) override {
        events.push_back("finished " + std::string(FileOutcomeName(outcome.kind)) + " " +
                         input.string());
        files.push_back({input, output, outcome});
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Entry& e : shown)
            texts.push_back(e.text);
        return texts;
    }
    bool FailureShown() const { return FailuresShown() > 0; }
    std::string Status(StatusTarget target) const {
        const auto it = status.find(target);
        return it == status.end() ? std::string() : it->second;
    }

    std::vector<Entry> shown;
    std::vector<Entry> asked;
    std::deque<bool> answers;
    std::map<StatusTarget, std::string> status;
    std::vector<std::string> events; // file events in the order they came
    std::vector<FileEvent> files;
    int beeps = 0;
    int64_t rowReports = 0;
    int64_t lastRowsDone = -1;
    int64_t lastRowsTotal = -1;
    // Called at each row report, on the job's thread.
    std::function<void(int64_t done, int64_t total)> onRowsDone;

protected:
    void DisplayMessage(std::string_view text, MessageIcon icon, std::string_view caption,
                        MessageKind kind) override {
        shown.push_back({std::string(text), icon, std::string(caption), kind});
        events.push_back("message " + std::string(text));
    }
    bool DisplayQuestion(std::string_view text, MessageIcon icon,
                         std::string_view caption) override {
        asked.push_back({std::string(text), icon, std::string(caption), MessageKind::Notice});
        events.push_back("question " + std::string(text));
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace vok
