// One field of a table: the character positions it is cut from, the sheet
// column it goes to and the operator that combines the periods.
#pragma once

#include "recipe/SectionedFile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

class JobState;
class ProfileFile;

class clsColumn {
public:
    int32_t ReadColumnStart = 1; // 1-based, inclusive
    int32_t ReadColumnEnd = 1;   // inclusive
    std::string WriteColumn = "A";
    std::string PeriodOperator;

    // Reads section "Table n Col c" from the open file's current position.
    void ReadFromFileSequentially(JobState& state, SectionedCursor& file, int32_t table_number,
                                  int32_t col_number);
    void WriteToFile(ProfileFile& file, int32_t table_number, int32_t col) const;

    // The field's value from the line processor, valid until the next cell.
    std::string_view GetValue(JobState& state);
    // Writes the value to sheet 1 at the row; false when the run must end.
    bool Process(JobState& state, int32_t write_row);
    // The value quoted for a CSV line, appended to `line`.
    void AppendCsvValue(JobState& state, std::string& line);
    std::string GetCsvValue(JobState& state);

    // Normalises PeriodOperator (trimmed, upper case) and maps it to the
    // line processor's operator code.
    int32_t OperatorCode(JobState& state) {
        return operatorKnown_ ? operatorCode_ : NormaliseOperator(state);
    }

    // Forgets what the previous table pass learnt about this column (its
    // column number and operator code, worked out once per pass).
    void StartPass();

    void PropertyPrint() const {}

private:
    int32_t NormaliseOperator(JobState& state);

    std::string value_;  // reused for every cell
    int32_t column_ = 0; // WriteColumn as a number, once known
    bool operatorKnown_ = false;
    bool operatorReported_ = false;
    int32_t operatorCode_ = 0;
};

} // namespace vok
