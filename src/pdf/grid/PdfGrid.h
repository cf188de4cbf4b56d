// The character grid of a report printed to PDF, rebuilt from where its
// glyphs were drawn. A print stream set in a fixed-pitch font puts every
// character on a grid: its columns are the font's advance apart, counted
// from the leftmost character position of the whole document, and its rows
// are the text baselines, the page's line pitch apart. Placing each glyph
// back on that grid gives the printed lines exactly, blanks and all.
//
// The steps, each a function below: collect the glyph boxes of a page (the
// PDF reader does, PdfPages); judge the page's pitch by the glyphs it draws;
// find the document's leftmost character position (a first pass over the
// pages, which keeps only positions); find the page's line pitch (the most
// common baseline step); place the glyphs on the grid; emit the lines without
// trailing blanks, each page after the first opening with a form feed.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace vok {

// One drawn character: the left edge and advance of its box and its
// baseline, in points from the page's top-left corner.
struct Glyph {
    double x = 0;
    double width = 0;
    double baseline = 0;
    char32_t character = U' ';
};

// The widest line a page may rebuild: glyphs drawn further right are left
// out, so a hostile file cannot make a line take memory without bound.
inline constexpr int64_t kWidestPdfLine = 4096;

// The page's character advance, judged by the glyphs it draws: the most common
// box width. Glyphs whose width strays from it tell of a proportional font.
struct PitchJudgement {
    double pitch = 0;     // 0 when the page draws no glyph
    int64_t glyphs = 0;   // glyphs judged
    int64_t offPitch = 0; // of them, those wider or narrower than the pitch
};
PitchJudgement JudgePitch(std::span<const Glyph> glyphs);

// The leftmost glyph edge of a page; +infinity for a page without glyphs.
// The document's column 1 is the least of its pages' values.
double LeftmostPosition(std::span<const Glyph> glyphs);
inline constexpr double kNoPosition = std::numeric_limits<double>::infinity();

// Groups the page's glyphs into rows: sorted by baseline, then from left to
// right; glyphs whose baselines lie within a small tolerance share a row.
// Returns the index of each row's first glyph (the glyphs are sorted in place).
std::vector<size_t> SortIntoRows(std::vector<Glyph>& glyphs, double pitch);

// The most common step between the baselines of successive rows; 0 for a page
// of fewer than two rows.
double LinePitch(std::span<const Glyph> glyphs, std::span<const size_t> rowStarts);

// Places one row's glyphs on the grid and gives its line, UTF-8, without
// trailing blanks. A glyph whose position lies off the grid counts in
// `offGrid`; a cell drawn twice (overprinting) keeps its first glyph.
void PlaceRow(std::span<const Glyph> row, double leftmost, double pitch, std::u32string& cells,
              std::string& line, int64_t& offGrid);

// Rebuilds the lines of one page into `out`, each ended by LF: blank lines
// where baselines lie more than one line pitch apart (a step of k pitches
// gives k - 1), a form feed before the first line of every page but the first.
struct PageOutcome {
    PitchJudgement pitch;
    int64_t offGrid = 0;
    int64_t lines = 0;
};
PageOutcome EmitPage(std::vector<Glyph>& glyphs, double leftmost, bool firstPage, std::string& out);

// A whole document's judgement: fixed pitch when nearly every glyph had the
// page's width and sat on its grid.
struct DocumentJudgement {
    int64_t glyphs = 0;
    int64_t stray = 0; // off pitch or off grid
    void Add(const PageOutcome& page) {
        glyphs += page.pitch.glyphs;
        stray += page.pitch.offPitch + page.offGrid;
    }
    bool FixedPitch() const { return stray * 50 <= glyphs; } // 2% at most
};

} // namespace vok
