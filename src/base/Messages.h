// The one way the core speaks to the user about a problem or asks a question:
// message boxes with a fixed text, icon and caption, and yes-or-no questions.
//
// The desktop shows modal boxes, command-line mode writes to standard error and
// never waits, and tests record everything and assert the exact texts. Every
// message is counted here, so that whoever runs a job can tell afterwards
// whether anything but a notice was shown.
#pragma once

#include "base/Outcome.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vok {

enum class MessageIcon { None, Critical, Exclamation, Warning, Information, Question };

// Notices report no failure: the command line still ends with status 0 after them.
enum class MessageKind { Failure, Notice };

class Messages {
public:
    virtual ~Messages() = default;

    // A message box with an OK button.
    void Show(std::string_view text, MessageIcon icon, std::string_view caption = {},
              MessageKind kind = MessageKind::Failure);

    // A question with Yes and No buttons; true for Yes.
    bool AskYesNo(std::string_view text, MessageIcon icon, std::string_view caption = {});

    virtual void Beep() {}

    // Messages other than notices shown so far.
    int64_t FailuresShown() const { return failures_.load(std::memory_order_relaxed); }

protected:
    virtual void DisplayMessage(std::string_view text, MessageIcon icon, std::string_view caption,
                                MessageKind kind) = 0;
    virtual bool DisplayQuestion(std::string_view text, MessageIcon icon,
                                 std::string_view caption) = 0;

private:
    // A job on a worker thread counts; the window reads the count when it ends.
    std::atomic<int64_t> failures_{0};
};

// Shows each problem of a checked value, in order, and gives the value: where
// a layer that shows messages meets a pure conversion.
template <typename T> T ShowProblems(Messages& messages, Checked<T> checked, MessageIcon icon) {
    for (const std::string_view problem : checked.problems)
        messages.Show(problem, icon);
    return std::move(checked.value);
}

// Messages passed on to another, except that while a scope is open (one
// table) a message said again is only counted: the scope's end says once how
// often it was repeated. A table of 20,000 fields, or of as many cells that
// each need a word, thus says a few lines instead of burying the user.
class RepeatFoldingMessages final : public Messages {
public:
    explicit RepeatFoldingMessages(Messages& target) : target_(target) {}
    ~RepeatFoldingMessages() override;
    RepeatFoldingMessages(const RepeatFoldingMessages&) = delete;
    RepeatFoldingMessages& operator=(const RepeatFoldingMessages&) = delete;

    // Scopes nest; the end of the outermost says the repeats.
    void BeginScope() { ++depth_; }
    void EndScope();

    // Counts a message of `kind` said before in this scope; false (nothing
    // counted) when it is the first, or when no scope is open.
    bool CountIfRepeated(std::string_view kind);
    // Says `text`, a message of `kind` that names its place (a row, a column):
    // in a scope, further messages of that kind are compared by their kind
    // alone, and the scope's end says "<kind> (repeated n times)".
    void ShowFirst(std::string_view kind, std::string_view text, MessageIcon icon);

    void Beep() override { target_.Beep(); }

protected:
    void DisplayMessage(std::string_view text, MessageIcon icon, std::string_view caption,
                        MessageKind kind) override;
    bool DisplayQuestion(std::string_view text, MessageIcon icon,
                         std::string_view caption) override {
        return target_.AskYesNo(text, icon, caption);
    }

private:
    struct Said {
        std::string kind; // the text, or the kind of a message that names its place
        MessageIcon icon;
        MessageKind messageKind;
        int64_t repeats = 0;
    };
    // The message of `kind` said in this scope, or nullptr.
    Said* Find(std::string_view kind);
    void Remember(std::string_view kind, MessageIcon icon, MessageKind messageKind);

    Messages& target_;
    int depth_ = 0;
    std::vector<Said> said_; // in the order first said
    struct KindHash {
        using is_transparent = void;
        size_t operator()(std::string_view kind) const {
            return std::hash<std::string_view>()(kind);
        }
    };
    std::unordered_map<std::string, size_t, KindHash, std::equal_to<>> index_;
};

// Opens a scope of repeat folding for as long as it lives.
class RepeatScope {
public:
    explicit RepeatScope(RepeatFoldingMessages& messages) : messages_(messages) {
        messages_.BeginScope();
    }
    ~RepeatScope() { messages_.EndScope(); }
    RepeatScope(const RepeatScope&) = delete;
    RepeatScope& operator=(const RepeatScope&) = delete;

private:
    RepeatFoldingMessages& messages_;
};

// The program's title, the caption of boxes that name no caption of their own.
inline constexpr std::string_view kProgramTitle = "VOK Wizard";

} // namespace vok
