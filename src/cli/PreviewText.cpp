#include "cli/PreviewText.h"

#include "base/TextEncoding.h"
#include "base/modUtilityString.h"

#include <algorithm>
#include <iterator>
#include <fmt/format.h>

namespace vok {

namespace {

// Text padded with blanks to `width` characters, on the right or the left.
std::string Padded(std::string_view text, size_t width, bool right) {
    const size_t chars = CharCount(text);
    const std::string fill(width > chars ? width - chars : 0, ' ');
    return right ? fill + std::string(text) : std::string(text) + fill;
}

// A cell as the rows table shows it: a number trimmed, text as stored.
std::string CellShown(const PreviewCell& cell) {
    if (cell.kind == TypedValue::Kind::Number) return std::string(Trim(cell.text));
    return cell.text;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string KeyLine(std::string_view what, const std::string& key, int64_t line, int32_t offset) {
    const std::string where = line > 0 ? fmt::format("on line {}", line) : "not in the report";
    return fmt::format("{} key {} {}, offset {}", what, Quoted(key), where, offset);
}

void AppendRows(std::string& out, const PreviewTable& table) {
    const size_t columns = table.columns.size();
    // Widths: the letters, the row numbers and every cell shown.
    std::vector<size_t> widths(columns);
    std::vector<std::vector<std::string>> shown;
    for (size_t c = 0; c < columns; ++c)
        widths[c] = CharCount(table.columns[c].letters);
    for (const std::vector<PreviewCell>& row : table.rows) {
        std::vector<std::string>& cells = shown.emplace_back();
        for (size_t c = 0; c < columns && c < row.size(); ++c) {
            cells.push_back(CellShown(row[c]));
            widths[c] = std::max(widths[c], CharCount(cells.back()));
        }
    }
    const int64_t lastRow = table.firstSheetRow + static_cast<int64_t>(table.rows.size()) - 1;
    const size_t rowWidth =
        std::max<size_t>(3, std::to_string(std::max<int64_t>(lastRow, 0)).size());
    std::string line = "  " + Padded("row", rowWidth, true);
    for (size_t c = 0; c < columns; ++c)
        line += " | " + Padded(table.columns[c].letters, widths[c], false);
    out += std::string(TrimRight(line)) + "\n";
    for (size_t r = 0; r < shown.size(); ++r) {
        line = "  " + Padded(std::to_string(table.firstSheetRow + static_cast<int64_t>(r)),
                             rowWidth, true);
        for (size_t c = 0; c < columns; ++c) {
            const bool number =
                c < table.rows[r].size() && table.rows[r][c].kind == TypedValue::Kind::Number;
            const std::string cell = c < shown[r].size() ? shown[r][c] : std::string();
            line += " | " + Padded(cell, widths[c], number);
        }
        out += std::string(TrimRight(line)) + "\n";
    }
    const int64_t more = table.rowCount - static_cast<int64_t>(table.rows.size());
    if (more > 0) out += fmt::format("  ... and {} more row{}\n", more, more == 1 ? "" : "s");
}

// The table's first lines under a ruler of its fields, each with its number
// and, where the table leaves lines out, a margin that says which and why.
void AppendRulerLines(std::string& out, const PreviewTable& table, ReportLineSource& report,
                      int64_t lines) {
    const int64_t available =
        std::max<int64_t>(std::min(lines, report.LineCount() - table.firstLine + 1), 0);
    // As many lines as show the first rows, and the lines left out among them.
    std::vector<std::string> text, marks;
    int64_t rows = 0;
    for (int64_t line = table.firstLine; line < table.firstLine + available; ++line) {
        if (rows >= kPreviewRulerLines || text.size() >= kPreviewLinesShown) break;
        const LineClass kind = PreviewLineKind(table, line);
        rows += kind.kind == LineKind::Kept ? 1 : 0;
        text.push_back(report.Line(line));
        marks.push_back(LineMarkText(kind));
    }
    const size_t numberWidth =
        std::to_string(table.firstLine + std::max<int64_t>(static_cast<int64_t>(text.size()), 1) -
                       1)
            .size();
    size_t margin = 0;
    if (!table.leftOut.empty())
        for (const std::string& mark : marks)
            margin = std::max(margin, mark.size() + 1);
    const size_t indent = 2 + numberWidth + margin + 2;
    size_t width = 0;
    for (const std::string& line : text)
        width = std::max(width, CharCount(line));
    std::vector<PreviewColumn> fields;
    std::copy_if(table.columns.begin(), table.columns.end(), std::back_inserter(fields),
                 [](const PreviewColumn& c) { return c.group == 0; });
    out += "\n";
    for (const std::string& line : PreviewRuler(fields, width, indent))
        out += line + "\n";
    for (size_t i = 0; i < text.size(); ++i) {
        const std::string number = std::to_string(table.firstLine + static_cast<int64_t>(i));
        const std::string mark = margin > 0 ? " " + Padded(marks[i], margin - 1, false) : "";
        out += std::string(TrimRight("  " + Padded(number, numberWidth, true) + mark + "  " +
                                     text[i])) +
               "\n";
    }
}

} // namespace

std::vector<std::string> PreviewRuler(const std::vector<PreviewColumn>& columns, size_t width,
                                      size_t indent) {
    for (const PreviewColumn& c : columns)
        width = std::max(width, static_cast<size_t>(std::max(c.end, 0)));
    std::string positions, letters(width, ' '), fields(width, ' ');
    for (size_t i = 1; i <= width; ++i) {
        if (i % 10 == 0)
            positions.push_back(static_cast<char>('0' + (i / 10) % 10));
        else
            positions.push_back(i % 5 == 0 ? '+' : '.');
    }
    for (const PreviewColumn& c : columns) {
        if (c.start < 1 || c.end < c.start) continue;
        const auto start = static_cast<size_t>(c.start - 1);
        for (size_t i = start; i < static_cast<size_t>(c.end); ++i)
            fields[i] = i == start ? '|' : '-';
        letters.replace(start, std::min(c.letters.size(), width - start), c.letters);
    }
    const std::string pad(indent, ' ');
    return {pad + positions, std::string(TrimRight(pad + letters)),
            std::string(TrimRight(pad + fields))};
}

std::string WhyNoRows(const PreviewTable& table) {
    if (table.rowCount > 0) return {};
    if (!table.expanded) return "the recipe's expansion stopped before this table";
    if (table.columns.empty()) return "it has no fields";
    if (table.startKeyLine == 0) return "its start key is not in the report";
    if (table.endKeyLine == 0) return "its end key is not in the report";
    if (table.lastLine < table.firstLine) return "its end key comes before its start key";
    if (!table.ran) return "the run ended before this table";
    if (table.firstLine <= 0 || table.lastLine <= 0)
        return "its first or last line lies before the report's first line: a job skips it";
    return "no rows were written";
}

std::string FormatPreview(const PreviewResult& result, ReportLineSource& report) {
    std::string out = "Report: " + result.report.string() + "\n";
    if (result.tables.empty()) out += "No tables.\n";
    for (const PreviewTable& table : result.tables) {
        out += "\n";
        const int64_t lines = table.lastLine - table.firstLine + 1;
        // Every line the run went through is a row or a line left out.
        const int64_t leftOut = static_cast<int64_t>(table.leftOut.size());
        if (table.rowCount > 0)
            out += fmt::format("Table {}: lines {} to {}, {} row{}{}\n", table.number,
                               table.firstLine, PreviewLastLine(table),
                               table.rowCount, table.rowCount == 1 ? "" : "s",
                               leftOut > 0 ? fmt::format(" ({} line{} left out)", leftOut,
                                                         leftOut == 1 ? "" : "s")
                                           : std::string());
        else
            out += fmt::format("Table {}: no rows: {}\n", table.number, WhyNoRows(table));
        out += "  " + KeyLine("start", table.startKey, table.startKeyLine, table.startOffset) +
               "; " + KeyLine("end", table.endKey, table.endKeyLine, table.endOffset) + "\n";
        if (!table.columns.empty()) {
            std::string list;
            for (const PreviewColumn& c : table.columns)
                list += fmt::format("{}{} {}-{}{}", list.empty() ? "" : ", ", c.letters, c.start,
                                    c.end,
                                    c.group > 0 ? fmt::format(" (group {})", c.group) : "");
            out += "  columns: " + list + "\n";
        }
        // The ruler over the table's first lines.
        if (!table.columns.empty() && table.firstLine >= 1 && lines >= 1)
            AppendRulerLines(out, table, report, lines);
        if (!table.rows.empty() && !table.columns.empty()) {
            out += "\n";
            AppendRows(out, table);
        } else if (table.rowCount > 0) {
            out += fmt::format("  ({} rows, none shown)\n", table.rowCount);
        }
    }
    if (result.titles > 0 || result.consolidations > 0)
        out += fmt::format("\nThe recipe also writes {} title{} and {} consolidation{} to "
                           "workbooks.\n",
                           result.titles, result.titles == 1 ? "" : "s", result.consolidations,
                           result.consolidations == 1 ? "" : "s");
    if (result.stopped) out += "\nThe preview was stopped.\n";
    return out;
}

} // namespace vok
