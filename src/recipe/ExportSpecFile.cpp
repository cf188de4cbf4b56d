#include "recipe/ExportSpecFile.h"

#include "base/ColumnLetters.h"
#include "base/JobObserver.h"
#include "base/TextAccess.h"
#include "base/TextEncoding.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityString.h"
#include "layout/clsTableParser.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <fmt/format.h>
#include <string>
#include <vector>

namespace vok {

namespace {

// A template with "=" or a keyword that needs the table's width.
bool ReadsTheReport(std::string_view templ, std::string_view keyword) {
    return templ.find('=') != std::string_view::npos || keyword == "=R" || keyword == "=L" ||
           keyword == "=" || keyword == "-";
}

// Keyword expansion to the table width W (characters, not bytes).
std::string ExpandKeyword(const std::string& templ, std::string_view keyword, int32_t width) {
    auto repeat = [](char c, int32_t n) { return std::string(n > 0 ? n : 0, c); };
    if (keyword == "=") return repeat('=', width);
    if (keyword == "=L") return repeat('=', width - 1) + "L";
    if (keyword == "=R") return repeat('=', width - 1) + "R";
    if (keyword == "-") return repeat('-', width);
    const std::u32string chars = ToUtf32(templ);
    if (static_cast<int64_t>(chars.size()) > width && width >= 1) {
        std::u32string cut = chars.substr(0, static_cast<size_t>(width - 1));
        cut.push_back(chars.back());
        return ToUtf8(cut);
    }
    return templ;
}

void WriteHeader(ProfileFile& file) {
    file.Write("Header", "Product", kExportSpecProduct);
    file.Write("Header", "FileType", kExportSpecFileType);
    file.Write("Header", "FileFormat", kExportSpecFileFormat);
}

// A marked table: the line of its start mark, the template line after it,
// and the line of its end mark.
struct MarkedTable {
    int64_t startLine = 0;
    int64_t endLine = 0;
    std::string templateLine;
};

MarkedTable FindMarkedTable(TextReader& file, std::string_view startMark,
                            std::string_view endMark) {
    MarkedTable found;
    // The next line that begins with the start mark; the template follows it.
    const int64_t a =
        find_key_line(file, {startMark, {}, {}, {}}, 1, static_cast<int32_t>(CharCount(startMark)));
    if (a <= 0) return found;
    found.startLine = a;
    found.templateLine = file_read_line(file);
    // The next line that begins with the end mark.
    const int64_t b =
        find_key_line(file, {endMark, {}, {}, {}}, 1, static_cast<int32_t>(CharCount(endMark)));
    if (b <= 0) return found;
    found.endLine = a + b + 1;
    return found;
}

// The table number right after a mark (">>12" gives 12); 0 when none.
int64_t MarkNumber(std::string_view line) {
    int64_t number = 0;
    for (size_t i = 2; i < line.size() && line[i] >= '0' && line[i] <= '9' && number < 1'000'000;
         ++i)
        number = number * 10 + (line[i] - '0');
    return number;
}

// The first fault in the marks of a report, or "" when they are sound: the
// i-th table from the top is marked by a line beginning with ">>i", its
// template on the next line, its rows, and a line beginning with "<<i".
// Marks that break this rule would convert some other stretch of the report,
// or nothing, without a word.
std::string MarkProblem(TextReader& text, const std::filesystem::path& file) {
    const auto where = [&](int64_t line) {
        return fmt::format("Line {} of the report {}", line, file.string());
    };
    int64_t lineNumber = 0, openTable = 0, openLine = 0, expected = 1;
    bool templateDue = false;
    std::string_view line;
    while (text.ReadLine(line)) {
        ++lineNumber;
        const bool start = line.starts_with(">>"), end = line.starts_with("<<");
        if (templateDue) {
            templateDue = false;
            if (start || end || Trim(line).empty())
                return fmt::format("{}: the mark >>{} is not followed by a template line.",
                                   where(openLine), openTable);
            continue;
        }
        if (!start && !end) continue;
        const int64_t number = MarkNumber(line);
        if (start && openTable != 0)
            return fmt::format("{}: a new table is marked before the table marked >>{} on line {} "
                               "ends with a line beginning with <<{}.",
                               where(lineNumber), openTable, openLine, openTable);
        if (start && number != expected)
            return fmt::format("{}: the mark should read >>{}; marked tables are numbered 1, 2, "
                               "3 ... from the top of the report.",
                               where(lineNumber), expected);
        if (start) {
            openTable = number;
            openLine = lineNumber;
            templateDue = true;
        } else if (openTable == 0) {
            return fmt::format("{}: the end mark <<{} has no start mark >>{} above it.",
                               where(lineNumber), number == 0 ? expected : number,
                               number == 0 ? expected : number);
        } else if (number != openTable) {
            return fmt::format("{}: the end mark should read <<{}, to close the table marked >>{} "
                               "on line {}.",
                               where(lineNumber), openTable, openTable, openLine);
        } else {
            openTable = 0;
            ++expected;
        }
    }
    if (templateDue)
        return fmt::format("{}: the mark >>{} is not followed by a template line.", where(openLine),
                           openTable);
    if (openTable != 0)
        return fmt::format(
            "{}: the table marked >>{} has no end mark (a line beginning with <<{}).",
            where(openLine), openTable, openTable);
    if (expected == 1)
        return fmt::format("The report {} holds no marked table: no line begins with >>1.",
                           file.string());
    return {};
}

} // namespace

void WriteTableSection(ProfileFile& file, int32_t table_number, const TableSectionKeys& keys) {
    const std::string section = "Table " + std::to_string(table_number);
    file.Write(section, "ReadStartLine", keys.ReadStartLine);
    file.Write(section, "ReadStartLineOffset", std::to_string(keys.ReadStartLineOffset));
    file.Write(section, "ReadEndLine", keys.ReadEndLine);
    file.Write(section, "ReadEndLineOffset", std::to_string(keys.ReadEndLineOffset));
    file.Write(section, "TotalColumns", std::to_string(keys.TotalColumns));
}

void WriteColumnSection(ProfileFile& file, int32_t table_number, int32_t col,
                        const ColumnSectionKeys& keys) {
    const std::string section =
        "Table " + std::to_string(table_number) + " Col " + std::to_string(col);
    file.Write(section, "ReadColumnStart", std::to_string(keys.ReadColumnStart));
    file.Write(section, "ReadColumnEnd", std::to_string(keys.ReadColumnEnd));
    file.Write(section, "WriteColumn", keys.WriteColumn);
    file.Write(section, "PeriodOperator", keys.PeriodOperator);
}

void FileConvertShortToLong(JobObserver& observer, std::string_view caption,
                            const std::filesystem::path& short_file,
                            const std::filesystem::path& long_file,
                            const std::filesystem::path& textDataFile, int32_t tabSize) {
    Messages& messages = observer;
    // A missing recipe gives a long file with header and [General] only.
    if (!FileExists(short_file))
        messages.Show("short format recipe file does not exist!", MessageIcon::None);
    ProfileFile longFile(long_file);
    WriteHeader(longFile);
    longFile.Write("General", "Name", "");
    // Tables: section headers without "Col".
    const int64_t tables = file_count_key_lines(short_file, {"[Table ", {}, {}, "Col"});
    // Each table in number order.
    for (int64_t i = 1; i <= tables; ++i) {
        const std::string section = "Table " + std::to_string(i);
        observer.StatusChanged(StatusTarget::Caption,
                               std::string(caption) + " - Scanning " + section);
        // The table's keys; the template keeps its leading blanks.
        const std::string startKey = GetIniValue(short_file, section, "ReadStartLine", "");
        TableSectionKeys table;
        table.ReadStartLine = startKey;
        if (!ReadIntegerKey(messages, GetIniValue(short_file, section, "ReadStartLineOffset", "0"),
                            section, "ReadStartLineOffset", table.ReadStartLineOffset))
            break;
        const std::string endKey = GetIniValue(short_file, section, "ReadEndLine", "");
        table.ReadEndLine = endKey;
        if (!ReadIntegerKey(messages, GetIniValue(short_file, section, "ReadEndLineOffset", "0"),
                            section, "ReadEndLineOffset", table.ReadEndLineOffset))
            break;
        const std::string parsing =
            GetIniValueEx(short_file, section, "Parsing", "", kTrimTrailing);
        const std::string writeColumn = GetIniValue(short_file, section, "WriteColumn", "");
        // The template in upper case and its keyword.
        clsTableParser parser(messages);
        std::string templ = AsciiUpper(parsing);
        const std::string keyword(Trim(templ));
        // Templates that need the report read it for the table's width.
        if (ReadsTheReport(templ, keyword)) {
            parser.ReadFromFile(textDataFile, startKey, table.ReadStartLineOffset, endKey,
                                table.ReadEndLineOffset, tabSize);
            const int32_t width = parser.TableWidth;
            if (width == 0) {
                messages.Show("Table " + std::to_string(i) + " not found!", MessageIcon::Warning);
                break;
            }
            templ = parser.VariableToFixedTemplate(ExpandKeyword(templ, keyword, width));
        }
        // The fields of the template.
        std::vector<int32_t> colStart, colEnd;
        std::vector<std::string> colOp;
        if (!parser.analyze_template(templ, colStart, colEnd, colOp)) {
            messages.Show("Table " + std::to_string(i) + " not found!", MessageIcon::Warning);
            break;
        }
        // The table and one column per field, numbered from the first column.
        table.TotalColumns = static_cast<int32_t>(colStart.size());
        WriteTableSection(longFile, static_cast<int32_t>(i), table);
        const int32_t firstColumn = AlphaToNum2(messages, writeColumn);
        for (size_t j = 0; j < colStart.size(); ++j) {
            const std::string letters =
                NumToAlpha2(messages, firstColumn + static_cast<int32_t>(j));
            WriteColumnSection(longFile, static_cast<int32_t>(i), static_cast<int32_t>(j + 1),
                               {colStart[j], colEnd[j], letters, {}});
        }
    }
    observer.StatusChanged(StatusTarget::Caption, caption);
    std::string error;
    if (!longFile.Commit(error))
        messages.Show("Cannot write the export specification file " + long_file.string() + ": " +
                          error,
                      MessageIcon::Critical);
}

bool FileCreateShort(JobObserver& observer, const std::filesystem::path& text_file,
                     const std::filesystem::path& short_file) {
    // A report that cannot be opened ends the operation.
    TextReader text(text_file);
    if (!text.IsOpen()) {
        observer.Show("Cannot open the report " + text_file.string() + ": " + text.OpenError(),
                      MessageIcon::Critical);
        return false;
    }
    // Faulty marks are said; the recipe below still holds the tables marked
    // soundly before the fault.
    const std::string problem = MarkProblem(text, text_file);
    if (!problem.empty()) observer.Show(problem, MessageIcon::Critical);
    text.Rewind();
    ProfileFile recipe(short_file);
    recipe.Write("Header", "Product", "VOK-B");
    recipe.Write("Header", "FileType", "RECIPE");
    recipe.Write("Header", "FileFormat", "1.0");
    // One table per marked block, found by its numbered marks.
    for (int64_t i = 1;; ++i) {
        const MarkedTable marked = FindMarkedTable(text, ">>", "<<");
        if (marked.templateLine.empty() || marked.startLine == 0 || marked.endLine == 0) break;
        const std::string section = "Table " + std::to_string(i);
        recipe.Write(section, "ReadStartLine", ">>" + std::to_string(i));
        recipe.Write(section, "ReadStartLineOffset", "2");
        recipe.Write(section, "ReadEndLine", "<<" + std::to_string(i));
        recipe.Write(section, "ReadEndLineOffset", "-1");
        recipe.Write(section, "Parsing", marked.templateLine);
        recipe.Write(section, "WriteColumn", "A");
    }
    std::string error;
    if (!recipe.Commit(error)) {
        observer.Show("Cannot write the recipe file " + short_file.string() + ": " + error,
                      MessageIcon::Critical);
        return false;
    }
    return problem.empty();
}

} // namespace vok
