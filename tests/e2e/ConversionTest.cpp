// End-to-end conversions to CSV: the real program on real files in a fresh
// program folder, with both command-line syntaxes.
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok::test {
namespace {

// The shared small ledger, with quotes and a comma in a description for the
// CSV to escape.
std::string QuotedLedger() {
    std::string report = SmallLedger();
    const std::string_view plain = "Payables             (12.00)";
    report.replace(report.find(plain), plain.size(), "Payables, \"trade\"     (12.00)");
    return report;
}
const std::string kReport = QuotedLedger();

const std::string kShortRecipe = CrLf({
    "[Header]",
    "Product=VOK-B",
    "FileType=RECIPE",
    "FileFormat=1.0",
    "[Table 1]",
    "ReadStartLine=ACCOUNT NO",
    "ReadStartLineOffset=2",
    "ReadEndLine=TOTALS",
    "ReadEndLineOffset=-1",
    "Parsing=---------- ------------------- ---------",
    "WriteColumn=B",
});

struct Job {
    TempDir home;
    TempDir work;
    std::string File(std::string_view name) const { return work.File(name); }
};

TEST(Conversion, RecipeExpandsToTheLongFormatByteForByteAndConvertsToCsv) {
    Job job;
    WriteFile(job.File("report.txt"), kReport);
    WriteFile(job.File("month.rcp"), kShortRecipe);
    const RunResult run = RunVok(
        {"-i", job.File("report.txt"), "-r", job.File("month.rcp"), "-o", job.File("out.csv")},
        job.home.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadFile(job.home.File("_ExportSpecs.t2x")), CrLf({"[Header]",
                                                                 "Product=VOK",
                                                                 "FileType=EXPORT SPEC",
                                                                 "FileFormat=1.1",
                                                                 "[General]",
                                                                 "Name=",
                                                                 "[Table 1]",
                                                                 "ReadStartLine=ACCOUNT NO",
                                                                 "ReadStartLineOffset=2",
                                                                 "ReadEndLine=TOTALS",
                                                                 "ReadEndLineOffset=-1",
                                                                 "TotalColumns=3",
                                                                 "[Table 1 Col 1]",
                                                                 "ReadColumnStart=1",
                                                                 "ReadColumnEnd=11",
                                                                 "WriteColumn=B",
                                                                 "PeriodOperator=",
                                                                 "[Table 1 Col 2]",
                                                                 "ReadColumnStart=12",
                                                                 "ReadColumnEnd=31",
                                                                 "WriteColumn=C",
                                                                 "PeriodOperator=",
                                                                 "[Table 1 Col 3]",
                                                                 "ReadColumnStart=32",
                                                                 "ReadColumnEnd=40",
                                                                 "WriteColumn=D",
                                                                 "PeriodOperator="}));
    // Fields keep their blanks; a comma or a quote makes a field quoted, quotes doubled.
    EXPECT_EQ(ReadFile(job.File("out.csv")),
              CrLf({"1000-00    ,Cash in bank        ,\" 1,234.50\"",
                    "2000-00    ,\"Payables, \"\"trade\"\"   \",  (12.00)",
                    "3000-00    ,Capital             ,\" 9,000.00\"", ",,"}));
}

TEST(Conversion, SwitchSyntaxResolvesBareNamesInTheProgramFolder) {
    Job job;
    WriteFile(job.home.File("report.txt"), kReport);
    WriteFile(job.home.File("month.rcp"), kShortRecipe);
    const RunResult run =
        RunVok({"/Ireport.txt", "/O", "out.csv", "/r", "month.rcp"}, job.home.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(job.home.File("out.csv")).substr(0, 12), "1000-00    ,");
}

// The derived layouts of three rows: a text column, an amount column ending at
// position 24 and one ending at 35.
const std::string kDerivedReport = CrLf({
    "TOP",
    "Cash            1,234.50      12.00",
    "Receivables       999.99     123.45",
    "Prepaid rent   12,345.67     765.43",
    "BOTTOM",
});

std::string DerivedRecipe(std::string_view parsing) {
    return CrLf({"[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "[Table 1]",
                 "ReadStartLine=TOP", "ReadStartLineOffset=1", "ReadEndLine=BOTTOM",
                 "ReadEndLineOffset=-1", "Parsing=" + std::string(parsing), "WriteColumn=A"});
}

std::string Columns(const std::string& longFile) {
    std::string columns;
    size_t pos = 0;
    while ((pos = longFile.find("ReadColumnStart=", pos)) != std::string::npos) {
        const size_t start = pos + 16;
        const size_t endKey = longFile.find("ReadColumnEnd=", start) + 14;
        columns += longFile.substr(start, longFile.find('\r', start) - start) + "-" +
                   longFile.substr(endKey, longFile.find('\r', endKey) - endKey) + " ";
        pos = endKey;
    }
    return columns;
}

TEST(Conversion, EachDerivingTemplateGivesItsDesignedColumns) {
    const struct {
        const char* parsing;
        const char* columns;
    } cases[] = {{"=R", "1-13 14-25 26-36 "},
                 {"=r", "1-13 14-25 26-36 "},
                 {"=", "1-15 16-29 30-36 "},
                 {"=L", "1-15 16-29 30-36 "},
                 {"-", "1-36 "}};
    for (const auto& c : cases) {
        Job job;
        WriteFile(job.File("report.txt"), kDerivedReport);
        WriteFile(job.File("r.rcp"), DerivedRecipe(c.parsing));
        const RunResult run = RunVok(
            {"-i", job.File("report.txt"), "-r", job.File("r.rcp"), "-o", job.File("out.csv")},
            job.home.Path().string());
        EXPECT_EQ(run.exitCode, 0) << c.parsing << run.err;
        EXPECT_EQ(Columns(ReadFile(job.home.File("_ExportSpecs.t2x"))), c.columns) << c.parsing;
    }
}

TEST(Conversion, MarkedUpReportBecomesARecipe) {
    Job job;
    WriteFile(
        job.File("marked.txt"),
        CrLf({"SALES BY REGION", ">>1", "------ --------", "North    100.00", "South  1,200.00",
              "<<1", "notes between tables", ">>2", "---- ----", "a    b", "<<2"}));
    const RunResult run =
        RunVok({"-i", job.File("marked.txt"), "-o", job.File("out.csv")}, job.home.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(job.File("out.csv")),
              CrLf({"North  ,  100.00", "South  ,\"1,200.00\"", "a    ,b "}));
    EXPECT_EQ(ReadFile(job.home.File("_AutoRecipe.rcp")),
              CrLf({"[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "[Table 1]",
                    "ReadStartLine=>>1", "ReadStartLineOffset=2", "ReadEndLine=<<1",
                    "ReadEndLineOffset=-1", "Parsing=------ --------", "WriteColumn=A", "[Table 2]",
                    "ReadStartLine=>>2", "ReadStartLineOffset=2", "ReadEndLine=<<2",
                    "ReadEndLineOffset=-1", "Parsing=---- ----", "WriteColumn=A"}));
}

TEST(Conversion, FolderPatternWithSubfoldersNamesOutputsAfterInputs) {
    Job job;
    WriteFile(job.File("in/a.txt"), kReport);
    WriteFile(job.File("in/sub/b.TXT"), kReport);
    WriteFile(job.File("in/sub/deeper/c.txt"), kReport);
    WriteFile(job.File("in/notes.doc"), "not a report");
    WriteFile(job.File("month.rcp"), kShortRecipe);
    const RunResult run = RunVok({"-i", job.File("in/*.txt"), "-o", job.File("out/x*.csv"), "-r",
                                  job.File("month.rcp"), "--subfolders"},
                                 job.home.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(job.File("out/xa.csv")));
    EXPECT_TRUE(std::filesystem::exists(job.File("out/xsub/b.csv")));
    EXPECT_TRUE(std::filesystem::exists(job.File("out/xsub/deeper/c.csv")));
    EXPECT_FALSE(std::filesystem::exists(job.File("out/xnotes.csv")));

    // Beside the inputs instead; without sub-folders only the top folder.
    const RunResult beside = RunVok({"-i", job.File("in/*.TXT"), "-o", job.File("out/*.csv"), "-r",
                                     job.File("month.rcp"), "-g"},
                                    job.home.Path().string());
    EXPECT_EQ(beside.exitCode, 0) << beside.err;
    EXPECT_TRUE(std::filesystem::exists(job.File("in/a.csv")));
    EXPECT_FALSE(std::filesystem::exists(job.File("in/sub/b.csv")));
}

TEST(Conversion, FailuresAreReportedAndSetTheExitStatus) {
    Job job;
    WriteFile(job.File("report.txt"), kReport);
    WriteFile(job.File("month.rcp"), kShortRecipe);
    const std::string home = job.home.Path().string();
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"-i", job.File("report.txt"), "-o", job.File("out.txt")},
         "Output File must be of type XLS or CSV\n"},
        {{"-i", job.File("report.txt"), "-o", job.File("out.csv"), "-r", job.File("none.rcp")},
         "Recipe file " + job.File("none.rcp") + " does not exist!\n"},
        {{"-i", job.File("none.txt"), "-o", job.File("out.csv"), "-r", job.File("month.rcp")},
         "Input file: " + job.File("none.txt") + " does not exist!\n"},
        {{"-i", job.File("nofolder/*.txt"), "-o", job.File("*.csv")},
         "Unable to create file list\r\nFolder: " + job.File("nofolder/") + " does not exist\n"},
        {{"-i", job.File("*.txt"), "-o", job.File("out.csv")},
         "You must specify a proper output file which includes the wild card\r\n\r\n"
         "For example: C:\\Output\\*.CSV\n"},
    };
    for (const auto& c : cases) {
        const RunResult run = RunVok(c.args, home);
        EXPECT_EQ(run.exitCode, 1) << c.message;
        EXPECT_EQ(run.err, c.message);
    }
    // A command line that names nothing valid still runs, and says why it did nothing.
    const RunResult bare = RunVok({"report.txt"}, home);
    EXPECT_EQ(bare.exitCode, 1);
    EXPECT_EQ(bare.err, "Output File must be of type XLS or CSV\n");
}

TEST(Conversion, TableKeysThatCannotBeFoundOrReadEndTheJobWithTheirMessage) {
    Job job;
    WriteFile(job.File("report.txt"), kReport);
    auto recipe = [&](std::string_view start, std::string_view end, std::string_view endOffset) {
        return CrLf({"[Table 1]", "ReadStartLine=" + std::string(start), "ReadStartLineOffset=0",
                     "ReadEndLine=" + std::string(end),
                     "ReadEndLineOffset=" + std::string(endOffset), "Parsing=-----",
                     "WriteColumn=A"});
    };
    const struct {
        std::string recipe;
        std::string message;
        int exitCode;
    } cases[] = {
        {recipe("NOWHERE", "TOTALS", "0"),
         "Error in Table specs: Can not find ReadStartLine: NOWHERE\n", 1},
        {recipe("ACCOUNT NO", "NOWHERE", "0"),
         "Error in Table specs: Can not find ReadEndLine: NOWHERE\n", 1},
        {recipe("TOTALS", "LEDGER", "0"),
         "Error in Table specs: ReadEndLine key text [LEDGER] was found before ReadStartLine key "
         "text [TOTALS]\n",
         1},
        {recipe("ACCOUNT NO", "TOTALS", "abc"),
         "Error in Table 1 : ReadEndLineOffset is not a whole number: abc\n", 1},
    };
    for (const auto& c : cases) {
        WriteFile(job.File("r.rcp"), c.recipe);
        const RunResult run = RunVok(
            {"-i", job.File("report.txt"), "-r", job.File("r.rcp"), "-o", job.File("out.csv")},
            job.home.Path().string());
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message;
        EXPECT_EQ(run.err, c.message + "No table was written to " + job.File("out.csv") + ".\n");
    }
}

// A last line beyond the report's end asks for lines that do not exist: an
// error, and the earlier output stays as it was.
TEST(Conversion, TableRunningPastTheEndOfTheReportIsAnErrorThatKeepsTheOutput) {
    Job job;
    WriteFile(job.File("report.txt"), CrLf({"HEAD", "a", "b"}));
    WriteFile(job.File("r.rcp"),
              CrLf({"[Table 1]", "ReadStartLine=HEAD", "ReadStartLineOffset=1", "ReadEndLine=HEAD",
                    "ReadEndLineOffset=5", "Parsing=-", "WriteColumn=A"}));
    WriteFile(job.File("out.csv"), "earlier\r\n");
    const RunResult run =
        RunVok({"-i", job.File("report.txt"), "-r", job.File("r.rcp"), "-o", job.File("out.csv")},
               job.home.Path().string());
    EXPECT_EQ(ReadFile(job.File("out.csv")), "earlier\r\n");
    EXPECT_EQ(run.err, "Table 1: its last line (6) lies beyond the end of the report " +
                           job.File("report.txt") +
                           " (3 lines; ReadEndLine found on line 1, ReadEndLineOffset 5). The "
                           "table was not converted.\nNo table was written to " +
                           job.File("out.csv") + ".\n");
    EXPECT_EQ(run.exitCode, 1);
}

TEST(Conversion, LongFormatRecipeWithTitleAndConsolidationRunsToCsvWithANotice) {
    Job job;
    WriteFile(job.File("report.txt"), kReport);
    WriteFile(job.File("spec.t2x"), CrLf({"[Header]",
                                          "Product=VOK",
                                          "FileType=EXPORT SPEC",
                                          "FileFormat=1.1",
                                          "[General]",
                                          "Name=month end",
                                          "[Title 1]",
                                          "WriteSheet=1",
                                          "WriteColumn=A",
                                          "TotalLines=1",
                                          "Text1=LEDGER",
                                          "[Table 1]",
                                          "ReadStartLine=ACCOUNT NO",
                                          "ReadStartLineOffset=2",
                                          "ReadEndLine=TOTALS",
                                          "ReadEndLineOffset=-2",
                                          "TotalColumns=1",
                                          "[Table 1 Col 1]",
                                          "ReadColumnStart=1",
                                          "ReadColumnEnd=7",
                                          "WriteColumn=A",
                                          "PeriodOperator=",
                                          "[Consolidate 1]",
                                          "Table=1",
                                          "ReadAccountsColumn=1",
                                          "TotalDepartments=1",
                                          "[Con 1 Dept 1]",
                                          "ReadStartLine=1000",
                                          "ReadStartLineOffset=0",
                                          "ReadEndLine=3000",
                                          "ReadEndLineOffset=0"}));
    const std::string before = ReadFile(job.File("spec.t2x"));
    const RunResult run = RunVok(
        {"-i", job.File("report.txt"), "-r", job.File("spec.t2x"), "-o", job.File("out.csv")},
        job.home.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "Consolidations are written to workbooks only; this CSV output has none.\n");
    EXPECT_EQ(ReadFile(job.File("out.csv")), CrLf({"1000-00", "2000-00", "3000-00"}));
    EXPECT_EQ(ReadFile(job.File("spec.t2x")), before);
}

TEST(Conversion, HelpPrintsBothSyntaxesAndSlashQuestionMarkStillRunsTheJob) {
    TempDir home;
    const RunResult help = RunVok({"--help"}, home.Path().string());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("-i, --input"), std::string::npos);
    EXPECT_NE(help.out.find("/I path"), std::string::npos);
    // "/?" shows the text and still runs the job with the default options.
    const RunResult slash = RunVok({"/?"}, home.Path().string());
    EXPECT_NE(slash.out.find("/I path"), std::string::npos);
    EXPECT_EQ(slash.err, "Output File must be of type XLS or CSV\n");
    const RunResult bad = RunVok({"--frobnicate"}, home.Path().string());
    EXPECT_EQ(bad.exitCode, 2);
}

} // namespace
} // namespace vok::test
