// The desktop's messages: every message of the program and of its jobs as a
// modal box over the main window, with the fixed text, icon and caption.
// Call it on the window's thread only; a job on a worker thread reaches it
// through the job runner.
#pragma once

#include "base/Messages.h"

#include <QPointer>
#include <QWidget>

namespace vok {

class DesktopMessages : public Messages {
public:
    // The window the boxes belong to (none: they stand alone).
    void SetOwner(QWidget* owner) { owner_ = owner; }
    void Beep() override;

protected:
    void DisplayMessage(std::string_view text, MessageIcon icon, std::string_view caption,
                        MessageKind kind) override;
    bool DisplayQuestion(std::string_view text, MessageIcon icon,
                         std::string_view caption) override;

private:
    QPointer<QWidget> owner_;
};

} // namespace vok
