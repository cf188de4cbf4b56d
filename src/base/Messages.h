// The one way the core speaks to the user about a problem or asks a question:
// message boxes with a fixed text, icon and caption, and yes-or-no questions.
//
// The desktop shows modal boxes, command-line mode writes to standard error and
// never waits, and tests record everything and assert the exact texts. Every
// message is counted here, so that whoever runs a job can tell afterwards
// whether anything but a notice was shown.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

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

// The program's title, the caption of boxes that name no caption of their own.
inline constexpr std::string_view kProgramTitle = "VOK Wizard";

} // namespace vok
