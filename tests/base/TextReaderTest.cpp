// Reading text files line by line: line ends, buffer refills, encodings and
// files far longer than 32,767 lines.
#include "base/TextReader.h"

#include "base/TextAccess.h"
#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// The reader's buffer size: a line that crosses it exercises the refill.
constexpr size_t kReaderBuffer = 1 << 20;

std::vector<std::string> ReadAll(const std::string& path) {
    TextReader reader(path);
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.ReadLine(line))
        lines.emplace_back(line);
    return lines;
}

using Lines = std::vector<std::string>;

TEST(TextReaderTest, EveryKindOfLineEndEndsALine) {
    TempDir dir;
    const std::string path = dir.File("a.txt");
    WriteFile(path, "crlf\r\ncr\rlf\n\r\nafter empty\n\nlast");
    EXPECT_EQ(ReadAll(path), (Lines{"crlf", "cr", "lf", "", "after empty", "", "last"}));
    // LF CR is two line ends, not one.
    WriteFile(path, "a\n\rb");
    EXPECT_EQ(ReadAll(path), (Lines{"a", "", "b"}));
    // A terminator at the very end adds no line; a lone CR at the end neither.
    WriteFile(path, "a\r\nb\r");
    EXPECT_EQ(ReadAll(path), (Lines{"a", "b"}));
    WriteFile(path, "\r\n");
    EXPECT_EQ(ReadAll(path), (Lines{""}));
}

TEST(TextReaderTest, EmptyFileHasNoLines) {
    TempDir dir;
    const std::string path = dir.File("empty.txt");
    WriteFile(path, "");
    TextReader reader(path);
    EXPECT_TRUE(reader.IsOpen());
    EXPECT_TRUE(reader.AtEnd());
    std::string_view line = "stale";
    EXPECT_FALSE(reader.ReadLine(line));
    EXPECT_TRUE(line.empty());
    EXPECT_EQ(file_find_key_line(path, {}), 0);
    // A file holding nothing but a byte-order mark is empty too.
    WriteFile(path, "\xEF\xBB\xBF");
    EXPECT_TRUE(ReadAll(path).empty());
}

TEST(TextReaderTest, LineEndsAcrossTheBufferBoundary) {
    TempDir dir;
    const std::string path = dir.File("big.txt");
    const std::string first(kReaderBuffer - 1, 'a');
    // CR is the last byte of the first block, its LF the first of the next.
    WriteFile(path, first + "\r\nnext\r\nend");
    EXPECT_EQ(ReadAll(path), (Lines{first, "next", "end"}));
    // A lone CR in the same place still ends one line only.
    WriteFile(path, first + "\rnext");
    EXPECT_EQ(ReadAll(path), (Lines{first, "next"}));
    // A CR as the very last byte of a file exactly one block long.
    WriteFile(path, first + "\r");
    EXPECT_EQ(ReadAll(path), (Lines{first}));
    // A line longer than the buffer, then more lines.
    const std::string longLine(kReaderBuffer * 2 + 17, 'b');
    WriteFile(path, "x\n" + longLine + "\r\ny");
    EXPECT_EQ(ReadAll(path), (Lines{"x", longLine, "y"}));
    // After "head" the grown buffer holds 2 MiB from the line's start: its CR is
    // the last byte held and the LF comes with the next refill.
    std::string many(kReaderBuffer * 2 - 1, 'c');
    many += "\r\nafter\r\n";
    WriteFile(path, "head\r\n" + many);
    const Lines lines = ReadAll(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "after");
}

TEST(TextReaderTest, ByteOrderMarkIsNotPartOfTheFirstLine) {
    TempDir dir;
    const std::string path = dir.File("bom.txt");
    WriteFile(path, "\xEF\xBB\xBFKey line\r\nCafé\r\n");
    TextReader reader(path);
    EXPECT_EQ(reader.Encoding(), TextEncoding::Utf8);
    EXPECT_EQ(reader.ReadLine(), "Key line");
    EXPECT_EQ(reader.ReadLine(), "Café");
    // After a rewind the mark is skipped again.
    reader.Rewind();
    EXPECT_EQ(reader.ReadLine(), "Key line");
    EXPECT_EQ(file_find_key_line(path, {"Key", "", "", ""}, 1, 3), 1);
}

TEST(TextReaderTest, Utf8FileCountsCharacters) {
    TempDir dir;
    const std::string path = dir.File("utf8.txt");
    // "Café " is five characters (six bytes): "Total" starts in column 6.
    WriteFile(path, "Résumé\r\nCafé Total 12\r\n");
    EXPECT_EQ(file_find_key_line(path, {"Total", "", "", ""}, 6, 5), 2);
    EXPECT_EQ(file_find_key_line(path, {"Total", "", "", ""}, 7, 5), 0);
    EXPECT_EQ(file_find_key_line(path, {"é", "", "", ""}, 6, 1), 1);
}

TEST(TextReaderTest, Windows1252FileDecodesAndCsvWritesTheBytesBack) {
    TempDir dir;
    const std::string path = dir.File("cp1252.txt");
    // 0xE9 is "é", 0x80 "€"; neither is valid UTF-8 here, so the file is Windows-1252.
    WriteFile(path, "Caf\xE9 Total\r\n\x80 5\r\n");
    TextReader reader(path);
    EXPECT_EQ(reader.Encoding(), TextEncoding::Windows1252);
    EXPECT_EQ(reader.ReadLine(), "Café Total");
    EXPECT_EQ(reader.ReadLine(), "€ 5");
    // Columns count characters here too.
    EXPECT_EQ(file_find_key_line(path, {"Total", "", "", ""}, 6, 5), 1);
}

TEST(TextReaderTest, LinesFarBeyondSixteenBitCounts) {
    TempDir dir;
    const std::string path = dir.File("long.txt");
    std::string text;
    for (int i = 1; i <= 100000; ++i) {
        text += (i == 100000 ? "KEY line " : "line ") + std::to_string(i) + "\r\n";
    }
    WriteFile(path, text);
    EXPECT_EQ(file_find_key_line(path, {"KEY", "", "", ""}), 100000);
    RecordingObserver messages;
    std::vector<std::string> lines;
    EXPECT_EQ(file_read(messages, lines, path, 70000, 2), 2);
    EXPECT_EQ(lines[0], "line 70000");
    EXPECT_EQ(lines[1], "line 70001");
    TextReader reader(path);
    EXPECT_EQ(reader.SkipLines(99999), 99999);
    EXPECT_EQ(reader.ReadLine(), "KEY line 100000");
    EXPECT_TRUE(reader.AtEnd());
}

TEST(TextEncodingTest, ValidatorAndCharacterHelpers) {
    auto valid = [](std::string_view bytes) {
        Utf8Validator v;
        // Fed one byte at a time: a sequence may be split between blocks.
        for (const char c : bytes)
            v.Feed(&c, 1);
        return v.Finish();
    };
    EXPECT_TRUE(valid("plain"));
    EXPECT_TRUE(valid("Café €"));
    EXPECT_FALSE(valid("Caf\xE9"));
    EXPECT_FALSE(valid("\xC3"));         // cut short
    EXPECT_FALSE(valid("\xC0\xAF"));     // overlong
    EXPECT_FALSE(valid("\xED\xA0\x80")); // surrogate
    EXPECT_EQ(CharCount("Café"), 4u);
    EXPECT_EQ(CharSubstr("aéb€c", 1, 3), "éb€");
    EXPECT_EQ(CharSubstr("abc", 5, 2), "");
    std::string back;
    EXPECT_TRUE(AppendUtf8AsWindows1252(back, "€Ÿÿ"));
    EXPECT_EQ(back, "\x80\x9F\xFF");
    back.clear();
    EXPECT_FALSE(AppendUtf8AsWindows1252(back, "a→b"));
    EXPECT_EQ(back, "a?b");
}

} // namespace
} // namespace vok
