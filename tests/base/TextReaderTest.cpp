// Reading text files line by line: line ends, buffer refills, encodings and
// files far longer than 32,767 lines.
#include "base/TextReader.h"

#include "base/TextAccess.h"
#include "base/modUtilityFile.h"
#include "support/KeyLineSearch.h"
#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vok {
namespace {

using test::FindKeyLineInFile;
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
    EXPECT_EQ(FindKeyLineInFile(path, {}), 0);
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
    // A line longer than the buffer (as long as a line may be), then more lines.
    const std::string longLine(kLongestLine, 'b');
    WriteFile(path, "x\n" + longLine + "\r\ny");
    EXPECT_EQ(ReadAll(path), (Lines{"x", longLine, "y"}));
    // A line that fills the grown buffer but for its CR LF.
    std::string many(kLongestLine - 1, 'c');
    many += "\r\nafter\r\n";
    WriteFile(path, "head\r\n" + many);
    const Lines lines = ReadAll(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "after");
}

// Lines end at kLongestLine bytes: one byte more ends the reading with the
// line's number, wherever the line lies and whatever ends it.
TEST(TextReaderTest, ALineLongerThanTheLimitEndsTheReadingWithItsNumber) {
    TempDir dir;
    const std::string path = dir.File("long.txt");
    const std::string atLimit(kLongestLine, 'a'), beyond(kLongestLine + 1, 'b');
    // At the limit, with a byte-order mark and CR LF around it: read.
    WriteFile(path, "\xEF\xBB\xBF" + atLimit + "\r\nnext");
    EXPECT_EQ(ReadAll(path), (Lines{atLimit, "next"}));
    for (const std::string_view ending : {"\r\n", "\r", "\n", ""}) {
        WriteFile(path, "one\ntwo\r\n" + beyond + std::string(ending) + "after\n");
        TextReader reader(path);
        EXPECT_EQ(reader.ReadLine(), "one");
        EXPECT_EQ(reader.ReadLine(), "two");
        std::string_view line;
        EXPECT_FALSE(reader.ReadLine(line)) << "ending [" << ending << "]";
        EXPECT_TRUE(reader.ReadFailed());
        EXPECT_EQ(reader.ReadError(), "line 3 is longer than 1 MiB (1,048,576 bytes)");
        // Nothing further is read, however often asked.
        EXPECT_FALSE(reader.ReadLine(line));
        EXPECT_TRUE(reader.AtEnd());
    }
    // A file without any line end, far beyond the limit; skipping finds it too.
    WriteFile(path, std::string(3 * kLongestLine, 'x'));
    TextReader reader(path);
    EXPECT_EQ(reader.SkipLines(10), 0);
    EXPECT_EQ(reader.ReadError(), "line 1 is longer than 1 MiB (1,048,576 bytes)");
    // From a place whose line number is known, the number counts on from it.
    WriteFile(path, "a\nb\n" + beyond);
    TextReader placed(path, TextEncoding::Utf8);
    placed.Seek(2, 2);
    EXPECT_EQ(placed.ReadLine(), "b");
    EXPECT_EQ(placed.ReadLine(), "");
    EXPECT_EQ(placed.ReadError(), "line 3 is longer than 1 MiB (1,048,576 bytes)");
}

// What is no regular file is refused at once: a named pipe without a writer
// would otherwise hold the reader for ever.
TEST(TextReaderTest, FoldersPipesAndDevicesAreNoTextSource) {
    TempDir dir;
    const std::string pipe = dir.File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const struct {
        std::string path, why;
    } cases[] = {{pipe, "it is a named pipe (FIFO), not a file"},
                 {"/dev/null", "it is a character device, not a file"},
                 {dir.Path().string(), "it is a folder, not a file"},
                 {dir.File("none.txt"), "No such file or directory"}};
    for (const auto& c : cases) {
        TextReader reader(c.path);
        EXPECT_FALSE(reader.IsOpen()) << c.path;
        EXPECT_EQ(reader.OpenError(), c.why);
        TextReader known(c.path, TextEncoding::Utf8);
        EXPECT_EQ(known.OpenError(), c.why);
    }
    EXPECT_EQ(NonFileKind(pipe), "a named pipe (FIFO)");
    EXPECT_EQ(NonFileKind("/dev/null"), "a character device");
    EXPECT_EQ(NonFileKind(dir.File("none.txt")), "");
}

// A file small enough for one read is read once to learn its encoding, and
// its lines are taken from that read: they, the mark, the line numbers and a
// rewind are those of a reader told the encoding, which reads from the start.
TEST(TextReaderTest, ASmallFileReadToLearnItsEncodingGivesTheLinesAReadFromTheStartGives) {
    TempDir dir;
    const std::string path = dir.File("small.txt");
    const std::string large = std::string(300000, 'x') + "\r\nlast";
    for (const std::string& text :
         {std::string(), std::string("a"), std::string("ab"), std::string("abc"),
          std::string("\xEF\xBB\xBF"), std::string("\xEF\xBB\xBFKey\r\nCaf\xC3\xA9"),
          std::string("one\r\ntwo\r\n"), std::string("\r\n\r\n"), large}) {
        WriteFile(path, text);
        TextReader learnt(path);
        TextReader told(path, TextEncoding::Utf8);
        ASSERT_EQ(learnt.Encoding(), TextEncoding::Utf8) << text.substr(0, 20);
        for (int pass = 0; pass < 2; ++pass) {
            std::string_view a, b;
            int64_t lines = 0;
            for (;;) {
                const bool gotA = learnt.ReadLine(a), gotB = told.ReadLine(b);
                ASSERT_EQ(gotA, gotB) << text.substr(0, 20) << " line " << lines;
                if (!gotA) break;
                ASSERT_EQ(a, b) << text.substr(0, 20) << " line " << lines;
                ++lines;
            }
            EXPECT_TRUE(learnt.AtEnd());
            EXPECT_EQ(learnt.HadByteOrderMark(), told.HadByteOrderMark()) << text.substr(0, 20);
            EXPECT_FALSE(learnt.ReadFailed());
            learnt.Rewind();
            told.Rewind();
        }
    }
    // A small file that is not UTF-8 is read again from its start, decoded.
    WriteFile(path, "Caf\xE9\r\n");
    TextReader learnt(path);
    EXPECT_EQ(learnt.Encoding(), TextEncoding::Windows1252);
    EXPECT_EQ(learnt.ReadLine(), "Caf\xC3\xA9");
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
    EXPECT_EQ(FindKeyLineInFile(path, {"Key", "", "", ""}, 1, 3), 1);
}

TEST(TextReaderTest, Utf8FileCountsCharacters) {
    TempDir dir;
    const std::string path = dir.File("utf8.txt");
    // "Café " is five characters (six bytes): "Total" starts in column 6.
    WriteFile(path, "Résumé\r\nCafé Total 12\r\n");
    EXPECT_EQ(FindKeyLineInFile(path, {"Total", "", "", ""}, 6, 5), 2);
    EXPECT_EQ(FindKeyLineInFile(path, {"Total", "", "", ""}, 7, 5), 0);
    EXPECT_EQ(FindKeyLineInFile(path, {"é", "", "", ""}, 6, 1), 1);
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
    EXPECT_EQ(FindKeyLineInFile(path, {"Total", "", "", ""}, 6, 5), 1);
}

TEST(TextReaderTest, LinesFarBeyondSixteenBitCountsAreFoundAndRead) {
    TempDir dir;
    const std::string path = dir.File("long.txt");
    std::string text;
    for (int i = 1; i <= 100000; ++i) {
        text += (i == 100000 ? "KEY line " : "line ") + std::to_string(i) + "\r\n";
    }
    WriteFile(path, text);
    EXPECT_EQ(FindKeyLineInFile(path, {"KEY", "", "", ""}), 100000);
    TextReader middle(path);
    EXPECT_EQ(middle.SkipLines(69999), 69999);
    EXPECT_EQ(middle.ReadLine(), "line 70000");
    EXPECT_EQ(middle.ReadLine(), "line 70001");
    TextReader reader(path);
    EXPECT_EQ(reader.SkipLines(99999), 99999);
    EXPECT_EQ(reader.ReadLine(), "KEY line 100000");
    EXPECT_TRUE(reader.AtEnd());
}

TEST(TextEncodingTest, Utf8IsValidatedAcrossSplitBytesAndCharactersAreCountedAndConverted) {
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
