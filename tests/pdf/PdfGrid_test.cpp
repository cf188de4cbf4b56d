#include "pdf/grid/PdfGrid.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

// Glyphs of one line of text, set at `pitch` from `left` on `baseline`.
void Print(std::vector<Glyph>& page, std::u32string_view text, double left, double baseline,
           double pitch = 6.0) {
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != U' ')
            page.push_back({left + pitch * static_cast<double>(i), pitch, baseline, text[i]});
}

std::string Emit(std::vector<Glyph> page, double leftmost, bool first = true) {
    std::string out;
    EmitPage(page, leftmost, first, out);
    return out;
}

TEST(PdfGrid, RebuildsLinesBlanksAndPagesInReadingOrder) {
    std::vector<Glyph> page;
    // Drawn out of order, as libraries list words: the last line first.
    Print(page, U"TOTAL     12.50", 42, 148);
    Print(page, U"ACCOUNT   AMOUNT", 42, 100);
    Print(page, U"  1000    12.50", 42, 112);
    // A baseline that wobbles by rounding stays on its line.
    page.push_back({42 + 6 * 17, 6, 112.02, U'*'});
    // Three line pitches on from the row before: two blank lines.
    EXPECT_EQ(Emit(page, 36), " ACCOUNT   AMOUNT\n   1000    12.50  *\n\n\n TOTAL     12.50\n");
    // Column 1 is the document's leftmost position, not the page's; a later
    // page opens with a form feed on its first line.
    std::vector<Glyph> second;
    Print(second, U"PAGE 2", 48, 90);
    Print(second, U"END", 36, 102);
    EXPECT_EQ(Emit(second, 36, false), "\f  PAGE 2\nEND\n");
    // A page without text still turns the page; the first page gives nothing.
    EXPECT_EQ(Emit({}, 36, false), "\f\n");
    EXPECT_EQ(Emit({}, 36, true), "");
}

TEST(PdfGrid, OverprintIsShownOnceAndControlCharactersAndFarGlyphsAreLeftOut) {
    std::vector<Glyph> page;
    Print(page, U"BOLD", 10, 50);
    Print(page, U"XXXX", 10.4, 50);             // overprinted a little right: bold by hand
    page.push_back({10 + 6 * 5, 6, 50, U'\f'}); // a form feed drawn as a glyph
    page.push_back({10 + 6 * 6, 6, 50, U'\n'});
    page.push_back({10 + 6 * 7, 6, 50, U'é'});
    page.push_back({1e12, 6, 50, U'Z'}); // far beyond any line
    EXPECT_EQ(Emit(page, 10), "BOLD   \xC3\xA9\n");
}

TEST(PdfGrid, JudgesPitchByTheGlyphsDrawn) {
    std::vector<Glyph> fixed;
    Print(fixed, U"AMOUNT 1,234.50", 0, 10, 5.4);
    const PitchJudgement f = JudgePitch(fixed);
    EXPECT_DOUBLE_EQ(f.pitch, 5.4);
    EXPECT_EQ(f.offPitch, 0);

    // Proportional: each glyph as wide as its letter.
    std::vector<Glyph> proportional;
    double x = 0;
    for (const char32_t c : std::u32string_view(U"Illustrated Widgets Monthly")) {
        const double width = c == U'I' || c == U'l' || c == U'i' ? 2.2 : c == U'W' ? 8.5 : 5.0;
        if (c != U' ') proportional.push_back({x, width, 10, c});
        x += width;
    }
    std::string out;
    DocumentJudgement document;
    document.Add(EmitPage(proportional, 0, true, out));
    EXPECT_GT(document.glyphs, 0);
    EXPECT_FALSE(document.FixedPitch());

    DocumentJudgement none;
    EXPECT_EQ(none.glyphs, 0);
    EXPECT_EQ(LeftmostPosition({}), kNoPosition);
}

TEST(PdfGrid, LinePitchIsTheMostCommonStep) {
    std::vector<Glyph> page;
    for (const double baseline : {10.0, 22.0, 34.0, 58.0, 70.0, 106.0})
        page.push_back({0, 6, baseline, U'x'});
    const std::vector<size_t> rows = SortIntoRows(page, 6);
    EXPECT_EQ(rows.size(), 6u);
    EXPECT_DOUBLE_EQ(LinePitch(page, rows), 12.0);
    EXPECT_EQ(Emit(page, 0), "x\nx\nx\n\nx\nx\n\n\nx\n");
}

} // namespace
} // namespace vok
