// Which lines of a table the run keeps: page headers counted from their form
// feed, group lines before skip texts, blank lines, texts in the report's bytes.
#include "layout/LineRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vok {
namespace {

std::vector<std::string> Marks(LineClassifier& classify, const std::vector<std::string>& lines) {
    std::vector<std::string> marks;
    for (const std::string& line : lines) {
        const std::string_view text = PassFormFeeds(line);
        const std::string mark = LineMarkText(classify.Classify(text, text.size() != line.size()));
        marks.push_back(mark.empty() ? "row" : mark);
    }
    return marks;
}

LineRules Rules() {
    LineRules rules;
    rules.skipTexts = {"TOTAL", "PAGE"};
    rules.skipBlankLines = true;
    rules.pageHeaderLines = 2;
    rules.groups.push_back({"DEPT", "     --", "E", 5, {6}, {7}});
    rules.groups.push_back({"ACCT", "     --", "G", 7, {6}, {7}});
    return rules;
}

TEST(LineRules, EachLineClassifiedInOrder) {
    LineClassifier classify(Rules(), false);
    EXPECT_EQ(Marks(classify, {"\fACME PAGE 1", "DEPT 10 ACCT", "DEPT 10 TOTAL", "ACCT 4",
                               "row 1", "  TOTAL 5", " \t ", "", "\f", "\f\fDEPT 20",
                               "ACCT TOTAL", "PAGE"}),
              (std::vector<std::string>{"page", "page", "group 1", "group 2", "row", "skip",
                                        "skip", "skip", "page", "page", "group 2", "skip"}));
    // Without page headers a form feed is only passed over; without the blank
    // rule a blank line is a row; with no rule at all every line is.
    LineRules some = Rules();
    some.pageHeaderLines = 0;
    some.skipBlankLines = false;
    LineClassifier without(some, false);
    EXPECT_EQ(Marks(without, {"\fACME", "\f", "  "}),
              (std::vector<std::string>{"row", "row", "row"}));
    LineClassifier none(LineRules{}, false);
    EXPECT_EQ(Marks(none, {"\fTOTAL", ""}), (std::vector<std::string>{"row", "row"}));
    EXPECT_EQ(PassFormFeeds("\f\fx\f"), "x\f");
    EXPECT_TRUE(IsBlankLine(" \t\f"));
    EXPECT_FALSE(IsBlankLine(" .\t"));
}

TEST(LineRules, TextsAreMatchedInTheReportsOwnBytes) {
    LineRules rules;
    rules.skipTexts = {"RÉSUMÉ", "日本"};
    // A Windows-1252 report holds "É" as one byte; "日本" it cannot hold.
    LineClassifier latin(rules, true);
    EXPECT_EQ(latin.Classify("x R\xC9SUM\xC9", false).kind, LineKind::Skipped);
    EXPECT_EQ(latin.Classify("x RÉSUMÉ", false).kind, LineKind::Kept);
    EXPECT_EQ(latin.Classify("x ??", false).kind, LineKind::Kept);
    LineClassifier utf8(rules, false);
    EXPECT_EQ(utf8.Classify("x RÉSUMÉ", false).kind, LineKind::Skipped);
    EXPECT_EQ(utf8.Classify("日本語", false).kind, LineKind::Skipped);
    // Case counts, as in key texts.
    EXPECT_EQ(utf8.Classify("résumé", false).kind, LineKind::Kept);
}

} // namespace
} // namespace vok
