// Running a table, in steps:
//   1. take the input file of the first period;
//   2-5. find the lines holding the start and the end key texts, from line 1
//        each, and add their offsets: first line F, last line L;
//   6-7. check the order, skip a table that starts at or before line 0;
//   8-9. start at the sheet-1 write pointer, open the rows' file at line F;
//   10. one output row per line from F to L (a CSV line, or workbook cells);
//   11-12. close the file and move the write pointer below the rows written.
#include "engine/clsTable.h"

#include "base/Clock.h"
#include "base/ColumnLetters.h"
#include "base/TextAccess.h"
#include "engine/JobState.h"
#include "output/CsvWriter.h"
#include "recipe/ExportSpecFile.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

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
    number_ = table_number;
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
    // 6. The column sections follow the table's own section.
    TotalColumns = columns;
    ColumnsCollection.clear();
    ColumnsCollection.reserve(static_cast<size_t>(columns));
    for (int32_t c = 1; c <= columns; ++c) {
        ColumnsCollection.emplace_back().ReadFromFileSequentially(state, file, table_number, c);
    }
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
bool ReadFailed(JobState& state, const TextReader& input, const std::filesystem::path& file,
                int32_t table) {
    if (!input.ReadFailed()) return false;
    state.messages.Show(fmt::format("Cannot read the report {}: {}. Table {} is incomplete.",
                                    file.string(), input.ReadError(), table),
                        MessageIcon::Critical);
    state.ExportSpecs.FatalProcessError = true;
    return true;
}

} // namespace

void clsTable::Process(JobState& state, CsvWriter* csv) {
    Messages& messages = state.messages;
    clsExportSpecs& specs = state.ExportSpecs;
    // 1. The key lines are searched in the first period's file.
    const std::filesystem::path keyFile = PeriodFile(state, state.gRecipe.InputFileFirst);
    TextReader input(keyFile);
    // 2-3. The start key text, searched from line 1.
    const int64_t startFound = find_key_line(input, KeyTexts{ReadStartLine, {}, {}, {}});
    if (ReadFailed(state, input, keyFile, number_)) return;
    if (startFound == 0) {
        messages.Show("Error in Table specs: Can not find ReadStartLine: " + ReadStartLine,
                      MessageIcon::Critical);
        specs.FatalProcessError = true;
        return;
    }
    const int64_t first = startFound + ReadStartLineOffset;
    // 4-5. The end key text, searched again from line 1.
    input.Rewind();
    const int64_t endFound = find_key_line(input, KeyTexts{ReadEndLine, {}, {}, {}});
    if (ReadFailed(state, input, keyFile, number_)) return;
    if (endFound == 0) {
        messages.Show("Error in Table specs: Can not find ReadEndLine: " + ReadEndLine,
                      MessageIcon::Critical);
        specs.FatalProcessError = true;
        return;
    }
    int64_t last = endFound + ReadEndLineOffset;
    // 6. The end must not come before the start.
    if (last < first) {
        messages.Show("Error in Table specs: ReadEndLine key text [" + ReadEndLine + "]" +
                          " was found before ReadStartLine key text [" + ReadStartLine + "]",
                      MessageIcon::Critical);
        specs.FatalProcessError = true;
        return;
    }
    // 7. A table that starts at or before line 0 is skipped.
    if (first <= 0 || last <= 0) return;

    // A table that runs past the end of the report ends at its last line.
    if (ReadEndLineOffset > 0) {
        const int64_t lineCount = endFound + input.SkipLines(ReadEndLineOffset);
        if (last > lineCount) {
            messages.Show(fmt::format("Table {}: its last line ({}) lies beyond the end of the "
                                      "report {} ({} lines). The table ends at the report's last "
                                      "line.",
                                      number_, last, keyFile.string(), lineCount),
                          MessageIcon::Warning);
            last = lineCount;
        }
    }

    // 8. The table's first row.
    const int32_t top = specs.getWritePointer(messages, 1);

    // 9. The rows are read from item 1 of the input list.
    const std::filesystem::path rowFile = PeriodFile(state, 1);
    if (rowFile != keyFile) input = TextReader(rowFile);
    input.Rewind();
    const int64_t skipped = input.SkipLines(first - 1);
    if (csv) csv->SetEncoding(input.Encoding());

    for (clsColumn& column : ColumnsCollection)
        column.StartPass();
    state.LineProcessor.BeginPass();
    std::string line;
    int64_t done = 0;
    const int64_t total = last - first + 1;
    const int32_t columns =
        std::min<int32_t>(TotalColumns, static_cast<int32_t>(ColumnsCollection.size()));
    bool fatal = false;

    // 10. One output row per line from F to L.
    for (int64_t k = first; k <= last && skipped == first - 1; ++k) {
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
        // 10.4. The line into the line processor.
        state.LineProcessor.ReadRowPeriod1Only(state, input, state.gTabSize);
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
    }
    ReadFailed(state, input, rowFile, number_);
    // 11-12. The write pointer moves below the rows written.
    specs.setWritePointer(messages, 1, top + static_cast<int32_t>(done));
    WriteTableTopRow = top;
    WriteTableBottomRow = top + static_cast<int32_t>(done) - 1;
}

} // namespace vok
