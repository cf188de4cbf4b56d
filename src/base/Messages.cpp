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

RepeatFoldingMessages::~RepeatFoldingMessages() {
    // A scope left open (a failure nothing foresaw) still says its repeats.
    if (depth_ > 0) {
        depth_ = 1;
        EndScope();
    }
}

RepeatFoldingMessages::Said* RepeatFoldingMessages::Find(std::string_view kind) {
    const auto it = index_.find(kind);
    return it == index_.end() ? nullptr : &said_[it->second];
}

void RepeatFoldingMessages::Remember(std::string_view kind, MessageIcon icon,
                                     MessageKind messageKind) {
    index_.emplace(std::string(kind), said_.size());
    said_.push_back({std::string(kind), icon, messageKind});
}

void RepeatFoldingMessages::EndScope() {
    if (depth_ == 0 || --depth_ > 0) return;
    // Taken first: what the target does with a message must not find them here.
    std::vector<Said> said = std::move(said_);
    said_.clear();
    index_.clear();
    for (const Said& s : said) {
        if (s.repeats == 0) continue;
        target_.Show(s.kind + " (repeated " + std::to_string(s.repeats) +
                         (s.repeats == 1 ? " time)" : " times)"),
                     s.icon, {}, s.messageKind);
    }
}

bool RepeatFoldingMessages::CountIfRepeated(std::string_view kind) {
    if (depth_ == 0) return false;
    Said* said = Find(kind);
    if (!said) return false;
    ++said->repeats;
    return true;
}

void RepeatFoldingMessages::ShowFirst(std::string_view kind, std::string_view text,
                                      MessageIcon icon) {
    if (depth_ > 0 && !Find(kind)) Remember(kind, icon, MessageKind::Failure);
    target_.Show(text, icon);
}

void RepeatFoldingMessages::DisplayMessage(std::string_view text, MessageIcon icon,
                                           std::string_view caption, MessageKind kind) {
    if (depth_ > 0) {
        if (CountIfRepeated(text)) return;
        Remember(text, icon, kind);
    }
    target_.Show(text, icon, caption, kind);
}

} // namespace vok
