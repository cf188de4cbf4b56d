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

#include <algorithm>
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

void WriteHeader(ProfileWriter& file) {
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

void WriteTableSection(ProfileWriter& file, int32_t table_number, const TableSectionKeys& keys) {
    const std::string section = "Table " + std::to_string(table_number);
    file.Write(section, "ReadStartLine", keys.ReadStartLine);
    file.Write(section, "ReadStartLineOffset", std::to_string(keys.ReadStartLineOffset));
    file.Write(section, "ReadEndLine", keys.ReadEndLine);
    file.Write(section, "ReadEndLineOffset", std::to_string(keys.ReadEndLineOffset));
    file.Write(section, "TotalColumns", std::to_string(keys.TotalColumns));
    if (keys.Lines) WriteLineRules(file, section, *keys.Lines);
}

void WriteColumnSection(ProfileWriter& file, int32_t table_number, int32_t col,
                        const ColumnSectionKeys& keys) {
    const std::string section =
        "Table " + std::to_string(table_number) + " Col " + std::to_string(col);
    file.Write(section, "ReadColumnStart", std::to_string(keys.ReadColumnStart));
    file.Write(section, "ReadColumnEnd", std::to_string(keys.ReadColumnEnd));
    file.Write(section, "WriteColumn", keys.WriteColumn);
    file.Write(section, "PeriodOperator", keys.PeriodOperator);
}

namespace {

// A sheet column of one or two letters ("A" to "ZZ") as a number; 0 when the
// text is none.
// A key that is not there: the reader's default, or nothing from a file
// that could not be read.
bool IsMissing(std::string_view value) {
    return value.empty() || value == kMissing;
}

int32_t ColumnNumber(std::string_view letters) {
    if (letters.empty() || letters.size() > 2) return 0;
    int32_t number = 0;
    for (const char c : letters) {
        const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        if (upper < 'A' || upper > 'Z') return 0;
        number = number * 26 + (upper - 'A' + 1);
    }
    return number;
}

bool Refuse(Messages& messages, std::string_view section, std::string_view text) {
    messages.Show(fmt::format("Error in {} : {}", section, text), MessageIcon::Critical);
    return false;
}

bool ReadPageHeaderLines(Messages& messages, const SectionKeyLookup& lookup,
                         std::string_view section, int32_t& lines) {
    const std::string value = lookup("PageHeaderLines", kTrimBoth);
    lines = 0;
    if (IsMissing(value)) return true;
    if (!ParseWholeNumber(value, lines) || lines < 1 || lines > kLargestPageHeader)
        return Refuse(messages, section,
                      fmt::format("PageHeaderLines must be a whole number from 1 to {}: {}",
                                  kLargestPageHeader, Echo(value)));
    return true;
}

// Group k's keys; false (said) when they are unusable. `present` tells
// whether the section holds any of them.
bool ReadGroup(Messages& messages, const SectionKeyLookup& lookup, std::string_view section,
               size_t k, LineGroup& group, bool& present) {
    const std::string line = lookup(fmt::format("GroupLine{}", k), kTrimBoth);
    const std::string parsing = lookup(fmt::format("GroupParsing{}", k), kTrimTrailing);
    const std::string column = lookup(fmt::format("GroupWriteColumn{}", k), kTrimBoth);
    present = !IsMissing(line) || !IsMissing(parsing) || !IsMissing(column);
    if (!present) return true;
    if (IsMissing(line))
        return Refuse(messages, section,
                      fmt::format("GroupLine{} is missing: a group needs the text of its lines "
                                  "(GroupParsing{} and GroupWriteColumn{} belong to it)",
                                  k, k, k));
    if (IsMissing(parsing))
        return Refuse(messages, section,
                      fmt::format("GroupParsing{} is missing: group {} needs the template its "
                                  "lines are cut with",
                                  k, k));
    if (parsing.find('=') != std::string::npos)
        return Refuse(messages, section,
                      fmt::format("GroupParsing{} may not hold \"=\": a group line's fields are "
                                  "marked by \"-\" runs, not derived: {}",
                                  k, Echo(parsing)));
    if (IsMissing(column))
        return Refuse(messages, section,
                      fmt::format("GroupWriteColumn{} is missing: group {} needs the sheet column "
                                  "of its first field",
                                  k, k));
    group.column = ColumnNumber(column);
    if (group.column == 0)
        return Refuse(messages, section,
                      fmt::format("GroupWriteColumn{} is not a column (A to ZZ): {}", k,
                                  Echo(column)));
    group.text = line;
    group.templ = parsing;
    group.writeColumn = column;
    std::vector<std::string> ops;
    clsTableParser parser(messages);
    return parser.analyze_template(parsing, group.fieldStart, group.fieldEnd, ops);
}

} // namespace

bool ReadLineRules(Messages& messages, const SectionKeyLookup& lookup, std::string_view section,
                   LineRules& rules) {
    rules = LineRules{};
    for (size_t n = 1;; ++n) {
        std::string text = lookup(fmt::format("SkipLine{}", n), kTrimBoth);
        if (IsMissing(text)) break;
        rules.skipTexts.push_back(std::move(text));
    }
    rules.skipBlankLines = AsciiUpper(lookup("SkipBlankLines", kTrimBoth)) == "YES";
    if (!ReadPageHeaderLines(messages, lookup, section, rules.pageHeaderLines)) return false;
    for (size_t k = 1;; ++k) {
        LineGroup group;
        bool present = false;
        if (!ReadGroup(messages, lookup, section, k, group, present)) return false;
        if (!present) return true;
        rules.groups.push_back(std::move(group));
    }
}

bool MayHoldLineRules(const SectionedCursor& from) {
    return SectionMentions(from, {"Skip", "PageHeaderLines", "Group"});
}

void WriteLineRules(ProfileWriter& file, std::string_view section, const LineRules& rules) {
    for (size_t n = 0; n < rules.skipTexts.size(); ++n)
        file.Write(section, fmt::format("SkipLine{}", n + 1), rules.skipTexts[n]);
    if (rules.skipBlankLines) file.Write(section, "SkipBlankLines", "YES");
    if (rules.pageHeaderLines > 0)
        file.Write(section, "PageHeaderLines", std::to_string(rules.pageHeaderLines));
    for (size_t k = 0; k < rules.groups.size(); ++k) {
        const LineGroup& group = rules.groups[k];
        file.Write(section, fmt::format("GroupLine{}", k + 1), group.text);
        file.Write(section, fmt::format("GroupParsing{}", k + 1), group.templ);
        file.Write(section, fmt::format("GroupWriteColumn{}", k + 1), group.writeColumn);
    }
}

std::vector<std::string> KeyTextsOf(const SectionedText& recipe) {
    std::vector<std::string> keys;
    const int64_t tables = CountTableSections(recipe);
    keys.reserve(static_cast<size_t>(2 * std::max<int64_t>(tables, 0)));
    for (int64_t i = 1; i <= tables; ++i) {
        // The section found once for both keys.
        const SectionLookup keyOf(recipe, "Table " + std::to_string(i));
        keys.push_back(keyOf.Get("ReadStartLine", ""));
        keys.push_back(keyOf.Get("ReadEndLine", ""));
    }
    return keys;
}

void ExpectKeyTexts(const SectionedText& recipe, TextIndex& report) {
    const std::vector<std::string> keys = KeyTextsOf(recipe);
    report.ExpectMany(keys.size());
    for (const std::string& key : keys)
        report.Expect(key);
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

// A table of a short-format recipe as its section says it.
struct ShortTable {
    std::string startKey, endKey, parsing, writeColumn;
    LineRules lines;
    TableSectionKeys keys; // its texts are views of the strings above
    // Line keys the expansion cannot use, as the section holds them: copied
    // so that the export-specs file's reader refuses the table by name, once,
    // and the job writes nothing rather than the tables around it.
    std::vector<std::pair<std::string, std::string>> unusable;
};

// Says nothing: the reader of the export-specs file says it.
class Unsaid final : public Messages {
protected:
    void DisplayMessage(std::string_view, MessageIcon, std::string_view, MessageKind) override {}
    bool DisplayQuestion(std::string_view, MessageIcon, std::string_view) override {
        return false;
    }
};

// The line keys a section holds, as it holds them.
std::vector<std::pair<std::string, std::string>> LineKeysAsWritten(const SectionKeyLookup& lookup) {
    std::vector<std::pair<std::string, std::string>> keys;
    auto copy = [&](std::string key, int32_t trimMode) {
        std::string value = lookup(key, trimMode);
        if (IsMissing(value)) return false;
        keys.emplace_back(std::move(key), std::move(value));
        return true;
    };
    for (size_t n = 1; copy(fmt::format("SkipLine{}", n), kTrimBoth); ++n) {
    }
    copy("SkipBlankLines", kTrimBoth);
    copy("PageHeaderLines", kTrimBoth);
    for (size_t k = 1;; ++k) {
        const bool line = copy(fmt::format("GroupLine{}", k), kTrimBoth);
        const bool parsing = copy(fmt::format("GroupParsing{}", k), kTrimTrailing);
        const bool column = copy(fmt::format("GroupWriteColumn{}", k), kTrimBoth);
        if (!line && !parsing && !column) return keys;
    }
}

// False (said) when a key of the table's section is unusable.
bool ReadShortTable(Messages& messages, const SectionedText& text, const std::string& section,
                    ShortTable& table) {
    TableSectionKeys& keys = table.keys;
    const SectionLookup keyOf(text, section);
    table.startKey = keyOf.Get("ReadStartLine", "");
    keys.ReadStartLine = table.startKey;
    if (!ReadIntegerKey(messages, keyOf.Get("ReadStartLineOffset", "0"), section,
                        "ReadStartLineOffset", keys.ReadStartLineOffset))
        return false;
    table.endKey = keyOf.Get("ReadEndLine", "");
    keys.ReadEndLine = table.endKey;
    if (!ReadIntegerKey(messages, keyOf.Get("ReadEndLineOffset", "0"), section, "ReadEndLineOffset",
                        keys.ReadEndLineOffset))
        return false;
    // The template keeps its leading blanks.
    table.parsing = keyOf.Get("Parsing", "", kTrimTrailing);
    table.writeColumn = keyOf.Get("WriteColumn", "");
    // The lines the table leaves out and its groups, copied after its keys.
    const SectionKeyLookup lookup = [&](std::string_view key, int32_t trimMode) {
        return keyOf.Get(key, kMissing, trimMode);
    };
    Unsaid unsaid;
    if (!keyOf.Found() || !MayHoldLineRules(keyOf.Body()))
        keys.Lines = &table.lines;
    else if (ReadLineRules(unsaid, lookup, section, table.lines))
        keys.Lines = &table.lines;
    else
        table.unusable = LineKeysAsWritten(lookup);
    return true;
}

// A table's columns as its template and first column make them, kept for
// the next table: the tables of a recipe mostly share both, and the template
// is then not cut into fields again nor the letters made again.
class TableColumns {
public:
    // The fields of `templ`; false (said) when it holds none.
    bool CutTemplate(Messages& messages, const std::string& templ, int64_t table) {
        if (fieldsKnown_ && templ_ == templ) return true;
        fieldsKnown_ = lettersKnown_ = false;
        clsTableParser parser(messages);
        if (!parser.analyze_template(templ, start_, end_, operators_)) {
            messages.Show("Table " + std::to_string(table) + " not found!", MessageIcon::Warning);
            return false;
        }
        templ_ = templ;
        fieldsKnown_ = true;
        return true;
    }
    size_t Count() const { return start_.size(); }
    // One column per field, numbered from sheet column `first`; letters that
    // cannot be made are said, and made (and said) again for the next table.
    const std::vector<ColumnSectionKeys>& From(Messages& messages, int32_t first) {
        if (lettersKnown_ && first_ == first) return columns_;
        bool sound = true;
        letters_.resize(start_.size());
        for (size_t j = 0; j < start_.size(); ++j) {
            const Checked<std::string> letters = NumToAlpha2(first + static_cast<int32_t>(j));
            sound = sound && letters.ok();
            letters_[j] = ShowProblems(messages, letters, MessageIcon::Critical);
        }
        columns_.resize(start_.size());
        for (size_t j = 0; j < start_.size(); ++j)
            columns_[j] = {start_[j], end_[j], letters_[j], {}};
        first_ = first;
        lettersKnown_ = sound;
        return columns_;
    }

private:
    std::string templ_;
    bool fieldsKnown_ = false;
    std::vector<int32_t> start_, end_;
    std::vector<std::string> operators_;
    int32_t first_ = 0;
    bool lettersKnown_ = false;
    std::vector<std::string> letters_;
    std::vector<ColumnSectionKeys> columns_; // their letters are views of letters_
};

// Expands table i into its section and one section per field, and hands
// what it wrote to `written` (null where the section holds more than its
// keys); false when the expansion ends there.
bool ExpandTable(Messages& messages, const SectionedText& shortText, ProfileWriter& longFile,
                 TextIndex& report, int32_t tabSize, int64_t i, TableColumns& made,
                 const std::function<void(const ExpandedTable*)>& written) {
    const std::string section = "Table " + std::to_string(i);
    // The table's keys, its lines left out and its groups.
    ShortTable short_;
    if (!ReadShortTable(messages, shortText, section, short_)) return false;
    TableSectionKeys& table = short_.keys;
    // The template in upper case and its keyword.
    std::string templ = AsciiUpper(short_.parsing);
    const std::string keyword(Trim(templ));
    // Templates that need the report read it for the table's width.
    if (ReadsTheReport(templ, keyword)) {
        clsTableParser parser(messages);
        parser.ReadFromFile(report, short_.startKey, table.ReadStartLineOffset, short_.endKey,
                            table.ReadEndLineOffset, tabSize, table.Lines);
        const int32_t width = parser.TableWidth;
        if (width == 0) {
            messages.Show(NoLayoutMessage(parser, i, report.Path()), MessageIcon::Warning);
            return false;
        }
        templ = parser.VariableToFixedTemplate(ExpandKeyword(templ, keyword, width));
    }
    // The fields of the template.
    if (!made.CutTemplate(messages, templ, i)) return false;
    // The table, the line keys it cannot use, and one column per field,
    // numbered from the first column.
    table.TotalColumns = static_cast<int32_t>(made.Count());
    // Letters and digits ("A1") would put the table in some other column.
    const std::string& writeColumn = short_.writeColumn;
    if (!Trim(writeColumn).empty() && !AreColumnLetters(Trim(writeColumn))) {
        messages.Show("Error in Table " + std::to_string(i) +
                          " : Write Column must be (A-Z)! (WriteColumn=" + Echo(writeColumn) + ")",
                      MessageIcon::Critical);
        return false;
    }
    WriteTableSection(longFile, static_cast<int32_t>(i), table);
    for (const auto& [key, value] : short_.unusable)
        longFile.Write(section, key, value);
    const int32_t firstColumn =
        ShowProblems(messages, AlphaToNum2(writeColumn), MessageIcon::Critical);
    const std::vector<ColumnSectionKeys>& columns = made.From(messages, firstColumn);
    for (size_t j = 0; j < columns.size(); ++j)
        WriteColumnSection(longFile, static_cast<int32_t>(i), static_cast<int32_t>(j + 1),
                           columns[j]);
    if (!written) return true;
    if (!short_.unusable.empty() || !table.Lines || !table.Lines->None()) {
        written(nullptr);
        return true;
    }
    const ExpandedTable expanded{static_cast<int32_t>(i), table, columns};
    written(&expanded);
    return true;
}

} // namespace

void ConvertShortToLong(JobObserver& observer, std::string_view caption,
                        const SectionedText& shortText, ProfileWriter& longFile, TextIndex& report,
                        int32_t tabSize,
                        const std::function<void(const ExpandedTable*)>& piecesDone,
                        std::optional<int64_t> tables) {
    // A fault shared by the fields of one table is said once, with its count.
    RepeatFoldingMessages messages(observer);
    WriteHeader(longFile);
    longFile.Write("General", "Name", "");
    if (piecesDone) piecesDone(nullptr);
    // Tables: section headers without "Col".
    if (!tables) tables = CountTableSections(shortText);
    // Each table in number order.
    TableColumns made;
    for (int64_t i = 1; i <= *tables; ++i) {
        const RepeatScope scope(messages);
        observer.StatusChanged(StatusTarget::Caption,
                               std::string(caption) + " - Scanning Table " + std::to_string(i));
        if (!ExpandTable(messages, shortText, longFile, report, tabSize, i, made, piecesDone))
            break;
    }
    observer.StatusChanged(StatusTarget::Caption, caption);
}

bool ExpansionReadsTheReport(const SectionedText& shortText) {
    const int64_t tables = CountTableSections(shortText);
    for (int64_t i = 1; i <= tables; ++i) {
        const std::string templ = AsciiUpper(
            GetIniValueEx(shortText, "Table " + std::to_string(i), "Parsing", "", kTrimTrailing));
        if (ReadsTheReport(templ, Trim(templ))) return true;
    }
    return false;
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

MarkedRecipe MakeShortFromMarks(const std::filesystem::path& text_file, ProfileWriter& recipe,
                                const std::filesystem::path& readFrom) {
    // The lines are read as the file holds them and checked for UTF-8 on the
    // way: the report is read once, and the templates are decoded at the end.
    MarkedRecipe marked;
    TextReader text(readFrom.empty() ? text_file : readFrom, TextEncoding::Utf8);
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
