// The one-read index of a report must answer exactly what the line-by-line
// key-line search answers: each case is checked against that search on the
// same file, with few keys (searched one by one) and with many (searched at
// once), including reports of several blocks.
#include "base/TextIndex.h"

#include "base/TextAccess.h"
#include "base/TextReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <random>
#include <string_view>
#include <vector>

namespace vok {
namespace {

using test::TempDir;
using test::WriteFile;

// The plain search: the first line after `after` holding the key.
int64_t Sequential(const std::filesystem::path& path, std::string_view key, int64_t after) {
    TextReader reader(path);
    if (reader.SkipLines(after) < after) return 0;
    const int64_t found = find_key_line(reader, KeyTexts{key, {}, {}, {}});
    return found == 0 ? 0 : after + found;
}

// Every key's first line, and its next line after a few places, as the
// sequential search gives them; `announce` decides how many keys the scan
// searches at once.
void ExpectSameAnswers(const std::filesystem::path& path, const std::vector<std::string>& keys,
                       bool announce) {
    TextIndex index(path);
    if (announce) {
        for (const std::string& key : keys)
            index.Expect(key);
    }
    for (const std::string& key : keys) {
        EXPECT_EQ(index.FirstLine(key), Sequential(path, key, 0)) << "key [" << key << "]";
        for (const int64_t after : {1, 2, 3, 5, 8})
            EXPECT_EQ(index.NextLine(key, after), Sequential(path, key, after))
                << "key [" << key << "] after " << after;
    }
}

std::vector<std::string> Many(std::vector<std::string> keys) {
    // Enough further keys to take the many-keys path.
    for (int i = 0; i < 8; ++i)
        keys.push_back("absent key " + std::to_string(i));
    return keys;
}

TEST(TextIndex, AnswersAsTheSearchDoesOnLineEndsMarksAndEncodings) {
    TempDir dir;
    struct Case {
        std::string name;
        std::string bytes;
        std::vector<std::string> keys;
    };
    const std::vector<Case> cases = {
        // The key on the last line, which has no line end.
        {"last", "a\r\nb\r\nTOTAL", {"TOTAL", "b", "a", "TOT", "x"}},
        // CR only, LF only and CR LF mixed; an empty line between.
        {"ends", "one\rtwo\nthree\r\n\rfour\n\nKEY five\r", {"KEY", "two", "four", "o"}},
        // Keys that are parts of other keys; the key only after the start line.
        {"parts",
         "PAGE 10\r\nPAGE 1\r\nTOTAL FOR PAGE 1\r\nPAGE 100\r\nTOTAL FOR PAGE 10\r\n",
         {"PAGE 1", "PAGE 10", "PAGE 100", "TOTAL FOR PAGE 1", "TOTAL FOR PAGE 10", "PAGE 1000"}},
        // A byte-order mark is no part of the first line.
        {"bom",
         "\xEF\xBB\xBFHEAD\r\nbody \xC3\xA9t\xC3\xA9\r\nHEAD again\r\n",
         {"HEAD", "\xC3\xA9t\xC3\xA9", "\xEF\xBB\xBFHEAD", "body"}},
        // Windows-1252: a key with an accented letter matches its one byte;
        // a key Windows-1252 cannot hold matches nothing.
        {"latin",
         "caf\xE9\r\n\x80 12\r\nna\xEFve caf\xE9\r\n",
         {"caf\xC3\xA9", "\xE2\x82\xAC 12", "na\xC3\xAFve", "\xC4\x80", "caf"}},
        // Tabs are searched as they stand; blanks inside a key count.
        {"tabs", "A\tB\r\nA B\r\n\tTOTAL\t\r\n", {"A\tB", "A B", "\tTOTAL", "TOTAL\t"}},
        // Case counts.
        {"case", "total\r\nTotal\r\nTOTAL\r\n", {"TOTAL", "Total", "total", "tOTAL"}},
        // Empty keys: the first non-empty line.
        {"empty", "\r\n\r\nx\r\n\r\ny\r\n", {"", "y"}},
        {"blank", "\r\n\r\n", {"", "x"}},
        {"nothing", "", {"", "x"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path path = dir / (c.name + ".txt");
        WriteFile(path, c.bytes);
        ExpectSameAnswers(path, c.keys, false);
        ExpectSameAnswers(path, c.keys, true);
        ExpectSameAnswers(path, Many(c.keys), true);
    }
    // A missing file holds no key.
    TextIndex missing(dir / "missing.txt");
    EXPECT_FALSE(missing.Exists());
    EXPECT_EQ(missing.FirstLine("x"), 0);
    EXPECT_EQ(missing.FirstLine(""), 0);
    EXPECT_FALSE(missing.HasTabs());
}

TEST(TextIndex, TheIndexTellsEncodingTabsAndLinesAsTheReaderSeesThem) {
    TempDir dir;
    const struct {
        std::string bytes;
        TextEncoding encoding;
        bool tabs;
        int64_t lines;
    } cases[] = {
        {"", TextEncoding::Utf8, false, 0},
        {"\xEF\xBB\xBF", TextEncoding::Utf8, false, 0},
        {"\xEF\xBB\xBF\r\n", TextEncoding::Utf8, false, 1},
        {"a\r\nb", TextEncoding::Utf8, false, 2},
        {"a\r\n\r\n", TextEncoding::Utf8, false, 2},
        {"a\r\r\n\n", TextEncoding::Utf8, false, 3},
        {"x\ty\r", TextEncoding::Utf8, true, 1},
        {"caf\xC3\xA9\n", TextEncoding::Utf8, false, 1},
        {"caf\xE9\n", TextEncoding::Windows1252, false, 1},
        {"\xEF\xBB\xBF"
         "caf\xE9",
         TextEncoding::Windows1252, false, 1},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::filesystem::path path = dir / ("f" + std::to_string(++n));
        WriteFile(path, c.bytes);
        TextIndex index(path);
        TextReader reader(path);
        EXPECT_EQ(index.Encoding(), reader.Encoding()) << n;
        EXPECT_EQ(index.Encoding(), c.encoding) << n;
        EXPECT_EQ(index.HasTabs(), c.tabs) << n;
        EXPECT_EQ(index.LineCount(), c.lines) << n;
        EXPECT_EQ(index.LineCount(), reader.SkipLines(INT64_MAX)) << n;
    }
}

// Lines of several megabytes' worth of blocks, with CR LF pairs that a block
// boundary may split: the keys' lines, the line count and reading from any
// line agree with reading the file from its start.
// Keys over three letters, most of them parts and ends of others (a key
// ending inside a longer one, a longer one ending a shorter, several keys
// alike), on lines drawn from the same letters: the keys searched at once
// answer as each searched alone.
TEST(TextIndex, KeysInsideOtherKeysAnswerAsEachSearchedAlone) {
    TempDir dir;
    std::mt19937 random(20261210);
    const auto draw = [&](size_t shortest, size_t longest) {
        std::string text(std::uniform_int_distribution<size_t>(shortest, longest)(random), 'a');
        for (char& c : text)
            c = static_cast<char>('a' + std::uniform_int_distribution<int>(0, 2)(random));
        return text;
    };
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::string bytes;
        for (int line = 0; line < 300; ++line)
            bytes += draw(0, 9) + "\r\n";
        const std::filesystem::path path = dir / ("letters" + std::to_string(round) + ".txt");
        WriteFile(path, bytes);
        std::vector<std::string> keys;
        for (int k = 0; k < 30; ++k)
            keys.push_back(draw(1, 6));
        keys.push_back(keys.front());
        ExpectSameAnswers(path, keys, true);
    }
}

TEST(TextIndex, AReportLargerThanOneBlockIsIndexedAcrossBlocks) {
    TempDir dir;
    const std::filesystem::path path = dir / "large.txt";
    std::string bytes;
    const int kLines = 60000;
    for (int i = 1; i <= kLines; ++i) {
        bytes += "line " + std::to_string(i) + std::string(static_cast<size_t>(i % 61), '.');
        bytes += i % 7 == 0 ? "\r" : i % 5 == 0 ? "\n" : "\r\n";
    }
    bytes += "END OF REPORT";
    WriteFile(path, bytes);
    const std::vector<std::string> keys = {"line 1.",     "line 59999.", "END OF REPORT",
                                           "line 30000.", "line 4",      "nowhere"};
    ExpectSameAnswers(path, keys, true);
    ExpectSameAnswers(path, Many(keys), true);

    TextIndex index(path);
    index.Expect("line 30000.");
    EXPECT_EQ(index.LineCount(), kLines + 1);
    TextReader whole(path);
    std::vector<std::string> lines;
    std::string_view line;
    while (whole.ReadLine(line))
        lines.emplace_back(line);
    ASSERT_EQ(static_cast<int64_t>(lines.size()), kLines + 1);
    for (const int64_t at : {1, 2, 1024, 1025, 2049, 30000, 30001, 59999, 60001}) {
        TextReader reader;
        ASSERT_TRUE(index.OpenAt(at, reader, at + 3)) << at;
        for (int64_t k = at; k <= std::min<int64_t>(at + 3, kLines + 1); ++k) {
            ASSERT_TRUE(reader.ReadLine(line)) << k;
            EXPECT_EQ(line, lines[static_cast<size_t>(k - 1)]) << k;
        }
    }
    // Just past the last line: positioned at the end, as after reading every line.
    TextReader reader;
    ASSERT_TRUE(index.OpenAt(kLines + 2, reader));
    EXPECT_FALSE(reader.ReadLine(line));
    EXPECT_FALSE(index.OpenAt(kLines + 3, reader));
    EXPECT_FALSE(index.OpenAt(0, reader));
}

// The scan stops at a line longer than kLongestLine and names it, as the
// reader does; a line at the limit, even after a grown block, is a line.
TEST(TextIndex, ALineTooLongEndsTheScanWithItsNumber) {
    TempDir dir;
    const std::filesystem::path path = dir / "long.txt";
    const std::string atLimit(kLongestLine, 'a'), beyond(kLongestLine + 1, 'b');
    const struct {
        std::string bytes;
        int64_t tooLong; // 0: none
    } cases[] = {
        {"head\r\n" + atLimit + "\r\nKEY\r\n", 0},
        {"\xEF\xBB\xBF" + atLimit + "\r", 0},
        {"head\r\n" + beyond + "\r\nKEY\r\n", 2},
        // After a grown block, a line too long held whole by it.
        {atLimit + "\n" + beyond + "\nKEY\n", 2},
        {atLimit + "\n" + std::string(200, 'c') + "\n" + beyond, 3},
        {std::string(3 * kLongestLine, 'x'), 1},
    };
    for (const auto& c : cases) {
        WriteFile(path, c.bytes);
        TextIndex index(path);
        index.Expect("KEY");
        EXPECT_EQ(index.ReadFailed(), c.tooLong > 0) << c.tooLong;
        if (c.tooLong > 0) {
            EXPECT_EQ(index.ReadError(), "line " + std::to_string(c.tooLong) +
                                             " is longer than 1 MiB (1,048,576 bytes)");
        } else {
            EXPECT_EQ(index.LineCount(), TextReader(path).SkipLines(INT64_MAX));
        }
    }
}

// A report of good UTF-8 but for one line reads as Windows-1252; the index
// names that line, and nothing for a report that is Windows-1252 throughout.
TEST(TextIndex, NamesTheLineThatMakesAReportWindows1252) {
    TempDir dir;
    const std::filesystem::path path = dir / "r.txt";
    const std::string filler = std::string(300000, '.') + "\n";
    const struct {
        std::string bytes;
        int64_t line;
    } cases[] = {
        {"caf\xC3\xA9\nbad \xE9 byte\nmore\n", 2},
        {"bad \xE9\ncaf\xC3\xA9\n", 1},
        // Good characters only in a later block; a sequence cut by a line end.
        {"a\r\nb \xC3\r\n" + filler + filler + "caf\xC3\xA9\n", 2},
        // The last line ends in the middle of a character.
        {"caf\xC3\xA9\nend \xC3", 2},
        {"caf\xE9\nna\xEFve\n", 0},
        {"caf\xC3\xA9\n", 0},
        {"plain\n", 0},
    };
    for (const auto& c : cases) {
        WriteFile(path, c.bytes);
        TextIndex index(path);
        EXPECT_EQ(index.MixedEncodingLine(), c.line) << c.bytes.substr(0, 20);
    }
}

// A key announced after the scan, or asked for without being announced, is
// still found: the file is read again for it.
// Thousands of keys, as a marked-up report announces them: room made for
// some at once, the others one by one past it, each key announced twice, and
// keys asked for that were never announced; every key keeps its own answer.
TEST(TextIndex, ThousandsOfKeysKeepTheirAnswers) {
    TempDir dir;
    const std::filesystem::path path = dir / "marked.txt";
    std::string bytes;
    const int kTables = 3000;
    for (int t = 1; t <= kTables; ++t)
        bytes += ">>" + std::to_string(t) + "\nrow\n<<" + std::to_string(t) + "\n";
    WriteFile(path, bytes);
    TextIndex index(path);
    index.ExpectMany(1000);
    for (int round = 0; round < 2; ++round) {
        for (int t = 1; t <= kTables; ++t) {
            index.Expect(">>" + std::to_string(t));
            index.Expect("<<" + std::to_string(t));
        }
    }
    for (int t = 1; t <= kTables; ++t) {
        ASSERT_EQ(index.FirstLine(">>" + std::to_string(t)), 3 * t - 2) << t;
        ASSERT_EQ(index.FirstLine("<<" + std::to_string(t)), 3 * t) << t;
    }
    EXPECT_EQ(index.FirstLine("row"), 2);
    EXPECT_EQ(index.FirstLine(">>" + std::to_string(kTables + 1)), 0);
}

TEST(TextIndex, KeysNotAnnouncedAreFoundByAnotherRead) {
    TempDir dir;
    const std::filesystem::path path = dir / "r.txt";
    WriteFile(path, "HEAD\r\nrow\r\nTOTAL\r\n");
    TextIndex index(path);
    index.Expect("HEAD");
    EXPECT_EQ(index.FirstLine("HEAD"), 1);
    EXPECT_EQ(index.FirstLine("TOTAL"), 3);
    index.Expect("row");
    EXPECT_EQ(index.FirstLine("row"), 2);
}

TEST(TextIndex, TheCacheRemakesTheIndexOfAChangedFile) {
    TempDir dir;
    const std::filesystem::path path = dir / "r.txt";
    WriteFile(path, "HEAD\r\n");
    TextIndexCache cache;
    EXPECT_EQ(cache.For(path).FirstLine("TOTAL"), 0);
    EXPECT_EQ(&cache.For(path), &cache.For(path));
    WriteFile(path, "HEAD\r\nTOTAL\r\n");
    EXPECT_EQ(cache.For(path).FirstLine("TOTAL"), 2);
}

// A pass that read every line tells the index what it found: later look-ups
// read from the known lines, and a key it did not name is searched for.
TEST(TextIndex, WhatAPassFoundServesAsAScanWould) {
    TempDir dir;
    const std::filesystem::path path = dir / "r.txt";
    WriteFile(path, "\xEF\xBB\xBFHEAD\r\none\r\nSTART\r\ntwo\r\nEND\r\nlast");
    // The offsets of the lines as a reader meets them.
    TextReader reader(path, TextEncoding::Utf8);
    std::vector<int64_t> offsets;
    std::string_view line;
    for (int64_t at = reader.NextLineOffset(); reader.ReadRawLine(line); at = reader.NextLineOffset())
        offsets.push_back(at);
    ASSERT_EQ(offsets.size(), 6u);
    EXPECT_EQ(offsets[0], 0); // before the first read: the mark is passed over with it
    EXPECT_EQ(offsets[2], 14);
    TextIndex index(path);
    index.Expect("row");
    EXPECT_FALSE(index.Scanned());
    index.KnowPlainText(6, {{"START", 3, offsets[2]}, {"END", 5, offsets[4]}});
    EXPECT_TRUE(index.Scanned());
    EXPECT_EQ(index.LineCount(), 6);
    EXPECT_FALSE(index.HasTabs());
    EXPECT_EQ(index.FirstLine("END"), 5);
    EXPECT_EQ(index.NextLine("START", 3), 0);
    EXPECT_EQ(index.FirstLine("two"), 4);
    EXPECT_EQ(index.FirstLine("row"), 0);
    TextReader at;
    ASSERT_TRUE(index.OpenAt(5, at));
    EXPECT_EQ(at.ReadLine(), "END");
    EXPECT_EQ(at.ReadLine(), "last");
}

} // namespace
} // namespace vok
