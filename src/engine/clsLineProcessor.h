// The current row of the report, one line per period, and the turning of one
// field of it into the value that goes to the output: cut by character
// positions, combined over the periods by an operator, numbers formatted.
#pragma once

#include "engine/TextReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vok {

class ProgramState;

class clsLineProcessor {
public:
    // Operator codes of OperatorCode.
    static constexpr int32_t kLastPeriod = 0;
    static constexpr int32_t kFirstPeriod = 1;
    static constexpr int32_t kSum = 2;
    static constexpr int32_t kAverage = 3;

    clsLineProcessor() { ClearRows(); }

    // Slots 1 to 12 (index 0 to 11): the current line of each period.
    std::vector<std::string> RowCollection;

    // Reads the next line of the open file into slot 1.
    void ReadRowPeriod1Only(ProgramState& state, TextReader& file, int32_t tabSize);
    // Reads line `row` of every period's input file into that period's slot.
    void ReadRow(ProgramState& state, int64_t row, int32_t tabSize);

    // The field's value into `result` (a buffer the caller reuses).
    void ProcessField(ProgramState& state, int32_t code, int32_t fieldStart, int32_t fieldEnd,
                      std::string& result);
    std::string ProcessField(ProgramState& state, int32_t code, int32_t fieldStart,
                             int32_t fieldEnd);

private:
    std::string get_text_line(ProgramState& state, const std::string& fileName, int64_t line);
    void ClearRows() { RowCollection.assign(12, std::string()); }

    std::string expanded_; // reused for tab expansion
};

} // namespace vok
