// The recipe layer's long-format file: a short recipe expanded into it, and a
// recipe made from the marks of a report.
#include "recipe/ExportSpecFile.h"

#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok::test {
namespace {

struct Fixture {
    TempDir dir;
    RecordingObserver messages;
};

TEST(ExportSpecFile, ShortRecipeExpansion) {
    Fixture f;
    const std::string report = CrLf({"TOP", "abc  12", "de    3", "END"});
    WriteFile(f.dir.File("report.txt"), report);
    auto expand = [&](const std::string& tables) {
        WriteFile(f.dir.File("r.rcp"), CrLf({"[Header]", "Product=VOK-B"}) + tables);
        std::filesystem::remove(f.dir.File("long.t2x"));
        f.messages.shown.clear();
        FileConvertShortToLong(f.messages, "", f.dir / "r.rcp", f.dir / "long.t2x",
                               f.dir / "report.txt", 8);
        return ReadFile(f.dir.File("long.t2x"));
    };
    auto table = [](int n, std::string_view parsing, std::string_view column) {
        return CrLf({"[Table " + std::to_string(n) + "]", "ReadStartLine=TOP",
                     "ReadStartLineOffset=1", "ReadEndLine=END", "ReadEndLineOffset=-1",
                     "Parsing=" + std::string(parsing), "WriteColumn=" + std::string(column)});
    };
    // No tables: header and [General] only.
    EXPECT_EQ(expand(""), CrLf({"[Header]", "Product=VOK", "FileType=EXPORT SPEC", "FileFormat=1.1",
                                "[General]", "Name="}));
    // Column letters run on from the first column, past Z.
    std::string out = expand(table(1, "-- -- --", "Z"));
    EXPECT_NE(out.find("WriteColumn=Z\r\n"), std::string::npos);
    EXPECT_NE(out.find("WriteColumn=AA\r\n"), std::string::npos);
    EXPECT_NE(out.find("WriteColumn=AB\r\n"), std::string::npos);
    // A table without a template is not found, and the tables after it are not converted.
    out = expand(table(1, "----", "A") + table(2, "", "A") + table(3, "----", "A"));
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Table 2 not found!"});
    EXPECT_EQ(f.messages.shown[0].icon, MessageIcon::Warning);
    EXPECT_NE(out.find("[Table 1]"), std::string::npos);
    EXPECT_EQ(out.find("[Table 3]"), std::string::npos);
    // Tables numbered 1 and 3 count two tables; table 2 has only defaults.
    expand(table(1, "----", "A") + table(3, "----", "A"));
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Table 2 not found!"});
    // "-" reads the report: one column over the table's width (7 characters plus a blank).
    out = expand(table(1, "-", "A"));
    EXPECT_NE(out.find("ReadColumnStart=1\r\nReadColumnEnd=8\r\n"), std::string::npos);
    // A non-numeric offset is named, and the expansion stops there.
    out = expand(CrLf({"[Table 1]", "ReadStartLine=TOP", "ReadStartLineOffset=two"}));
    EXPECT_EQ(f.messages.Texts(),
              std::vector<std::string>{"Error in Table 1 : ReadStartLineOffset is not a whole "
                                       "number: two"});
    EXPECT_EQ(out.find("[Table 1]"), std::string::npos);
}

TEST(ExportSpecFile, MarkedReportYieldsARecipeUpToTheFirstEmptyTemplate) {
    Fixture f;
    WriteFile(f.dir.File("marked.txt"), CrLf({">>1", "---  ---", "a    b", "<<1", ">>2", "", "x",
                                              "<<2", ">>3", "--", "y", "<<3"}));
    FileCreateShort(f.messages, f.dir / "marked.txt", f.dir / "auto.rcp");
    const std::string recipe = ReadFile(f.dir.File("auto.rcp"));
    EXPECT_NE(recipe.find("[Table 1]\r\nReadStartLine=>>1\r\n"), std::string::npos);
    EXPECT_NE(recipe.find("Parsing=---  ---\r\nWriteColumn=A\r\n"), std::string::npos);
    EXPECT_EQ(recipe.find("[Table 2]"), std::string::npos);
}

} // namespace
} // namespace vok::test
