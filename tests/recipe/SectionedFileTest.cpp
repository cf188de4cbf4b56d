// The sectioned-file readers with their exact rules, the [Header] check and
// the small file and collection helpers beside them.
#include "recipe/SectionedFile.h"

#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::CrLf;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class SectionedFileTest : public ::testing::Test {
protected:
    std::string Make(std::initializer_list<std::string_view> lines) {
        WriteFile(path, CrLf(lines));
        return path;
    }
    std::string Get(std::string_view section, std::string_view key,
                    std::string_view defaultValue = kMissing) {
        return GetIniValue(path, section, key, defaultValue);
    }
    TempDir dir;
    std::string path = dir.File("spec.t2x");
};

TEST_F(SectionedFileTest, AnyLineWithABracketEndsTheSection) {
    Make({"[Table 1]", "ReadStartLine=Total", "Parsing=  --- [x] ---", "WriteColumn=B", "[Table 2]",
          "WriteColumn=C"});
    EXPECT_EQ(Get("Table 1", "ReadStartLine"), "Total");
    // The line holding "[" ends its own section: its key and every later one are missing.
    EXPECT_EQ(Get("Table 1", "Parsing"), kMissing);
    EXPECT_EQ(Get("Table 1", "WriteColumn"), kMissing);
    EXPECT_EQ(Get("Table 2", "WriteColumn"), "C");

    // A sequential reader that passes "" stops at the same line and consumes it:
    // a later key behind it is missing, the next lookup goes on after it.
    TextReader file(path);
    EXPECT_EQ(ReadIniValue(file, "Table 1", "ReadStartLine", kMissing), "Total");
    EXPECT_EQ(ReadIniValue(file, "", "WriteColumn", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(file, "", "WriteColumn", kMissing), "B");
    EXPECT_EQ(ReadIniValue(file, "", "WriteColumn", kMissing), kMissing);
}

TEST_F(SectionedFileTest, ASemicolonAfterTheEqualsSignStartsAComment) {
    Make({"[General]", "Name=Monthly ; the report's name", "Note;x=a;b", "Empty=  ; nothing",
          "Plain=a;b"});
    EXPECT_EQ(Get("General", "Name"), "Monthly");
    // A ";" before the "=" cuts nothing, not even a later ";".
    EXPECT_EQ(Get("General", "Note;x"), "a;b");
    // A value that is only a comment is empty: the default.
    EXPECT_EQ(Get("General", "Empty", "dflt"), "dflt");
    EXPECT_EQ(Get("General", "Plain"), "a");
}

TEST_F(SectionedFileTest, TheTrimModeDecidesWhichEndLosesItsBlanks) {
    Make({"[Table 1]", "Parsing=   ---  +++   ", "Tabbed=\tx\t"});
    EXPECT_EQ(GetIniValueEx(path, "Table 1", "Parsing", kMissing, 1), "---  +++   ");
    EXPECT_EQ(GetIniValueEx(path, "Table 1", "Parsing", kMissing, 2), "   ---  +++");
    EXPECT_EQ(GetIniValueEx(path, "Table 1", "Parsing", kMissing, 0), "---  +++");
    EXPECT_EQ(GetIniValueEx(path, "Table 1", "Parsing", kMissing, 7), "---  +++");
    EXPECT_EQ(Get("Table 1", "Parsing"), "---  +++");
    // Tabs are not blanks.
    EXPECT_EQ(Get("Table 1", "Tabbed"), "\tx\t");
}

TEST_F(SectionedFileTest, FirstLineMentioningTheKeyDecides) {
    Make({"[Table 1]", "ReadStartLineOffset=2", "ReadStartLine=Total", "[Table 2]",
          "ReadStartLine=Sum", "ReadStartLineOffset=3", "; ReadEndLine is missing",
          "ReadEndLine=End"});
    EXPECT_EQ(Get("Table 1", "ReadStartLine"), kMissing);
    EXPECT_EQ(Get("Table 1", "ReadStartLineOffset"), "2");
    EXPECT_EQ(Get("Table 2", "ReadStartLine"), "Sum");
    EXPECT_EQ(Get("Table 2", "ReadStartLineOffset"), "3");
    // A line that mentions the key but has no "=" is passed over.
    EXPECT_EQ(Get("Table 2", "ReadEndLine"), "End");
}

TEST_F(SectionedFileTest, MissingAndEmptyValuesGiveTheDefault) {
    Make({"Stray=before", "[General]", "Name=", "Blank=   ", "Zero=0", "[Other]", "Only=here"});
    EXPECT_EQ(Get("General", "Name"), kMissing);
    EXPECT_EQ(Get("General", "Blank", "d"), "d");
    EXPECT_EQ(Get("General", "Zero", "d"), "0");
    EXPECT_EQ(Get("General", "Absent"), kMissing);
    // Keys before the section or in another section are not found.
    EXPECT_EQ(Get("General", "Stray"), kMissing);
    EXPECT_EQ(Get("General", "Only"), kMissing);
    EXPECT_EQ(Get("Missing Section", "Only"), kMissing);
    // A file that cannot be opened gives "", not the default.
    EXPECT_EQ(GetIniValue(dir.File("missing.rcp"), "General", "Name", "d"), "");
    EXPECT_EQ(GetIniValueEx(dir.File("missing.rcp"), "General", "Name", "d", 2), "");
}

TEST_F(SectionedFileTest, SectionNamesAreExactButBlanksInsideBracketsDoNotCount) {
    Make({"[general]", "Name=lower", "x [ General ] y", "Name=upper", "[]", "Name=none", "]z[",
          "[General]", "Name=second"});
    EXPECT_EQ(Get("General", "Name"), "upper");
    EXPECT_EQ(Get("general", "Name"), "lower");
    EXPECT_EQ(Get("GENERAL", "Name"), kMissing);
    // Keys are case-sensitive too.
    EXPECT_EQ(Get("General", "name"), kMissing);
}

TEST_F(SectionedFileTest, SequentialReadingContinuesFromThePosition) {
    Make({"[Table 1]", "Name=first", "Width=10", "[Table 1 Col 1]", "Name=c1", "[Table 2]",
          "Name=second", "Width=20"});
    TextReader file(path);
    EXPECT_EQ(ReadIniValue(file, "Table 1", "Name", kMissing), "first");
    EXPECT_EQ(ReadIniValue(file, "", "Width", kMissing), "10");
    EXPECT_EQ(ReadIniValue(file, "Table 1 Col 1", "Name", kMissing), "c1");
    // The search never looks back: Table 1 lies behind the position now.
    EXPECT_EQ(ReadIniValue(file, "Table 1", "Name", kMissing), kMissing);
    EXPECT_TRUE(file.AtEnd());
    TextReader closed;
    EXPECT_EQ(ReadIniValue(closed, "Table 1", "Name", "d"), "d");
}

TEST_F(SectionedFileTest, HeaderCheckReportsOnlyTheFirstMismatch) {
    RecordingObserver messages;
    Make({"[Header]", "Product= vok ", "FileType=Recipe", "FileFormat=1.0"});
    EXPECT_FALSE(FileHeaderIsInvalid(messages, path, "VOK", "RECIPE", "1.0"));
    EXPECT_TRUE(messages.shown.empty());

    EXPECT_TRUE(FileHeaderIsInvalid(messages, path, "VOK-B", "EXPORT SPEC", "1.1"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Incorrect product code!");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Critical);

    messages.shown.clear();
    EXPECT_TRUE(FileHeaderIsInvalid(messages, path, "VOK", "RECIPE", "1.1"));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Incorrect file format!"});
    messages.shown.clear();
    EXPECT_TRUE(FileHeaderIsInvalid(messages, path, "VOK", "EXPORT SPEC", "1.1"));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Incorrect file type!"});

    // A missing file has no header at all.
    messages.shown.clear();
    EXPECT_TRUE(FileHeaderIsInvalid(messages, dir.File("missing.rcp"), "VOK", "RECIPE", "1.0"));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Incorrect product code!"});
}

TEST(SectionedHelpersTest, AnIndexOutsideTheCollectionIsSaidAndChangesNothing) {
    RecordingObserver messages;
    std::vector<std::string> items{"a", "b", "c"};
    EXPECT_TRUE(CollectionItemSet(messages, items, 3, "z"));
    EXPECT_EQ(items, (std::vector<std::string>{"a", "b", "z"}));
    EXPECT_TRUE(CollectionItemSet(messages, items, 1, "y"));
    EXPECT_EQ(items, (std::vector<std::string>{"y", "b", "z"}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(CollectionItemSet(messages, items, 0, "x"));
    EXPECT_FALSE(CollectionItemSet(messages, items, 4, "x"));
    EXPECT_EQ(items, (std::vector<std::string>{"y", "b", "z"}));
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Invalid Index in CollectionItemSet!",
                                                          "Invalid Index in CollectionItemSet!"}));
}

} // namespace
} // namespace vok
