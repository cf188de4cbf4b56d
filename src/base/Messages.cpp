#include "base/Messages.h"

namespace vok {

void Messages::Show(std::string_view text, MessageIcon icon, std::string_view caption,
                    MessageKind kind) {
    if (kind == MessageKind::Failure) failures_.fetch_add(1, std::memory_order_relaxed);
    DisplayMessage(text, icon, caption, kind);
}

bool Messages::AskYesNo(std::string_view text, MessageIcon icon, std::string_view caption) {
    return DisplayQuestion(text, icon, caption);
}

} // namespace vok
