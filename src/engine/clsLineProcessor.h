// The current row of the report, one line per period, and the turning of one
// field of it into the value that goes to the output: cut by character
// positions, combined over the periods by an operator, numbers formatted.
#pragma once

#include "base/TextReader.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class JobState;

class clsLineProcessor {
public:
    // Operator codes of OperatorCode.
    static constexpr int32_t kLastPeriod = 0;
    static constexpr int32_t kFirstPeriod = 1;
    static constexpr int32_t kSum = 2;
    static constexpr int32_t kAverage = 3;
    static constexpr int32_t kPeriods = 12;

    clsLineProcessor() { ClearRows(); }

    // The line held for a period (1 to 12); "" for any other period.
    const std::string& Row(int32_t period) const;
    // Replaces a period's line; a period outside 1 to 12 shows
    // "Invalid Index in CollectionItemSet!" and stores nothing.
    void SetRow(JobState& state, int32_t period, std::string_view line);

    // Reads the next line of the open file into slot 1.
    void ReadRowPeriod1Only(JobState& state, TextReader& file, int32_t tabSize);
    // Reads line `row` of every period's input file into that period's slot.
    void ReadRow(JobState& state, int64_t row, int32_t tabSize);

    // The field's value as a view: into the held line for the first and last
    // period, into `scratch` for sums. Valid until the next row is read or
    // scratch changes. This is the per-cell path: it copies nothing it need not.
    std::string_view FieldValue(JobState& state, int32_t code, int32_t fieldStart, int32_t fieldEnd,
                                std::string& scratch);

    // The field's value into `result` (a buffer the caller reuses).
    void ProcessField(JobState& state, int32_t code, int32_t fieldStart, int32_t fieldEnd,
                      std::string& result);
    std::string ProcessField(JobState& state, int32_t code, int32_t fieldStart, int32_t fieldEnd);

    // Starts a table pass. A problem ProcessField finds (a period outside 1
    // to 12, a sum outside the currency range) is reported once per pass, not
    // once per cell.
    void BeginPass() { reported_.clear(); }

private:
    // The line, valid until the next call; "" beyond the end of the file.
    std::string_view get_text_line(JobState& state, const std::filesystem::path& fileName,
                                   int64_t line);
    void ClearRows();
    // Stores a line into slot index (0 to 11) with its tabs expanded, and notes
    // whether it is ASCII; `blankAtEnd` appends the blank ReadRowPeriod1Only adds.
    void StoreRow(size_t index, std::string_view line, int32_t tabSize, bool blankAtEnd);
    // The raw field of a period's slot; false (reported) for a period outside 1 to 12.
    bool CutField(JobState& state, int32_t period, int64_t start, int64_t width,
                  std::string_view& field);
    void SumFields(JobState& state, int32_t code, int64_t start, int64_t width,
                   std::string& result);
    void ReportOnce(JobState& state, const std::string& text);

    // Slots 1 to 12 (index 0 to 11): the current line of each period, and
    // whether it is plain ASCII, so that cutting a field needs no scan.
    std::vector<std::string> RowCollection;
    std::array<bool, kPeriods> rowIsAscii_{};

    std::vector<std::string> readLines_; // reused by get_text_line
    std::vector<std::string> reported_;  // problems reported in this pass
};

} // namespace vok
