// Which lines of a table are left out of its rows and which carry group
// values onto the rows after them: the skip texts, blank lines, page headers
// after a form feed and group lines of a table section, as typed values, and
// the one classification of a table's lines that the run, the preview and
// the derived layouts share.
#pragma once

#include "base/ByteSearch.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

inline constexpr int32_t kLargestPageHeader = 999;

// A group: the text that marks its lines, the fixed template its fields are
// cut with, and the sheet column of its first field.
struct LineGroup {
    std::string text;        // GroupLine<k>
    std::string templ;       // GroupParsing<k>, leading blanks kept
    std::string writeColumn; // GroupWriteColumn<k>, as written
    int32_t column = 0;      // writeColumn as a number, from 1
    // The fields of the template: 1-based character positions, inclusive.
    std::vector<int32_t> fieldStart, fieldEnd;
};

struct LineRules {
    std::vector<std::string> skipTexts; // SkipLine1, SkipLine2, ...
    bool skipBlankLines = false;        // SkipBlankLines=YES
    int32_t pageHeaderLines = 0;        // 0: no PageHeaderLines
    std::vector<LineGroup> groups;      // GroupLine1 ... in order of k

    // No rule: every line of the table is a row.
    bool None() const {
        return skipTexts.empty() && !skipBlankLines && pageHeaderLines == 0 && groups.empty();
    }
};

enum class LineKind : uint8_t { Kept, Skipped, PageHeader, Group };

struct LineClass {
    LineKind kind = LineKind::Kept;
    int32_t group = 0; // 1-based k of a group line
};

// A form feed at the start of a line is no character of it: the text after
// the form feeds (a printer's page break may come doubled).
inline std::string_view PassFormFeeds(std::string_view line) {
    size_t n = 0;
    while (n < line.size() && line[n] == '\f')
        ++n;
    return line.substr(n);
}

// True when the line holds only blanks, tabs and form feeds (or nothing).
bool IsBlankLine(std::string_view line);

// Classifies a table's lines in order, from its first line: a page header
// is counted from the line that starts it. Texts are matched as key texts
// are: case-sensitive, anywhere on the line, in the bytes the lines come in.
class LineClassifier {
public:
    // `latin`: the lines come as Windows-1252 bytes, as the report holds
    // them; else as UTF-8. A text Windows-1252 cannot spell never matches.
    LineClassifier(const LineRules& rules, bool latin);

    // `line`: the line past its leading form feeds, tabs expanded;
    // `formFeed`: it began with one.
    LineClass Classify(std::string_view line, bool formFeed) {
        if (headerLeft_ > 0) {
            --headerLeft_;
            return {LineKind::PageHeader, 0};
        }
        if (formFeed && pageHeaderLines_ > 0) {
            headerLeft_ = pageHeaderLines_ - 1;
            return {LineKind::PageHeader, 0};
        }
        return none_ ? LineClass{} : ClassifyText(line);
    }

private:
    LineClass ClassifyText(std::string_view line) const;

    // The texts looked for, group texts first (what each is in `kinds_`):
    // the first 64 all at once, any further one by one.
    std::vector<LineClass> kinds_;
    ByteNeedles needles_{{}};
    std::vector<std::string> further_;
    bool skipBlank_ = false;
    bool none_ = true;
    int32_t pageHeaderLines_ = 0;
    int32_t headerLeft_ = 0;
};

// The value a line kind is shown by in a preview's margin: "skip", "page",
// "group k"; "" for a kept line.
std::string LineMarkText(const LineClass& c);

} // namespace vok
