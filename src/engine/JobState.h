// The state of the running job: the file being converted, the recipe and its
// export-specs file, the line processor, the open workbook, the run flags
// and the stop request. The job driver makes one for each job; nothing of it
// outlives the job, and two jobs never share one.
#pragma once

#include "base/JobObserver.h"
#include "base/StopRequest.h"
#include "base/TextIndex.h"
#include "engine/clsExportSpecs.h"
#include "engine/clsLineProcessor.h"
#include "layout/LineRules.h"
#include "output/OutputType.h"
#include "output/Workbook.h"
#include "recipe/clsRecipe.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

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

class JobState {
public:
    JobState(JobObserver& observer, StopRequest& stop);

    JobObserver& observer;
    // The observer, as the messages interface; a table's repeated messages
    // are folded into one line each.
    RepeatFoldingMessages messages;

    // The file being converted and how it is read.
    std::filesystem::path gInputFile;
    std::filesystem::path gOutputFile;
    std::filesystem::path gRecipeFile;
    OutputType outputType = OutputType::Csv;
    int32_t gTabSize = 8;
    // The output row the running table writes (the CSV line), for messages
    // that name a cell.
    int32_t currentRow = 0;

    clsRecipe gRecipe;
    TextIndexCache Reports;     // what one read of each report told
    clsExportSpecs ExportSpecs; // the recipe's export-specs file
    clsLineProcessor LineProcessor;
    std::unique_ptr<Workbook> xlApp; // the open workbook, while one is open
    TableRunWatcher* tableWatcher = nullptr;
    // The job's checks of its report (a read problem, tabs), when the job
    // leaves them to the run so that the report may be read once: a table
    // that reads its rows and key lines together makes them once the whole
    // text is known, any other table before its first line. False: the
    // report cannot be converted (said), and nothing is written.
    std::function<bool(TextIndex&)> reportChecks;

    // The run flags: a stop asked for and seen, an export in progress, a
    // stop that holds until the job ends (closing the window, an interrupt),
    // and an interrupt, after which no output is put in place.
    bool StopRequested = false;
    bool gExportRunning = false;
    bool Interrupted = false;
    bool Cancelled = false;
    int64_t lTotalTimeStart = 0;

    // Takes a stop request made since the last call: where the program lets
    // pending window events run.
    void DoEvents();

    // Sets a status text; the job remembers the caption it set, so that it
    // can give back an earlier one without reading the window.
    void SetStatus(StatusTarget target, std::string_view text);
    const std::string& Caption() const { return caption_; }

private:
    StopRequest& stop_;
    std::string caption_;
};

// Assigns a cell of the open workbook as typed input. When the workbook cannot
// take it (past the format's last row or column) it shows the message, sets
// the export-specs file's FatalProcessError and returns false.
bool WriteCell(JobState& state, int32_t sheet, int32_t row, int32_t column, std::string_view text);

// A cell's value as text; "" when no workbook is open.
std::string ReadCell(JobState& state, int32_t sheet, int32_t row, int32_t column);

} // namespace vok
