// Cutting templates into fields, and resolving variable pieces against rows,
// checked against a plain column-by-column rendering of the same rules.
#include "base/TextEncoding.h"
#include "layout/clsTableParser.h"
#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace vok {
namespace {

struct Analysis {
    bool found;
    std::vector<int32_t> start, end;
    std::vector<std::string> op;
};

Analysis Analyze(clsTableParser& parser, std::string_view templ) {
    // Stale entries must be replaced, not extended.
    Analysis a{false, {99}, {99}, {"x"}};
    a.found = parser.analyze_template(templ, a.start, a.end, a.op);
    return a;
}

TEST(TableParserTemplate, BlanksSeparateTheFieldsOfATemplate) {
    RecordingObserver messages;
    clsTableParser parser(messages);

    for (const char* none : {"", " ", "      "}) {
        const Analysis a = Analyze(parser, none);
        EXPECT_FALSE(a.found) << '"' << none << '"';
        EXPECT_TRUE(a.start.empty() && a.end.empty() && a.op.empty());
    }

    // Each field ends on its closing blank; the last on the template's end.
    Analysis a = Analyze(parser, "---------- ------------------- ---------");
    EXPECT_TRUE(a.found);
    EXPECT_EQ(a.start, (std::vector<int32_t>{1, 12, 32}));
    EXPECT_EQ(a.end, (std::vector<int32_t>{11, 31, 40}));

    // Leading blanks; a one-character field on the last position.
    a = Analyze(parser, "   --  -");
    EXPECT_EQ(a.start, (std::vector<int32_t>{4, 8}));
    EXPECT_EQ(a.end, (std::vector<int32_t>{6, 8}));

    // "+" sums only as a field's first character.
    a = Analyze(parser, "+-- -+- ++");
    EXPECT_EQ(a.op, (std::vector<std::string>{"Sum", "", "Sum"}));
    EXPECT_EQ(a.end, (std::vector<int32_t>{4, 8, 10}));

    // Positions count characters, not bytes.
    a = Analyze(parser, "é-- ü");
    EXPECT_EQ(a.start, (std::vector<int32_t>{1, 5}));
    EXPECT_EQ(a.end, (std::vector<int32_t>{4, 5}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST(TableParserTemplate, FixedPiecesPassThrough) {
    RecordingObserver messages;
    clsTableParser parser(messages);
    parser.TextRows = {"abc def  ", "xy  z    "};
    parser.TableWidth = 9;
    // Positions behind the last field's end are dropped.
    EXPECT_EQ(parser.VariableToFixedTemplate("--- +--  -   "), "--- +--  - ");
    EXPECT_EQ(parser.VariableToFixedTemplate("   "), "");
    // A fixed piece beside a variable one; leading blanks stay in front of the
    // derived layout, and positions beyond the rows are blank.
    EXPECT_EQ(parser.VariableToFixedTemplate("-- ===R"), "-- --- ");
    EXPECT_EQ(parser.VariableToFixedTemplate("    ==R"), "    -- ");
    EXPECT_EQ(parser.VariableToFixedTemplate("=====R-----"), "--- --- -- ");
    // Left-justified: a text field takes the blanks after it.
    EXPECT_EQ(parser.VariableToFixedTemplate("========="), "--- ---- ");
}

// The derivation, column by column and with real string reversal.
bool RefBlank(const std::vector<std::u32string>& rows, size_t pos) {
    return std::all_of(rows.begin(), rows.end(), [&](const std::u32string& row) {
        return pos > row.size() || row[pos - 1] == U' ' || row[pos - 1] == U'\u00A0';
    });
}

std::string RefBuild(const std::vector<std::u32string>& rows, size_t width, bool noSpace) {
    std::string out;
    size_t last = 0;
    while (last < width) {
        size_t p = last + 1;
        size_t end;
        bool blankKind = false;
        if (!RefBlank(rows, p)) {
            while (p <= width && !RefBlank(rows, p))
                ++p;
            end = std::min(p, width);
        } else {
            while (p <= width && RefBlank(rows, p))
                ++p;
            blankKind = p <= width;
            end = blankKind ? p - 1 : width;
        }
        out.append(end - last - 1, '-');
        out.push_back(blankKind && noSpace ? '-' : ' ');
        last = end;
    }
    return out;
}

std::string RefVariableToFixed(clsTableParser& parser, const std::u32string& t) {
    std::vector<int32_t> start, end;
    std::vector<std::string> op;
    if (!parser.analyze_template(ToUtf8(t), start, end, op)) return "";
    std::vector<std::u32string> rows;
    for (const std::string& row : parser.TextRows)
        rows.push_back(ToUtf32(row));
    std::u32string result;
    size_t prev = 0;
    for (size_t f = 0; f < start.size(); ++f) {
        const size_t s = static_cast<size_t>(start[f]), e = static_cast<size_t>(end[f]);
        const std::u32string piece = t.substr(prev, e - prev);
        if (piece.find(U'=') == std::u32string::npos) {
            result += piece;
        } else {
            const bool right = piece.find(U'R') != std::u32string::npos;
            std::vector<std::u32string> cut;
            for (const std::u32string& row : rows) {
                cut.push_back(s - 1 < row.size() ? row.substr(s - 1, e - s + 1) : U"");
                if (!right) std::reverse(cut.back().begin(), cut.back().end());
            }
            std::string built = RefBuild(cut, e - s + 1, parser.OptionNoSpaceColumns);
            if (!right) {
                std::reverse(built.begin(), built.end());
                if (built.size() > 1 && built[0] == ' ') {
                    built = "-" + built.substr(1, built.size() - 2) + " ";
                }
            }
            result.append(s - prev - 1, U' ');
            result.append(built.begin(), built.end());
        }
        prev = e;
    }
    return ToUtf8(result);
}

TEST(TableParserTemplate, DerivationMatchesTheColumnByColumnRules) {
    RecordingObserver messages;
    clsTableParser parser(messages);
    std::mt19937 rng(20240611);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::u32string rowChars = U"    ab9.é€\u00A0";
    const std::u32string templChars = U"  ===R-+L";

    for (int round = 0; round < 3000; ++round) {
        const int width = pick(14);
        const int rowCount = pick(5);
        std::vector<std::string> rows;
        for (int r = 0; r < rowCount; ++r) {
            std::u32string row;
            for (int i = 0; i < width; ++i)
                row += rowChars[static_cast<size_t>(pick(12))];
            rows.push_back(ToUtf8(row));
        }
        std::u32string t;
        const int length = pick(width + 4);
        for (int i = 0; i < length; ++i)
            t += templChars[static_cast<size_t>(pick(9))];

        parser.TextRows = rows;
        parser.TableWidth = rowCount > 0 ? width : 0;
        parser.OptionNoSpaceColumns = pick(4) != 0;
        const std::string expected = RefVariableToFixed(parser, t);
        ASSERT_EQ(parser.VariableToFixedTemplate(ToUtf8(t)), expected)
            << "template \"" << ToUtf8(t) << "\" round " << round;
    }
    EXPECT_TRUE(messages.shown.empty());
}

} // namespace
} // namespace vok
