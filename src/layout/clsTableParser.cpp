#include "layout/clsTableParser.h"

#include "base/Messages.h"
#include "base/TextAccess.h"
#include "base/TextEncoding.h"
#include "base/TextIndex.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <new>

namespace vok {

namespace {

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

void clsTableParser::Reset() {
    OptionNoSpaceColumns = true;
    MarkerTopLoc = 0;
    MarkerBotLoc = 0;
    DataTopLoc = 0;
    DataBotLoc = 0;
    TableWidth = 0;
    TextRows.clear();
    LoadProblem.clear();
}

void clsTableParser::ReadFromFile(const std::filesystem::path& fileName, std::string_view topMarker,
                                  int32_t topOffset, std::string_view botMarker, int32_t botOffset,
                                  int32_t tabSize) {
    TextIndex report(fileName);
    report.Expect(topMarker);
    report.Expect(botMarker);
    ReadFromFile(report, topMarker, topOffset, botMarker, botOffset, tabSize);
}

void clsTableParser::ReadFromFile(TextIndex& report, std::string_view topMarker, int32_t topOffset,
                                  std::string_view botMarker, int32_t botOffset, int32_t tabSize,
                                  const LineRules* lines) {
    // Memory running out is the one failure foreseen here; anything else
    // goes on to the job, which names the file it concerns.
    try {
        LoadRows(report, topMarker, topOffset, botMarker, botOffset, tabSize, lines);
    } catch (const std::bad_alloc&) {
        DropRows("there is not enough memory");
    }
}

void clsTableParser::DropRows(std::string_view problem) {
    // Half-read rows must not pass for a table: with no rows the caller
    // reports the table, with the cause.
    TextRows.clear();
    TableWidth = 0;
    LoadProblem = problem;
}

void clsTableParser::LoadRows(TextIndex& report, std::string_view topMarker, int32_t topOffset,
                              std::string_view botMarker, int32_t botOffset, int32_t tabSize,
                              const LineRules* lines) {
    // 1. Nothing of an earlier table stays.
    Reset();
    // 2-4. A file that cannot be opened is an empty source: no key line is found.
    FindMarkerLines(report, topMarker, botMarker);
    // 5. Both key lines found, the bottom one not above the top one.
    if (MarkerBotLoc < 1 || MarkerTopLoc < 1 || MarkerBotLoc < MarkerTopLoc) {
        Reset();
        return;
    }
    // 6. The data lines lie at the key lines plus their offsets.
    DataTopLoc = MarkerTopLoc + topOffset;
    DataBotLoc = MarkerBotLoc + botOffset;
    const int64_t rowCount = DataBotLoc - DataTopLoc + 1;
    // 7. A derived layout reads at most 9,999 rows.
    if (rowCount > kMaxRows) {
        messages_.Show("Error: A table must have no more than 9999 rows!", MessageIcon::None);
        Reset();
        return;
    }
    // 8. Lines past the end of the file stay empty; the rows are read from
    // their first line on, which the index knows how to reach.
    std::vector<std::string> staged;
    if (DataTopLoc < 1) {
        staged.resize(static_cast<size_t>(std::max<int64_t>(rowCount, 0)));
        messages_.Show(" invalid start_line in utilities.file_read!", MessageIcon::Critical);
    } else if (rowCount >= 1 && !ReadKeptRows(report, lines, tabSize, staged)) {
        return;
    }
    // 9. Each row ended by a blank; the widest row is the table's width.
    TextRows.reserve(staged.size());
    size_t width = 0;
    for (std::string& row : staged) {
        if (!row.empty() && row.back() != ' ') row.push_back(' ');
        width = std::max(width, CharCount(row));
        TextRows.push_back(std::move(row));
    }
    if (width > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        DropRows("table row too long");
        return;
    }
    // 10. The rows are not padded to the table's width: a position past a
    // row's end counts as a blank (BlankColumns), and one wide row would
    // otherwise make every row as wide, taking memory without bound.
    TableWidth = static_cast<int32_t>(width);
}

bool clsTableParser::ReadKeptRows(TextIndex& report, const LineRules* lines, int32_t tabSize,
                                  std::vector<std::string>& rows) {
    const int64_t rowCount = DataBotLoc - DataTopLoc + 1;
    static const LineRules kNoRules;
    // The lines come decoded: UTF-8 whatever the report's encoding.
    LineClassifier classify(lines ? *lines : kNoRules, false);
    std::string expanded;
    TextReader file;
    if (report.OpenAt(DataTopLoc, file, DataBotLoc)) {
        std::string_view line;
        for (int64_t k = 0; k < rowCount; ++k) {
            // Lines past the end of the file are empty rows.
            if (!file.ReadLine(line)) line = {};
            const std::string_view text = PassFormFeeds(line);
            std::string_view seen = text;
            if (tabSize > 0 && text.find('\t') != std::string_view::npos) {
                ExpandTabsInto(expanded, text, tabSize);
                seen = expanded;
            }
            if (classify.Classify(seen, text.size() != line.size()).kind == LineKind::Kept)
                rows.emplace_back(seen);
        }
    } else {
        rows.resize(static_cast<size_t>(rowCount));
    }
    // Rows the report could not give must not pass for empty ones.
    LoadProblem = file.ReadFailed() ? file.ReadError() : file.OpenError();
    return LoadProblem.empty();
}

void clsTableParser::FindMarkerLines(TextIndex& report, std::string_view topMarker,
                                     std::string_view botMarker) {
    // 1-2. The top key line, from the start of the file.
    const int64_t top = report.FirstLine(topMarker);
    if (top == 0) return;
    MarkerTopLoc = top;
    // 3. A bottom key inside the top key text: the top line may close the block itself.
    if (!topMarker.empty() && topMarker.find(botMarker) != std::string_view::npos) {
        MarkerBotLoc = top;
    }
    // 4. The bottom key line, searched on from the top one.
    const int64_t further = report.NextLine(botMarker, top);
    if (further != 0) MarkerBotLoc = further;
}

std::vector<char> clsTableParser::BlankColumns() const {
    // With no rows every column is blank: an empty vector says so.
    if (TextRows.empty()) return {};
    std::vector<char> blank(static_cast<size_t>(std::max(TableWidth, 0)), 1);
    for (const std::string& row : TextRows) {
        if (IsAscii(row)) {
            // A byte is a character: a loop the compiler can vectorise.
            const size_t n = std::min(row.size(), blank.size());
            for (size_t i = 0; i < n; ++i)
                blank[i] &= static_cast<char>(row[i] == ' ');
            continue;
        }
        size_t position = 0;
        for (size_t i = 0; i < row.size() && position < blank.size(); ++i) {
            if (IsContinuationByte(row[i])) continue;
            const bool isSpace = row[i] == ' ';
            // Character 160 (no-break space) is the UTF-8 pair C2 A0.
            const bool isNoBreak = static_cast<unsigned char>(row[i]) == 0xC2 &&
                                   i + 1 < row.size() &&
                                   static_cast<unsigned char>(row[i + 1]) == 0xA0;
            if (!isSpace && !isNoBreak) blank[position] = 0;
            ++position;
        }
    }
    return blank;
}

bool clsTableParser::IsBlankColumn(const std::vector<char>& blank, int32_t position) {
    // A position past every row's end is missing in all of them, hence blank.
    return position < 1 || static_cast<size_t>(position) > blank.size() ||
           blank[static_cast<size_t>(position - 1)] != 0;
}

clsTableParser::Run clsTableParser::NextRun(const std::vector<char>& blank, int32_t start,
                                            int32_t width) {
    int32_t p = start;
    if (!IsBlankColumn(blank, p)) {
        // A field closes on its first blank column, which belongs to it.
        while (p <= width && !IsBlankColumn(blank, p))
            ++p;
        return {std::min(p, width), false};
    }
    while (p <= width && IsBlankColumn(blank, p))
        ++p;
    // Blank columns that reach the end form a field of their own.
    if (p > width) return {width, false};
    return {p - 1, true};
}

void clsTableParser::MakePiece(std::string& out, int32_t length, bool blankRun) const {
    out.append(static_cast<size_t>(length - 1), '-');
    out.push_back(blankRun && OptionNoSpaceColumns ? '-' : ' ');
}

std::string clsTableParser::BuildTemplate(const std::vector<char>& blank, int32_t width) const {
    std::string built;
    built.reserve(static_cast<size_t>(std::max(width, 0)));
    // 1-4. Each run starts after the previous one's last position.
    int32_t last = 0;
    while (last < width) {
        const Run run = NextRun(blank, last + 1, width);
        MakePiece(built, run.last - last, run.blank);
        last = run.last;
    }
    return built;
}

std::string clsTableParser::DerivedLayout(const std::vector<char>& tableBlank, int32_t s, int32_t e,
                                          bool rightJustified, std::vector<char>& cutBlank) const {
    const int32_t width = e - s + 1;
    // Every row is TableWidth long, so every cut string has this length.
    const int64_t cutLength =
        std::clamp<int64_t>(std::min<int64_t>(e, TableWidth) - s + 1, 0, width);
    cutBlank.assign(static_cast<size_t>(width), 1);
    for (int32_t i = 1; i <= width; ++i) {
        // Left-justified works on the reversed cut strings: their column i
        // is the cut's column cutLength + 1 - i.
        if (i <= cutLength) {
            const int64_t column = rightJustified ? i : cutLength + 1 - i;
            cutBlank[static_cast<size_t>(i - 1)] =
                IsBlankColumn(tableBlank, static_cast<int32_t>(s - 1 + column)) ? 1 : 0;
        }
    }
    // The sub-layout from the blank columns.
    std::string built = BuildTemplate(cutBlank, width);
    // Reversal put each separator in front of its field; make it close the
    // field again and end the sub-layout on a separator.
    if (!rightJustified) {
        std::reverse(built.begin(), built.end());
        if (built.size() > 1 && built.front() == ' ') {
            built.front() = '-';
            built.back() = ' ';
        }
    }
    return built;
}

std::string clsTableParser::VariableToFixedTemplate(std::string_view templ) {
    const std::u32string chars = ToUtf32(templ);
    const std::u32string_view t = chars;
    // 1. The fields of the template.
    std::vector<int32_t> colStart;
    std::vector<int32_t> colEnd;
    std::vector<std::string> colOp;
    if (!AnalyzeTemplate(t, colStart, colEnd, colOp)) return {};

    std::u32string result;
    std::vector<char> tableBlank;
    bool tableScanned = false;
    std::vector<char> cutBlank;
    int32_t previousEnd = 0;
    for (size_t f = 0; f < colStart.size(); ++f) {
        // 2. The piece of template from the end of the previous field to this one's end.
        const int32_t s = colStart[f];
        const int32_t e = colEnd[f];
        const std::u32string_view piece =
            t.substr(static_cast<size_t>(previousEnd), static_cast<size_t>(e - previousEnd));
        // 3. A piece without "=" is fixed: it passes as written.
        if (piece.find(U'=') == std::u32string_view::npos) {
            result.append(piece);
            previousEnd = e;
            continue;
        }
        // 4.1 Which columns of the cut strings are blank in every row; the
        // rows are scanned once for all pieces.
        if (!tableScanned) {
            tableBlank = BlankColumns();
            tableScanned = true;
        }
        const bool rightJustified = piece.find(U'R') != std::u32string_view::npos;
        const std::string built = DerivedLayout(tableBlank, s, e, rightJustified, cutBlank);
        // 4.5 The sub-layout takes the piece's place, after the blanks before the field.
        result.append(static_cast<size_t>(s - previousEnd - 1), U' ');
        result.append(built.begin(), built.end());
        previousEnd = e;
    }
    // 5. The fixed template, back in UTF-8.
    return ToUtf8(result);
}

bool clsTableParser::analyze_template(std::string_view templ, std::vector<int32_t>& colStart,
                                      std::vector<int32_t>& colEnd,
                                      std::vector<std::string>& colOp) {
    return AnalyzeTemplate(ToUtf32(templ), colStart, colEnd, colOp);
}

bool clsTableParser::AnalyzeTemplate(std::u32string_view templ, std::vector<int32_t>& colStart,
                                     std::vector<int32_t>& colEnd,
                                     std::vector<std::string>& colOp) {
    // 1. The lists start empty.
    colStart.clear();
    colEnd.clear();
    colOp.clear();
    // 2-4. A field starts at a character after a blank and ends at the next blank.
    const auto length = static_cast<int32_t>(templ.size());
    bool inField = false;
    for (int32_t pos = 1; pos <= length; ++pos) {
        const char32_t c = templ[static_cast<size_t>(pos - 1)];
        if (!inField) {
            if (c != U' ') {
                colStart.push_back(pos);
                colOp.emplace_back(c == U'+' ? "Sum" : "");
                inField = true;
            }
        } else if (c == U' ') {
            colEnd.push_back(pos);
            inField = false;
        } else if (pos == length) {
            colEnd.push_back(pos);
        }
    }
    // 5. Every field that was opened must have been closed.
    if (colStart.size() == colEnd.size()) return !colStart.empty();
    if (colStart.size() == colEnd.size() + 1) {
        colEnd.push_back(length); // a field opened on the last position
        return true;
    }
    messages_.Show("unexpected error in template analyzer!", MessageIcon::Critical);
    colStart.clear();
    colEnd.clear();
    colOp.clear();
    return false;
}

} // namespace vok
