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

// True when the line, as the file holds it, begins with the mark (ASCII):
// the first characters of the line are the mark's in either encoding.
bool BeginsWith(std::string_view line, std::string_view mark) {
    return line.size() >= mark.size() && line.substr(0, mark.size()) == mark;
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
        observer.Show("Cannot write the export specification file " + long_file.string() + ": " +
                          error,
                      MessageIcon::Critical);
}

void ConvertShortToLong(JobObserver& observer, std::string_view caption,
                        const SectionedText& shortText, ProfileFile& longFile, TextIndex& report,
                        int32_t tabSize) {
    Messages& messages = observer;
    WriteHeader(longFile);
    longFile.Write("General", "Name", "");
    // Tables: section headers without "Col".
    const int64_t tables = CountKeyLines(shortText, {"[Table ", {}, {}, "Col"});
    // Each table in number order.
    for (int64_t i = 1; i <= tables; ++i) {
        const std::string section = "Table " + std::to_string(i);
        observer.StatusChanged(StatusTarget::Caption,
                               std::string(caption) + " - Scanning " + section);
        // The table's keys; the template keeps its leading blanks.
        const std::string startKey = GetIniValue(shortText, section, "ReadStartLine", "");
        TableSectionKeys table;
        table.ReadStartLine = startKey;
        if (!ReadIntegerKey(messages, GetIniValue(shortText, section, "ReadStartLineOffset", "0"),
                            section, "ReadStartLineOffset", table.ReadStartLineOffset))
            break;
        const std::string endKey = GetIniValue(shortText, section, "ReadEndLine", "");
        table.ReadEndLine = endKey;
        if (!ReadIntegerKey(messages, GetIniValue(shortText, section, "ReadEndLineOffset", "0"),
                            section, "ReadEndLineOffset", table.ReadEndLineOffset))
            break;
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
}

void FileCreateShort(JobObserver& observer, const std::filesystem::path& text_file,
                     const std::filesystem::path& short_file) {
    // A report that cannot be opened ends the operation.
    if (!TextReader(text_file, TextEncoding::Utf8).IsOpen()) return;
    ProfileFile recipe(short_file);
    MakeShortFromMarks(text_file, recipe);
    std::string error;
    if (!recipe.Commit(error))
        observer.Show("Cannot write the recipe file " + short_file.string() + ": " + error,
                      MessageIcon::Critical);
}

bool MakeShortFromMarks(const std::filesystem::path& text_file, ProfileFile& recipe) {
    // The lines are read as the file holds them and checked for UTF-8 on the
    // way: the report is read once, and the templates are decoded at the end.
    TextReader text(text_file, TextEncoding::Utf8);
    if (!text.IsOpen()) return false;
    recipe.Write("Header", "Product", "VOK-B");
    recipe.Write("Header", "FileType", "RECIPE");
    recipe.Write("Header", "FileFormat", "1.0");
    // Each marked block: a line that begins with ">>", the template line
    // after it (whatever it holds), and the next line that begins with "<<".
    Utf8Validator validator;
    std::vector<std::string> templates;
    std::string_view line;
    // After the first empty template no block counts, but the rest of the
    // report is still read: its encoding decides how the templates read.
    enum class Looking { ForStart, ForTemplate, ForEnd, Done } looking = Looking::ForStart;
    std::string templ;
    while (text.ReadRawLine(line)) {
        // A line end between lines: a sequence cannot run over it.
        validator.Feed(line.data(), line.size());
        validator.Feed("\n", 1);
        switch (looking) {
        case Looking::ForStart:
            if (BeginsWith(line, ">>")) looking = Looking::ForTemplate;
            break;
        case Looking::ForTemplate:
            templ.assign(line);
            looking = Looking::ForEnd;
            break;
        case Looking::ForEnd:
            if (BeginsWith(line, "<<")) {
                templates.push_back(std::move(templ));
                looking = Looking::ForStart;
            }
            break;
        case Looking::Done:
            break;
        }
        // One table per marked block, up to the first empty template.
        if (looking == Looking::ForEnd && templ.empty()) looking = Looking::Done;
    }
    const bool latin = !validator.Finish();
    // One table per marked block, found by its numbered marks.
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
    return true;
}

} // namespace vok
