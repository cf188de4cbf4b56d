#include "layout/LineRules.h"

#include "base/ByteSearch.h"
#include "base/TextEncoding.h"

#include <bit>

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
    : skipBlank_(rules.skipBlankLines), pageHeaderLines_(rules.pageHeaderLines) {
    // A group line wins over a skip text: the groups come first, in order of k.
    std::vector<std::string> texts;
    std::string spelled;
    for (size_t k = 0; k < rules.groups.size(); ++k) {
        if (!Spelled(rules.groups[k].text, latin, spelled)) continue;
        texts.push_back(spelled);
        kinds_.push_back({LineKind::Group, static_cast<int32_t>(k + 1)});
    }
    for (const std::string& text : rules.skipTexts) {
        if (!Spelled(text, latin, spelled)) continue;
        texts.push_back(spelled);
        kinds_.push_back({LineKind::Skipped, 0});
    }
    if (texts.size() > ByteNeedles::kMost) {
        further_.assign(texts.begin() + ByteNeedles::kMost, texts.end());
        texts.resize(ByteNeedles::kMost);
    }
    needles_ = ByteNeedles(std::move(texts));
    // Page headers alone are told by the form feed: no text to look at.
    none_ = kinds_.empty() && !skipBlank_;
}

LineClass LineClassifier::ClassifyText(std::string_view line) const {
    const uint64_t found = needles_.Occurring(line.data(), line.size());
    if (found != 0) return kinds_[static_cast<size_t>(std::countr_zero(found))];
    for (size_t i = 0; i < further_.size(); ++i)
        if (Holds(line, further_[i])) return kinds_[ByteNeedles::kMost + i];
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
