// A consolidation's section "Consolidate n" holds Table, ReadAccountsColumn
// and TotalDepartments, followed by one section per department. Running it
// reads the departments' account names from the table's rows on sheet 1,
// merges them by name and writes one row per distinct account to sheet 2 from
// its write pointer down, adding the amounts of repeated accounts.
#include "engine/clsCon.h"

#include "base/ColumnLetters.h"
#include "base/NumericText.h"
#include "base/TextEncoding.h"
#include "base/modUtilityString.h"
#include "engine/JobState.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>

namespace vok {

namespace {

std::string SectionName(int32_t con_number) {
    return "Consolidate " + std::to_string(con_number);
}

// Upper case as the Windows-1252 code page knows it, so that accented names
// match regardless of case too.
char32_t UpperWindows1252(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    switch (c) {
    case 0xFF:
        return 0x178;
    case 0x153:
        return 0x152;
    case 0x161:
        return 0x160;
    case 0x17E:
        return 0x17D;
    default:
        return c;
    }
}

// Account names match with surrounding blanks removed and in upper case.
std::string NameKey(std::string_view name) {
    const std::string_view trimmed = Trim(name);
    if (IsAscii(trimmed)) return AsciiUpper(trimmed);
    std::u32string wide = ToUtf32(trimmed);
    std::transform(wide.begin(), wide.end(), wide.begin(), UpperWindows1252);
    return ToUtf8(wide);
}

} // namespace

void clsCon::ReadFromFile(Messages& messages, const std::filesystem::path& file_name,
                          int32_t con_number, size_t tables) {
    ReadFromFile(messages, SectionedText::FromFile(file_name), file_name, con_number, tables);
}

void clsCon::ReadFromFile(Messages& messages, const SectionedText& text,
                          const std::filesystem::path& file_name, int32_t con_number,
                          size_t tables) {
    SectionedCursor file(text);
    if (!file.IsOpen()) {
        messages.Show("Cannot open " + file_name.string() + " to read " + SectionName(con_number) +
                          "!",
                      MessageIcon::Critical);
        return;
    }
    ReadFromFileSequentially(messages, file, con_number, tables);
}

void clsCon::ReadFromFileSequentially(Messages& messages, SectionedCursor& file, int32_t con_number,
                                      size_t tables) {
    const std::string section = SectionName(con_number);
    // Sound only once every check below has passed.
    valid_ = false;

    // 1. The table; its lookup finds the section from the current position.
    int32_t table = 0;
    if (!ReadIntegerKey(messages, ReadIniValue(file, section, "Table", kMissing), section, "Table",
                        table))
        return;
    if (table < 1) {
        messages.Show("Error in " + section + " : Table number must be > 0!",
                      MessageIcon::Critical);
        return;
    }
    // 2. The table's own section must have been read before.
    if (static_cast<size_t>(table) > tables) {
        messages.Show("Error in " + section + " : Table number " + std::to_string(table) +
                          " does not exist!",
                      MessageIcon::Critical);
        return;
    }

    // 3. The account column, a column number of the table.
    Table = table;
    int32_t accounts = 0;
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "ReadAccountsColumn", kMissing), section,
                        "ReadAccountsColumn", accounts))
        return;
    if (accounts < 1) {
        messages.Show("Error in " + section + " : Accounts Column Number must be > 0!",
                      MessageIcon::Critical);
        return;
    }

    // 4. The number of departments.
    ReadAccountsColumn = accounts;
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "TotalDepartments", "0"), section,
                        "TotalDepartments", TotalDepartments))
        return;

    // 5. The department sections follow. Past the end of the file none can
    // be found any more, so one message for the first missing one is enough.
    DepartmentsCollection.clear();
    bool allRead = true;
    for (int32_t d = 1; d <= TotalDepartments; ++d) {
        const bool read = DepartmentsCollection.emplace_back().ReadFromFileSequentially(
            messages, file, con_number, d);
        allRead = allRead && read;
        if (!read && file.AtEnd()) break;
    }
    valid_ = allRead;
}

void clsCon::WriteToFile(ProfileFile& file, int32_t con_number) const {
    const std::string section = SectionName(con_number);
    file.Write(section, "Table", std::to_string(Table));
    file.Write(section, "ReadAccountsColumn", std::to_string(ReadAccountsColumn));
    file.Write(section, "TotalDepartments", std::to_string(TotalDepartments));
    const auto departments = static_cast<int32_t>(DepartmentsCollection.size());
    for (int32_t d = 1; d <= TotalDepartments && d <= departments; ++d) {
        DepartmentsCollection[static_cast<size_t>(d - 1)].WriteToFile(file, con_number, d);
    }
}

void clsCon::Process(JobState& state) {
    // Consolidations read and write workbooks only; a CSV run has none open.
    if (!state.sink.xlApp) return;
    clsExportSpecs& specs = state.recipe.ExportSpecs;
    Messages& messages = state.messages;

    // 1. A section whose read failed has said so already.
    if (Table < 1) {
        specs.FatalProcessError = true;
        return;
    }

    // 2. The table must have been written in this run.
    if (specs.ProcessedTables < Table ||
        Table > static_cast<int64_t>(specs.TablesCollection.size())) {
        messages.Show("Can not consolidate table " + std::to_string(Table) +
                          ". Table does not exist!",
                      MessageIcon::Critical);
        specs.FatalProcessError = true;
        return;
    }

    // 3. The account column must be one of the table's columns.
    const clsTable& table = specs.TablesCollection[static_cast<size_t>(Table - 1)];
    if (ReadAccountsColumn < 1 ||
        static_cast<int64_t>(table.ColumnsCollection.size()) < ReadAccountsColumn) {
        messages.Show("Error in Consolidate: Table " + std::to_string(Table) + " does not have " +
                          std::to_string(ReadAccountsColumn) + " columns!",
                      MessageIcon::Critical);
        specs.FatalProcessError = true;
        return;
    }

    // 4. Each department's accounts within the table's rows.
    const std::string_view accountsColumn =
        table.ColumnsCollection[static_cast<size_t>(ReadAccountsColumn - 1)].WriteColumn;
    for (clsDepartment& department : DepartmentsCollection) {
        department.ReadAccountNames(messages, state.sink, table.WriteTableTopRow,
                                    table.WriteTableBottomRow, accountsColumn);
    }

    // 5. The block starts at sheet 2's write pointer.
    const int32_t top = specs.getWritePointer(messages, 2);
    WriteConTopRow = top;

    // 6. The rows keep the table's column layout.
    MergeAccounts(messages);
    copyColumns_.clear();
    for (const clsColumn& column : table.ColumnsCollection) {
        const int32_t number =
            ShowProblems(messages, AlphaToNum2(column.WriteColumn), MessageIcon::Critical);
        if (number >= 1) copyColumns_.push_back(number); // bad letters were reported
    }
    if (!CopyAccountRows(state)) return;

    // 7. One row per distinct account.
    const auto count = static_cast<int32_t>(AccNames.size());
    WriteConBottomRow = top + count - 1;
    specs.setWritePointer(messages, 2, top + count);
}

void clsCon::MergeAccounts(Messages& messages) {
    // 1. There must be departments to merge.
    if (DepartmentsCollection.empty()) {
        messages.Show("No Departments to consolidate in clsCon!", MessageIcon::Critical);
        return;
    }
    // 2. The account lists start empty.
    AccNames.clear();
    AccReadRowNumbers.clear();
    DupAccReadRowNumbers.clear();
    DupAccWriteRowNumbers.clear();

    // The first entry of each name, by its matching form: a repeated name of
    // department 1 keeps its own row, but later departments add into the first.
    std::unordered_map<std::string, int32_t> firstEntry;
    const auto remember = [&](std::string_view name) {
        firstEntry.emplace(NameKey(name), static_cast<int32_t>(AccNames.size()));
    };

    // 3. Department 1 as it stands.
    const clsDepartment& first = DepartmentsCollection.front();
    for (size_t i = 0; i < first.AccountsNames.size(); ++i) {
        remember(first.AccountsNames[i]);
        AccNames.push_back(first.AccountsNames[i]);
        AccReadRowNumbers.push_back(first.AccReadRowNumbers[i]);
    }

    // 4. Later departments add into the first equal name, or bring a new one.
    for (size_t d = 1; d < DepartmentsCollection.size(); ++d) {
        const clsDepartment& department = DepartmentsCollection[d];
        for (size_t i = 0; i < department.AccountsNames.size(); ++i) {
            const std::string& name = department.AccountsNames[i];
            const auto found = firstEntry.find(NameKey(name));
            if (found != firstEntry.end()) {
                DupAccReadRowNumbers.push_back(department.AccReadRowNumbers[i]);
                DupAccWriteRowNumbers.push_back(WriteConTopRow + found->second);
            } else {
                remember(name);
                AccNames.push_back(name);
                AccReadRowNumbers.push_back(department.AccReadRowNumbers[i]);
            }
        }
    }
}

bool clsCon::CopyAccountRows(JobState& state) {
    // 1. One row per distinct account, copied from its first occurrence.
    for (size_t i = 0; i < AccNames.size(); ++i) {
        if (!CopyRow(state, AccReadRowNumbers[i], WriteConTopRow + static_cast<int32_t>(i), false))
            return false;
    }
    // 2. Repeated accounts add into their account's row.
    for (size_t i = 0; i < DupAccReadRowNumbers.size(); ++i) {
        if (!CopyRow(state, DupAccReadRowNumbers[i], DupAccWriteRowNumbers[i], true)) return false;
    }
    return true;
}

bool clsCon::CopyRow(JobState& state, int32_t read_row, int32_t write_row, bool add) {
    for (const int32_t column : copyColumns_) {
        if (!CopyCell(state, read_row, write_row, column, add)) return false;
    }
    return true;
}

bool clsCon::CopyCell(JobState& state, int32_t read_row, int32_t write_row, int32_t column,
                      bool add) {
    Messages& messages = state.messages;
    // 1-2. Text, and every first occurrence, is copied as it stands. The
    // target only matters when adding to it.
    const std::string source = ReadCell(state.sink, 1, read_row, column);
    if (!add || !IsNumeric(source)) return WriteCell(state, 2, write_row, column, source);

    // 3-4. An empty target counts as 0; so does text, after a message.
    std::string target = ReadCell(state.sink, 2, write_row, column);
    if (Trim(target).empty()) target = "0";
    if (!IsNumeric(target)) {
        messages.Show("Error: Unexpected non-numeric field!" + std::string(" (Sheet ") + "2" +
                          ", Row " + std::to_string(write_row) + ")",
                      MessageIcon::Critical);
        target = "0";
    }

    // 5. The currency sum in the recipe's number format. A sum the currency
    // cannot hold is reported and the cell keeps what it had.
    Currency a = 0;
    Currency b = 0;
    Currency sum = 0;
    if (!ToCurrency(target, a) || !ToCurrency(source, b) || !AddCurrency(a, b, sum)) {
        messages.Show("Error: Sum outside the currency range! (Sheet 2, Row " +
                          std::to_string(write_row) + ", Column " +
                          ShowProblems(messages, NumToAlpha2(column), MessageIcon::Critical) + ")",
                      MessageIcon::Critical);
        return true;
    }

    // 6. The sum, formatted as the recipe asks, goes to sheet 2.
    return WriteCell(state, 2, write_row, column,
                     FormatByWriteDataFormat(sum, state.recipe.gRecipe.WriteDataFormat));
}

} // namespace vok
