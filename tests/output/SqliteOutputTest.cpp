// The database output on its own: how each cell text is stored, rows that
// arrive with their report line, kept sheets read back as a workbook gives
// them, and a report that is not saved.
#include "output/SqliteOutput.h"

#include "output/SqliteDatabase.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace vok {
namespace {

// Every row of a query as "type:value" cells joined by "|".
std::vector<std::string> Rows(const std::filesystem::path& file, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    std::vector<std::string> rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
            static const char* kTypes[] = {"", "i", "r", "t", "b", "n"};
            row += (c ? "|" : "") + std::string(kTypes[sqlite3_column_type(statement, c)]) + ":" +
                   (text ? text : "");
        }
        rows.push_back(row);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

TEST(SqliteOutputTest, CellsAreTypedAsAWorkbookTypesThem) {
    test::TempDir dir;
    std::string error;
    auto database = SqliteDatabase::Open(dir / "t.db", error);
    ASSERT_TRUE(database) << error;
    auto output = SqliteOutput::Open(*database, {"/r/jan.txt", "/r/gl.rcp", false}, error);
    ASSERT_TRUE(output) << error;
    ASSERT_TRUE(output->BeginTable("table_1", {2}));
    const char* texts[] = {"=1+2",   "00123",  "   ",  "",
                           "1.5E+3", "$1,500", "(12)", "1234567890123456",
                           " 0.50 ", "12.00-"};
    int32_t row = 1;
    for (const char* text : texts) {
        output->SetRowSource(row, 100 + row);
        EXPECT_EQ(output->SetCellValue(1, row, 2, text), CellWrite::Written);
        // A column the table does not have is no part of its rows.
        EXPECT_EQ(output->SetCellValue(1, row, 5, "x"), CellWrite::Written);
        ++row;
    }
    ASSERT_TRUE(output->Save(error)) << error;
    output.reset();
    database.reset();
    EXPECT_EQ(
        Rows(dir / "t.db", "SELECT B, source_line FROM table_1 ORDER BY rowid"),
        (std::vector<std::string>{"t:=1+2|i:101", "t:00123|i:102", "n:|i:103", "n:|i:104",
                                  "r:1500.0|i:105", "i:1500|i:106", "i:-12|i:107",
                                  "t:1234567890123456|i:108", "r:0.5|i:109", "r:-12.0|i:110"}));
}

TEST(SqliteOutputTest, KeptRowsReadBackAndAnUnsavedReportLeavesNothing) {
    test::TempDir dir;
    std::string error;
    auto database = SqliteDatabase::Open(dir / "t.db", error);
    ASSERT_TRUE(database) << error;
    auto output = SqliteOutput::Open(*database, {"/r/jan.txt", "/r/gl.rcp", true}, error);
    ASSERT_TRUE(output) << error;
    ASSERT_TRUE(output->BeginTable("table_1", {1}));
    output->SetCellValue(1, 1, 1, "1,234.50");
    output->SetCellValue(2, 3, 1, "Cash ");
    output->SetCellValue(2, 3, 2, "(7.25)");
    // As a workbook gives cells back: a number as a plain decimal number.
    EXPECT_EQ(output->CellText(1, 1, 1), "1234.5");
    EXPECT_EQ(output->CellText(2, 3, 1), "Cash ");
    EXPECT_EQ(output->CellText(2, 3, 2), "-7.25");
    EXPECT_TRUE(output->EndTable());
    EXPECT_TRUE(output->WriteKeptRows(2, "consolidation_1", {1, 2}, 3, 3));
    // Not saved: rolled back, and the new database with it.
    output.reset();
    database.reset();
    EXPECT_FALSE(std::filesystem::exists(dir / "t.db"));
}

} // namespace
} // namespace vok
