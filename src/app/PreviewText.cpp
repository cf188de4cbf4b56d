#include "app/PreviewText.h"

#include "base/TextEncoding.h"
#include "base/modUtilityString.h"

#include <algorithm>
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
        if (table.rowCount > 0)
            out += fmt::format("Table {}: lines {} to {}, {} row{}\n", table.number,
                               table.firstLine, table.firstLine + table.rowCount - 1,
                               table.rowCount, table.rowCount == 1 ? "" : "s");
        else
            out += fmt::format("Table {}: no rows: {}\n", table.number, WhyNoRows(table));
        out += "  " + KeyLine("start", table.startKey, table.startKeyLine, table.startOffset) +
               "; " + KeyLine("end", table.endKey, table.endKeyLine, table.endOffset) + "\n";
        if (!table.columns.empty()) {
            std::string list;
            for (const PreviewColumn& c : table.columns)
                list +=
                    fmt::format("{}{} {}-{}", list.empty() ? "" : ", ", c.letters, c.start, c.end);
            out += "  columns: " + list + "\n";
        }
        // The ruler over the table's first lines.
        if (!table.columns.empty() && table.firstLine >= 1 && lines >= 1) {
            const int64_t count = std::clamp<int64_t>(
                std::min(lines, report.LineCount() - table.firstLine + 1), 0, kPreviewRulerLines);
            std::vector<std::string> text;
            for (int64_t line = table.firstLine; line < table.firstLine + count; ++line)
                text.push_back(report.Line(line));
            const size_t numberWidth =
                std::to_string(table.firstLine + std::max<int64_t>(count, 1) - 1).size();
            const size_t indent = 2 + numberWidth + 2;
            size_t width = 0;
            for (const std::string& line : text)
                width = std::max(width, CharCount(line));
            out += "\n";
            for (const std::string& line : PreviewRuler(table.columns, width, indent))
                out += line + "\n";
            for (size_t i = 0; i < text.size(); ++i)
                out += std::string(TrimRight(
                           "  " +
                           Padded(std::to_string(table.firstLine + static_cast<int64_t>(i)),
                                  numberWidth, true) +
                           "  " + text[i])) +
                       "\n";
        }
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
