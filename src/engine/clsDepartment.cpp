// A department's section "Con n Dept d" holds ReadStartLine,
// ReadStartLineOffset, ReadEndLine and ReadEndLineOffset, in that order; the
// sequential reader relies on it. Its accounts are the sheet-1 rows of the
// table's account column between the two key rows, offsets added.
#include "engine/clsDepartment.h"

#include "base/ColumnLetters.h"
#include "engine/JobState.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <algorithm>

namespace vok {

namespace {

std::string SectionName(int32_t con_number, int32_t dept_number) {
    return "Con " + std::to_string(con_number) + " Dept " + std::to_string(dept_number);
}

} // namespace

bool clsDepartment::ReadFromFileSequentially(Messages& messages, SectionedCursor& file,
                                             int32_t con_number, int32_t dept_number) {
    const std::string section = SectionName(con_number, dept_number);

    // 1-2. The start key text, found from the current position, and its offset.
    std::string start = ReadIniValue(file, section, "ReadStartLine", kMissing);
    if (start == kMissing) {
        messages.Show("Error in " + section + " : Missing ReadStartLine text!",
                      MessageIcon::Critical);
        return false;
    }
    ReadStartLine = std::move(start);
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "ReadStartLineOffset", "0"), section,
                        "ReadStartLineOffset", ReadStartLineOffset))
        return false;

    // 3-4. The end key text and its offset.
    std::string end = ReadIniValue(file, "", "ReadEndLine", kMissing);
    if (end == kMissing) {
        messages.Show("Error in " + section + " : Missing ReadEndLine text!",
                      MessageIcon::Critical);
        return false;
    }
    ReadEndLine = std::move(end);
    return ReadIntegerKey(messages, ReadIniValue(file, "", "ReadEndLineOffset", "0"), section,
                          "ReadEndLineOffset", ReadEndLineOffset);
}

void clsDepartment::WriteToFile(ProfileFile& file, int32_t con_number, int32_t dept) const {
    const std::string section = SectionName(con_number, dept);
    file.Write(section, "ReadStartLine", ReadStartLine);
    file.Write(section, "ReadStartLineOffset", std::to_string(ReadStartLineOffset));
    file.Write(section, "ReadEndLine", ReadEndLine);
    file.Write(section, "ReadEndLineOffset", std::to_string(ReadEndLineOffset));
}

void clsDepartment::ReadAccountNames(Messages& messages, const OutputSink& sink,
                                     int32_t table_start_row, int32_t table_end_row,
                                     std::string_view accounts_column) {
    // 1. The lists start empty.
    AccountsNames.clear();
    AccReadRowNumbers.clear();

    // 2-3. The first account row.
    const int32_t startRow = FindKeyRow(messages, sink, 1, accounts_column, table_start_row,
                                        table_end_row, ReadStartLine);
    if (startRow == 0) {
        messages.Show("Error in Department specs: Can not find ReadStartLine: " + ReadStartLine,
                      MessageIcon::Critical);
        return;
    }
    const int64_t firstRow = int64_t{startRow} + ReadStartLineOffset;

    // 4. The end key row, searched again from the table's top.
    const int32_t endRow =
        FindKeyRow(messages, sink, 1, accounts_column, table_start_row, table_end_row, ReadEndLine);
    if (endRow == 0) {
        messages.Show("Error in Department specs: Can not find ReadEndLine: " + ReadEndLine,
                      MessageIcon::Critical);
        return;
    }

    // 5. The end key row itself must not lie above the first account row.
    if (endRow < firstRow) {
        messages.Show("Error in Table specs: ReadEndLine key text [" + ReadEndLine + "]" +
                          " was found before ReadStartLine key text [" + ReadStartLine + "]",
                      MessageIcon::Critical);
        return;
    }

    // 6. Every row counts, blank ones included. Offsets may reach past the
    // sheet's edges, where there are no rows to read.
    const int64_t lastRow = int64_t{endRow} + ReadEndLineOffset;
    const int64_t maxRows = sink.xlApp ? sink.xlApp->MaxRows() : 0;
    const int64_t from = std::max<int64_t>(firstRow, 1);
    const int64_t to = std::min(lastRow, maxRows);
    if (from > to) return;
    const int32_t column =
        ShowProblems(messages, AlphaToNum2(accounts_column), MessageIcon::Critical);
    AccountsNames.reserve(static_cast<size_t>(to - from + 1));
    AccReadRowNumbers.reserve(static_cast<size_t>(to - from + 1));
    for (int64_t row = from; row <= to; ++row) {
        const auto r = static_cast<int32_t>(row);
        AccountsNames.push_back(ReadCell(sink, 1, r, column));
        AccReadRowNumbers.push_back(r);
    }
}

int32_t clsDepartment::FindKeyRow(Messages& messages, const OutputSink& sink, int32_t sheet,
                                  std::string_view letters, int32_t first_row, int32_t last_row,
                                  const std::string& key) const {
    const int32_t column = ShowProblems(messages, AlphaToNum2(letters), MessageIcon::Critical);
    if (column < 1) return 0; // reported by the conversion; no column to search
    const int32_t to = sink.xlApp ? std::min(last_row, sink.xlApp->MaxRows()) : 0;
    for (int32_t row = std::max(first_row, 1); row <= to; ++row) {
        if (ReadCell(sink, sheet, row, column).find(key) != std::string::npos) return row;
    }
    return 0;
}

} // namespace vok
