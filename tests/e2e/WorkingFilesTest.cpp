// The working files _AutoRecipe.rcp and _ExportSpecs.t2x: still written for
// the user to open, with the same content as ever, but over the file itself
// and only when their content changes; a folder job reads its recipe once
// and every report once, yet sees a recipe that changes between jobs.
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vok::test {
namespace {

struct FileState {
    ino_t inode = 0;
    time_t modified = 0;
};

FileState StateOf(const std::filesystem::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {st.st_ino, st.st_mtim.tv_sec};
}

// An old time stamp, so that a rewrite would show.
void MakeOld(const std::filesystem::path& path) {
    const timespec old = {1'000'000'000, 0};
    const timespec times[2] = {old, old};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::string Marked(std::string_view template1) {
    return CrLf(
        {"SALES", ">>1", std::string(template1), "Widgets   12.50", "Gadgets    3.75", "<<1"});
}

TEST(WorkingFiles, WrittenInPlaceOnlyWhenTheirContentChanges) {
    TempDir home, work;
    WriteFile(work / "a.txt", Marked("--------- -----"));
    auto run = [&](const std::string& input) {
        const RunResult r = RunVok({"-i", input, "-o", work.File("out.csv")}, home.Path().string());
        EXPECT_EQ(r.exitCode, 0) << r.err;
    };
    run(work.File("a.txt"));
    const std::filesystem::path recipe = home / "_AutoRecipe.rcp";
    const std::filesystem::path specs = home / "_ExportSpecs.t2x";
    const std::string recipeText = ReadFile(recipe), specsText = ReadFile(specs);
    EXPECT_EQ(recipeText,
              CrLf({"[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "[Table 1]",
                    "ReadStartLine=>>1", "ReadStartLineOffset=2", "ReadEndLine=<<1",
                    "ReadEndLineOffset=-1", "Parsing=--------- -----", "WriteColumn=A"}));
    EXPECT_NE(specsText.find("[Table 1 Col 2]\r\nReadColumnStart=11\r\nReadColumnEnd=15\r\n"),
              std::string::npos);
    MakeOld(recipe);
    MakeOld(specs);
    const FileState recipeBefore = StateOf(recipe), specsBefore = StateOf(specs);

    // The same marks again: neither file is touched.
    run(work.File("a.txt"));
    EXPECT_EQ(StateOf(recipe).modified, recipeBefore.modified);
    EXPECT_EQ(StateOf(specs).modified, specsBefore.modified);
    EXPECT_EQ(ReadFile(recipe), recipeText);

    // Other marks: both are written over, in place, shorter ones included.
    WriteFile(work / "b.txt", Marked("---- ----------"));
    run(work.File("b.txt"));
    EXPECT_NE(StateOf(recipe).modified, recipeBefore.modified);
    EXPECT_EQ(StateOf(recipe).inode, recipeBefore.inode);
    EXPECT_EQ(StateOf(specs).inode, specsBefore.inode);
    EXPECT_NE(ReadFile(recipe).find("Parsing=---- ----------\r\nWriteColumn=A\r\n"),
              std::string::npos);
    EXPECT_EQ(ReadFile(work / "out.csv"), CrLf({"Widge,ts   12.50", "Gadge,ts    3.75"}));
}

// A folder job: every report converted with the one recipe, each to its own
// output; the working export-specs file is the same for all and written once.
TEST(WorkingFiles, AFolderJobConvertsEveryReportWithOneRecipeAndReadsAChangedOneAnew) {
    TempDir home, work;
    const std::string recipe =
        CrLf({"[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "[Table 1]",
              "ReadStartLine=ITEM", "ReadStartLineOffset=1", "ReadEndLine=TOTAL",
              "ReadEndLineOffset=-1", "Parsing=------ ------", "WriteColumn=A"});
    WriteFile(work / "r.rcp", recipe);
    auto item = [](int i) {
        std::string name = "A" + std::to_string(i);
        name.resize(7, ' ');
        return name;
    };
    for (int i = 1; i <= 30; ++i) {
        WriteFile(work / ("in/day" + std::to_string(i % 3) + "/s" + std::to_string(i) + ".txt"),
                  CrLf({"STORE " + std::to_string(i), "ITEM   QTY", item(i) + std::to_string(i * 7),
                        "TOTAL"}));
    }
    const RunResult run = RunVok(
        {"-i", work.File("in/*.txt"), "-s", "-r", work.File("r.rcp"), "-o", work.File("out/*.csv")},
        home.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (int i = 1; i <= 30; ++i) {
        const std::string name =
            "out/day" + std::to_string(i % 3) + "/s" + std::to_string(i) + ".csv";
        EXPECT_EQ(ReadFile(work / name), item(i) + "," + std::to_string(i * 7) + " \r\n") << name;
    }
    EXPECT_NE(ReadFile(home / "_ExportSpecs.t2x").find("ReadStartLine=ITEM\r\n"),
              std::string::npos);

    // The recipe changed between two jobs is read anew.
    WriteFile(work / "r.rcp", recipe.substr(0, recipe.find("Parsing=")) +
                                  CrLf({"Parsing=--- ---------", "WriteColumn=A"}));
    const RunResult again = RunVok(
        {"-i", work.File("in/*.txt"), "-s", "-r", work.File("r.rcp"), "-o", work.File("out/*.csv")},
        home.Path().string());
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(ReadFile(work / "out/day1/s1.csv"), "A1  ,   7 \r\n");
}

std::string ShortRecipe(std::initializer_list<std::string> tables) {
    std::vector<std::string> lines = {"[Header]", "Product=VOK-B", "FileType=RECIPE",
                                      "FileFormat=1.0"};
    lines.insert(lines.end(), tables);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// The switch syntax's spelling of a path: backslashes between folders.
std::string Switch(const std::filesystem::path& p) {
    std::string s = p.string();
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

RunResult FolderJob(const std::filesystem::path& work, const std::filesystem::path& home,
                    bool switchSyntax, bool verbose = false) {
    std::filesystem::remove_all(work / "out");
    std::vector<std::string> args =
        switchSyntax ? std::vector<std::string>{"/I", Switch(work / "in/*.txt"), "/R",
                                                Switch(work / "r.rcp"), "/O",
                                                Switch(work / "out/*.csv"), "/S"}
                     : std::vector<std::string>{"-i", (work / "in/*.txt").string(), "-r",
                                                (work / "r.rcp").string(), "-o",
                                                (work / "out/*.csv").string(), "-s"};
    if (verbose) args.push_back(switchSyntax ? "/V" : "-v");
    return RunVok(args, home.string());
}

size_t Count(std::string_view text, std::string_view part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A folder job expands its recipe once for all its reports, but only where
// that changes nothing: a layout derived from each report stays each
// report's own, and what the expansion says is said for every report, as
// are the status texts of -v.
TEST(WorkingFiles, AFolderJobExpandsItsRecipeOnceOnlyWhereThatChangesNothing) {
    TempDir home, work;
    // "-": one field as wide as the table, which is wider in the later report.
    WriteFile(work / "r.rcp", ShortRecipe({"[Table 1]", "ReadStartLine=TOP",
                                           "ReadStartLineOffset=1", "ReadEndLine=BOTTOM",
                                           "ReadEndLineOffset=-1", "Parsing=-", "WriteColumn=A"}));
    WriteFile(work / "in/a.txt", CrLf({"TOP", "abc", "BOTTOM"}));
    WriteFile(work / "in/b.txt", CrLf({"TOP", "abcdefgh", "abcdefgh 1", "BOTTOM"}));
    for (const bool switchSyntax : {false, true}) {
        const RunResult run = FolderJob(work.Path(), home.Path(), switchSyntax);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(ReadFile(work / "out/a.csv"), "abc \r\n");
        EXPECT_EQ(ReadFile(work / "out/b.csv"), "abcdefgh \r\nabcdefgh 1 \r\n");
    }

    // A fixed layout, and a second table whose write column is wrong: its
    // error is every report's, and keeps every output from being written.
    WriteFile(work / "r.rcp",
              ShortRecipe({"[Table 1]", "ReadStartLine=TOP", "ReadStartLineOffset=1",
                           "ReadEndLine=BOTTOM", "ReadEndLineOffset=-1", "Parsing=--- ---",
                           "WriteColumn=A", "[Table 2]", "ReadStartLine=TOP",
                           "ReadStartLineOffset=1", "ReadEndLine=BOTTOM", "ReadEndLineOffset=-1",
                           "Parsing=--- ---", "WriteColumn=A1"}));
    for (const bool switchSyntax : {false, true}) {
        const RunResult run = FolderJob(work.Path(), home.Path(), switchSyntax);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(Count(run.err, "Error in Table 2 : Write Column must be (A-Z)!"), 2u) << run.err;
        EXPECT_FALSE(std::filesystem::exists(work / "out/a.csv"));
    }

    // A sound fixed layout: made once, yet -v tells each report's expansion.
    WriteFile(work / "r.rcp", ShortRecipe({"[Table 1]", "ReadStartLine=TOP",
                                           "ReadStartLineOffset=1", "ReadEndLine=BOTTOM",
                                           "ReadEndLineOffset=-1", "Parsing=--- ---",
                                           "WriteColumn=A"}));
    for (const bool switchSyntax : {false, true}) {
        const RunResult run = FolderJob(work.Path(), home.Path(), switchSyntax, true);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Count(run.err, " - Scanning Table 1\n"), 2u) << run.err;
        EXPECT_EQ(ReadFile(work / "out/a.csv"), "abc ,\r\n");
        EXPECT_EQ(ReadFile(work / "out/b.csv"), "abcd,efg\r\nabcd,efg\r\n");
        EXPECT_NE(ReadFile(home / "_ExportSpecs.t2x").find("ReadColumnStart=5\r\n"),
                  std::string::npos);
    }
}

} // namespace
} // namespace vok::test
