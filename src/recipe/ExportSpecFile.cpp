#include "recipe/ExportSpecFile.h"

#include "base/ColumnLetters.h"
#include "base/JobObserver.h"
#include "base/TextAccess.h"
#include "base/TextEncoding.h"
#include "base/TextIndex.h"
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

// The table number right after a mark (">>12" gives 12); 0 when none.
int64_t MarkNumber(std::string_view line) {
    int64_t number = 0;
    for (size_t i = 2; i < line.size() && line[i] >= '0' && line[i] <= '9' && number < 1'000'000;
         ++i)
        number = number * 10 + (line[i] - '0');
    return number;
}

// Reads the marks of a report a line at a time: the i-th table from the top
// is marked by a line beginning with ">>i", its template on the next line,
// its rows, and a line beginning with "<<i". Marks that break this rule would
// convert some other stretch of the report without a word, so the first
// fault ends the reading of marks: the tables marked soundly above it are
// kept, and the fault is said with the line where the reading stopped.
class MarkReader {
public:
    explicit MarkReader(const std::filesystem::path& file) : file_(file) {}

    // The next line of the report, as the file holds it.
    void Feed(std::string_view line) {
        ++lineNumber_;
        if (!problem_.empty()) return;
        const bool start = line.starts_with(">>"), end = line.starts_with("<<");
        if (templateDue_) {
            templateDue_ = false;
            if (start || end || Trim(line).empty())
                Fault(fmt::format("{}: the mark >>{} is not followed by a template line.",
                                  Where(openLine_), openTable_));
            else
                template_.assign(line);
            return;
        }
        if (!start && !end) return;
        const int64_t number = MarkNumber(line);
        if (start && openTable_ != 0) {
            Fault(fmt::format("{}: a new table is marked before the table marked >>{} on line {} "
                              "ends with a line beginning with <<{}.",
                              Where(lineNumber_), openTable_, openLine_, openTable_));
        } else if (start && number != expected_) {
            Fault(fmt::format("{}: the mark should read >>{}; marked tables are numbered 1, 2, "
                              "3 ... from the top of the report.",
                              Where(lineNumber_), expected_));
        } else if (start) {
            openTable_ = number;
            openLine_ = lineNumber_;
            templateDue_ = true;
        } else if (openTable_ == 0) {
            const int64_t shown = number == 0 ? expected_ : number;
            Fault(fmt::format("{}: the end mark <<{} has no start mark >>{} above it.",
                              Where(lineNumber_), shown, shown));
        } else if (number != openTable_) {
            Fault(fmt::format("{}: the end mark should read <<{}, to close the table marked >>{} "
                              "on line {}.",
                              Where(lineNumber_), openTable_, openTable_, openLine_));
        } else {
            templates_.push_back(std::move(template_));
            openTable_ = 0;
            ++expected_;
        }
    }

    // The templates of the tables marked soundly, top first, as the file holds them.
    std::vector<std::string>& Templates() { return templates_; }

    // The first fault of the whole report and what became of the tables
    // above it; "" when there is none.
    std::string Finish() {
        // A table still open at the end has no end mark.
        if (problem_.empty() && templateDue_)
            Fault(fmt::format("{}: the mark >>{} is not followed by a template line.",
                              Where(openLine_), openTable_));
        if (problem_.empty() && openTable_ != 0)
            Fault(fmt::format(
                "{}: the table marked >>{} has no end mark (a line beginning with <<{}).",
                Where(openLine_), openTable_, openTable_));
        if (problem_.empty() && templates_.empty())
            return fmt::format("The report {} holds no marked table: no line begins with >>1.",
                               file_.string());
        // Where the reading stopped, when tables above it are converted.
        if (problem_.empty() || templates_.empty()) return problem_;
        const size_t kept = templates_.size();
        const std::string tables = kept == 1   ? "table 1, above it, is"
                                   : kept == 2 ? "tables 1 and 2, above it, are"
                                               : fmt::format("tables 1 to {}, above it, are", kept);
        return fmt::format("{} The reading of the marks stopped at line {}: only {} converted.",
                           problem_, stopLine_, tables);
    }

private:
    std::string Where(int64_t line) const {
        return fmt::format("Line {} of the report {}", line, file_.string());
    }

    // The reading stops at the start of the table the fault belongs to.
    void Fault(std::string text) {
        problem_ = std::move(text);
        stopLine_ = openTable_ != 0 ? openLine_ : lineNumber_;
    }

    const std::filesystem::path& file_;
    std::vector<std::string> templates_;
    std::string template_, problem_;
    int64_t lineNumber_ = 0, openTable_ = 0, openLine_ = 0, expected_ = 1, stopLine_ = 0;
    bool templateDue_ = false;
};

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

void ExpectKeyTexts(const SectionedText& recipe, TextIndex& report) {
    const int64_t tables = CountKeyLines(recipe, {"[Table ", {}, {}, "Col"});
    for (int64_t i = 1; i <= tables; ++i) {
        const std::string section = "Table " + std::to_string(i);
        report.Expect(GetIniValue(recipe, section, "ReadStartLine", ""));
        report.Expect(GetIniValue(recipe, section, "ReadEndLine", ""));
    }
}

void FileConvertShortToLong(JobObserver& observer, std::string_view caption,
                            const std::filesystem::path& short_file,
                            const std::filesystem::path& long_file,
                            const std::filesystem::path& textDataFile, int32_t tabSize) {
    // A missing recipe gives a long file with header and [General] only.
    if (!FileExists(short_file))
        observer.Show("short format recipe file does not exist!", MessageIcon::None);
    const SectionedText shortText = SectionedText::FromFile(short_file);
    TextIndex report(textDataFile);
    ExpectKeyTexts(shortText, report);
    ProfileFile longFile(long_file);
    ConvertShortToLong(observer, caption, shortText, longFile, report, tabSize);
    std::string error;
    if (!longFile.Commit(error))
        observer.Show("Cannot write the export-specs file " + long_file.string() + ": " + error,
                      MessageIcon::Critical);
}

namespace {

// Why a table whose template derives its layout from the report got none:
// its key lines were not found, or the lines between them hold no row.
std::string NoLayoutMessage(const clsTableParser& parser, int64_t table,
                            const std::filesystem::path& report) {
    if (!parser.LoadProblem.empty())
        return fmt::format("Table {}: its lines could not be read to derive the column layout "
                           "of its template from: {}.",
                           table, parser.LoadProblem);
    if (parser.MarkerTopLoc < 1 || parser.MarkerBotLoc < parser.MarkerTopLoc)
        return "Table " + std::to_string(table) + " not found!";
    if (parser.DataBotLoc < parser.DataTopLoc)
        return fmt::format("Table {} was found, but holds no line (it would start on line {} and "
                           "end on line {} of the report {}): there is no row to derive the "
                           "column layout of its template from.",
                           table, parser.DataTopLoc, parser.DataBotLoc, report.string());
    return fmt::format("Table {} was found, but its lines (line {} to line {} of the report {}) "
                       "are empty: there is no row to derive the column layout of its template "
                       "from.",
                       table, parser.DataTopLoc, parser.DataBotLoc, report.string());
}

} // namespace

namespace {

// The table's key line offsets as the short format gives them; false (said)
// when one is no whole number.
bool ReadOffsets(Messages& messages, const SectionedText& shortText, const std::string& section,
                 TableSectionKeys& table) {
    return ReadIntegerKey(messages, GetIniValue(shortText, section, "ReadStartLineOffset", "0"),
                          section, "ReadStartLineOffset", table.ReadStartLineOffset) &&
           ReadIntegerKey(messages, GetIniValue(shortText, section, "ReadEndLineOffset", "0"),
                          section, "ReadEndLineOffset", table.ReadEndLineOffset);
}

// Expands table i into its section and one section per field; false when
// the expansion ends there.
bool ExpandTable(Messages& messages, const SectionedText& shortText, ProfileFile& longFile,
                 TextIndex& report, int32_t tabSize, int64_t i) {
    const std::string section = "Table " + std::to_string(i);
    // The table's keys; the template keeps its leading blanks.
    const std::string startKey = GetIniValue(shortText, section, "ReadStartLine", "");
    const std::string endKey = GetIniValue(shortText, section, "ReadEndLine", "");
    TableSectionKeys table;
    table.ReadStartLine = startKey;
    table.ReadEndLine = endKey;
    if (!ReadOffsets(messages, shortText, section, table)) return false;
    const std::string parsing = GetIniValueEx(shortText, section, "Parsing", "", kTrimTrailing);
    const std::string writeColumn = GetIniValue(shortText, section, "WriteColumn", "");
    // The template in upper case and its keyword.
    clsTableParser parser(messages);
    std::string templ = AsciiUpper(parsing);
    const std::string keyword(Trim(templ));
    // Templates that need the report read it for the table's width.
    if (ReadsTheReport(templ, keyword)) {
        parser.ReadFromFile(report, startKey, table.ReadStartLineOffset, endKey,
                            table.ReadEndLineOffset, tabSize);
        const int32_t width = parser.TableWidth;
        if (width == 0) {
            messages.Show(NoLayoutMessage(parser, i, report.Path()), MessageIcon::Warning);
            return false;
        }
        templ = parser.VariableToFixedTemplate(ExpandKeyword(templ, keyword, width));
    }
    // The fields of the template.
    std::vector<int32_t> colStart, colEnd;
    std::vector<std::string> colOp;
    if (!parser.analyze_template(templ, colStart, colEnd, colOp)) {
        messages.Show("Table " + std::to_string(i) + " not found!", MessageIcon::Warning);
        return false;
    }
    // The table and one column per field, numbered from the first column.
    table.TotalColumns = static_cast<int32_t>(colStart.size());
    WriteTableSection(longFile, static_cast<int32_t>(i), table);
    const int32_t firstColumn =
        ShowProblems(messages, AlphaToNum2(writeColumn), MessageIcon::Critical);
    for (size_t j = 0; j < colStart.size(); ++j) {
        const std::string letters = ShowProblems(
            messages, NumToAlpha2(firstColumn + static_cast<int32_t>(j)), MessageIcon::Critical);
        WriteColumnSection(longFile, static_cast<int32_t>(i), static_cast<int32_t>(j + 1),
                           {colStart[j], colEnd[j], letters, {}});
    }
    return true;
}

} // namespace

void ConvertShortToLong(JobObserver& observer, std::string_view caption,
                        const SectionedText& shortText, ProfileFile& longFile, TextIndex& report,
                        int32_t tabSize) {
    // A fault shared by the fields of one table is said once, with its count.
    RepeatFoldingMessages messages(observer);
    WriteHeader(longFile);
    longFile.Write("General", "Name", "");
    // Tables: section headers without "Col".
    const int64_t tables = CountKeyLines(shortText, {"[Table ", {}, {}, "Col"});
    // Each table in number order.
    for (int64_t i = 1; i <= tables; ++i) {
        const RepeatScope scope(messages);
        observer.StatusChanged(StatusTarget::Caption,
                               std::string(caption) + " - Scanning Table " + std::to_string(i));
        if (!ExpandTable(messages, shortText, longFile, report, tabSize, i)) break;
    }
    observer.StatusChanged(StatusTarget::Caption, caption);
}

bool FileCreateShort(JobObserver& observer, const std::filesystem::path& text_file,
                     const std::filesystem::path& short_file) {
    // A report that cannot be read ends the operation. Faulty marks are
    // said; the recipe of the tables above them is still written.
    ProfileFile recipe(short_file);
    const MarkedRecipe marked = MakeShortFromMarks(text_file, recipe);
    if (!marked.read) {
        observer.Show(marked.problem, MessageIcon::Critical);
        return false;
    }
    if (!marked.problem.empty()) observer.Show(marked.problem, MessageIcon::Critical);
    std::string error;
    if (!recipe.Commit(error)) {
        observer.Show("Cannot write the recipe file " + short_file.string() + ": " + error,
                      MessageIcon::Critical);
        return false;
    }
    return marked.tables > 0;
}

MarkedRecipe MakeShortFromMarks(const std::filesystem::path& text_file, ProfileFile& recipe) {
    // The lines are read as the file holds them and checked for UTF-8 on the
    // way: the report is read once, and the templates are decoded at the end.
    MarkedRecipe marked;
    TextReader text(text_file, TextEncoding::Utf8);
    if (!text.IsOpen()) {
        marked.problem = "Cannot read the report " + text_file.string() + ": " + text.OpenError();
        return marked;
    }
    recipe.Write("Header", "Product", "VOK-B");
    recipe.Write("Header", "FileType", "RECIPE");
    recipe.Write("Header", "FileFormat", "1.0");
    // Every line goes to the marks and to the encoding check: after a fault
    // no mark counts, but the whole report's encoding decides how the
    // templates read.
    MarkReader marks(text_file);
    Utf8Validator validator;
    std::string_view line;
    while (text.ReadRawLine(line)) {
        // A line end between lines: a sequence cannot run over it.
        validator.Feed(line.data(), line.size());
        validator.Feed("\n", 1);
        marks.Feed(line);
    }
    // A report cut short by a read error would lose its later tables unsaid.
    if (text.ReadFailed()) {
        marked.problem = "Cannot read the report " + text_file.string() + ": " + text.ReadError();
        return marked;
    }
    const bool latin = !validator.Finish();
    marked.read = true;
    marked.problem = marks.Finish();
    // One table per soundly marked block, found by its numbered marks.
    std::vector<std::string>& templates = marks.Templates();
    for (size_t i = 0; i < templates.size(); ++i) {
        const std::string section = "Table " + std::to_string(i + 1);
        std::string parsing;
        if (latin)
            AppendWindows1252AsUtf8(parsing, templates[i]);
        else
            parsing = std::move(templates[i]);
        recipe.Write(section, "ReadStartLine", ">>" + std::to_string(i + 1));
        recipe.Write(section, "ReadStartLineOffset", "2");
        recipe.Write(section, "ReadEndLine", "<<" + std::to_string(i + 1));
        recipe.Write(section, "ReadEndLineOffset", "-1");
        recipe.Write(section, "Parsing", parsing);
        recipe.Write(section, "WriteColumn", "A");
    }
    marked.tables = static_cast<int64_t>(templates.size());
    return marked;
}

} // namespace vok
