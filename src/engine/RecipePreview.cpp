// The preview, in steps:
//   1. the report must be there, and the recipe (a job's first checks);
//   2. the recipe's text: the editor's, the file's, or made from the marks;
//   3. one read of the report for every key text, and the tab notice;
//   4. the export-specs file: a long-format recipe as it stands, a short
//      one expanded in memory (derived layouts read the report);
//   5. the run, as a workbook job's, into a workbook kept in memory that
//      keeps each table's first rows (all rows when a consolidation reads
//      them back);
//   6. per table its lines, columns and rows, from what the run left.
#include "engine/RecipePreview.h"

#include "base/ColumnLetters.h"
#include "base/JobObserver.h"
#include "base/NumericText.h"
#include "base/TextAccess.h"
#include "base/TextEncoding.h"
#include "base/TextIndex.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityString.h"
#include "engine/InputChecks.h"
#include "engine/JobState.h"
#include "output/OutputType.h"
#include "output/typed_input/TypedInput.h"
#include "recipe/ExportSpecFile.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>
#include <optional>
#include <unordered_map>

namespace vok {

LineClass PreviewLineKind(const PreviewTable& table, int64_t line) {
    const auto found = std::lower_bound(
        table.leftOut.begin(), table.leftOut.end(), line,
        [](const PreviewLineMark& mark, int64_t wanted) { return mark.line < wanted; });
    return found != table.leftOut.end() && found->line == line ? found->kind : LineClass{};
}

int64_t PreviewRowLine(const PreviewTable& table, int64_t row) {
    int64_t line = table.firstLine + row;
    for (const PreviewLineMark& mark : table.leftOut) {
        if (mark.line > line) break;
        ++line;
    }
    return line;
}

int64_t PreviewLastLine(const PreviewTable& table) {
    return table.firstLine + table.rowCount + static_cast<int64_t>(table.leftOut.size()) - 1;
}

int64_t PreviewGroupLine(const PreviewTable& table, int32_t k, int64_t line) {
    int64_t found = 0;
    for (const PreviewLineMark& mark : table.leftOut) {
        if (mark.line > line) break;
        if (mark.kind.kind == LineKind::Group && mark.kind.group == k) found = mark.line;
    }
    return found;
}

namespace {

// Keeps every message; the only question, the stop question, is raised only
// by a stop request, and a stopped preview ends.
class PreviewObserver final : public JobObserver {
public:
    explicit PreviewObserver(std::vector<PreviewMessage>& messages) : messages_(messages) {}

protected:
    void DisplayMessage(std::string_view text, MessageIcon icon, std::string_view,
                        MessageKind kind) override {
        messages_.push_back({std::string(text), icon, kind});
    }
    bool DisplayQuestion(std::string_view, MessageIcon, std::string_view) override { return true; }

private:
    std::vector<PreviewMessage>& messages_;
};

// A workbook of three sheets kept in memory, meeting the limits of the
// format a job would write. A cell is judged by the engines' typed input.
// Rows of sheet 1 below a limit are checked, as an engine checks them, but
// not kept: a preview shows a table's first rows, whatever its length.
class PreviewWorkbook final : public Workbook {
public:
    struct Cell {
        std::string text;
        TypedValue value;
    };

    explicit PreviewWorkbook(OutputType type)
        : limits_(SheetLimitsOf(type)) {}

    // Sheet 1 keeps no row after `row`; nothing: every row.
    void KeepSheet1RowsUpTo(std::optional<int64_t> row) { keepUpTo_ = row; }

    const Cell* Find(int32_t sheet, int32_t row, int32_t column) const {
        const auto it = cells_.find(Key(sheet, row, column));
        return it == cells_.end() ? nullptr : &it->second;
    }

    int32_t SheetCount() const override { return kSheets; }
    int32_t MaxRows() const override { return limits_.maxRows; }
    int32_t MaxColumns() const override { return limits_.maxColumns; }

    std::string SheetName(int32_t sheet) const override {
        return ValidSheet(sheet) ? names_[static_cast<size_t>(sheet - 1)] : std::string();
    }
    bool SetSheetName(int32_t sheet, std::string_view name, std::string& error) override {
        if (!ValidSheet(sheet)) {
            error = "The workbook has no sheet " + std::to_string(sheet) + ".";
            return false;
        }
        names_[static_cast<size_t>(sheet - 1)] = std::string(name);
        return true;
    }
    // A preview shows the tables as sheet 1 receives them; it has no sheet
    // target, so it never needs a sheet of its own beyond the three.
    bool AddSheet(std::string_view name, std::string& error) override {
        error = "A preview adds no sheet (" + std::string(name) + ").";
        return false;
    }

    CellWrite SetCellValue(int32_t sheet, int32_t row, int32_t column,
                           std::string_view text) override {
        // The engines' checks, in their order.
        if (!ValidSheet(sheet)) return CellWrite::NoSuchSheet;
        if (row < 1 || row > limits_.maxRows) return CellWrite::BeyondLastRow;
        if (column < 1 || column > limits_.maxColumns) return CellWrite::BeyondLastColumn;
        if (text.size() > static_cast<size_t>(kMaxCellTextChars) &&
            CharCount(text) > static_cast<size_t>(kMaxCellTextChars))
            return CellWrite::TextTooLong;
        if (sheet == 1 && keepUpTo_ && row > *keepUpTo_) return CellWrite::Written;
        Cell& cell = cells_[Key(sheet, row, column)];
        cell.text.assign(text);
        InterpretTypedInput(text, cell.value);
        return CellWrite::Written;
    }

    std::string CellText(int32_t sheet, int32_t row, int32_t column) const override {
        // As a workbook gives it back: a number as a plain decimal number.
        const Cell* cell = Find(sheet, row, column);
        if (!cell) return {};
        switch (cell->value.kind) {
        case TypedValue::Kind::Number:
            return DoubleToPlainText(cell->value.number);
        case TypedValue::Kind::Text:
            return cell->text;
        case TypedValue::Kind::Empty:
            break;
        }
        return {};
    }

    void SetStandardFont(std::string_view) override {}

    CellRange UsedRange(int32_t sheet) const override {
        CellRange used;
        for (const auto& [key, cell] : cells_) {
            if (SheetOf(key) != sheet || cell.value.kind == TypedValue::Kind::Empty) continue;
            used.Include(RowOf(key), ColumnOf(key));
        }
        return used;
    }

    void ClearRange(int32_t sheet, const CellRange& range) override {
        std::erase_if(cells_, [&](const auto& entry) {
            const uint64_t key = entry.first;
            const int32_t row = RowOf(key), column = ColumnOf(key);
            return SheetOf(key) == sheet && row >= range.firstRow && row <= range.lastRow &&
                   column >= range.firstColumn && column <= range.lastColumn;
        });
    }

    bool Save(std::string& error, const StopRequest* /*stop*/ = nullptr) override {
        error = "A preview writes no workbook.";
        return false;
    }

private:
    static constexpr int32_t kSheets = 3;

    static bool ValidSheet(int32_t sheet) { return sheet >= 1 && sheet <= kSheets; }
    // Rows take 21 bits and columns 15 in either format; the sheet the rest.
    static uint64_t Key(int32_t sheet, int32_t row, int32_t column) {
        return (static_cast<uint64_t>(sheet) << 40) | (static_cast<uint64_t>(row) << 16) |
               static_cast<uint64_t>(column);
    }
    static int32_t SheetOf(uint64_t key) { return static_cast<int32_t>(key >> 40); }
    static int32_t RowOf(uint64_t key) { return static_cast<int32_t>((key >> 16) & 0xFFFFFF); }
    static int32_t ColumnOf(uint64_t key) { return static_cast<int32_t>(key & 0xFFFF); }

    SheetLimits limits_;
    std::string names_[kSheets] = {"Sheet1", "Sheet2", "Sheet3"};
    std::unordered_map<uint64_t, Cell> cells_;
    std::optional<int64_t> keepUpTo_;
};

// Where each table's rows went: its first sheet row and how many it wrote.
class RowKeeper final : public TableRunWatcher {
public:
    struct Run {
        bool ran = false;
        int32_t top = 0;
        int64_t rows = 0;
        std::vector<PreviewLineMark> leftOut;
    };

    RowKeeper(JobState& state, PreviewWorkbook& book, int64_t limit, bool keepAll, size_t tables)
        : state_(state), book_(book), limit_(std::max<int64_t>(limit, 0)), keepAll_(keepAll),
          runs_(tables) {}

    Run& RunOf(size_t index) { return runs_[index]; }

    void TableStarting(size_t index, const clsTable&) override {
        current_ = index;
        Run& run = runs_[index];
        run.ran = true;
        run.top = state_.recipe.ExportSpecs.getWritePointer(state_.messages, 1);
        if (!keepAll_) book_.KeepSheet1RowsUpTo(int64_t{run.top} + limit_ - 1);
    }
    void TableFinished(size_t index, const clsTable&) override {
        Run& run = runs_[index];
        run.rows = std::max<int64_t>(
            0, int64_t{state_.recipe.ExportSpecs.getWritePointer(state_.messages, 1)} - run.top);
        book_.KeepSheet1RowsUpTo(std::nullopt);
    }
    void LineLeftOut(int64_t line, const LineClass& kind) override {
        runs_[current_].leftOut.push_back({line, kind});
    }

private:
    size_t current_ = 0;
    JobState& state_;
    PreviewWorkbook& book_;
    int64_t limit_;
    bool keepAll_;
    std::vector<Run> runs_;
};

// The recipe editor's text as a file of it reads: lines at CR LF, lone CR and
// lone LF, no empty line after a last line end.
SectionedText TextAsRecipe(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return SectionedText(std::move(lines));
}

int32_t WholeNumberOr(std::string_view text, int32_t otherwise) {
    int32_t value = 0;
    return ParseWholeNumber(text, value) ? value : otherwise;
}

// A table of the recipe that the expansion did not reach: its keys, and
// where the report holds them.
PreviewTable UnexpandedTable(const SectionedText& recipe, int32_t number) {
    const std::string section = "Table " + std::to_string(number);
    PreviewTable table;
    table.number = number;
    table.startKey = GetIniValue(recipe, section, "ReadStartLine", "");
    table.startOffset = WholeNumberOr(GetIniValue(recipe, section, "ReadStartLineOffset", "0"), 0);
    table.endKey = GetIniValue(recipe, section, "ReadEndLine", "");
    table.endOffset = WholeNumberOr(GetIniValue(recipe, section, "ReadEndLineOffset", "0"), 0);
    return table;
}

// Key lines the pass did not get to, looked up as the pass looks them up.
void FillKeyLines(PreviewTable& table, TextIndex& report) {
    if (table.startKeyLine == 0) table.startKeyLine = report.FirstLine(table.startKey);
    if (table.endKeyLine == 0) table.endKeyLine = report.FirstLine(table.endKey);
    if (table.firstLine == 0 && table.lastLine == 0 && table.startKeyLine > 0 &&
        table.endKeyLine > 0) {
        table.firstLine = table.startKeyLine + table.startOffset;
        table.lastLine = table.endKeyLine + table.endOffset;
    }
}

PreviewTable TableOf(const clsTable& source, int32_t number, RowKeeper::Run& run,
                     const PreviewWorkbook& book, int64_t rowLimit) {
    PreviewTable table;
    table.number = number;
    table.expanded = true;
    table.startKey = source.ReadStartLine;
    table.startOffset = source.ReadStartLineOffset;
    table.endKey = source.ReadEndLine;
    table.endOffset = source.ReadEndLineOffset;
    table.ran = run.ran;
    if (run.ran) {
        table.startKeyLine = source.StartKeyLine;
        table.endKeyLine = source.EndKeyLine;
        table.firstLine = source.FirstDataLine;
        table.lastLine = source.LastDataLine;
    }
    std::vector<int32_t> sheetColumns;
    const size_t count = std::min(static_cast<size_t>(std::max(source.TotalColumns, 0)),
                                  source.ColumnsCollection.size());
    for (size_t c = 0; c < count; ++c) {
        const clsColumn& column = source.ColumnsCollection[c];
        table.columns.push_back(
            {column.ReadColumnStart, column.ReadColumnEnd, column.WriteColumn.str()});
        // A bad letter counts as 0; the job says what is wrong with it.
        sheetColumns.push_back(AlphaToNum2(column.WriteColumn).value);
    }
    // The groups' fields, as the rows carry them.
    for (size_t k = 0; k < source.Lines.groups.size(); ++k) {
        const LineGroup& group = source.Lines.groups[k];
        for (size_t f = 0; f < group.fieldStart.size(); ++f) {
            const int32_t sheetColumn = group.column + static_cast<int32_t>(f);
            table.columns.push_back({group.fieldStart[f], group.fieldEnd[f],
                                     NumToAlpha2(sheetColumn).value, static_cast<int32_t>(k + 1)});
            sheetColumns.push_back(sheetColumn);
        }
    }
    table.leftOut = std::move(run.leftOut);
    table.rowCount = run.rows;
    table.firstSheetRow = run.rows > 0 ? run.top : 0;
    const int64_t shown = std::min(run.rows, std::max<int64_t>(rowLimit, 0));
    table.rows.reserve(static_cast<size_t>(shown));
    for (int64_t r = 0; r < shown; ++r) {
        std::vector<PreviewCell>& row = table.rows.emplace_back();
        row.reserve(sheetColumns.size());
        for (const int32_t column : sheetColumns) {
            PreviewCell& cell = row.emplace_back();
            const PreviewWorkbook::Cell* stored =
                book.Find(1, static_cast<int32_t>(run.top + r), column);
            if (!stored) continue;
            cell.text = stored->text;
            cell.kind = stored->value.kind;
            cell.number = stored->value.number;
            cell.numberFormat = stored->value.numberFormat;
        }
    }
    return table;
}

// The texts rebuilt from PDF reports come from, and go to, the previews' memo.
void KeepPdfTexts(JobState& state, const std::shared_ptr<RebuiltTextMemo>& memo) {
    state.recipe.Reports =
        TextIndexCache([&state, memo](const std::filesystem::path& report, int) {
            return memo->SourceOf(report, [&state] {
                state.run.DoEvents();
                return state.run.StopHolds();
            });
        });
}

// The recipe's text, as the request gives it; false (said) when there is none.
bool ReadRecipeText(const PreviewRequest& request, TextIndexCache& reports, Messages& observer,
                    SectionedText& recipe, std::filesystem::path& recipeName) {
    switch (request.source) {
    case PreviewRequest::Source::RecipeText:
        recipe = TextAsRecipe(request.recipeText);
        break;
    case PreviewRequest::Source::RecipeFile:
        recipe = SectionedText::FromFile(request.recipeFile);
        if (!RecipeReadProblem(observer, recipe, request.recipeFile).empty()) return false;
        break;
    case PreviewRequest::Source::MarkedReport: {
        recipeName = "_AutoRecipe.rcp";
        ProfileFile marked(recipeName, AtomicFile::Durability::InPlace, ProfileFile::Start::Empty);
        // Faulty marks are said, as the job says them.
        TextIndex& text = reports.For(request.report);
        if (!text.Problem().empty()) {
            ReportReadProblem(observer, text);
            return false;
        }
        const MarkedRecipe marks = MakeShortFromMarks(request.report, marked, text.ReadFrom());
        if (marks.read) recipe = SectionedText(marked.Lines());
        if (!marks.problem.empty()) observer.Show(marks.problem, MessageIcon::Critical);
        if (!marks.read) return false;
        break;
    }
    }
    return true;
}

// A job's checks before anything is read: the recipe file, then the report.
bool InputFilesExist(const PreviewRequest& request, Messages& observer) {
    if (request.source == PreviewRequest::Source::RecipeFile && !FileExists(request.recipeFile)) {
        observer.Show(NoSuchFileMessage("Recipe file ", request.recipeFile),
                      MessageIcon::Exclamation);
        return false;
    }
    if (!FileExists(request.report)) {
        observer.Show(NoSuchFileMessage("Input file: ", request.report), MessageIcon::Exclamation);
        return false;
    }
    return true;
}

// Reads the export specs as the job prepares them: a long recipe as it stands,
// a short one expanded first. Returns the tables a short recipe names, which
// its expansion may not all reach; a long recipe has none beyond its own.
int64_t PrepareExportSpecs(const PreviewRequest& request, JobRecipe& specsRead,
                           RepeatFoldingMessages& messages, JobObserver& observer,
                           const SectionedText& recipe, const std::filesystem::path& recipeName,
                           TextIndex& report) {
    clsRecipe& job = specsRead.gRecipe;
    job.ResetRecipe();
    job.InputFileName[0] = request.report;
    clsExportSpecs& specs = specsRead.ExportSpecs;
    const bool longFormat =
        AsciiUpper(Trim(GetIniValue(recipe, "Header", "FileType", ""))) == "EXPORT SPEC";
    if (longFormat) {
        job.ExportSpecFileName = recipeName;
        specs.ReadFromText(messages, recipe, recipeName);
    } else {
        if (!recipe.IsOpen()) {
            observer.Show("Cannot find recipe file: " + recipeName.string(), MessageIcon::None);
            observer.Show("short format recipe file does not exist!", MessageIcon::None);
        }
        job.ExportSpecFileName = request.specName;
        ProfileFile expanded(request.specName, AtomicFile::Durability::InPlace,
                             ProfileFile::Start::Empty);
        ConvertShortToLong(observer, {}, recipe, expanded, report, request.tabSize);
        specs.ReadFromText(messages, SectionedText(expanded.Lines()), request.specName);
        return CountTableSections(recipe);
    }
    return 0;
}

void Preview(const PreviewRequest& request, StopRequest& stop, PreviewResult& result,
             std::unique_ptr<TextIndex>* keep) {
    PreviewObserver observer(result.messages);
    JobState state(observer, stop);
    if (request.pdfTexts) KeepPdfTexts(state, request.pdfTexts);
    state.job =
        JobSettings{request.report, {}, request.recipeFile, request.outputType, request.tabSize};

    // 1. A job's checks: the recipe file, then the report.
    if (!InputFilesExist(request, observer)) return;
    // 2. The recipe's text. The recipe of the marks is made in memory and
    // never committed.
    SectionedText recipe;
    std::filesystem::path recipeName = request.recipeFile;
    if (!ReadRecipeText(request, state.recipe.Reports, observer, recipe, recipeName)) return;
    // 3. One read of the report for every key text; the tab notice.
    TextIndex& report = state.recipe.Reports.For(request.report);
    ExpectKeyTexts(recipe, report);
    if (!ReportReadProblem(observer, report).empty()) return;
    result.reportHasTabs = report.HasTabs();
    if (!request.tabNoticeShown && result.reportHasTabs)
        observer.Show(kTabsInFileNotice, MessageIcon::Information, {}, MessageKind::Notice);

    // 4. The export-specs file, as the job prepares it.
    const int64_t recipeTables = PrepareExportSpecs(request, state.recipe, state.messages, observer,
                                                    recipe, recipeName, report);
    clsExportSpecs& specs = state.recipe.ExportSpecs;
    result.titles = static_cast<int32_t>(specs.TitlesCollection.size());
    result.consolidations = static_cast<int32_t>(specs.ConsolidateCollection.size());

    // 5. The run into the workbook in memory. A stop asked for while the
    // recipe was expanded ends the run at its first row.
    auto workbook = std::make_unique<PreviewWorkbook>(request.outputType);
    PreviewWorkbook& book = *workbook;
    state.sink.xlApp = std::move(workbook);
    RowKeeper keeper(state, book, request.rowLimit, !specs.ConsolidateCollection.empty(),
                     specs.TablesCollection.size());
    state.tableWatcher = &keeper;
    specs.Process(state, nullptr);
    state.tableWatcher = nullptr;
    result.stopped = state.run.StopHolds();

    // 6. Each table as the run left it, then those the expansion never reached.
    for (size_t k = 0; k < specs.TablesCollection.size(); ++k) {
        PreviewTable& table = result.tables.emplace_back(
            TableOf(specs.TablesCollection[k], static_cast<int32_t>(k + 1), keeper.RunOf(k), book,
                    request.rowLimit));
        FillKeyLines(table, report);
    }
    for (int64_t n = static_cast<int64_t>(specs.TablesCollection.size()) + 1; n <= recipeTables;
         ++n) {
        PreviewTable& table =
            result.tables.emplace_back(UnexpandedTable(recipe, static_cast<int32_t>(n)));
        FillKeyLines(table, report);
    }
    if (keep) *keep = state.recipe.Reports.Release(request.report);
}

} // namespace

PreviewResult PreviewRecipe(const PreviewRequest& request, StopRequest& stop,
                            std::unique_ptr<TextIndex>* report) {
    const auto started = std::chrono::steady_clock::now();
    PreviewResult result;
    result.generation = request.generation;
    result.report = request.report;
    result.tabSize = request.tabSize;
    try {
        Preview(request, stop, result, report);
    } catch (const std::exception& e) {
        // Nothing should get here; a preview that fails says so instead of ending the program.
        const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        result.messages.push_back({"The preview of " + request.report.string() + " stopped: " +
                                       (memory ? "there is not enough memory" : e.what()),
                                   MessageIcon::Critical, MessageKind::Failure});
    }
    result.elapsedMicroseconds = std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now() - started)
                                     .count();
    return result;
}

namespace {

std::vector<std::string> ReadLines(TextIndex& index, int64_t first, int64_t count,
                                   int32_t tabSize) {
    std::vector<std::string> lines;
    if (count == 0 || !index.Exists()) return lines;
    first = std::max<int64_t>(first, 1);
    const bool expand = tabSize > 0 && index.HasTabs();
    TextReader reader;
    if (!index.OpenAt(first, reader, count > 0 ? first + count - 1 : 0)) return lines;
    std::string_view line;
    while ((count < 0 || static_cast<int64_t>(lines.size()) < count) && reader.ReadLine(line)) {
        std::string& out = lines.emplace_back();
        // A form feed at a line's start shifts no position in the pass.
        line = PassFormFeeds(line);
        if (expand)
            ExpandTabsInto(out, line, tabSize);
        else
            out.assign(line);
    }
    return lines;
}

} // namespace

ReportLineSource::ReportLineSource(std::filesystem::path report, int32_t tabSize,
                                   RebuiltTextMemo* pdfTexts)
    : index_(report, pdfTexts ? pdfTexts->SourceOf(report, {}) : ReportSourceOf(report, {})),
      tabSize_(tabSize) {}

ReportLineSource::ReportLineSource(std::unique_ptr<TextIndex> index, int32_t tabSize)
    : index_(std::move(*index)), tabSize_(tabSize) {}

const std::string& ReportLineSource::Line(int64_t line) {
    if (line < 1 || line > LineCount()) return empty_;
    const int64_t start = (line - 1) / kBlockLines * kBlockLines + 1;
    auto found = blocks_.find(start);
    if (found == blocks_.end()) {
        if (blocks_.size() >= kBlocksKept) {
            blocks_.erase(recent_.front());
            recent_.erase(recent_.begin());
        }
        found = blocks_.emplace(start, ReadLines(index_, start, kBlockLines, tabSize_)).first;
        recent_.push_back(start);
        ++blocksRead_;
    }
    const auto at = static_cast<size_t>(line - start);
    return at < found->second.size() ? found->second[at] : empty_;
}

PreviewWorker::PreviewWorker(Done done) : done_(std::move(done)), thread_([this] { Run(); }) {}

PreviewWorker::~PreviewWorker() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
        waiting_.reset();
        if (running_) running_->RequestStop();
    }
    wake_.notify_all();
    thread_.join();
}

uint64_t PreviewWorker::Submit(PreviewRequest request) {
    uint64_t generation = 0;
    {
        const std::lock_guard lock(mutex_);
        generation = ++generation_;
        request.generation = generation;
        waiting_ = std::move(request);
        if (running_) running_->RequestStop();
    }
    wake_.notify_all();
    return generation;
}

void PreviewWorker::Cancel() {
    const std::lock_guard lock(mutex_);
    // A result still to come is older than the newest generation: dropped.
    ++generation_;
    waiting_.reset();
    if (running_) running_->RequestStop();
}

uint64_t PreviewWorker::Latest() const {
    const std::lock_guard lock(mutex_);
    return generation_;
}

void PreviewWorker::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return ending_ || waiting_.has_value(); });
        if (ending_) return;
        PreviewRequest request = std::move(*waiting_);
        waiting_.reset();
        auto stop = std::make_shared<StopRequest>();
        running_ = stop;
        lock.unlock();
        auto result = std::make_shared<const PreviewResult>(PreviewRecipe(request, *stop));
        lock.lock();
        running_.reset();
        // Only the newest request's result is worth showing.
        if (ending_ || request.generation != generation_) continue;
        lock.unlock();
        done_(std::move(result));
        lock.lock();
    }
}

} // namespace vok
