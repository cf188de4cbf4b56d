#include "engine/clsCon.h"
#include "recipe/ProfileFile.h"
#include "support/FakeWorkbook.h"
#include "support/JobFixture.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::CrLf;
using test::FakeWorkbook;
using Row = std::vector<std::string>;
using Texts = std::vector<std::string>;

// A table written to sheet 1 (account name in A, amounts in B and C) and a
// consolidation of it, both as a run would find them.
class ConsolidationTest : public ::testing::Test {
protected:
    ConsolidationTest() {
        clsTable table;
        for (const char* letters : {"A", "B", "C"})
            table.ColumnsCollection.emplace_back().WriteColumn = letters;
        table.TotalColumns = 3;
        Specs().TablesCollection.push_back(table);
        Specs().ProcessedTables = 1;
        fx.state.recipe.gRecipe.WriteDataFormat = "NearestCent";
        auto owned = std::make_unique<FakeWorkbook>();
        book = owned.get();
        fx.state.sink.xlApp = std::move(owned);
    }

    clsExportSpecs& Specs() { return fx.state.recipe.ExportSpecs; }

    // Writes the rows to sheet 1 from row 1 and records them as the table's.
    void WriteTable(const std::vector<Row>& rows) {
        for (size_t r = 0; r < rows.size(); ++r)
            book->SetRow(1, static_cast<int32_t>(r + 1), rows[r]);
        Specs().TablesCollection[0].WriteTableTopRow = 1;
        Specs().TablesCollection[0].WriteTableBottomRow = static_cast<int32_t>(rows.size());
    }

    clsCon ReadCon(std::initializer_list<std::string_view> lines, int32_t number = 1) {
        const std::string path = fx.dir.File("spec.t2x");
        test::WriteFile(path, CrLf(lines));
        clsCon con;
        con.ReadFromFile(fx.state.messages, path, number, Specs().TablesCollection.size());
        return con;
    }

    // Departments bounded by "DEPT n" and "END n" rows, accounts in between.
    clsCon TwoDepartments() {
        return ReadCon({"[Consolidate 1]", "Table=1", "ReadAccountsColumn=1", "TotalDepartments=2",
                        "[Con 1 Dept 1]", "ReadStartLine=DEPT 1", "ReadStartLineOffset=1",
                        "ReadEndLine=END 1", "ReadEndLineOffset=-1", "[Con 1 Dept 2]",
                        "ReadStartLine=DEPT 2", "ReadStartLineOffset=1", "ReadEndLine=END 2",
                        "ReadEndLineOffset=-1"});
    }

    test::StateFixture fx;
    FakeWorkbook* book = nullptr;
};

TEST_F(ConsolidationTest, DepartmentsAddUpByAccountName) {
    WriteTable({{"DEPT 1"},
                {"Cash", "1,000.00", "10"},
                {"Rent", "500.25", "20"},
                {"END 1"},
                {"DEPT 2"},
                {" cash", "250.5", "5"}, // matched trimmed and regardless of case
                {"RENT", "0.25", "(2.00)"},
                {"END 2"}});
    clsCon con = TwoDepartments();
    ASSERT_TRUE(fx.messages.shown.empty());
    Specs().setWritePointer(fx.messages, 2, 4); // below an earlier consolidation
    con.Process(fx.state);

    EXPECT_TRUE(fx.messages.shown.empty());
    EXPECT_FALSE(Specs().FatalProcessError);
    // Text is overwritten by the last department holding the account.
    EXPECT_EQ(book->Row(2, 4, 3), (Row{" cash", "1,250.50", "15.00"}));
    EXPECT_EQ(book->Row(2, 5, 3), (Row{"RENT", "500.50", "18.00"}));
    EXPECT_EQ(book->CellCount(2), 6u);
    EXPECT_EQ(con.WriteConTopRow, 4);
    EXPECT_EQ(con.WriteConBottomRow, 5);
    EXPECT_EQ(Specs().getWritePointer(fx.messages, 2), 6);
    EXPECT_EQ(con.AccNames, (Texts{"Cash", "Rent"}));
    EXPECT_EQ(con.AccReadRowNumbers, (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(con.DupAccReadRowNumbers, (std::vector<int32_t>{6, 7}));
    EXPECT_EQ(con.DupAccWriteRowNumbers, (std::vector<int32_t>{4, 5}));
}

TEST_F(ConsolidationTest, RepeatsInsideTheFirstDepartmentKeepTheirRows) {
    fx.state.recipe.gRecipe.WriteDataFormat = ""; // sums as plain numbers, copies as typed
    WriteTable({{"DEPT 1"},
                {"Cash", "1,000.00"},
                {"Cash", "2.00"},
                {"Rent", "3"},
                {"END 1"},
                {"DEPT 2"},
                {"Cash", "0.5"},
                {"Fees", "7", "n/a"},
                {"fees", "1", "4"}, // a repeat in a later department adds into its own
                {"END 2"}});
    clsCon con = TwoDepartments();
    con.Process(fx.state);

    EXPECT_EQ(book->Row(2, 1, 3), (Row{"Cash", "1000.5", ""}));
    EXPECT_EQ(book->Row(2, 2, 3), (Row{"Cash", "2.00", ""}));
    EXPECT_EQ(book->Row(2, 3, 3), (Row{"Rent", "3", ""}));
    EXPECT_EQ(book->Row(2, 4, 3), (Row{"fees", "8", "4"})); // text target taken as 0
    EXPECT_EQ(Specs().getWritePointer(fx.messages, 2), 5);
    EXPECT_EQ(fx.messages.Texts(),
              (Texts{"Error: Unexpected non-numeric field! (Sheet 2, Row 4)"}));
}

TEST_F(ConsolidationTest, WhatTheRunCannotFindEndsItWithoutWriting) {
    WriteTable({{"DEPT 1"}, {"Cash", "1"}, {"END 1"}, {"DEPT 2"}, {"Cash", "2"}, {"END 2"}});
    clsCon con = TwoDepartments();

    // No workbook: a CSV run writes nothing and says nothing here.
    auto owned = std::move(fx.state.sink.xlApp);
    con.Process(fx.state);
    EXPECT_TRUE(fx.messages.shown.empty());
    EXPECT_FALSE(Specs().FatalProcessError);
    fx.state.sink.xlApp = std::move(owned);

    // The table has not been written yet in this run.
    Specs().ProcessedTables = 0;
    con.Process(fx.state);
    EXPECT_TRUE(Specs().FatalProcessError);
    Specs().ProcessedTables = 1;
    Specs().FatalProcessError = false;

    // The account column is not one of the table's columns.
    con.ReadAccountsColumn = 4;
    con.Process(fx.state);
    EXPECT_TRUE(Specs().FatalProcessError);
    Specs().FatalProcessError = false;

    // A table number left at 0 by a failed read ends the run silently.
    clsCon unread;
    unread.Process(fx.state);
    EXPECT_TRUE(Specs().FatalProcessError);

    EXPECT_EQ(fx.messages.Texts(),
              (Texts{"Can not consolidate table 1. Table does not exist!",
                     "Error in Consolidate: Table 1 does not have 4 columns!"}));
    EXPECT_EQ(book->CellCount(2), 0u);
    EXPECT_EQ(Specs().getWritePointer(fx.messages, 2), 1);
}

TEST_F(ConsolidationTest, DepartmentsThatCannotBeFoundContributeNothing) {
    WriteTable({{"DEPT 1"}, {"Cash", "1"}, {"END 1"}, {"DEPT 2"}, {"Rent", "2"}, {"END 2"}});
    clsCon con = ReadCon({"[Consolidate 1]",       "Table=1",
                          "ReadAccountsColumn=1",  "TotalDepartments=4",
                          "[Con 1 Dept 1]",        "ReadStartLine=NOWHERE",
                          "ReadStartLineOffset=0", "ReadEndLine=END 1",
                          "ReadEndLineOffset=0",   "[Con 1 Dept 2]",
                          "ReadStartLine=DEPT 1",  "ReadStartLineOffset=0",
                          "ReadEndLine=ABSENT",    "ReadEndLineOffset=0",
                          "[Con 1 Dept 3]",        "ReadStartLine=DEPT 2",
                          "ReadStartLineOffset=0", "ReadEndLine=END 1",
                          "ReadEndLineOffset=0",   "[Con 1 Dept 4]",
                          "ReadStartLine=DEPT 2",  "ReadStartLineOffset=1",
                          "ReadEndLine=END 2",     "ReadEndLineOffset=-1"});
    ASSERT_EQ(con.DepartmentsCollection.size(), 4u);
    con.Process(fx.state);
    EXPECT_EQ(fx.messages.Texts(),
              (Texts{"Error in Department specs: Can not find ReadStartLine: NOWHERE",
                     "Error in Department specs: Can not find ReadEndLine: ABSENT",
                     "Error in Table specs: ReadEndLine key text [END 1] was found before "
                     "ReadStartLine key text [DEPT 2]"}));
    EXPECT_FALSE(Specs().FatalProcessError);
    EXPECT_EQ(book->Row(2, 1, 2), (Row{"Rent", "2"}));
    EXPECT_EQ(Specs().getWritePointer(fx.messages, 2), 2);

    // Without departments nothing is rebuilt or written.
    fx.messages.shown.clear();
    clsCon empty;
    empty.Table = 1;
    empty.Process(fx.state);
    EXPECT_EQ(fx.messages.Texts(), (Texts{"No Departments to consolidate in clsCon!"}));
    EXPECT_EQ(Specs().getWritePointer(fx.messages, 2), 2);
}

TEST_F(ConsolidationTest, ASumBeyondTheCurrencyRangeIsReported) {
    WriteTable({{"DEPT 1"},
                {"Cash", "900,000,000,000,000", "1"},
                {"END 1"},
                {"DEPT 2"},
                {"Cash", "100,000,000,000,000", "2"},
                {"END 2"}});
    clsCon con = TwoDepartments();
    con.Process(fx.state);
    EXPECT_EQ(fx.messages.Texts(),
              (Texts{"Error: Sum outside the currency range! (Sheet 2, Row 1, Column B)"}));
    EXPECT_EQ(book->Row(2, 1, 3), (Row{"Cash", "900,000,000,000,000", "3.00"}));
}

TEST_F(ConsolidationTest, ReadingValidatesEachKey) {
    Texts expected;
    ReadCon({"[Consolidate 1]", "Table=0"});
    expected.push_back("Error in Consolidate 1 : Table number must be > 0!");
    ReadCon({"[Consolidate 2]", "Table=2"}, 2);
    expected.push_back("Error in Consolidate 2 : Table number 2 does not exist!");
    clsCon c3 = ReadCon({"[Consolidate 3]", "Table=1", "ReadAccountsColumn=0"}, 3);
    EXPECT_EQ(c3.Table, 1);
    expected.push_back("Error in Consolidate 3 : Accounts Column Number must be > 0!");
    ReadCon({"[Consolidate 1]", "Table=one"});
    expected.push_back("Error in Consolidate 1 : Table is not a whole number: one");
    clsCon c5 =
        ReadCon({"[Consolidate 1]", "Table=1", "ReadAccountsColumn=2",
                 "TotalDepartments=1000000000", "[Con 1 Dept 1]", "ReadStartLine=A",
                 "ReadStartLineOffset=0", "ReadEndLine=B", "ReadEndLineOffset=0", "[Con 1 Dept 2]",
                 "ReadStartLineOffset=2", "ReadEndLine=B", "ReadEndLineOffset=0"});
    // A damaged count stops at the end of the file instead of reading on.
    EXPECT_EQ(c5.DepartmentsCollection.size(), 3u);
    expected.push_back("Error in Con 1 Dept 2 : Missing ReadStartLine text!");
    expected.push_back("Error in Con 1 Dept 3 : Missing ReadStartLine text!");
    ReadCon({"[Consolidate 1]", "Table=1", "ReadAccountsColumn=1", "TotalDepartments=1",
             "[Con 1 Dept 1]", "ReadStartLine=A", "ReadStartLineOffset=x"});
    expected.push_back("Error in Con 1 Dept 1 : ReadStartLineOffset is not a whole number: x");
    ReadCon({"[Consolidate 1]", "Table=1", "ReadAccountsColumn=1", "TotalDepartments=1",
             "[Con 1 Dept 1]", "ReadStartLine=A", "ReadStartLineOffset=0", "ReadEndLineOffset=3"});
    expected.push_back("Error in Con 1 Dept 1 : Missing ReadEndLine text!");
    EXPECT_EQ(fx.messages.Texts(), expected);
    for (const auto& entry : fx.messages.shown)
        EXPECT_EQ(entry.icon, MessageIcon::Critical);
}

TEST_F(ConsolidationTest, WrittenSectionsReadBackTheSame) {
    clsCon con;
    con.Table = 1;
    con.ReadAccountsColumn = 2;
    con.TotalDepartments = 2;
    con.DepartmentsCollection.resize(2);
    con.DepartmentsCollection[0].ReadStartLine = "SALES DEPT";
    con.DepartmentsCollection[0].ReadStartLineOffset = 2;
    con.DepartmentsCollection[0].ReadEndLine = "TOTAL SALES";
    con.DepartmentsCollection[0].ReadEndLineOffset = -1;
    con.DepartmentsCollection[1].ReadStartLine = "SERVICE";
    con.DepartmentsCollection[1].ReadEndLine = "TOTAL SERVICE";
    const std::string path = fx.dir.File("out.t2x");
    {
        ProfileFile file(path);
        con.WriteToFile(file, 3);
        std::string error;
        ASSERT_TRUE(file.Commit(error));
    }
    clsCon back;
    back.ReadFromFile(fx.state.messages, path, 3,
                      fx.state.recipe.ExportSpecs.TablesCollection.size());
    EXPECT_TRUE(fx.messages.shown.empty());
    EXPECT_EQ(back.Table, 1);
    EXPECT_EQ(back.ReadAccountsColumn, 2);
    EXPECT_EQ(back.TotalDepartments, 2);
    ASSERT_EQ(back.DepartmentsCollection.size(), 2u);
    for (size_t d = 0; d < 2; ++d) {
        const clsDepartment& a = con.DepartmentsCollection[d];
        const clsDepartment& b = back.DepartmentsCollection[d];
        EXPECT_EQ(b.ReadStartLine, a.ReadStartLine);
        EXPECT_EQ(b.ReadStartLineOffset, a.ReadStartLineOffset);
        EXPECT_EQ(b.ReadEndLine, a.ReadEndLine);
        EXPECT_EQ(b.ReadEndLineOffset, a.ReadEndLineOffset);
    }
    EXPECT_NE(test::ReadFile(path).find("[Consolidate 3]\r\nTable=1\r\nReadAccountsColumn=2\r\n"
                                        "TotalDepartments=2\r\n"),
              std::string::npos);
}

} // namespace
} // namespace vok
