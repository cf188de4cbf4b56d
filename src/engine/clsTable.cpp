// Running a table, in steps:
//   1. take the input file of the first period;
//   2-5. the first lines holding the start and the end key texts, from line 1
//        each, as the report's index knows them, plus their offsets: first
//        line F, last line L;
//   6-7. check the order, skip a table that starts at or before line 0;
//   8-9. start at the sheet-1 write pointer, open the rows' file at line F
//        from the nearest place the index knows;
//   10. each line from F to L is classified (kept, skipped, page header,
//        group line); a kept line becomes one output row (a CSV line, or
//        workbook cells) carrying the groups' values: the first row the
//        general way, through the line processor's slot, the rows after it
//        cut from the line's own bytes when every column takes period 1's
//        field as it stands;
//   11-12. close the file and move the write pointer below the rows written.
#include "engine/clsTable.h"

#include "base/Clock.h"
#include "base/ColumnLetters.h"
#include "base/TextAccess.h"
#include "base/TextIndex.h"
#include "base/modUtilityString.h"
#include "engine/JobState.h"
#include "engine/TablePass.h"
#include "layout/LineRules.h"
#include "output/CsvWriter.h"
#include "recipe/ExportSpecFile.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>

namespace vok {

void clsTable::ReadFromFile(RepeatFoldingMessages& messages, const std::filesystem::path& file_name,
                            int32_t table_number) {
    ReadFromFile(messages, SectionedText::FromFile(file_name), table_number);
}

void clsTable::ReadFromFile(RepeatFoldingMessages& messages, const SectionedText& text,
                            int32_t table_number) {
    SectionedCursor file(text);
    ReadFromFileSequentially(messages, file, table_number);
}

bool clsTable::ReadKeyTexts(Messages& messages, SectionedCursor& file, const std::string& section) {
    // The start key text and its offset.
    const std::string start = ReadIniValue(file, section, "ReadStartLine", kMissing);
    if (start == kMissing) {
        messages.Show("Error in " + section + " : Invalid ReadStartLine!", MessageIcon::Critical);
        return false;
    }
    ReadStartLine = start;
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "ReadStartLineOffset", "0"), section,
                        "ReadStartLineOffset", ReadStartLineOffset))
        return false;
    // The end key text and its offset.
    const std::string end = ReadIniValue(file, "", "ReadEndLine", kMissing);
    if (end == kMissing) {
        messages.Show("Error in " + section + " : Invalid ReadEndLine!", MessageIcon::Critical);
        return false;
    }
    ReadEndLine = end;
    return ReadIntegerKey(messages, ReadIniValue(file, "", "ReadEndLineOffset", "0"), section,
                          "ReadEndLineOffset", ReadEndLineOffset);
}

namespace {
// The most columns reserved before their sections are read.
constexpr int32_t kColumnsReserved = 64;
} // namespace

bool clsTable::ReadColumns(RepeatFoldingMessages& messages, SectionedCursor& file,
                           const std::string& section, int32_t columns) {
    // The count is checked against the sections the file holds, so that a
    // huge count neither reserves memory for columns that do not exist nor
    // says so for each of them.
    TotalColumns = columns;
    ColumnsCollection.clear();
    // Room for the usual few columns at once, so that thousands of tables
    // hold no spare ones.
    ColumnsCollection.reserve(static_cast<size_t>(std::min(columns, kColumnsReserved)));
    for (int32_t c = 1; c <= columns; ++c) {
        if (!ColumnsCollection.emplace_back().ReadFromFileSequentially(messages, file, number_,
                                                                       c)) {
            ColumnsCollection.pop_back();
            TotalColumns = c - 1;
            messages.Show(fmt::format("Error in {} : TotalColumns is {}, but the "
                                      "export-specs file holds no section [{} Col {}]!",
                                      section, columns, section, c),
                          MessageIcon::Critical);
            return false;
        }
    }
    return true;
}

void clsTable::ReadFromFileSequentially(RepeatFoldingMessages& messages, SectionedCursor& file,
                                        int32_t table_number) {
    // A fault shared by thousands of columns is said once, with its count.
    const RepeatScope scope(messages);
    number_ = table_number;
    // Sound only once every check below has passed.
    valid_ = false;
    const std::string section = "Table " + std::to_string(table_number);
    // The start and end key texts with their offsets.
    if (!ReadKeyTexts(messages, file, section)) return;
    // The number of columns.
    int32_t columns = 0;
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "TotalColumns", kMissing), section,
                        "TotalColumns", columns))
        return;
    if (columns <= 0) {
        messages.Show("Error in " + section + "Number of Columns must be > 0!",
                      MessageIcon::Critical);
        return;
    }
    // The lines left out and the groups follow; looked up from here without
    // moving on, for the column sections come next.
    const SectionKeyLookup lookup = [&file](std::string_view key, int32_t trimMode) {
        SectionedCursor probe = file;
        return ReadIniValue(probe, "", key, kMissing, trimMode);
    };
    if (!MayHoldLineRules(file))
        Lines = LineRules{};
    else if (!ReadLineRules(messages, lookup, section, Lines))
        return;
    // The column sections follow the table's own section.
    if (!ReadColumns(messages, file, section, columns)) return;
    valid_ = std::all_of(ColumnsCollection.begin(), ColumnsCollection.end(),
                         [](const clsColumn& column) { return column.Valid(); });
}

bool clsTable::TakeWritten(const ExpandedTable& written) {
    // The key texts as their lines read back; a missing one the reading says.
    const TableSectionKeys& keys = written.keys;
    valid_ = false;
    std::string_view start, end;
    if (!ReadsBackAs(keys.ReadStartLine, kMissing, start) || start == kMissing ||
        !ReadsBackAs(keys.ReadEndLine, kMissing, end) || end == kMissing)
        return false;
    // Offsets and the count are whole numbers as written; no lines left out
    // and no groups, which only the reading of their keys takes.
    if (keys.TotalColumns <= 0 ||
        static_cast<size_t>(keys.TotalColumns) != written.columns.size() ||
        (keys.Lines && !keys.Lines->None()))
        return false;
    number_ = written.number;
    ReadStartLine.assign(start);
    ReadStartLineOffset = keys.ReadStartLineOffset;
    ReadEndLine.assign(end);
    ReadEndLineOffset = keys.ReadEndLineOffset;
    TotalColumns = keys.TotalColumns;
    Lines = LineRules{};
    // The columns, each as its section reads back.
    ColumnsCollection.clear();
    ColumnsCollection.reserve(static_cast<size_t>(std::min(TotalColumns, kColumnsReserved)));
    for (const ColumnSectionKeys& column : written.columns) {
        if (!ColumnsCollection.emplace_back().TakeWritten(column)) return false;
    }
    valid_ = true;
    return true;
}

void clsTable::WriteToFile(ProfileFile& file, int32_t table_number) const {
    const std::string section = "Table " + std::to_string(table_number);
    WriteTableSection(
        file, table_number,
        {ReadStartLine, ReadStartLineOffset, ReadEndLine, ReadEndLineOffset, TotalColumns, &Lines});
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
    // Each group's fields from its GroupWriteColumn rightwards.
    for (const LineGroup& group : Lines.groups) {
        for (size_t f = 0; group.column >= 1 && f < group.fieldStart.size(); ++f)
            columns.push_back(group.column + static_cast<int32_t>(f));
    }
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    return columns;
}

// The pieces of a table's pass, named so that clsTable may befriend the pass.
namespace table_pass {

// The input file of a 1-based period, or none (after a message) outside 1 to
// 12: the recipe's own, not a copy, for every table asks for it.
const std::filesystem::path& PeriodFile(Messages& messages, const clsRecipe& recipe,
                                        int32_t period) {
    const std::vector<std::filesystem::path>& names = recipe.InputFileName;
    if (period < 1 || period > static_cast<int32_t>(names.size())) {
        messages.Show(fmt::format("Invalid input period {} in the recipe: periods run from "
                                  "1 to 12.",
                                  period),
                      MessageIcon::Critical);
        static const std::filesystem::path none;
        return none;
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
    state.recipe.ExportSpecs.FatalProcessError = true;
    return true;
}

// True when every column takes period 1's field as it stands (the last or
// the first period, and that period is 1): then the per-line path may cut
// the fields from the line's own bytes. Asked after the first row, when every
// column's operator is known.
bool TakesPeriodOneAsItStands(Messages& messages, const clsRecipe& recipe,
                              std::vector<clsColumn>& columns, int32_t count,
                              std::vector<RawColumn>& raw) {
    raw.clear();
    for (int32_t i = 0; i < count; ++i) {
        clsColumn& column = columns[static_cast<size_t>(i)];
        const int32_t code = column.OperatorCode(messages);
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

// Lines a reader left open reads on rather than open the report again.
constexpr int64_t kReadOnLines = 1024;
constexpr size_t kReadOnBuffer = 64 * 1024;

// Places `input` at line `first` of `rows`: the reader the last table left,
// when it stands a little above, or the report opened anew.
bool OpenRows(JobState& state, TextIndex& rows, int64_t first, int64_t last, TextReader& input) {
    JobRecipe::RowReader& kept = state.recipe.rowReader;
    const int64_t ahead = first - kept.nextLine;
    if (kept.report == &rows && kept.reader.IsOpen() && ahead >= 0 && ahead <= kReadOnLines) {
        input = std::move(kept.reader);
        kept = {};
        // Whole blocks now: the tables go on down the report.
        input.GrowBuffer(kReadOnBuffer);
        input.SetReadAhead(0);
        return input.SkipLines(ahead) == ahead;
    }
    kept = {};
    return rows.OpenAt(first, input, last);
}

// Keeps a reader that read its table's lines to the end for the next table.
void KeepRows(JobState& state, TextIndex& rows, TextReader& input, int64_t nextLine) {
    if (!input.IsOpen() || input.ReadFailed()) return;
    JobRecipe::RowReader& kept = state.recipe.rowReader;
    kept.report = &rows;
    kept.reader = std::move(input);
    kept.nextLine = nextLine;
}

} // namespace table_pass

using namespace table_pass;

bool clsTable::FindKeyLines(JobState& state, Span& span) {
    Messages& messages = state.messages;
    clsExportSpecs& specs = state.recipe.ExportSpecs;
    // 1. The key lines are searched in the first period's file, which the job
    // read once for all its tables' keys.
    span.keyFile = &PeriodFile(messages, state.recipe.gRecipe, state.recipe.gRecipe.InputFileFirst);
    TextIndex& keys = state.recipe.ReportFor(*span.keyFile);
    span.keys = &keys;
    // 2-3. The start key text: its first line from line 1.
    StartKeyLine = keys.FirstLine(ReadStartLine);
    if (ReadFailed(state, keys.ReadFailed(), keys.ReadError(), *span.keyFile, number_))
        return false;
    if (StartKeyLine == 0) {
        messages.Show("Error in Table specs: Can not find ReadStartLine: " + Echo(ReadStartLine),
                      MessageIcon::Critical);
        specs.FatalProcessError = true;
        return false;
    }
    // 4-5. The end key text, also from line 1.
    EndKeyLine = keys.FirstLine(ReadEndLine);
    if (EndKeyLine == 0) {
        messages.Show("Error in Table specs: Can not find ReadEndLine: " + Echo(ReadEndLine),
                      MessageIcon::Critical);
        specs.FatalProcessError = true;
        return false;
    }
    span.first = FirstDataLine = StartKeyLine + ReadStartLineOffset;
    span.last = LastDataLine = EndKeyLine + ReadEndLineOffset;
    return true;
}

bool clsTable::CheckSpan(JobState& state, Span& span) {
    Messages& messages = state.messages;
    // 6. The end must not come before the start.
    if (span.last < span.first) {
        messages.Show("Error in Table specs: ReadEndLine key text [" + Echo(ReadEndLine) + "]" +
                          " was found before ReadStartLine key text [" + Echo(ReadStartLine) + "]",
                      MessageIcon::Critical);
        state.recipe.ExportSpecs.FatalProcessError = true;
        return false;
    }
    // 7. A table that starts at or before line 0 is skipped, and said: a
    // start offset that leads above the report would otherwise lose the table
    // without a word.
    if (span.first <= 0 || span.last <= 0) {
        messages.Show(fmt::format("Table {}: its first line ({}) lies before the start of the "
                                  "report {} (ReadStartLine found on line {}, "
                                  "ReadStartLineOffset {}). The table was skipped.",
                                  number_, span.first, span.keyFile->string(), StartKeyLine,
                                  ReadStartLineOffset),
                      MessageIcon::Critical);
        return false;
    }
    // A table that would run past the end of the report asks for lines that
    // do not exist: the offset is wrong, and the run ends before the table.
    const int64_t lineCount = span.keys->LineCount();
    if (ReadEndLineOffset > 0 && span.last > lineCount) {
        messages.Show(fmt::format("Table {}: its last line ({}) lies beyond the end of the "
                                  "report {} ({} lines; ReadEndLine found on line {}, "
                                  "ReadEndLineOffset {}). The table was not converted.",
                                  number_, span.last, span.keyFile->string(), lineCount, EndKeyLine,
                                  ReadEndLineOffset),
                      MessageIcon::Critical);
        state.recipe.ExportSpecs.FatalProcessError = true;
        return false;
    }
    return true;
}

bool clsTable::CheckColumns(JobState& state, bool csv, int32_t columns) {
    for (int32_t i = 1; i <= columns; ++i) {
        const clsColumn& column = ColumnsCollection[static_cast<size_t>(i - 1)];
        if (column.ReadColumnEnd < column.ReadColumnStart || column.ReadColumnStart < 1) {
            state.messages.Show(fmt::format("Invalid table specs (column {}): ReadColumnStart "
                                            "is smaller than 1 or larger than ReadColumnEnd!",
                                            i),
                                MessageIcon::Critical);
            state.recipe.ExportSpecs.FatalProcessError = true;
            return false;
        }
        // The letters are checked once; CSV output does not use the number.
        if (csv)
            (void)ShowProblems(state.messages, AlphaToNum2(column.WriteColumn),
                               MessageIcon::Critical);
    }
    return true;
}

TablePass::TablePass(JobState& state, clsTable& table, CsvWriter* csv, const ReportFacts& facts)
    : state_(state), table_(table), csv_(csv), processor_(state.recipe.LineProcessor),
      latin_(facts.latin), oneByte_(facts.oneByte), tabSize_(facts.tabSize),
      classify_(table.Lines, latin_),
      columns_(std::min<int32_t>(table.TotalColumns,
                                 static_cast<int32_t>(table.ColumnsCollection.size()))) {}

ReportFacts TablePass::FactsOf(JobState& state, TextIndex& rows) {
    const bool latin = rows.Encoding() == TextEncoding::Windows1252;
    return {latin, latin || rows.AllAscii(), rows.HasTabs() ? state.job.gTabSize : 0};
}

void TablePass::Settle(const ReportFacts& facts) {
    latin_ = facts.latin;
    oneByte_ = facts.oneByte;
    tabSize_ = facts.tabSize;
    groups_.SetLatin(latin_);
    if (csv_) csv_->SetEncoding(latin_ ? TextEncoding::Windows1252 : TextEncoding::Utf8);
}

bool TablePass::Run(TextReader& input, int64_t first, int64_t last, int32_t top) {
    Begin(first, last - first + 1, top);
    // 10. Each line from F to L.
    for (int64_t k = first; k <= last; ++k) {
        std::string_view bytes;
        if (input.ReadRawLine(bytes))
            ++linesRead_;
        else
            bytes = {};
        if (!Line(k, bytes)) return !failed_;
    }
    return true;
}

void TablePass::Begin(int64_t first, int64_t total, int32_t top) {
    groups_.Start(table_.Lines, latin_);
    first_ = first;
    total_ = total;
    top_ = top;
}

bool TablePass::Line(int64_t k, std::string_view bytes) {
    Messages& messages = state_.messages;
    // 10.1-10.2. Window events, and the lines done for the progress text.
    state_.run.DoEvents();
    state_.observer.RowsDone(k - first_, std::max(total_, k - first_ + 1));
    // 10.3. A stop request asks first; Yes leaves the flag set for the run
    // driver. An interrupt has been answered already.
    if (state_.run.Interrupted()) return false;
    if (state_.run.StopAsked()) {
        if (messages.AskYesNo("Do you want to terminate the process?", MessageIcon::Question))
            return false;
        state_.run.Resume();
    }
    // 10.4. The line, and whether the table keeps it.
    const bool formFeed = processor_.SetRawRow(bytes, tabSize_, oneByte_);
    const LineClass kind = classify_.Classify(processor_.RawRow(), formFeed);
    if (kind.kind != LineKind::Kept) {
        if (kind.kind == LineKind::Group) groups_.Take(kind.group, processor_);
        if (state_.tableWatcher) state_.tableWatcher->LineLeftOut(k, kind);
        return true;
    }
    // 10.5-10.7. The row.
    row_ = top_ + static_cast<int32_t>(done_);
    state_.sink.currentRow = row_;
    if (state_.sink.xlApp) state_.sink.xlApp->SetRowSource(row_, k);
    if (!WriteRow()) {
        failed_ = true;
        return false;
    }
    ++done_;
    return true;
}

bool TablePass::WriteRow() {
    if (rawPath_) {
        if (csv_) return WriteRawCsvRow();
        return WriteRawCells() && WriteGroupCells();
    }
    if (!WriteGeneralRow()) return false;
    // The first row has settled the columns' operators.
    if (done_ == 0) {
        rawPath_ = TakesPeriodOneAsItStands(state_.messages, state_.recipe.gRecipe,
                                            table_.ColumnsCollection, columns_, raw_);
        for (const RawColumn& c : raw_)
            rawWidth_ += static_cast<int64_t>(c.count);
    }
    return true;
}

bool TablePass::WriteGeneralRow() {
    // The line into the line processor's slot 1, and each column's value.
    processor_.StoreRawRowInSlot1(latin_);
    line_.clear();
    for (int32_t i = 1; i <= columns_; ++i) {
        clsColumn& column = table_.ColumnsCollection[static_cast<size_t>(i - 1)];
        if (csv_) {
            if (i > 1) line_.push_back(',');
            column.AppendCsvValue(state_, line_);
        } else if (!column.Process(state_, row_)) {
            return false;
        }
    }
    if (!csv_) return WriteGroupCells();
    // The CSV line; a file that cannot be written ends the run.
    line_.append(groups_.CsvTailUtf8());
    csv_->WriteLine(line_);
    if (csv_->Failed()) state_.recipe.ExportSpecs.FatalProcessError = true;
    return !csv_->Failed();
}

bool TablePass::WriteRawCsvRow() {
    // The fields cut from the line's own bytes, straight into the CSV block,
    // with room for every field doubled and quoted, with its comma.
    const std::string_view tail = groups_.CsvTail();
    char* out = csv_->RawLineRoom(RawLineBound(processor_, raw_, rawWidth_) + tail.size());
    processor_.ForEachRawField(raw_, [&](size_t i, const clsLineProcessor::RawField& f) {
        if (i > 0) *out++ = ',';
        out = raw_[i].column->WriteCsvField(state_.messages, state_.sink, out, f);
    });
    if (!tail.empty()) {
        std::memcpy(out, tail.data(), tail.size());
        out += tail.size();
    }
    csv_->EndRawLine(out);
    if (csv_->Failed()) state_.recipe.ExportSpecs.FatalProcessError = true;
    return !csv_->Failed();
}

bool TablePass::WriteRawCells() {
    for (const RawColumn& column : raw_) {
        const clsLineProcessor::RawField field = processor_.CutRawField(column);
        // A cell takes UTF-8 text: Windows-1252 bytes are decoded.
        std::string_view value = field.Text();
        if (field.blank || (latin_ && !IsAscii(value))) {
            cell_.clear();
            if (latin_)
                AppendWindows1252AsUtf8(cell_, value);
            else
                cell_.assign(value);
            if (field.blank) cell_.push_back(' ');
            value = cell_;
        }
        if (field.equal) column.column->WarnIfFormula(state_.messages, state_.sink, value);
        if (!column.column->WriteCell(state_, row_, value)) return false;
    }
    return true;
}

bool TablePass::WriteGroupCells() {
    const GroupValues& groups = groups_;
    for (size_t k = 0; k < groups.Count(); ++k) {
        const std::vector<std::string>& values = groups.Values(k);
        for (size_t f = 0; f < values.size(); ++f)
            if (!WriteCell(state_, 1, row_, groups.Column(k) + static_cast<int32_t>(f), values[f]))
                return false;
    }
    return true;
}

void clsTable::Process(JobState& state, CsvWriter* csv) {
    // A message for many rows or cells is said once, with its count.
    const RepeatScope scope(state.messages);
    clsExportSpecs& specs = state.recipe.ExportSpecs;
    StartKeyLine = EndKeyLine = FirstDataLine = LastDataLine = 0;
    // A report read once for the table's key lines and rows, where it may be.
    if (csv && ProcessInOnePass(state, *csv)) return;
    // The job's checks of the report, when it left them to the run.
    if (!RunReportChecks(state)) return;
    // 1-7. Where the table's lines lie.
    Span span;
    if (!FindKeyLines(state, span) || !CheckSpan(state, span)) return;
    // 8. The table's first row.
    const int32_t top = specs.getWritePointer(state.messages, 1);
    // 9. The rows are read from item 1 of the input list, from line F on.
    const std::filesystem::path& rowFile = PeriodFile(state.messages, state.recipe.gRecipe, 1);
    TextIndex& rows = &rowFile == span.keyFile || rowFile == *span.keyFile
                          ? *span.keys
                          : state.recipe.ReportFor(rowFile);
    TextReader input;
    const bool positioned = OpenRows(state, rows, span.first, span.last, input);
    // A report that opened for its scan may fail now (too many open files):
    // empty rows must not pass for its lines.
    if (ReadFailed(state, !input.OpenError().empty(), input.OpenError(), rowFile, number_)) return;
    if (csv) csv->SetEncoding(rows.Encoding());
    for (size_t c = 0; c < ColumnsCollection.size(); ++c)
        ColumnsCollection[c].StartPass(static_cast<int32_t>(c + 1));
    state.recipe.LineProcessor.BeginPass();
    TablePass pass(state, *this, csv, TablePass::FactsOf(state, rows));
    const int32_t columns =
        std::min<int32_t>(TotalColumns, static_cast<int32_t>(ColumnsCollection.size()));
    if (positioned && !CheckColumns(state, csv != nullptr, columns)) return;
    state.observer.TableStarted(number_, span.first, rows.LineCount());
    // 10. The lines, each a row unless the table leaves it out.
    if (positioned && pass.Run(input, span.first, span.last, top) &&
        pass.AllLinesRead(span.first, span.last))
        KeepRows(state, rows, input, span.last + 1);
    ReadFailed(state, input.ReadFailed(), input.ReadError(), rowFile, number_);
    // 11-12. The write pointer moves below the rows written.
    const auto done = static_cast<int32_t>(pass.Done());
    specs.setWritePointer(state.messages, 1, top + done);
    WriteTableTopRow = top;
    WriteTableBottomRow = top + done - 1;
}

} // namespace vok
