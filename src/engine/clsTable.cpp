// Running a table, in steps:
//   1. take the input file of the first period;
//   2-5. the first lines holding the start and the end key texts, from line 1
//        each, as the report's index knows them, plus their offsets: first
//        line F, last line L;
//   6-7. check the order, skip a table that starts at or before line 0;
//   8-9. start at the sheet-1 write pointer, open the rows' file at line F
//        from the nearest place the index knows;
//   10. one output row per line from F to L (a CSV line, or workbook cells):
//        the first row the general way, through the line processor's slot,
//        the rows after it cut from the line's own bytes when every column
//        takes period 1's field as it stands;
//   11-12. close the file and move the write pointer below the rows written.
#include "engine/clsTable.h"

#include "base/Clock.h"
#include "base/ColumnLetters.h"
#include "base/TextAccess.h"
#include "base/TextIndex.h"
#include "base/modUtilityString.h"
#include "engine/JobState.h"
#include "output/CsvWriter.h"
#include "recipe/ExportSpecFile.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>

namespace vok {

void clsTable::ReadFromFile(JobState& state, const std::filesystem::path& file_name,
                            int32_t table_number) {
    ReadFromFile(state, SectionedText::FromFile(file_name), table_number);
}

void clsTable::ReadFromFile(JobState& state, const SectionedText& text, int32_t table_number) {
    SectionedCursor file(text);
    ReadFromFileSequentially(state, file, table_number);
}

void clsTable::ReadFromFileSequentially(JobState& state, SectionedCursor& file,
                                        int32_t table_number) {
    Messages& messages = state.messages;
    // A fault shared by thousands of columns is said once, with its count.
    const RepeatScope scope(state.messages);
    number_ = table_number;
    // Sound only once every check below has passed.
    valid_ = false;
    const std::string section = "Table " + std::to_string(table_number);
    // 1-2. The start key text and its offset.
    const std::string start = ReadIniValue(file, section, "ReadStartLine", kMissing);
    if (start == kMissing) {
        messages.Show("Error in " + section + " : Invalid ReadStartLine!", MessageIcon::Critical);
        return;
    }
    ReadStartLine = start;
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "ReadStartLineOffset", "0"), section,
                        "ReadStartLineOffset", ReadStartLineOffset))
        return;
    // 3-4. The end key text and its offset.
    const std::string end = ReadIniValue(file, "", "ReadEndLine", kMissing);
    if (end == kMissing) {
        messages.Show("Error in " + section + " : Invalid ReadEndLine!", MessageIcon::Critical);
        return;
    }
    ReadEndLine = end;
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "ReadEndLineOffset", "0"), section,
                        "ReadEndLineOffset", ReadEndLineOffset))
        return;
    // 5. The number of columns.
    int32_t columns = 0;
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "TotalColumns", kMissing), section,
                        "TotalColumns", columns))
        return;
    if (columns <= 0) {
        messages.Show("Error in " + section + "Number of Columns must be > 0!",
                      MessageIcon::Critical);
        return;
    }
    // 6. The column sections follow the table's own section. The count is
    // checked against the sections the file holds, so that a huge count
    // neither reserves memory for columns that do not exist nor says so for
    // each of them.
    TotalColumns = columns;
    ColumnsCollection.clear();
    for (int32_t c = 1; c <= columns; ++c) {
        if (!ColumnsCollection.emplace_back().ReadFromFileSequentially(state, file, table_number,
                                                                       c)) {
            ColumnsCollection.pop_back();
            TotalColumns = c - 1;
            messages.Show(fmt::format("Error in {} : TotalColumns is {}, but the export-specs "
                                      "file holds no section [{} Col {}]!",
                                      section, columns, section, c),
                          MessageIcon::Critical);
            return;
        }
    }
    valid_ = std::all_of(ColumnsCollection.begin(), ColumnsCollection.end(),
                         [](const clsColumn& column) { return column.Valid(); });
}

void clsTable::WriteToFile(ProfileFile& file, int32_t table_number) const {
    const std::string section = "Table " + std::to_string(table_number);
    WriteTableSection(
        file, table_number,
        {ReadStartLine, ReadStartLineOffset, ReadEndLine, ReadEndLineOffset, TotalColumns});
    for (int32_t c = 1; c <= TotalColumns && c <= static_cast<int32_t>(ColumnsCollection.size());
         ++c) {
        ColumnsCollection[static_cast<size_t>(c - 1)].WriteToFile(file, table_number, c);
    }
}

std::vector<int32_t> clsTable::SheetColumns() const {
    std::vector<int32_t> columns;
    columns.reserve(ColumnsCollection.size());
    for (const clsColumn& column : ColumnsCollection) {
        const Checked<int32_t> number = AlphaToNum2(column.WriteColumn);
        if (number.ok() && number.value >= 1) columns.push_back(number.value);
    }
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    return columns;
}

namespace {

// The input file of a 1-based period, or none (after a message) outside 1 to 12.
std::filesystem::path PeriodFile(JobState& state, int32_t period) {
    const std::vector<std::filesystem::path>& names = state.gRecipe.InputFileName;
    if (period < 1 || period > static_cast<int32_t>(names.size())) {
        state.messages.Show(fmt::format("Invalid input period {} in the recipe: periods run from "
                                        "1 to 12.",
                                        period),
                            MessageIcon::Critical);
        return {};
    }
    return names[static_cast<size_t>(period - 1)];
}

// A report that could not be read to its end: said once, and the run ends,
// for a table cut short by a device error is no complete output.
bool ReadFailed(JobState& state, bool failed, const std::string& why,
                const std::filesystem::path& file, int32_t table) {
    if (!failed) return false;
    state.messages.Show(fmt::format("Cannot read the report {}: {}. Table {} is incomplete.",
                                    file.string(), why, table),
                        MessageIcon::Critical);
    state.ExportSpecs.FatalProcessError = true;
    return true;
}

// A column of the per-line path: where its field lies, and the column itself.
struct RawColumn : clsLineProcessor::RawSpan {
    clsColumn* column;
};

// True when every column takes period 1's field as it stands (the last or
// the first period, and that period is 1): then the per-line path may cut
// the fields from the line's own bytes. Asked after the first row, when every
// column's operator is known.
bool TakesPeriodOneAsItStands(JobState& state, std::vector<clsColumn>& columns, int32_t count,
                              std::vector<RawColumn>& raw) {
    const clsRecipe& recipe = state.gRecipe;
    raw.clear();
    for (int32_t i = 0; i < count; ++i) {
        clsColumn& column = columns[static_cast<size_t>(i)];
        const int32_t code = column.OperatorCode(state);
        const bool periodOne =
            (code == clsLineProcessor::kLastPeriod && recipe.InputFileLast == 1) ||
            (code == clsLineProcessor::kFirstPeriod && recipe.InputFileFirst == 1);
        if (!periodOne) return false;
        RawColumn& c = raw.emplace_back();
        c.offset = static_cast<size_t>(column.ReadColumnStart - 1);
        c.count = static_cast<size_t>(int64_t{column.ReadColumnEnd} - column.ReadColumnStart + 1);
        c.column = &column;
    }
    return true;
}

// The most bytes a CSV line of the per-line path can take: each field at
// most its characters' bytes (four per character beyond ASCII) and never more
// than the row, doubled for quotes, with two quotes, a blank and a comma.
size_t RawLineBound(const clsLineProcessor& processor, const std::vector<RawColumn>& raw,
                    int64_t width) {
    const auto rowBytes = static_cast<int64_t>(processor.RawRowBytes());
    const int64_t columns = static_cast<int64_t>(raw.size());
    const int64_t fields = std::min(width * 4, columns * rowBytes);
    // Room for the sixteen-byte copies to run over, too.
    return static_cast<size_t>(2 * fields + 4 * columns + 2 + 16);
}

} // namespace

void clsTable::Process(JobState& state, CsvWriter* csv) {
    Messages& messages = state.messages;
    // A message for many rows or cells is said once, with its count.
    const RepeatScope scope(state.messages);
    clsExportSpecs& specs = state.ExportSpecs;
    // 1. The key lines are searched in the first period's file, which the job
    // read once for all its tables' keys.
    StartKeyLine = EndKeyLine = FirstDataLine = LastDataLine = 0;
    const std::filesystem::path keyFile = PeriodFile(state, state.gRecipe.InputFileFirst);
    TextIndex& keys = state.Reports.For(keyFile);
    // 2-3. The start key text: its first line from line 1.
    const int64_t startFound = keys.FirstLine(ReadStartLine);
    StartKeyLine = startFound;
    if (ReadFailed(state, keys.ReadFailed(), keys.ReadError(), keyFile, number_)) return;
    if (startFound == 0) {
        messages.Show("Error in Table specs: Can not find ReadStartLine: " + Echo(ReadStartLine),
                      MessageIcon::Critical);
        specs.FatalProcessError = true;
        return;
    }
    const int64_t first = startFound + ReadStartLineOffset;
    // 4-5. The end key text, also from line 1.
    const int64_t endFound = keys.FirstLine(ReadEndLine);
    EndKeyLine = endFound;
    if (endFound == 0) {
        messages.Show("Error in Table specs: Can not find ReadEndLine: " + Echo(ReadEndLine),
                      MessageIcon::Critical);
        specs.FatalProcessError = true;
        return;
    }
    int64_t last = endFound + ReadEndLineOffset;
    FirstDataLine = first;
    LastDataLine = last;
    // 6. The end must not come before the start.
    if (last < first) {
        messages.Show("Error in Table specs: ReadEndLine key text [" + Echo(ReadEndLine) + "]" +
                          " was found before ReadStartLine key text [" + Echo(ReadStartLine) +
                          "]",
                      MessageIcon::Critical);
        specs.FatalProcessError = true;
        return;
    }
    // 7. A table that starts at or before line 0 is skipped, and said: a
    // start offset that leads above the report would otherwise lose the table
    // without a word.
    if (first <= 0 || last <= 0) {
        messages.Show(fmt::format("Table {}: its first line ({}) lies before the start of the "
                                  "report {} (ReadStartLine found on line {}, "
                                  "ReadStartLineOffset {}). The table was skipped.",
                                  number_, first, keyFile.string(), startFound,
                                  ReadStartLineOffset),
                      MessageIcon::Critical);
        return;
    }

    // A table that runs past the end of the report ends at its last line.
    if (ReadEndLineOffset > 0 && last > keys.LineCount()) {
        const int64_t lineCount = keys.LineCount();
        messages.Show(fmt::format("Table {}: its last line ({}) lies beyond the end of the "
                                  "report {} ({} lines). The table ends at the report's last "
                                  "line.",
                                  number_, last, keyFile.string(), lineCount),
                      MessageIcon::Warning);
        last = lineCount;
        LastDataLine = last;
    }

    // 8. The table's first row.
    const int32_t top = specs.getWritePointer(messages, 1);

    // 9. The rows are read from item 1 of the input list, from line F on.
    const std::filesystem::path rowFile = PeriodFile(state, 1);
    TextIndex& rows = rowFile == keyFile ? keys : state.Reports.For(rowFile);
    TextReader input;
    const bool positioned = rows.OpenAt(first, input, last);
    // A report that opened for its scan may fail now (too many open files):
    // empty rows must not pass for its lines.
    if (ReadFailed(state, !input.OpenError().empty(), input.OpenError(), rowFile, number_)) return;
    // A byte is a character in a Windows-1252 report, and in one of plain ASCII.
    const bool latin = rows.Encoding() == TextEncoding::Windows1252;
    const bool oneByte = latin || rows.AllAscii();
    const int32_t tabSize = rows.HasTabs() ? state.gTabSize : 0;
    if (csv) csv->SetEncoding(rows.Encoding());

    for (size_t c = 0; c < ColumnsCollection.size(); ++c)
        ColumnsCollection[c].StartPass(static_cast<int32_t>(c + 1));
    clsLineProcessor& processor = state.LineProcessor;
    processor.BeginPass();
    std::string line, cell;
    int64_t done = 0;
    const int64_t total = last - first + 1;
    const int32_t columns =
        std::min<int32_t>(TotalColumns, static_cast<int32_t>(ColumnsCollection.size()));
    bool fatal = false;
    // The per-line path, once the first row has shown that it applies.
    std::vector<RawColumn> raw;
    bool rawPath = false;
    int64_t rawWidth = 0; // the fields' characters, all columns together

    state.observer.TableStarted(number_, first, rows.LineCount());

    // 10. One output row per line from F to L.
    for (int64_t k = first; k <= last && positioned; ++k) {
        const int64_t r = k - first;
        // 10.1-10.2. Window events, and the rows done for the progress text.
        state.DoEvents();
        state.observer.RowsDone(r, total);
        // 10.3. A stop request asks first; Yes leaves the flag set for the run driver.
        if (state.StopRequested) {
            if (messages.AskYesNo("Do you want to terminate the process?", MessageIcon::Question)) {
                break;
            }
            state.StopRequested = false;
            state.Interrupted = false;
        }
        if (rawPath) {
            // 10.4-10.7, per line: the fields cut from the line's own bytes,
            // straight into the CSV block or the cells.
            std::string_view bytes;
            if (!input.ReadRawLine(bytes)) bytes = {};
            processor.SetRawRow(bytes, tabSize, oneByte);
            const int32_t row = top + static_cast<int32_t>(r);
            state.currentRow = row;
            if (state.xlApp) state.xlApp->SetRowSource(row, k);
            if (csv) {
                // Room for every field doubled and quoted, with its comma.
                char* out = csv->RawLineRoom(RawLineBound(processor, raw, rawWidth));
                processor.ForEachRawField(raw, [&](size_t i, const clsLineProcessor::RawField& f) {
                    if (i > 0) *out++ = ',';
                    out = raw[i].column->WriteCsvField(state, out, f);
                });
                csv->EndRawLine(out);
                if (csv->Failed()) {
                    specs.FatalProcessError = true;
                    break;
                }
                ++done;
                continue;
            }
            for (size_t i = 0; i < raw.size(); ++i) {
                const clsLineProcessor::RawField field = processor.CutRawField(raw[i]);
                // A cell takes UTF-8 text: Windows-1252 bytes are decoded.
                std::string_view value = field.Text();
                if (field.blank || (latin && !IsAscii(value))) {
                    cell.clear();
                    if (latin)
                        AppendWindows1252AsUtf8(cell, value);
                    else
                        cell.assign(value);
                    if (field.blank) cell.push_back(' ');
                    value = cell;
                }
                if (field.equal) raw[i].column->WarnIfFormula(state, value);
                if (!raw[i].column->WriteCell(state, row, value)) {
                    fatal = true;
                    break;
                }
            }
            if (fatal) break;
            ++done;
            continue;
        }
        // 10.4. The line into the line processor.
        processor.ReadRowPeriod1Only(state, input, tabSize);
        state.currentRow = top + static_cast<int32_t>(r);
        if (state.xlApp) state.xlApp->SetRowSource(state.currentRow, k);
        // 10.5-10.6. Each column's value.
        line.clear();
        for (int32_t i = 1; i <= columns; ++i) {
            clsColumn& column = ColumnsCollection[static_cast<size_t>(i - 1)];
            if (k == first) {
                if (column.ReadColumnEnd < column.ReadColumnStart || column.ReadColumnStart < 1) {
                    messages.Show(fmt::format("Invalid table specs (column {}): ReadColumnStart "
                                              "is smaller than 1 or larger than ReadColumnEnd!",
                                              i),
                                  MessageIcon::Critical);
                    specs.FatalProcessError = true;
                    return;
                }
                // The letters are checked once; CSV output does not use the number.
                if (csv) AlphaToNum2(messages, column.WriteColumn);
            }
            if (csv) {
                if (i > 1) line.push_back(',');
                column.AppendCsvValue(state, line);
            } else if (!column.Process(state, top + static_cast<int32_t>(r))) {
                fatal = true;
                break;
            }
        }
        if (fatal) break;
        // 10.7. The CSV line; a file that cannot be written ends the run.
        if (csv) {
            csv->WriteLine(line);
            if (csv->Failed()) {
                specs.FatalProcessError = true;
                break;
            }
        }
        ++done;
        // The first row has checked the columns and settled their operators.
        if (k == first) {
            rawPath = TakesPeriodOneAsItStands(state, ColumnsCollection, columns, raw);
            for (const RawColumn& c : raw)
                rawWidth += static_cast<int64_t>(c.count);
        }
    }
    ReadFailed(state, input.ReadFailed(), input.ReadError(), rowFile, number_);
    // 11-12. The write pointer moves below the rows written.
    specs.setWritePointer(messages, 1, top + static_cast<int32_t>(done));
    WriteTableTopRow = top;
    WriteTableBottomRow = top + static_cast<int32_t>(done) - 1;
}

} // namespace vok
