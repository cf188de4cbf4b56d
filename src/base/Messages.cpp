#include "base/Messages.h"

namespace vok {

void Messages::SetStatus(StatusTarget target, std::string_view text) {
    std::string& slot = status_[static_cast<int>(target)];
    if (slot == text) return;
    slot.assign(text);
    StatusChanged(target, text);
}

const std::string& Messages::Status(StatusTarget target) const {
    return status_[static_cast<int>(target)];
}

} // namespace vok
