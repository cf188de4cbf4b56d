// A sectioned file read once into memory answers every lookup exactly as the
// file itself does: whole-file lookups, sequential lookups that go on from
// where the last one stopped, the key-line search and the [Header] check.
#include "base/TextAccess.h"
#include "recipe/SectionedFile.h"
#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::CrLf;
using test::TempDir;
using test::WriteFile;

const std::string kFile = CrLf({
    "; a comment before any section",
    "ReadStartLine=outside",
    "[Header]",
    "Product=VOK",
    "FileType=EXPORT SPEC ; the kind",
    "FileFormat=1.1",
    "[ Table 1 ]",
    "ReadStartLineOffset=3",
    "ReadStartLine=after its longer key",
    "ReadEndLine=TOTALS",
    "Parsing=   ---  ---   ",
    "Empty=   ",
    "Note;x=a;b",
    "Value=has [ bracket",
    "WriteColumn=B",
    "[table 1]",
    "ReadEndLine=lower case section",
    "[Table 1 Col 1]",
    "ReadColumnStart=1",
    "[Table 2]",
    "\tTabbed = tab before",
    "ReadEndLine=second",
    "[Table 2]",
    "ReadEndLine=second copy",
    "[]",
    "x=y",
    "[Table 3",
    "ReadEndLine=no header",
});

TEST(SectionedText, LookupsAnswerAsOnTheFile) {
    TempDir dir;
    const std::filesystem::path path = dir / "spec.t2x";
    WriteFile(path, kFile);
    const SectionedText text = SectionedText::FromFile(path);
    ASSERT_TRUE(text.IsOpen());
    const std::vector<std::string> sections = {"Header",        "Table 1", "table 1", "Table 2",
                                               "Table 1 Col 1", "",        "Table 3", "Missing"};
    const std::vector<std::string> keys = {"ReadStartLine",
                                           "ReadStartLineOffset",
                                           "ReadEndLine",
                                           "Parsing",
                                           "Empty",
                                           "Note;x",
                                           "Value",
                                           "WriteColumn",
                                           "Product",
                                           "FileType",
                                           "Tabbed",
                                           "x",
                                           "\tTabbed",
                                           "Read",
                                           ""};
    // Key by key, and many keys of one section found once.
    for (const std::string& section : sections) {
        const SectionLookup lookup(text, section);
        for (const std::string& key : keys) {
            for (const int32_t trim : {kTrimLeading, kTrimTrailing, kTrimBoth}) {
                const std::string onFile = GetIniValueEx(path, section, key, kMissing, trim);
                EXPECT_EQ(GetIniValueEx(text, section, key, kMissing, trim), onFile)
                    << "[" << section << "] " << key << " trim " << trim;
                EXPECT_EQ(lookup.Get(key, kMissing, trim), onFile)
                    << "[" << section << "] " << key << " trim " << trim;
            }
        }
    }
    // Sequential lookups go on from where the previous one stopped, in the
    // same place on both.
    TextReader file(path);
    SectionedCursor cursor(text);
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"Table 1", "ReadStartLine"}, {"", "ReadEndLine"}, {"", "Parsing"},
        {"", "WriteColumn"},          {"", "WriteColumn"}, {"Table 2", "ReadEndLine"},
        {"Table 2", "ReadEndLine"},   {"", "x"},           {"Table 1", "ReadEndLine"},
        {"Header", "Product"}};
    for (const auto& [section, key] : steps) {
        EXPECT_EQ(ReadIniValue(cursor, section, key, kMissing),
                  ReadIniValue(file, section, key, kMissing))
            << "[" << section << "] " << key;
        EXPECT_EQ(cursor.AtEnd(), file.AtEnd());
    }
    // The key-line search and the section counts.
    for (const KeyTexts& search : {KeyTexts{"[Title ", "[Table ", "[Consolidate ", "Col"},
                                   KeyTexts{"[Table ", {}, {}, "Col"}, KeyTexts{"Read", {}, {}, {}},
                                   KeyTexts{"", {}, {}, {}}}) {
        EXPECT_EQ(CountKeyLines(text, search), file_count_key_lines(path, search));
        // Each search from where the last stopped, as the run order is read.
        TextReader reader(path);
        SectionedCursor from(text);
        for (int64_t found = 1; found != 0;) {
            found = find_key_line(from, search);
            EXPECT_EQ(found, find_key_line(reader, search));
            EXPECT_EQ(from.AtEnd(), reader.AtEnd());
        }
    }
    RecordingObserver messages;
    EXPECT_FALSE(FileHeaderIsInvalid(messages, text, "vok", "export spec", "1.1"));
    EXPECT_TRUE(FileHeaderIsInvalid(messages, text, "VOK", "EXPORT SPEC", "1.0"));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Incorrect file format!"});
}

TEST(SectionedText, AFileThatCannotBeOpenedGivesWhatTheFileLookupGives) {
    TempDir dir;
    const SectionedText missing = SectionedText::FromFile(dir / "missing.t2x");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(GetIniValue(missing, "Header", "Product", "d"), "");
    EXPECT_EQ(SectionLookup(missing, "Header").Get("Product", "d"), "");
    SectionedCursor cursor(missing);
    EXPECT_EQ(ReadIniValue(cursor, "Header", "Product", "d"), "d");
    EXPECT_EQ(CountKeyLines(missing, {"[Table ", {}, {}, {}}), 0);
}

} // namespace
} // namespace vok
