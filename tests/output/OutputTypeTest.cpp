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

} // namespace
} // namespace vok
