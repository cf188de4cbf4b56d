// One pass of a table over its lines: each line classified, and a row
// written for each line the table keeps. The pass is fed its lines: from a
// reader placed at the table's first line, or by a run that reads the
// report once for its key lines and its rows together.
#pragma once

#include "engine/GroupValues.h"
#include "engine/clsLineProcessor.h"
#include "layout/LineRules.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class clsColumn;
class clsTable;
class CsvWriter;
class JobState;
class TextIndex;
class TextReader;

namespace table_pass {
// A column of the per-line path: where its field lies, and the column itself.
struct RawColumn : clsLineProcessor::RawSpan {
    clsColumn* column;
};
} // namespace table_pass

// What the pass needs to know of the whole report before its lines.
struct ReportFacts {
    bool latin = false;   // Windows-1252 bytes, else UTF-8
    bool oneByte = true;  // a byte is a character
    int32_t tabSize = 0;  // tabs are expanded to this; 0: the report holds none
};

// Makes the job's checks of its report, when it left them to the run
// (JobState::reportChecks): false, with FatalProcessError set, when the
// report cannot be converted.
bool RunReportChecks(JobState& state);

class TablePass {
public:
    TablePass(JobState& state, clsTable& table, CsvWriter* csv, const ReportFacts& facts);
    static ReportFacts FactsOf(JobState& state, TextIndex& rows);

    // The lines from `first` to `last`, from the reader placed at `first`;
    // the rows go from sheet row `top` on. False when the run must end.
    bool Run(TextReader& input, int64_t first, int64_t last, int32_t top);

    // Fed line by line: Begin, then Line for each line from `first` on.
    // `total` is the lines expected, for the progress. Line is false when
    // the pass ends there: a stop asked for and confirmed, or a row that
    // could not be written (Failed).
    void Begin(int64_t first, int64_t total, int32_t top);
    bool Line(int64_t k, std::string_view bytes);
    bool Failed() const { return failed_; }
    // The report turned out other than the pass took it to be so far (the
    // lines before were plain ASCII, which reads the same either way).
    void Settle(const ReportFacts& facts);
    int64_t Done() const { return done_; }
    // Run read every line from `first` to `last`: the reader stands on the
    // line after them.
    bool AllLinesRead(int64_t first, int64_t last) const {
        return linesRead_ == last - first + 1;
    }

private:
    bool WriteRow();
    bool WriteGeneralRow();
    bool WriteRawCsvRow();
    bool WriteRawCells();
    bool WriteGroupCells();

    JobState& state_;
    clsTable& table_;
    CsvWriter* csv_;
    clsLineProcessor& processor_;
    bool latin_, oneByte_;
    int32_t tabSize_;
    LineClassifier classify_;
    const int32_t columns_;
    int64_t first_ = 0, total_ = 0;
    int32_t top_ = 0;
    bool failed_ = false;
    int32_t row_ = 0; // the sheet row (CSV line) being written
    int64_t done_ = 0;
    int64_t linesRead_ = 0;
    std::string line_, cell_;
    // The group values of the row being written: the pass's, not the
    // table's, which thousands of tables would each hold.
    GroupValues groups_;
    // The per-line path, once the first row has shown that it applies.
    std::vector<table_pass::RawColumn> raw_;
    bool rawPath_ = false;
    int64_t rawWidth_ = 0; // the fields' characters, all columns together
};

} // namespace vok
