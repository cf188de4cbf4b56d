// The export specification's files and run.
//
// Expansion of a short-format recipe (FileConvertShortToLong), per table:
//   1. read its keys from the recipe;
//   2. upper-case the template; a template with "=", or one of the keywords
//      "=", "=L", "=R", "-", reads the table from the report and is expanded
//      to the table's width, then its "=" stretches are resolved;
//   3. cut the template into fields and make one column per field, numbered
//      from the recipe's first column;
//   4. write the table and its columns to the long-format file.
// The long-format file is written in memory and committed once at the end.
#include "engine/clsExportSpecs.h"

#include "base/Clock.h"
#include "base/Messages.h"
#include "app/ProgramState.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityString.h"
#include "output/CsvWriter.h"
#include "base/TextAccess.h"
#include "layout/clsTableParser.h"
#include "base/ColumnLetters.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <fmt/format.h>

namespace vok {

int32_t clsExportSpecs::getWritePointer(Messages& messages, int32_t sheet) const {
    if (sheet == 1) return writePointer1_;
    if (sheet == 2) return writePointer2_;
    messages.Show("Invalid sheet number in clsExportSpecs.getWritePointer!", MessageIcon::Critical);
    return 0;
}

void clsExportSpecs::setWritePointer(Messages& messages, int32_t sheet, int32_t write_pointer) {
    if (sheet == 1)
        writePointer1_ = write_pointer;
    else if (sheet == 2)
        writePointer2_ = write_pointer;
    else
        messages.Show("Invalid sheet number in clsExportSpecs.setWritePointer!",
                      MessageIcon::Critical);
}

void clsExportSpecs::ReadFromFile(ProgramState& state, const std::string& file_name) {
    // 1. A file of another kind leaves everything as it was.
    if (FileHeaderIsInvalid(state.messages, file_name, FileHeader_Product, FileHeader_FileType,
                            FileHeader_FileFormat))
        return;
    // 2. The name.
    Name = GetIniValue(file_name, "General", "Name", "");
    // 3. Section counts; column sections hold "Col" and are not tables.
    titleCount_ = static_cast<int32_t>(file_count_key_lines(file_name, {"[Title ", {}, {}, {}}));
    tableCount_ = static_cast<int32_t>(file_count_key_lines(file_name, {"[Table ", {}, {}, "Col"}));
    conCount_ =
        static_cast<int32_t>(file_count_key_lines(file_name, {"[Consolidate ", {}, {}, {}}));
    // 4. The run order.
    BuildSectionSequence(file_name);
    // 5-6. The sections of each kind, in number order; a section that fails its
    // checks still takes its place.
    TitlesCollection.clear();
    for (int32_t n = 1; n <= titleCount_; ++n)
        TitlesCollection.emplace_back().ReadFromFile(state, file_name, n);
    TablesCollection.clear();
    for (int32_t n = 1; n <= tableCount_; ++n)
        TablesCollection.emplace_back().ReadFromFile(state, file_name, n);
    ConsolidateCollection.clear();
    for (int32_t n = 1; n <= conCount_; ++n)
        ConsolidateCollection.emplace_back().ReadFromFile(state, file_name, n);
}

void clsExportSpecs::BuildSectionSequence(const std::string& file_name) {
    // 1. The sequence is rebuilt from the file's section header lines.
    TextReader file(file_name);
    SectionSequenceCollection.clear();
    // 2. One search per section; the sign and size of the result tell the kind.
    const int32_t sections = titleCount_ + tableCount_ + conCount_;
    for (int32_t i = 0; i < sections; ++i) {
        const int64_t r = find_key_line(file, {"[Title ", "[Table ", "[Consolidate ", "Col"});
        if (r > kEndKeyOffset)
            SectionSequenceCollection.emplace_back("Consolidate");
        else if (r > 0)
            SectionSequenceCollection.emplace_back("Title");
        else if (r < 0)
            SectionSequenceCollection.emplace_back("Table");
    }
}

bool clsExportSpecs::WriteToFile(ProgramState& state, const std::string& file_name) const {
    ProfileFile file(file_name);
    // 1. Header and name.
    file.Write("Header", "Product", FileHeader_Product);
    file.Write("Header", "FileType", FileHeader_FileType);
    file.Write("Header", "FileFormat", FileHeader_FileFormat);
    file.Write("General", "Name", Name);
    // 2. The sections in run order, numbered within their kind.
    size_t t = 0, k = 0, c = 0;
    for (const std::string& item : SectionSequenceCollection) {
        if (item == "Title" && t < TitlesCollection.size()) {
            ++t;
            TitlesCollection[t - 1].WriteToFile(file, static_cast<int32_t>(t));
        } else if (item == "Table" && k < TablesCollection.size()) {
            ++k;
            TablesCollection[k - 1].WriteToFile(file, static_cast<int32_t>(k));
        } else if (item == "Consolidate" && c < ConsolidateCollection.size()) {
            ++c;
            ConsolidateCollection[c - 1].WriteToFile(file, static_cast<int32_t>(c));
        } else {
            state.messages.Show("Invalid item in SectionSequenceCollection!",
                                MessageIcon::Critical);
        }
    }
    if (file.Commit()) return true;
    state.messages.Show("Cannot write the export specification file " + file_name,
                        MessageIcon::Critical);
    return false;
}

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

} // namespace

void clsExportSpecs::FileConvertShortToLong(ProgramState& state, const std::string& short_file,
                                            const std::string& long_file,
                                            const std::string& textDataFile) {
    Messages& messages = state.messages;
    // 1. A missing recipe gives a long file with header and [General] only.
    if (!FileExists(short_file))
        messages.Show("short format recipe file does not exist!", MessageIcon::None);
    // 2. Header and name.
    ProfileFile longFile(long_file);
    longFile.Write("Header", "Product", FileHeader_Product);
    longFile.Write("Header", "FileType", FileHeader_FileType);
    longFile.Write("Header", "FileFormat", FileHeader_FileFormat);
    longFile.Write("General", "Name", "");
    // 3. Tables: section headers without "Col".
    const int64_t tables = file_count_key_lines(short_file, {"[Table ", {}, {}, "Col"});
    // 4. The caption comes back when the expansion ends.
    const std::string caption = messages.Status(StatusTarget::Caption);
    // 5. Each table in number order.
    for (int64_t i = 1; i <= tables; ++i) {
        const std::string section = "Table " + std::to_string(i);
        messages.SetStatus(StatusTarget::Caption, caption + " - Scanning " + section);
        // 5.2. The table's keys; the template keeps its leading blanks.
        clsTable table;
        table.ReadStartLine = GetIniValue(short_file, section, "ReadStartLine", "");
        if (!ReadIntegerKey(messages, GetIniValue(short_file, section, "ReadStartLineOffset", "0"),
                            section, "ReadStartLineOffset", table.ReadStartLineOffset))
            break;
        table.ReadEndLine = GetIniValue(short_file, section, "ReadEndLine", "");
        if (!ReadIntegerKey(messages, GetIniValue(short_file, section, "ReadEndLineOffset", "0"),
                            section, "ReadEndLineOffset", table.ReadEndLineOffset))
            break;
        const std::string parsing =
            GetIniValueEx(short_file, section, "Parsing", "", kTrimTrailing);
        const std::string writeColumn = GetIniValue(short_file, section, "WriteColumn", "");
        // 5.3-5.4. The template in upper case and its keyword.
        clsTableParser parser(messages);
        std::string templ = AsciiUpper(parsing);
        const std::string keyword(Trim(templ));
        // 5.5. Templates that need the report read it for the table's width.
        if (ReadsTheReport(templ, keyword)) {
            parser.ReadFromFile(textDataFile, table.ReadStartLine, table.ReadStartLineOffset,
                                table.ReadEndLine, table.ReadEndLineOffset, state.gTabSize);
            const int32_t width = parser.TableWidth;
            if (width == 0) {
                messages.Show("Table " + std::to_string(i) + " not found!", MessageIcon::Warning);
                break;
            }
            templ = parser.VariableToFixedTemplate(ExpandKeyword(templ, keyword, width));
        }
        // 5.6. Fields of the template.
        std::vector<int32_t> colStart, colEnd;
        std::vector<std::string> colOp;
        if (!parser.analyze_template(templ, colStart, colEnd, colOp)) {
            messages.Show("Table " + std::to_string(i) + " not found!", MessageIcon::Warning);
            break;
        }
        // 5.7-5.9. One column per field, numbered from the first column.
        table.TotalColumns = static_cast<int32_t>(colStart.size());
        const int32_t firstColumn = AlphaToNum2(messages, writeColumn);
        for (size_t j = 0; j < colStart.size(); ++j) {
            clsColumn& column = table.ColumnsCollection.emplace_back();
            column.ReadColumnStart = colStart[j];
            column.ReadColumnEnd = colEnd[j];
            column.WriteColumn = NumToAlpha2(messages, firstColumn + static_cast<int32_t>(j));
            column.PeriodOperator.clear();
        }
        // 5.10. The table and its columns into the long file.
        table.WriteToFile(longFile, static_cast<int32_t>(i));
        // 5.11.
        state.DoEvents();
    }
    // 6.
    messages.SetStatus(StatusTarget::Caption, caption);
    if (!longFile.Commit())
        messages.Show("Cannot write the export specification file " + long_file,
                      MessageIcon::Critical);
}

clsExportSpecs::MarkedTable clsExportSpecs::FindMarkedTable(TextReader& file,
                                                            std::string_view startMark,
                                                            std::string_view endMark) {
    // 1.
    MarkedTable found;
    // 2. The next line that begins with the start mark.
    const int64_t a =
        find_key_line(file, {startMark, {}, {}, {}}, 1, static_cast<int32_t>(CharCount(startMark)));
    if (a <= 0) return found;
    // 3. The template follows it.
    found.startLine = a;
    found.templateLine = file_read_line(file);
    // 4-5. The next line that begins with the end mark.
    const int64_t b =
        find_key_line(file, {endMark, {}, {}, {}}, 1, static_cast<int32_t>(CharCount(endMark)));
    if (b <= 0) return found;
    found.endLine = a + b + 1;
    return found;
}

void clsExportSpecs::FileCreateShort(ProgramState& state, const std::string& text_file,
                                     const std::string& short_file) {
    // 1. A report that cannot be opened ends the operation.
    TextReader text(text_file);
    if (!text.IsOpen()) return;
    // 2. The recipe's header.
    ProfileFile recipe(short_file);
    recipe.Write("Header", "Product", "VOK-B");
    recipe.Write("Header", "FileType", "RECIPE");
    recipe.Write("Header", "FileFormat", "1.0");
    // 3. One table per marked block, found by its numbered marks.
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
    // 4.
    if (!recipe.Commit())
        state.messages.Show("Cannot write the recipe file " + short_file, MessageIcon::Critical);
}

void clsExportSpecs::Process(ProgramState& state, CsvWriter* csv) {
    Messages& messages = state.messages;
    clsRecipe& recipe = state.gRecipe;
    // 1. The run order must cover every section read.
    if (titleCount_ + tableCount_ + conCount_ !=
        static_cast<int32_t>(SectionSequenceCollection.size())) {
        messages.Show("Error in csExportSpecs: Invalid Section Count!", MessageIcon::Critical);
        return;
    }
    // 2. The period label: "1", or "2-5" for a range.
    std::string periods = std::to_string(recipe.InputFileFirst);
    if (recipe.InputFileFirst < recipe.InputFileLast)
        periods += "-" + std::to_string(recipe.InputFileLast);
    // 3. A workbook gets its sheet names and the standard font.
    if (!csv && state.xlApp) {
        const std::string* names[] = {&recipe.Sheet1Name, &recipe.Sheet2Name};
        for (int32_t sheet = 1; sheet <= 2; ++sheet) {
            const std::string& base = *names[sheet - 1];
            if (Trim(base).empty()) continue;
            std::string error;
            if (!state.xlApp->SetSheetName(sheet, base + " (P" + periods + ")", error))
                messages.Show(error, MessageIcon::Critical);
        }
        state.xlApp->SetStandardFont("Courier New");
    }
    // 4. A fresh run state.
    setWritePointer(messages, 1, 1);
    setWritePointer(messages, 2, 1);
    ProcessedTables = 0;
    FatalProcessError = false;
    state.StopRequested = state.Interrupted;
    state.gExportRunning = true;
    // 5. The sections in run order.
    size_t t = 0, k = 0, c = 0;
    bool consolidationNoticeShown = false;
    for (const std::string& item : SectionSequenceCollection) {
        // 5.1. Progress.
        messages.SetStatus(StatusTarget::ElapsedTime,
                           FormatElapsedSeconds(TickCount() - state.lTotalTimeStart));
        if (item == "Title" && t < TitlesCollection.size()) {
            // 5.2.
            ++t;
            state.DoEvents();
            messages.SetStatus(StatusTarget::Caption,
                               fmt::format("Writing Title {}  Please wait...", t));
            if (!csv) TitlesCollection[t - 1].Process(state);
            if (FatalProcessError) break;
        } else if (item == "Table" && k < TablesCollection.size()) {
            // 5.3.
            ++k;
            state.DoEvents();
            messages.SetStatus(StatusTarget::Caption, fmt::format(" Exporting Table {}:", k));
            TablesCollection[k - 1].Process(state, csv);
            if (FatalProcessError) break;
            ++ProcessedTables;
        } else if (item == "Consolidate" && c < ConsolidateCollection.size()) {
            // 5.4. Consolidations read the workbook; a CSV output has none.
            ++c;
            if (csv) {
                if (!consolidationNoticeShown) {
                    messages.Show("Consolidations are written to workbooks only; this CSV "
                                  "output has none.",
                                  MessageIcon::Information, {}, MessageKind::Notice);
                    consolidationNoticeShown = true;
                }
            } else {
                ConsolidateCollection[c - 1].Process(state);
            }
            if (FatalProcessError) break;
        } else {
            // 5.5.
            messages.Show("invalid section type in clsExportSpecs.Process!", MessageIcon::Critical);
            break;
        }
        // 5.6.
        if (state.StopRequested) break;
    }
    // 6.
    state.gExportRunning = false;
}

} // namespace vok
