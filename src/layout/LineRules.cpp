#include "layout/LineRules.h"

#include "base/ByteSearch.h"
#include "base/TextEncoding.h"

namespace vok {

namespace {

// The text in the bytes the lines come in; false when Windows-1252 has no
// code for one of its characters (such a text is never on such a line).
bool Spelled(std::string_view text, bool latin, std::string& out) {
    out.clear();
    if (!latin) {
        out.assign(text);
        return true;
    }
    return AppendUtf8AsWindows1252(out, text);
}

bool Holds(std::string_view line, std::string_view text) {
    return FindBytes(line.data(), line.size(), text) != line.size();
}

} // namespace

bool IsBlankLine(std::string_view line) {
    for (const char c : line)
        if (c != ' ' && c != '\t' && c != '\f') return false;
    return true;
}

LineClassifier::LineClassifier(const LineRules& rules, bool latin)
    : skipBlank_(rules.skipBlankLines), none_(rules.None()),
      pageHeaderLines_(rules.pageHeaderLines) {
    std::string spelled;
    for (const std::string& text : rules.skipTexts)
        if (Spelled(text, latin, spelled)) skip_.push_back(spelled);
    for (const LineGroup& group : rules.groups) {
        groupSpellable_.push_back(Spelled(group.text, latin, spelled));
        groups_.push_back(spelled);
    }
    // Page headers alone are told by the form feed: no text to look at.
    none_ = skip_.empty() && !skipBlank_ && groups_.empty();
}

LineClass LineClassifier::ClassifyText(std::string_view line) const {
    // A group line wins over a skip text.
    for (size_t k = 0; k < groups_.size(); ++k)
        if (groupSpellable_[k] && Holds(line, groups_[k]))
            return {LineKind::Group, static_cast<int32_t>(k + 1)};
    for (const std::string& text : skip_)
        if (Holds(line, text)) return {LineKind::Skipped, 0};
    if (skipBlank_ && IsBlankLine(line)) return {LineKind::Skipped, 0};
    return {};
}

std::string LineMarkText(const LineClass& c) {
    switch (c.kind) {
    case LineKind::Skipped:
        return "skip";
    case LineKind::PageHeader:
        return "page";
    case LineKind::Group:
        return "group " + std::to_string(c.group);
    case LineKind::Kept:
        break;
    }
    return {};
}

} // namespace vok
