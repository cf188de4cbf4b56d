#include "pdf/grid/PdfGrid.h"

#include "base/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vok {

namespace {

// Widths and steps are compared in hundredths or tenths of a point: finer
// differences are rounding in the file, not design.
// Sizes beyond a mile are no print's: they are clamped there before rounding.
constexpr double kFarthest = 1e5;
int64_t Hundredths(double points) {
    return std::llround(std::clamp(points, -kFarthest, kFarthest) * 100.0);
}

// The most common value of `values`, sorted here; the least of equals wins.
int64_t MostCommonSorted(std::vector<int64_t>& values) {
    std::sort(values.begin(), values.end());
    int64_t best = 0, bestCount = 0;
    for (size_t i = 0; i < values.size();) {
        size_t j = i;
        while (j < values.size() && values[j] == values[i])
            ++j;
        if (static_cast<int64_t>(j - i) > bestCount) {
            best = values[i];
            bestCount = static_cast<int64_t>(j - i);
        }
        i = j;
    }
    return best;
}

// The same, counted: print has few different widths and steps. Only values
// of many different ones are sorted.
int64_t MostCommon(std::vector<int64_t>& values) {
    constexpr size_t kFew = 16;
    std::array<std::pair<int64_t, int64_t>, kFew> counts{}; // value, times seen
    size_t different = 0;
    for (const int64_t v : values) {
        const auto seen = std::find_if(counts.begin(), counts.begin() + different,
                                       [v](const auto& c) { return c.first == v; });
        if (seen != counts.begin() + different) {
            ++seen->second;
        } else if (different < kFew) {
            counts[different++] = {v, 1};
        } else {
            return MostCommonSorted(values);
        }
    }
    int64_t best = 0, bestCount = 0;
    for (size_t i = 0; i < different; ++i) {
        const auto [value, count] = counts[i];
        if (count > bestCount || (count == bestCount && value < best)) {
            best = value;
            bestCount = count;
        }
    }
    return best;
}

// A character the rebuilt text may hold: no control character (a line end or
// form feed drawn as a glyph would cut lines), no surrogate.
bool Printable(char32_t c) {
    return c > 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && !(c >= 0xD800 && c < 0xE000) &&
           c <= 0x10FFFF;
}

// Blank lines one baseline step stands for, at most: a hostile file's page
// many miles tall rebuilds to a bounded text.
constexpr int64_t kMostBlankLines = 200;

} // namespace

PitchJudgement JudgePitch(std::span<const Glyph> glyphs) {
    PitchJudgement judgement;
    std::vector<int64_t> widths;
    widths.reserve(glyphs.size());
    for (const Glyph& g : glyphs)
        if (Printable(g.character))
            widths.push_back(std::isfinite(g.width) ? Hundredths(g.width) : 0);
    if (widths.empty()) return judgement;
    judgement.glyphs = static_cast<int64_t>(widths.size());
    const int64_t common = MostCommon(widths);
    if (common <= 0) {
        judgement.offPitch = judgement.glyphs;
        return judgement;
    }
    judgement.pitch = static_cast<double>(common) / 100.0;
    // A width within 5% of the pitch is the pitch, drawn with rounding.
    for (const int64_t w : widths)
        if (std::abs(w - common) * 20 > common) ++judgement.offPitch;
    return judgement;
}

double LeftmostPosition(std::span<const Glyph> glyphs) {
    double leftmost = kNoPosition;
    for (const Glyph& g : glyphs)
        if (Printable(g.character) && std::isfinite(g.x)) leftmost = std::min(leftmost, g.x);
    return leftmost;
}

namespace {

// Sorts the glyphs by baseline, then from left to right; glyphs drawn at one
// place keep the order they were drawn in. The library hands them over a
// word, a line or a column at a time, each already in that order: those runs
// are merged, two by two, which takes a few sweeps where sorting would take
// many.
void SortGlyphs(std::vector<Glyph>& glyphs) {
    const auto before = [](const Glyph& a, const Glyph& b) {
        return a.baseline != b.baseline ? a.baseline < b.baseline : a.x < b.x;
    };
    std::vector<size_t> runs{0}; // where each run starts
    for (size_t i = 1; i < glyphs.size(); ++i)
        if (before(glyphs[i], glyphs[i - 1])) runs.push_back(i);
    if (runs.size() == 1) return;
    std::vector<Glyph> merged(glyphs.size());
    const auto at = [](std::vector<Glyph>& v, size_t i) {
        return v.begin() + static_cast<std::ptrdiff_t>(i);
    };
    while (runs.size() > 1) {
        std::vector<size_t> next;
        next.reserve(runs.size() / 2 + 1);
        for (size_t r = 0; r < runs.size(); r += 2) {
            const size_t middle = r + 1 < runs.size() ? runs[r + 1] : glyphs.size();
            const size_t end = r + 2 < runs.size() ? runs[r + 2] : glyphs.size();
            std::merge(at(glyphs, runs[r]), at(glyphs, middle), at(glyphs, middle),
                       at(glyphs, end), at(merged, runs[r]), before);
            next.push_back(runs[r]);
        }
        glyphs.swap(merged);
        runs = std::move(next);
    }
}

} // namespace

std::vector<size_t> SortIntoRows(std::vector<Glyph>& glyphs, double pitch) {
    std::erase_if(glyphs, [](const Glyph& g) {
        return !Printable(g.character) || !std::isfinite(g.x) || !std::isfinite(g.baseline);
    });
    SortGlyphs(glyphs);
    // Baselines of one printed line differ by rounding at most; a row's
    // glyphs are then put in order from left to right.
    const double tolerance = std::max(0.5, pitch * 0.25);
    std::vector<size_t> starts;
    for (size_t i = 0; i < glyphs.size(); ++i)
        if (starts.empty() || glyphs[i].baseline - glyphs[starts.back()].baseline > tolerance)
            starts.push_back(i);
    const auto leftOf = [](const Glyph& a, const Glyph& b) { return a.x < b.x; };
    for (size_t r = 0; r < starts.size(); ++r) {
        const auto begin = glyphs.begin() + static_cast<std::ptrdiff_t>(starts[r]);
        const auto end = r + 1 < starts.size()
                             ? glyphs.begin() + static_cast<std::ptrdiff_t>(starts[r + 1])
                             : glyphs.end();
        // A row drawn on one baseline is in order already.
        if (!std::is_sorted(begin, end, leftOf)) std::stable_sort(begin, end, leftOf);
    }
    return starts;
}

double LinePitch(std::span<const Glyph> glyphs, std::span<const size_t> rowStarts) {
    if (rowStarts.size() < 2) return 0;
    std::vector<int64_t> steps;
    steps.reserve(rowStarts.size() - 1);
    for (size_t r = 1; r < rowStarts.size(); ++r)
        steps.push_back(
            Hundredths(glyphs[rowStarts[r]].baseline - glyphs[rowStarts[r - 1]].baseline) / 10);
    return static_cast<double>(MostCommon(steps)) / 10.0;
}

void PlaceRow(std::span<const Glyph> row, double leftmost, double pitch, std::u32string& cells,
              std::string& line, int64_t& offGrid) {
    cells.clear();
    line.clear();
    if (pitch <= 0) return;
    for (const Glyph& g : row) {
        const double position = (g.x - leftmost) / pitch;
        const double rounded = std::round(position);
        if (std::abs(position - rounded) > 0.3) ++offGrid;
        if (rounded < 0 || rounded >= static_cast<double>(kWidestPdfLine)) continue;
        // The row goes left to right, so a glyph mostly opens a new cell at the end.
        const auto column = static_cast<size_t>(rounded);
        if (column >= cells.size()) {
            cells.append(column - cells.size(), U' ');
            cells.push_back(g.character);
        } else if (cells[column] == U' ') {
            cells[column] = g.character;
        }
    }
    line.reserve(cells.size());
    for (const char32_t c : cells) {
        if (c < 0x80)
            line.push_back(static_cast<char>(c));
        else
            AppendUtf8(line, c);
    }
}

PageOutcome EmitPage(std::vector<Glyph>& glyphs, double leftmost, bool firstPage,
                     std::string& out) {
    PageOutcome outcome;
    outcome.pitch = JudgePitch(glyphs);
    if (!firstPage) out.push_back('\f');
    const std::vector<size_t> rows = SortIntoRows(glyphs, outcome.pitch.pitch);
    if (rows.empty() || !std::isfinite(leftmost)) {
        // A page without text still turns the page.
        if (!firstPage) out.push_back('\n');
        return outcome;
    }
    const double linePitch = LinePitch(glyphs, rows);
    std::u32string cells;
    std::string line;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (r > 0 && linePitch > 0) {
            const double step = glyphs[rows[r]].baseline - glyphs[rows[r - 1]].baseline;
            const auto pitches = static_cast<int64_t>(std::round(
                std::clamp(step / linePitch, 1.0, static_cast<double>(kMostBlankLines + 1))));
            out.append(static_cast<size_t>(pitches - 1), '\n');
            outcome.lines += pitches - 1;
        }
        const size_t end = r + 1 < rows.size() ? rows[r + 1] : glyphs.size();
        PlaceRow(std::span(glyphs).subspan(rows[r], end - rows[r]), leftmost, outcome.pitch.pitch,
                 cells, line, outcome.offGrid);
        out += line;
        out.push_back('\n');
        ++outcome.lines;
    }
    return outcome;
}

} // namespace vok
