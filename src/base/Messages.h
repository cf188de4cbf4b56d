// The one way the core speaks to the user: message boxes, the stop question,
// status texts and the moments where pending window events may run.
//
// The desktop shows modal boxes, command-line mode writes to standard error and
// never waits, and tests record everything and assert the exact texts.
#pragma once

#include <string>
#include <string_view>

namespace vok {

enum class MessageIcon { None, Critical, Exclamation, Warning, Information, Question };

// Notices report no failure: the command line still ends with status 0 after them.
enum class MessageKind { Failure, Notice };

// The places where the job shows its progress.
enum class StatusTarget {
    Progress,    // the main status bar's progress panel
    ElapsedTime, // the main status bar's elapsed-seconds panel
    CurrentFile, // the current-file status bar
    Caption,     // the main window's caption
};

class Messages {
public:
    virtual ~Messages() = default;

    // A message box with an OK button.
    virtual void Show(std::string_view text, MessageIcon icon, std::string_view caption = {},
                      MessageKind kind = MessageKind::Failure) = 0;

    // A question with Yes and No buttons; true for Yes.
    virtual bool AskYesNo(std::string_view text, MessageIcon icon,
                          std::string_view caption = {}) = 0;

    virtual void Beep() {}

    // Lets pending window events run; this is where a stop request arrives.
    // Returns true when the user asked to stop since the last call.
    virtual bool ProcessEvents() { return false; }

    // One line per converted file, for the command line's log.
    virtual void FileConverted(std::string_view /*input*/, std::string_view /*output*/) {}

    // True when progress texts are shown at all; callers skip formatting them otherwise.
    virtual bool ShowsProgress() const { return false; }

    void SetStatus(StatusTarget target, std::string_view text);
    const std::string& Status(StatusTarget target) const;

    // True once a message other than a notice was shown.
    bool FailureShown() const { return failureShown_; }

protected:
    virtual void StatusChanged(StatusTarget /*target*/, std::string_view /*text*/) {}
    void NoteShown(MessageKind kind) {
        if (kind == MessageKind::Failure) failureShown_ = true;
    }

private:
    std::string status_[4];
    bool failureShown_ = false;
};

// The program's title, the caption of boxes that name no caption of their own.
inline constexpr std::string_view kProgramTitle = "VOK Wizard";

} // namespace vok
