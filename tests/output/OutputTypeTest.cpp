// The output type from the output's file name, and only from its file name.
#include "output/OutputType.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

TEST(OutputTypeTest, FileNameDecidesCsvBeforeWorkbook) {
    EXPECT_EQ(OutputTypeOf("/out/a.csv"), OutputType::Csv);
    EXPECT_EQ(OutputTypeOf("/out/A.CSV"), OutputType::Csv);
    // ".CSV" is looked for first, anywhere in the name.
    EXPECT_EQ(OutputTypeOf("/out/a.csv.xls"), OutputType::Csv);
    EXPECT_EQ(OutputTypeOf("/out/report.csv.bak"), OutputType::Csv);
    EXPECT_EQ(OutputTypeOf("/out/a.xls"), OutputType::Xls);
    EXPECT_EQ(OutputTypeOf("/out/a.XLS"), OutputType::Xls);
    EXPECT_EQ(OutputTypeOf("/out/a.xlsx"), OutputType::Xlsx);
    EXPECT_EQ(OutputTypeOf("/out/a.xls.bak"), OutputType::Xlsx);
    EXPECT_EQ(OutputTypeOf("/out/a.txt"), std::nullopt);
    EXPECT_EQ(OutputTypeOf("/out/*."), std::nullopt);
    // A folder's name never counts: this once wrote CSV text into out.xlsx.
    EXPECT_EQ(OutputTypeOf("/d/my.csv.d/out.xlsx"), OutputType::Xlsx);
    EXPECT_EQ(OutputTypeOf("/d/my.xls.d/out.txt"), std::nullopt);
    EXPECT_EQ(OutputTypeOf("/d/old.xls/out.csv"), OutputType::Csv);
}

// A new .xlsm was once written as a plain workbook, which spreadsheet
// programs refuse under that extension; a binary workbook (.xlsb) is a
// format vok cannot write at all, and is refused with a message of its own.
TEST(OutputTypeTest, AMacroEnabledNameMakesAnXlsmAndABinaryWorkbookNameIsRefused) {
    EXPECT_EQ(OutputTypeOf("/out/a.xlsm"), OutputType::Xlsm);
    EXPECT_EQ(OutputTypeOf("/out/A.XLSM"), OutputType::Xlsm);
    EXPECT_EQ(OutputTypeOf("/out/a.xlsm.bak"), OutputType::Xlsx);
    EXPECT_EQ(OutputTypeOf("/out/a.xlsb"), std::nullopt);
    EXPECT_EQ(OutputTypeOf("/out/A.XLSB"), std::nullopt);
    EXPECT_EQ(OutputTypeOf("/out/a.csv.xlsb"), OutputType::Csv);
    EXPECT_EQ(OutputTypeOf("/out/a.xlsb.xlsx"), OutputType::Xlsx);
    EXPECT_EQ(OutputTypeRefusal("/out/A.XLSB"),
              "vok cannot write binary workbooks (.xlsb): /out/A.XLSB. Name the output .xlsx, "
              ".xlsm or .xls.");
    EXPECT_EQ(OutputTypeRefusal("/out/a.txt"), "Output File must be of type XLS or CSV");
}

// A database's ending decides, whatever else the name holds; only the ending.
TEST(OutputTypeTest, DatabaseEndingDecidesTheTypeWhateverElseTheNameHolds) {
    EXPECT_EQ(OutputTypeOf("/out/ledger.sqlite"), OutputType::Sqlite);
    EXPECT_EQ(OutputTypeOf("/out/LEDGER.SQLITE3"), OutputType::Sqlite);
    EXPECT_EQ(OutputTypeOf("/out/ledger.Db"), OutputType::Sqlite);
    EXPECT_EQ(OutputTypeOf("/out/ledger.csv.db"), OutputType::Sqlite);
    EXPECT_EQ(OutputTypeOf("/out/ledger.xlsx.sqlite"), OutputType::Sqlite);
    EXPECT_EQ(OutputTypeOf("/out/ledger.db.csv"), OutputType::Csv);
    EXPECT_EQ(OutputTypeOf("/out/ledger.db.bak"), std::nullopt);
    EXPECT_EQ(OutputTypeOf("/out/ledger.dbf"), std::nullopt);
    EXPECT_EQ(OutputTypeOf("/d/x.db/out.xlsx"), OutputType::Xlsx);
    EXPECT_FALSE(IsWorkbook(OutputType::Sqlite));
}

} // namespace
} // namespace vok
