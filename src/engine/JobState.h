// The state of the running job: the file being converted, the output it
// writes to, the recipe and what was read by it, and where the job stands
// with respect to stopping. The job driver makes one for each job; nothing
// of it outlives the job, and two jobs never share one.
#pragma once

#include "base/JobObserver.h"
#include "base/StopRequest.h"
#include "base/TextIndex.h"
#include "base/TextReader.h"
#include "engine/clsExportSpecs.h"
#include "engine/clsLineProcessor.h"
#include "layout/LineRules.h"
#include "output/OutputType.h"
#include "output/Workbook.h"
#include "recipe/clsRecipe.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace vok {

// The notice a job shows once when a report holds tab characters (once ever:
// config.ini remembers it).
inline constexpr std::string_view kTabsInFileNotice =
    "NOTE: The text in the Input File contains tab characters.\n"
    "To specify the tab stop, change the options.";

// Told when the run reaches a table and when it leaves it, on the job's
// thread: the recipe preview keeps each table's rows by it.
class TableRunWatcher {
public:
    virtual ~TableRunWatcher() = default;
    // `index`: the table's 0-based place in the export-specs file's tables.
    virtual void TableStarting(size_t index, const clsTable& table) = 0;
    virtual void TableFinished(size_t index, const clsTable& table) = 0;
    // A line of the running table that wrote no row (a page header, a line
    // skipped, a group line), in the order of the report's lines.
    virtual void LineLeftOut(int64_t /*line*/, const LineClass& /*kind*/) {}
};

// What one file's conversion was started with: set once where it starts,
// read by the run.
struct JobSettings {
    std::filesystem::path gInputFile;
    std::filesystem::path gOutputFile;
    std::filesystem::path gRecipeFile;
    OutputType outputType = OutputType::Csv;
    int32_t gTabSize = 8;
};

// Where the rows go: the open workbook (none while a CSV output is written:
// the run driver hands its writer to the tables), and the output row the
// running table writes (the CSV line), for messages that name a cell.
struct OutputSink {
    std::unique_ptr<Workbook> xlApp;
    int32_t currentRow = 0;
};

// What the recipe says and what the run has read of the reports: the
// recipe, its export-specs file, the line processor, one index per report and
// the reader the last table left open.
struct JobRecipe {
    explicit JobRecipe(TextIndexCache reports) : Reports(std::move(reports)) {}
    clsRecipe gRecipe;
    TextIndexCache Reports;
    clsExportSpecs ExportSpecs;
    clsLineProcessor LineProcessor;
    // The reader of the last table's rows, kept open during a run for the
    // next table further down the same report: tables that go down a report
    // read on instead of opening it again each.
    struct RowReader {
        const TextIndex* report = nullptr;
        TextReader reader;
        int64_t nextLine = 0; // the line it reads next
    } rowReader;
    // The report a run searches its key texts in, as the cache gave it when
    // the run started: its tables take it without looking at the file again.
    struct RunReport {
        std::filesystem::path path;
        TextIndex* index = nullptr;
    } runReport;
    TextIndex& ReportFor(const std::filesystem::path& path) {
        return runReport.index && runReport.path == path ? *runReport.index : Reports.For(path);
    }
};

// Where the job stands with respect to stopping. The states are ordered: a
// request only ever moves the job up, except that a stop answered No goes
// back to the export, and a Pause answered Yes lasts until the next file's
// export starts.
enum class RunState {
    Running,     // outside an export: the Pause button does nothing
    Exporting,   // an export runs: the Pause button counts
    PauseAsked,  // Pause during the export: the next row asks
    StopAsked,   // the window is closing: the next row asks, and it holds until the job ends
    Interrupted, // a signal: no question, and no output is put in place any more
};

// The job's run state, and the requests that move it.
class JobRun {
public:
    explicit JobRun(StopRequest& stop) : stop_(stop) {}

    // Takes a stop request made since the last call: where the program lets
    // pending window events run.
    void DoEvents();

    RunState State() const { return state_; }
    // A stop of any kind was asked for and has not been answered No.
    bool StopAsked() const { return state_ >= RunState::PauseAsked; }
    // A stop that holds until the job ends: closing the window, an interrupt.
    bool StopHolds() const { return state_ >= RunState::StopAsked; }
    bool Interrupted() const { return state_ == RunState::Interrupted; }

    // An export starts: a Pause answered Yes for the file before is forgotten,
    // a stop that holds is kept.
    void ExportStarting() {
        if (!StopHolds()) state_ = RunState::Exporting;
    }
    // The export is over; Pause no longer applies.
    void ExportOver() {
        if (state_ == RunState::Exporting) state_ = RunState::Running;
    }
    // A stop answered No: the export goes on.
    void Resume() { state_ = RunState::Exporting; }
    // The job is over: the next one starts afresh.
    void JobOver() { state_ = RunState::Running; }

    int64_t lTotalTimeStart = 0; // the job's start, for the elapsed time

private:
    void Raise(RunState to) { state_ = std::max(state_, to); }

    StopRequest& stop_;
    RunState state_ = RunState::Running;
};

// The state of the running job, grouped by what owns it. A function that
// needs one group takes that group, not the whole state.
class JobState {
public:
    JobState(JobObserver& observer, StopRequest& stop);

    JobObserver& observer;
    // The observer, as the messages interface; a table's repeated messages
    // are folded into one line each.
    RepeatFoldingMessages messages;

    JobSettings job;
    OutputSink sink;
    JobRecipe recipe;
    JobRun run;
    TableRunWatcher* tableWatcher = nullptr;
    // The job's checks of its report (a read problem, tabs), when the job
    // leaves them to the run so that the report may be read once: a table
    // that reads its rows and key lines together makes them once the whole
    // text is known, any other table before its first line. False: the
    // report cannot be converted (said), and nothing is written.
    std::function<bool(TextIndex&)> reportChecks;

    // Sets a status text; the job remembers the caption it set, so that it
    // can give back an earlier one without reading the window.
    void SetStatus(StatusTarget target, std::string_view text);
    const std::string& Caption() const { return caption_; }

private:
    std::string caption_;
};

// Assigns a cell of the open workbook as typed input. When the workbook cannot
// take it (past the format's last row or column) it shows the message, sets
// the export-specs file's FatalProcessError and returns false.
bool WriteCell(JobState& state, int32_t sheet, int32_t row, int32_t column, std::string_view text);

// A cell's value as text; "" when no workbook is open.
std::string ReadCell(const OutputSink& sink, int32_t sheet, int32_t row, int32_t column);

} // namespace vok
