// One field of a table: the character positions it is cut from, the sheet
// column it goes to and the operator that combines the periods.
#pragma once

#include "base/ShortText.h"
#include "engine/clsLineProcessor.h"
#include "recipe/SectionedFile.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vok {

class JobState;
class Messages;
class RepeatFoldingMessages;
struct OutputSink;
class ProfileFile;
struct ColumnSectionKeys;

class clsColumn {
public:
    int32_t ReadColumnStart = 1; // 1-based, inclusive
    int32_t ReadColumnEnd = 1;   // inclusive
    ShortText WriteColumn = "A";
    ShortText PeriodOperator;

    // Reads section "Table n Col c" from the open file's current position;
    // false when the file holds no such section from there on (nothing said).
    bool ReadFromFileSequentially(RepeatFoldingMessages& messages, SectionedCursor& file,
                                  int32_t table_number, int32_t col_number);
    // Takes the values just written into the column's section, as reading
    // them back gives them; false, saying nothing, when that reading would say
    // something (a value it would refuse or not read as written).
    bool TakeWritten(const ColumnSectionKeys& written);
    void WriteToFile(ProfileFile& file, int32_t table_number, int32_t col) const;

    // The field's value from the line processor, valid until the next cell.
    std::string_view GetValue(JobState& state);
    // Writes the value to sheet 1 at the row; false when the run must end.
    bool Process(JobState& state, int32_t write_row);
    // The value quoted for a CSV line, appended to `line`.
    void AppendCsvValue(JobState& state, std::string& line);

    // The pieces of a cell, for the per-line path that cuts the fields itself:
    // the warning for a value that begins with "=", the value into the
    // workbook (false when the run must end), and the CSV field of `text`
    // followed by a blank when `blank` (quoted when it holds a comma or a
    // quote, quotes doubled).
    void WarnIfFormula(RepeatFoldingMessages& messages, const OutputSink& sink,
                       std::string_view value) const;
    bool WriteCell(JobState& state, int32_t write_row, std::string_view value);
    static void AppendCsvField(std::string& line, std::string_view text, bool blank);
    // The warning and the CSV field of a field the per-line path cut, written
    // at `out`, which has room for twice the text's bytes and twenty more;
    // gives the end of what it wrote. Inline: it runs for every cell.
    char* WriteCsvField(RepeatFoldingMessages& messages, const OutputSink& sink, char* out,
                        const clsLineProcessor::RawField& field) const {
        // 3. A leading "=" would be taken for a formula; it is written all the same.
        if (field.equal) WarnIfFormula(messages, sink, field.Text());
        // 5. Quoted when the value holds a comma or a quote; quotes doubled.
        if (field.quote) return WriteQuotedField(out, field.Text(), field.blank);
        // The field's members are read before anything is written: `out` is a
        // char pointer, which may alias them, and each write would reload them.
        const char* const data = field.data;
        const uint32_t size = field.size;
        const bool comma = field.comma, blank = field.blank;
        // Without branches, which commas in amounts would make unpredictable:
        // each optional character is written, and kept only when it belongs.
        *out = '"';
        out += comma;
        // Sixteen bytes at a time: the field is followed by readable bytes and
        // `out` by room, so the last copy may run over; what it wrote past the
        // field is written over next.
        for (uint32_t i = 0; i < size; i += 16)
            std::memcpy(out + i, data + i, 16);
        out += size;
        *out = ' ';
        out += blank;
        *out = '"';
        out += comma;
        return out;
    }

    // Normalises PeriodOperator (trimmed, upper case) and maps it to the
    // line processor's operator code.
    int32_t OperatorCode(Messages& messages) {
        return operatorKnown_ ? operatorCode_ : NormaliseOperator(messages);
    }

    // Forgets what the previous table pass learnt about this column (its
    // column number and operator code, worked out once per pass); `number`
    // is its place in its table, from 1, which messages name.
    void StartPass(int32_t number);

    // False once reading the section failed a check.
    bool Valid() const { return valid_; }

private:
    int32_t NormaliseOperator(Messages& messages);
    // Takes the field's pieces rather than the field, whose address would
    // keep it in memory in the loop over every cell.
    static char* WriteQuotedField(char* out, std::string_view text, bool blank);

    // The numbers first, then the flags: a table of thousands of columns
    // holds no padding between them.
    int32_t column_ = 0; // WriteColumn as a number, once known
    int32_t operatorCode_ = 0;
    int32_t number_ = 0; // the column's place in its table, from 1
    bool operatorKnown_ = false;
    bool operatorReported_ = false;
    bool valid_ = true;
};

} // namespace vok
