// A SQLite database as the output of one report. To the run it is a
// workbook: what a table writes to sheet 1 goes row by row into the database
// table named for it (BeginTable), each value typed as a workbook cell would
// be (an integer, a real, a text, or NULL for an empty field or one of only
// blanks), with the report it came from (source_file) and its line
// (source_line). The cells of sheet 2, where consolidations write, are kept
// in memory for the run to read back and are written as a table at the end
// (WriteKeptRows); sheet 1 is kept too when the run will read it.
//
// Everything one report writes is one transaction on the job's open
// database (SqliteDatabase): its earlier rows in each table it writes are
// deleted first, so a report converted again replaces its rows. Save
// commits; a report whose output is not saved leaves the database as it was.
#pragma once

#include "output/Workbook.h"
#include "output/typed_input/TypedInput.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vok {

class SqliteDatabase;
struct SqliteLibrary;

// The report a transaction writes for, and what the run needs of it.
struct DatabaseTarget {
    std::string sourceFile;  // the report's absolute path
    std::string recipe;      // the recipe's absolute path, for the catalogue
    bool keepSheet1 = false; // the run reads sheet 1 back (consolidations)
};

class SqliteOutput final : public Workbook {
public:
    // Begins the report's transaction on the open database, waiting for
    // another writer; empty, with the reason naming the file, when it cannot.
    static std::unique_ptr<SqliteOutput> Open(SqliteDatabase& database,
                                              const DatabaseTarget& target, std::string& error);
    // Rolls back what was not saved.
    ~SqliteOutput() override;
    SqliteOutput(const SqliteOutput&) = delete;
    SqliteOutput& operator=(const SqliteOutput&) = delete;

    // The rows written to sheet 1 from now on go to the table `name`, whose
    // value columns are the sheet columns given (ascending, each once). The
    // table is made when missing; the report's earlier rows in it are
    // deleted. False, with WriteFailure saying why, when the table cannot
    // take them (its columns differ): every later write then fails.
    bool BeginTable(std::string_view name, const std::vector<int32_t>& columns);
    // Writes the last row of the table begun; false after a failure.
    bool EndTable();
    // Rows `firstRow` to `lastRow` of a kept sheet into the table `name`, as
    // BeginTable describes it; their source_line is NULL.
    bool WriteKeptRows(int32_t sheet, std::string_view name, const std::vector<int32_t>& columns,
                       int32_t firstRow, int32_t lastRow);

    int32_t SheetCount() const override { return kSheets; }
    int32_t MaxRows() const override;
    // The columns a recipe's letters can name (A to ZZ).
    int32_t MaxColumns() const override { return kMaxColumns; }
    std::string SheetName(int32_t sheet) const override;
    bool SetSheetName(int32_t sheet, std::string_view name, std::string& error) override;
    bool AddSheet(std::string_view name, std::string& error) override;
    CellWrite SetCellValue(int32_t sheet, int32_t row, int32_t column,
                           std::string_view text) override;
    std::string CellText(int32_t sheet, int32_t row, int32_t column) const override;
    void SetRowSource(int32_t row, int64_t line) override;
    std::string WriteFailure() const override { return error_; }
    void SetStandardFont(std::string_view) override {}
    CellRange UsedRange(int32_t) const override { return {}; }
    void ClearRange(int32_t, const CellRange&) override {}
    // Commits the report's rows; false, with the reason, when they could not
    // be (the database is then as it was).
    bool Save(std::string& error, const StopRequest* stop = nullptr) override;

private:
    static constexpr int32_t kSheets = 3;
    static constexpr int32_t kMaxColumns = 702;

    // A value of the row being gathered, typed; text lies in rowText_.
    struct Value {
        enum class Kind : uint8_t { Null, Integer, Real, Text };
        Kind kind = Kind::Null;
        int64_t integer = 0;
        double real = 0;
        uint32_t offset = 0, size = 0;
    };

    SqliteOutput(SqliteDatabase& database, DatabaseTarget target);
    bool Fail(std::string_view what);
    bool Execute(const char* sql);
    bool Step(sqlite3_stmt* statement);
    bool PrepareTable(std::string_view name, const std::vector<std::string>& wanted);
    bool CheckColumns(std::string_view name, const std::vector<std::string>& wanted);
    bool Catalogue(std::string_view name);
    bool DeleteEarlierRows(std::string_view name);
    bool PrepareInsert(std::string_view name, const std::vector<std::string>& wanted);
    void StartRow(int32_t row, int64_t line);
    void Judge(Value& value, std::string_view text);
    bool FlushRow();

    SqliteDatabase& database_;
    const SqliteLibrary& sql_;
    sqlite3* db_;
    DatabaseTarget target_;
    sqlite3_stmt* insert_ = nullptr;
    bool inTransaction_ = false;
    std::string error_;       // the first failure; every later write fails
    bool tableIsNew_ = false; // the table begun was made by this report
    bool tableByVok_ = false; // ... or listed in vok_tables

    // The table begun: sheet column -> its value in the row, -1 for none.
    bool fromSheet1_ = false;
    std::vector<int32_t> slotOf_;
    std::vector<Value> values_;
    std::string rowText_;
    TypedValue typed_;
    int32_t row_ = 0;
    bool rowOpen_ = false;
    int64_t line_ = 0; // the row's report line, 0 for NULL
    int32_t sourceRow_ = 0;
    int64_t sourceLine_ = 0;

    std::string names_[kSheets] = {"Sheet1", "Sheet2", "Sheet3"};
    std::unordered_map<uint64_t, std::string> kept_;
};

} // namespace vok
