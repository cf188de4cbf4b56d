#include "recipe/clsRecipe.h"
#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok::test {
namespace {

// A recipe, its messages and a folder for its files.
struct StateFixture {
    TempDir dir;
    RecordingObserver messages;
    struct {
        clsRecipe gRecipe;
    } state;
};

TEST(Recipe, ResetGivesTwelveEmptyPeriods) {
    StateFixture f;
    clsRecipe& recipe = f.state.gRecipe;
    recipe.InputFileFirst = 3;
    recipe.InputFileName[11] = "x";
    recipe.ResetRecipe();
    EXPECT_EQ(recipe.InputFileFirst, 1);
    EXPECT_EQ(recipe.InputFileLast, 1);
    EXPECT_EQ(recipe.InputFileName, std::vector<std::filesystem::path>(12));
    EXPECT_EQ(recipe.InputFileTitle, std::vector<std::string>(12));
}

TEST(Recipe, FullFormRoundTripsEveryMember) {
    StateFixture f;
    clsRecipe& recipe = f.state.gRecipe;
    recipe.OutputFileTitle = "Quarter";
    recipe.OutputFileName = "q.xlsx";
    recipe.InputFileFirst = 2;
    recipe.InputFileLast = 5;
    recipe.ExportSpecFileName = f.dir.File("q.t2x");
    recipe.WriteDataFormat = "NearestCent";
    recipe.Sheet1Name = "Sales";
    recipe.Sheet2Name = "Summary";
    for (int n = 0; n < 12; ++n) {
        recipe.InputFileTitle[n] = "Month " + std::to_string(n + 1);
        recipe.InputFileName[n] = "m" + std::to_string(n + 1) + ".txt";
    }
    EXPECT_TRUE(recipe.SaveToFile(f.messages, f.dir.File("q.rcp")));

    StateFixture g;
    clsRecipe& loaded = g.state.gRecipe;
    EXPECT_TRUE(loaded.LoadFromFile(g.messages, f.dir.File("q.rcp")));
    EXPECT_TRUE(g.messages.shown.empty()) << g.messages.Texts()[0];
    EXPECT_EQ(loaded.OutputFileTitle, "Quarter");
    EXPECT_EQ(loaded.OutputFileName, "q.xlsx");
    EXPECT_EQ(loaded.InputFileFirst, 2);
    EXPECT_EQ(loaded.InputFileLast, 5);
    EXPECT_EQ(loaded.WriteDataFormat, "NearestCent");
    EXPECT_EQ(loaded.Sheet1Name, "Sales");
    EXPECT_EQ(loaded.Sheet2Name, "Summary");
    EXPECT_EQ(loaded.InputFileTitle, recipe.InputFileTitle);
    EXPECT_EQ(loaded.InputFileName, recipe.InputFileName);
}

TEST(Recipe, ShortFormResetsTheRecipeAndRewritesTheWorkingExportSpecs) {
    StateFixture f;
    clsRecipe& recipe = f.state.gRecipe;
    recipe.InputFileLast = 4;
    recipe.WriteDataFormat = "NearestDollar";
    const std::filesystem::path specs = f.dir / "_ExportSpecs.t2x";
    WriteFile(specs, "old content that must go\r\n");
    WriteFile(f.dir.File("r.rcp"), CrLf({"[Header]", "Product=VOK-B"}));
    recipe.LoadFromFileShort(f.messages, "", f.dir / "r.rcp", f.dir / "report.txt", specs, 8);
    EXPECT_EQ(recipe.InputFileLast, 1);
    EXPECT_EQ(recipe.WriteDataFormat, "");
    EXPECT_EQ(recipe.InputFileName[0], f.dir.File("report.txt"));
    EXPECT_EQ(ReadFile(specs).find("old content"), std::string::npos);
    recipe.LoadFromFileShort(f.messages, "", f.dir / "missing.rcp", f.dir / "report.txt", specs, 8);
    EXPECT_EQ(f.messages.Texts(),
              (std::vector<std::string>{"Cannot find recipe file: " + f.dir.File("missing.rcp"),
                                        "short format recipe file does not exist!"}));
}

} // namespace
} // namespace vok::test
