// The preview of a recipe: what a job would make of a report, computed in
// memory and written nowhere. The recipe (a text in the short or the long
// format, a recipe file, or the marks in the report) is expanded as a job
// expands it, and its export-specs file runs as a workbook job runs it,
// into a workbook kept in memory. The result tells, per table, the lines it
// takes, its columns and the rows a job would write (each cell as typed input
// stores it), and every message the run showed.
//
// Nothing is written: no working file, no output, no setting. A preview may
// run on any thread; a newer one stops an older one through its StopRequest.
#pragma once

#include "base/Messages.h"
#include "base/StopRequest.h"
#include "base/TextIndex.h"
#include "layout/LineRules.h"
#include "output/OutputType.h"
#include "output/typed_input/TypedInput.h"
#include "pdf/PdfReport.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vok {

struct PreviewRequest {
    enum class Source {
        RecipeText,   // `recipeText`, as the recipe editor holds it
        RecipeFile,   // the file `recipeFile`, read as a job reads it
        MarkedReport, // the ">>" and "<<" marks in the report
    };
    Source source = Source::RecipeText;
    std::string recipeText; // short or long format; any line ends
    std::filesystem::path recipeFile;
    std::filesystem::path report;
    int32_t tabSize = 8;
    // Rows kept per table, from its first; the count of rows is always whole.
    int64_t rowLimit = 10;
    // The workbook whose limits (last row, last column) the run meets.
    OutputType outputType = OutputType::Xlsx;
    // The tab notice was shown before (config.ini says so): not again.
    bool tabNoticeShown = false;
    // The working export-specs file's name, for the messages that name it.
    std::filesystem::path specName = "_ExportSpecs.t2x";
    // Handed back in the result, so that a caller can tell results apart.
    uint64_t generation = 0;
    // Texts rebuilt from PDF reports by earlier previews, kept for later ones.
    std::shared_ptr<RebuiltTextMemo> pdfTexts;
};

struct PreviewCell {
    std::string text; // what the job assigns to the cell (UTF-8), as a CSV field holds it
    TypedValue::Kind kind = TypedValue::Kind::Empty;
    double number = 0;        // Kind::Number
    std::string numberFormat; // Kind::Number: the format that shows it as typed; "" General
};

struct PreviewColumn {
    int32_t start = 0; // 1-based character positions, inclusive
    int32_t end = 0;
    std::string letters; // the sheet column
    // The group k whose lines this field is cut from (its positions are
    // those of the group line); 0 for a field of the table's rows.
    int32_t group = 0;
};

// A line of a table that the run left out, and why.
struct PreviewLineMark {
    int64_t line = 0;
    LineClass kind;
};

struct PreviewTable {
    int32_t number = 0; // "Table n"
    std::string startKey, endKey;
    int32_t startOffset = 0, endOffset = 0;
    // The report's lines: those holding the key texts, the first and last
    // data lines; 0 where they were not found (the data lines may be 0 or
    // below when the offsets lead before the report's start).
    int64_t startKeyLine = 0, endKeyLine = 0;
    int64_t firstLine = 0, lastLine = 0;
    // Derived layouts resolved; the groups' fields after the table's own,
    // in the order a CSV line holds them.
    std::vector<PreviewColumn> columns;
    // The lines the run left out, in order (page headers, lines skipped,
    // group lines): every line from firstLine on is a row or one of these.
    std::vector<PreviewLineMark> leftOut;
    // The recipe's table became a table of the export-specs file (the
    // expansion stops at a table it cannot lay out), and the run reached it.
    bool expanded = false;
    bool ran = false;
    int64_t rowCount = 0;                       // rows the job would write
    int32_t firstSheetRow = 0;                  // the sheet row of its first row
    std::vector<std::vector<PreviewCell>> rows; // the first rows, a cell per column
};

struct PreviewMessage {
    std::string text;
    MessageIcon icon = MessageIcon::None;
    MessageKind kind = MessageKind::Failure;
};

struct PreviewResult {
    uint64_t generation = 0;
    std::filesystem::path report;
    int32_t tabSize = 8; // the request's, for reading the report's lines as the run did
    bool reportHasTabs = false;
    std::vector<PreviewTable> tables;
    std::vector<PreviewMessage> messages;
    int32_t titles = 0;         // sections the run also ran
    int32_t consolidations = 0; // written to workbooks only
    bool stopped = false;       // a newer preview (or the user) stopped this one
    int64_t elapsedMicroseconds = 0;
};

// `report`, when given, receives the report's index as the preview left it,
// so that its lines are read without reading the whole report again.
PreviewResult PreviewRecipe(const PreviewRequest& request, StopRequest& stop,
                            std::unique_ptr<TextIndex>* report = nullptr);

// The mark of a table's line: what the run left it out as; Kept for a row.
LineClass PreviewLineKind(const PreviewTable& table, int64_t line);
// The report line of the table's 0-based row `row`.
int64_t PreviewRowLine(const PreviewTable& table, int64_t row);
// The last line the run went through: its last row's, or a line left out after it.
int64_t PreviewLastLine(const PreviewTable& table);
// The group line of group k that the row on `line` carries the values of; 0 when none.
int64_t PreviewGroupLine(const PreviewTable& table, int32_t k, int64_t line);

// The lines of a report for a viewer, as the table pass sees them: read a
// block at a time from the nearest known place and a few blocks kept, so that
// a long report is never held whole. Not for use by two threads at once.
class ReportLineSource {
public:
    // `pdfTexts`, when given, holds the text of a PDF report a preview rebuilt.
    ReportLineSource(std::filesystem::path report, int32_t tabSize,
                     RebuiltTextMemo* pdfTexts = nullptr);
    // The lines of a report a preview read already, by its index.
    ReportLineSource(std::unique_ptr<TextIndex> index, int32_t tabSize);
    const std::filesystem::path& Path() const { return index_.Path(); }
    bool Exists() { return index_.Exists(); }
    int64_t LineCount() { return index_.Exists() ? index_.LineCount() : 0; }
    // 1-based line `line`; an empty text outside the report. The text stays
    // good until the next call.
    const std::string& Line(int64_t line);
    // Blocks read from the report so far: the tests check that lines asked for
    // in order read each block once.
    int64_t BlocksRead() const { return blocksRead_; }

private:
    static constexpr int64_t kBlockLines = 256;
    static constexpr size_t kBlocksKept = 8;

    TextIndex index_;
    int32_t tabSize_;
    std::map<int64_t, std::vector<std::string>> blocks_; // by first line
    std::vector<int64_t> recent_;                        // block starts, oldest first
    std::string empty_;
    int64_t blocksRead_ = 0;
};

// Runs previews on a thread of its own, the newest request first: a request
// made while an older one runs stops the older one, and only the newest
// result is handed on. `done` runs on the worker's thread.
class PreviewWorker {
public:
    using Done = std::function<void(std::shared_ptr<const PreviewResult>)>;

    explicit PreviewWorker(Done done);
    // Stops a running preview and waits for the thread.
    ~PreviewWorker();
    PreviewWorker(const PreviewWorker&) = delete;
    PreviewWorker& operator=(const PreviewWorker&) = delete;

    // Queues the request in place of any waiting one; gives its generation.
    uint64_t Submit(PreviewRequest request);
    // Stops a running preview and drops a waiting one.
    void Cancel();
    // The generation of the newest request.
    uint64_t Latest() const;

private:
    void Run();

    Done done_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<PreviewRequest> waiting_;
    std::shared_ptr<StopRequest> running_; // the stop of the preview that runs
    uint64_t generation_ = 0;
    bool ending_ = false;
    std::thread thread_;
};

} // namespace vok
