// Messages for tests: every box and question is recorded with its text, icon
// and caption; questions are answered from a queue (Yes when it is empty).
#pragma once

#include "base/Messages.h"

#include <deque>
#include <string>
#include <vector>

namespace vok {

class RecordingMessages : public Messages {
public:
    struct Entry {
        std::string text;
        MessageIcon icon;
        std::string caption;
        MessageKind kind;
    };

    void Show(std::string_view text, MessageIcon icon, std::string_view caption,
              MessageKind kind) override {
        NoteShown(kind);
        shown.push_back({std::string(text), icon, std::string(caption), kind});
    }

    bool AskYesNo(std::string_view text, MessageIcon icon, std::string_view caption) override {
        asked.push_back({std::string(text), icon, std::string(caption), MessageKind::Notice});
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    bool ProcessEvents() override {
        ++eventRuns;
        if (stopAfterEventRuns > 0 && eventRuns == stopAfterEventRuns) return true;
        return false;
    }

    void Beep() override { ++beeps; }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Entry& e : shown)
            texts.push_back(e.text);
        return texts;
    }

    std::vector<Entry> shown;
    std::vector<Entry> asked;
    std::deque<bool> answers;
    int eventRuns = 0;
    int stopAfterEventRuns = 0; // simulates a stop request at that event run
    int beeps = 0;
};

} // namespace vok
