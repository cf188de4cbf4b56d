// The key-line search, tab expansion and reading lines by number.
#include "base/TextAccess.h"

#include "support/KeyLineSearch.h"
#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::CrLf;
using test::FindKeyLineInFile;
using test::TempDir;
using test::WriteFile;

class KeyLineTest : public ::testing::Test {
protected:
    std::string Make(std::initializer_list<std::string_view> lines) {
        const std::string path = dir.File("report" + std::to_string(++files) + ".txt");
        WriteFile(path, CrLf(lines));
        return path;
    }
    TempDir dir;
    int files = 0;
};

TEST_F(KeyLineTest, ResultTellsWhichKeyMatchedAndWhere) {
    const std::string path = Make({"nothing here", "the END line", "an ALT line", "the KEY"});
    const KeyTexts all{"KEY", "ALT", "END", ""};
    // The end key comes first: count plus 10,000,000.
    EXPECT_EQ(FindKeyLineInFile(path, all), kEndKeyOffset + 2);
    EXPECT_EQ(FindKeyLineInFile(path, {"KEY", "ALT", "", ""}), -3);
    EXPECT_EQ(FindKeyLineInFile(path, {"KEY", "", "", ""}), 4);
    EXPECT_EQ(FindKeyLineInFile(path, {"ABSENT", "", "", ""}), 0);
    EXPECT_EQ(FindKeyLineInFile(dir.File("missing.txt"), all), 0);
}

TEST_F(KeyLineTest, KeyWinsOverAlternativeOverEndKeyOnOneLine) {
    const std::string path = Make({"x", "END ALT KEY", "END ALT"});
    EXPECT_EQ(FindKeyLineInFile(path, {"KEY", "ALT", "END", ""}), 2);
    TextReader file(path);
    file.ReadLine();
    file.ReadLine();
    EXPECT_EQ(find_key_line(file, {"KEY", "ALT", "END", ""}), -1);
}

TEST_F(KeyLineTest, MatchingIsCaseSensitiveSubstringWithBlanksCounting) {
    const std::string path = Make({"Grand total", "[Table1]", "  [Table 2]", "Grand Total"});
    EXPECT_EQ(FindKeyLineInFile(path, {"Total", "", "", ""}), 4);
    EXPECT_EQ(FindKeyLineInFile(path, {"[Table ", "", "", ""}), 3);
    EXPECT_EQ(FindKeyLineInFile(path, {"GRAND", "", "", ""}), 0);
}

TEST_F(KeyLineTest, EmptyKeyMatchesTheFirstNonEmptyLine) {
    EXPECT_EQ(FindKeyLineInFile(Make({"", "", "x", "y"}), {}), 3);
    EXPECT_EQ(FindKeyLineInFile(Make({"", "", ""}), {}), 0);
    // An empty alternative or end key takes no part: the empty key text wins.
    EXPECT_EQ(FindKeyLineInFile(Make({"", "a"}), {"", "", "", ""}), 2);
}

TEST_F(KeyLineTest, ExclusionSkipsTheLineAndTheSearchGoesOn) {
    // The section-order search over an export-specs file.
    const std::string path = Make({"[Header]", "Product=VOK", "[Table 1]", "[Table 1 Col 1]",
                                   "[Title 1]", "[Table 2 Col 1]", "[Table 2]", "[Consolidate 1]"});
    const KeyTexts order{"[Title ", "[Table ", "[Consolidate ", "Col"};
    TextReader file(path);
    EXPECT_EQ(find_key_line(file, order), -3);
    EXPECT_EQ(find_key_line(file, order), 2);                 // line 5, 2 lines on
    EXPECT_EQ(find_key_line(file, order), -2);                // line 6 skipped
    EXPECT_EQ(find_key_line(file, order), kEndKeyOffset + 1); // line 8
    EXPECT_EQ(find_key_line(file, order), 0);
    EXPECT_EQ(file_count_key_lines(path, {"[Table ", "", "", "Col"}), 2);
    EXPECT_EQ(file_count_key_lines(path, {"[Title ", "[Table ", "[Consolidate ", "Col"}), 4);
    EXPECT_EQ(file_count_key_lines(dir.File("missing.txt"), order), 0);

    // An excluded key line is passed over even when it also holds the alternative.
    const std::string both = Make({"KEY ALT Col", "ALT"});
    EXPECT_EQ(FindKeyLineInFile(both, {"KEY", "ALT", "", "Col"}), -2);
}

TEST_F(KeyLineTest, ColumnWindowLimitsTheSearchedText) {
    const std::string path = Make({" [Table 1]", "xx", "[Table 2]"});
    // The window starts at column 1 and holds 7 characters.
    EXPECT_EQ(FindKeyLineInFile(path, {"[Table ", "", "", ""}, 1, 7), 3);
    EXPECT_EQ(FindKeyLineInFile(path, {"[Table ", "", "", ""}, 2, 7), 1);
    // A window that ends early cuts the key off.
    EXPECT_EQ(FindKeyLineInFile(path, {"[Table 2", "", "", ""}, 1, 7), 0);
    // A line shorter than the start column gives an empty text, which holds nothing.
    EXPECT_EQ(FindKeyLineInFile(Make({"ab", "abcd"}), {"", "", "", ""}, 4, 3), 2);
    // A width of 0 searches the whole line.
    EXPECT_EQ(FindKeyLineInFile(path, {"2]", "", "", ""}, 5, 0), 3);
}

TEST_F(KeyLineTest, SearchContinuesFromTheCurrentPosition) {
    const std::string path = Make({"head", ">>1", "template", "row", "row", "<<1", ">>2", "<<2"});
    TextReader file(path);
    EXPECT_EQ(find_key_line(file, {">>", "", "", ""}, 1, 2), 2);
    EXPECT_EQ(find_key_line(file, {"<<", "", "", ""}, 1, 2), 4);
    EXPECT_EQ(find_key_line(file, {">>", "", "", ""}, 1, 2), 1);
    // It never looks back.
    EXPECT_EQ(find_key_line(file, {"head", "", "", ""}), 0);
    TextReader closed;
    EXPECT_EQ(find_key_line(closed, {}), 0);
}

// The line as the buffer form expands it into a fresh buffer.
std::string expand_tabs(std::string_view line, int32_t tabSize) {
    std::string out;
    ExpandTabsInto(out, line, tabSize);
    return out;
}

TEST(ExpandTabsTest, TabsGoToTheNextStopInTheKnownExamples) {
    EXPECT_EQ(expand_tabs("ab\tc", 8), "ab      c");
    EXPECT_EQ(expand_tabs("abcdefgh\ti", 8), "abcdefghi");
    EXPECT_EQ(expand_tabs("\t\tx", 8), std::string(16, ' ') + "x");
    EXPECT_EQ(expand_tabs("\tabcdefgh\ti", 8), "        abcdefghi");
    EXPECT_EQ(expand_tabs("a\tb", 4), "a   b");
}

TEST(ExpandTabsTest, CountsCharactersNotBytes) {
    // "é" and "€" are one character each: the next character still lands on column 9.
    const std::string out = expand_tabs("é€\tx", 8);
    EXPECT_EQ(out, "é€      x");
    EXPECT_EQ(CharCount(out), 9u);
    EXPECT_EQ(expand_tabs("aé\tb\tc", 4), "aé  b   c");
}

TEST(ExpandTabsTest, NoTabsOrNoTabSizeLeaveTheLineAsItIs) {
    EXPECT_EQ(expand_tabs("", 8), "");
    EXPECT_EQ(expand_tabs("no tabs", 8), "no tabs");
    // No tab size: the tabs stay, the text is not lost.
    EXPECT_EQ(expand_tabs("a\tb", 0), "a\tb");
    EXPECT_EQ(expand_tabs("a\tb", -3), "a\tb");
    // The buffer form reuses its output.
    std::string buffer = "old content";
    ExpandTabsInto(buffer, "\tz", 2);
    EXPECT_EQ(buffer, "  z");
}

} // namespace
} // namespace vok
