#include "engine/clsColumn.h"

#include "base/ColumnLetters.h"
#include "base/TextAccess.h"
#include "base/modUtilityString.h"
#include "engine/JobState.h"
#include "recipe/ExportSpecFile.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <cstring>
#include <fmt/format.h>

namespace vok {

namespace {

// Column letters as the reading takes them, compared by character codes:
// "AB" passes, "ZA" does not.
bool LettersAccepted(std::string_view letters) {
    const std::string upper = AsciiUpper(letters);
    return letters != kMissing && upper >= "A" && upper <= "Z" && AreColumnLetters(letters);
}

// No operator, or one the reading knows.
bool OperatorAccepted(std::string_view op) {
    const std::string upper = AsciiUpper(op);
    return op.empty() || upper == "SUM" || upper == "DUPLICATE";
}

} // namespace

bool clsColumn::ReadFromFileSequentially(RepeatFoldingMessages& messages, SectionedCursor& file,
                                         int32_t table_number, int32_t col_number) {
    const std::string section =
        "Table " + std::to_string(table_number) + " Col " + std::to_string(col_number);
    // The section itself; its absence is the caller's to say.
    valid_ = false;
    if (!file.SkipToSection(section)) return false;
    int32_t number = 0;
    // 1. The start position; a missing key reads as -999999.
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "ReadColumnStart", kMissing), section,
                        "ReadColumnStart", number))
        return true;
    if (number < 1) {
        messages.Show("Invalid Read Column start position!", MessageIcon::Critical);
        return true;
    }
    // No line of a report reaches that far, whatever its tabs: the column
    // could only ever be empty.
    if (number > kLongestExpandedLine) {
        messages.Show(fmt::format("Error in {} : ReadColumnStart {} lies beyond the longest line "
                                  "a report can hold ({} characters)!",
                                  section, number, kLongestExpandedLine),
                      MessageIcon::Critical);
        return true;
    }
    ReadColumnStart = number;
    // 2. The end position.
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "ReadColumnEnd", kMissing), section,
                        "ReadColumnEnd", number))
        return true;
    if (number < 1) {
        messages.Show("Invalid Read Column end position!", MessageIcon::Critical);
        return true;
    }
    ReadColumnEnd = number;
    // 3. Column letters.
    const std::string letters(Trim(ReadIniValue(file, "", "WriteColumn", kMissing)));
    if (!LettersAccepted(letters)) {
        // Said for the first such column of the table; the others are counted.
        const std::string kind =
            "Error in Table " + std::to_string(table_number) + " : Write Column must be (A-Z)!";
        if (!messages.CountIfRepeated(kind))
            messages.ShowFirst(kind, "Error in " + section + " : Write Column must be (A-Z)!",
                               MessageIcon::Critical);
        return true;
    }
    WriteColumn = letters;
    // 4. The period operator.
    const std::string op(Trim(ReadIniValue(file, "", "PeriodOperator", "")));
    if (!OperatorAccepted(op)) {
        messages.Show("Invalid Multi-file operator!", MessageIcon::Critical);
        return true;
    }
    PeriodOperator = op;
    valid_ = true;
    return true;
}

bool clsColumn::TakeWritten(const ColumnSectionKeys& written) {
    // The positions are whole numbers as written; the reading refuses those
    // no line of a report reaches.
    valid_ = false;
    if (written.ReadColumnStart < 1 || written.ReadColumnStart > kLongestExpandedLine ||
        written.ReadColumnEnd < 1)
        return false;
    std::string_view letters, op;
    if (!ReadsBackAs(written.WriteColumn, kMissing, letters) ||
        !ReadsBackAs(written.PeriodOperator, "", op) || !LettersAccepted(letters) ||
        !OperatorAccepted(op))
        return false;
    ReadColumnStart = written.ReadColumnStart;
    ReadColumnEnd = written.ReadColumnEnd;
    WriteColumn.assign(letters);
    PeriodOperator.assign(op);
    valid_ = true;
    return true;
}

void clsColumn::WriteToFile(ProfileFile& file, int32_t table_number, int32_t col) const {
    WriteColumnSection(file, table_number, col,
                       {ReadColumnStart, ReadColumnEnd, WriteColumn, PeriodOperator});
}

int32_t clsColumn::NormaliseOperator(Messages& messages) {
    // The operator is normalised once per pass; later cells reuse the code.
    PeriodOperator = AsciiUpper(Trim(PeriodOperator));
    operatorKnown_ = true;
    if (PeriodOperator == "SUM")
        operatorCode_ = clsLineProcessor::kSum;
    else if (PeriodOperator == "FIRST")
        operatorCode_ = clsLineProcessor::kFirstPeriod;
    else if (PeriodOperator.empty() || PeriodOperator == "LAST" || PeriodOperator == "AVG")
        operatorCode_ = clsLineProcessor::kLastPeriod;
    else {
        // Said once per table pass, not once per cell of the column.
        operatorCode_ = clsLineProcessor::kLastPeriod;
        if (!operatorReported_) {
            messages.Show("Unrecognized operator: " + Echo(PeriodOperator) +
                              " in clsColumn.OperatorCode!",
                          MessageIcon::Critical);
            operatorReported_ = true;
        }
    }
    return operatorCode_;
}

void clsColumn::StartPass(int32_t number) {
    number_ = number;
    column_ = 0;
    operatorKnown_ = false;
    operatorReported_ = false;
}

std::string_view clsColumn::GetValue(JobState& state) {
    // 1-2. The field through the line processor.
    clsLineProcessor& processor = state.recipe.LineProcessor;
    const std::string_view value =
        processor.FieldValue(state.messages, state.recipe.gRecipe, OperatorCode(state.messages),
                             ReadColumnStart, ReadColumnEnd, processor.CellScratch());
    // 3. A leading "=" would be taken for a formula; it is written all the same.
    WarnIfFormula(state.messages, state.sink, value);
    return value;
}

void clsColumn::WarnIfFormula(RepeatFoldingMessages& messages, const OutputSink& sink,
                              std::string_view value) const {
    static constexpr std::string_view kText =
        "Error: Source Data field begin with Equal Sign! This may not be accepted by Excel!";
    const size_t first = value.find_first_not_of(' ');
    if (first == std::string_view::npos || value[first] != '=') return;
    // Said with its cell the first time in a table; the rest are counted.
    if (messages.CountIfRepeated(kText)) return;
    messages.Beep();
    // A CSV line has fields, a sheet lettered columns.
    const std::string place =
        sink.xlApp ? fmt::format("row {}, column {}", sink.currentRow, WriteColumn.View())
                   : fmt::format("line {}, field {}", sink.currentRow, number_);
    // The cell holds the value as it stands, so the output is sound: a
    // warning, which does not keep the output from being written.
    messages.ShowFirst(kText, fmt::format("{} ({})", kText, place), MessageIcon::Exclamation);
}

namespace {

// True when the text holds a comma or a double quote: eight bytes at a time,
// as this runs for every cell of a CSV output.
bool NeedsQuoting(std::string_view text, bool& hasQuote) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
    auto hasByte = [&](uint64_t word, unsigned char c) {
        const uint64_t x = word ^ (kOnes * c);
        return ((x - kOnes) & ~x & kHigh) != 0;
    };
    bool comma = false;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        comma |= hasByte(word, ',');
        hasQuote |= hasByte(word, '"');
    }
    for (; i < text.size(); ++i) {
        comma |= text[i] == ',';
        hasQuote |= text[i] == '"';
    }
    return comma || hasQuote;
}

void AppendQuotable(std::string& line, std::string_view text, bool blank, bool comma, bool quote) {
    // 5. Quoted when the value holds a comma or a quote; quotes doubled. A
    // blank is neither.
    if (!comma && !quote) {
        line.append(text);
        if (blank) line.push_back(' ');
        return;
    }
    line.push_back('"');
    if (!quote) {
        line.append(text);
    } else {
        for (const char c : text) {
            if (c == '"') line.push_back('"');
            line.push_back(c);
        }
    }
    if (blank) line.push_back(' ');
    line.push_back('"');
}

// The column's number, its problems shown; once per column, so kept out of
// the per-cell path.
[[gnu::noinline]] int32_t ColumnNumber(Messages& messages, std::string_view letters) {
    return ShowProblems(messages, AlphaToNum2(letters), MessageIcon::Critical);
}

} // namespace

bool clsColumn::Process(JobState& state, int32_t write_row) {
    return WriteCell(state, write_row, GetValue(state));
}

bool clsColumn::WriteCell(JobState& state, int32_t write_row, std::string_view value) {
    // 4. The value as typed input into sheet 1.
    if (column_ == 0) column_ = ColumnNumber(state.messages, WriteColumn);
    return vok::WriteCell(state, 1, write_row, column_, value);
}

void clsColumn::AppendCsvValue(JobState& state, std::string& line) {
    AppendCsvField(line, GetValue(state), false);
}

void clsColumn::AppendCsvField(std::string& line, std::string_view text, bool blank) {
    bool quote = false;
    const bool comma = NeedsQuoting(text, quote);
    AppendQuotable(line, text, blank, comma, quote);
}

char* clsColumn::WriteQuotedField(char* out, std::string_view text, bool blank) {
    *out++ = '"';
    for (const char c : text) {
        if (c == '"') *out++ = '"';
        *out++ = c;
    }
    if (blank) *out++ = ' ';
    *out++ = '"';
    return out;
}

} // namespace vok
