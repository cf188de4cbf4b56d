// The progress line's text: what it says at each stage of a file, and that
// it never runs past the terminal's width nor lets a file name steer it.
#include "cli/TerminalProgress.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

TEST(TerminalProgressTest, TheLineSaysWhereTheJobIs) {
    TerminalProgress::State state;
    state.fileIndex = 2;
    state.fileCount = 5;
    state.fileName = "ledger.txt";
    state.fileMilliseconds = 2000;
    EXPECT_EQ(TerminalProgress::Compose(state, 200), "file 2 of 5 ledger.txt  reading the report");

    // Table 3 starts at line 1,001 of 10,000 lines; 2,000 rows were written
    // by the tables before it and 1,000 are begun in it.
    state.table = 3;
    state.firstLine = 1001;
    state.reportLines = 10000;
    state.rows = 2000;
    state.tableRows = 1000;
    // Line 2,000 of 10,000 read: 20% after 2 s leaves 8 s.
    EXPECT_EQ(TerminalProgress::Compose(state, 200),
              "file 2 of 5 ledger.txt  Table 3  3,000 rows  20%  1500 rows/s  0:08 left");
    state.rows = 2'498'000;
    state.tableRows = 8900;
    state.fileMilliseconds = 3'723'000;
    EXPECT_EQ(TerminalProgress::Compose(state, 200),
              "file 2 of 5 ledger.txt  Table 3  2,506,900 rows  99%  673 rows/s  0:37 left");
    state.tableRows = 4000; // line 5,000: half the report in 2:02:03
    state.fileMilliseconds = 7'323'000;
    EXPECT_EQ(TerminalProgress::Compose(state, 200),
              "file 2 of 5 ledger.txt  Table 3  2,502,000 rows  50%  341 rows/s  2:02:03 left");
    state.fileMilliseconds = 1000;
    state.tableRows = 1;
    state.firstLine = 3;
    EXPECT_EQ(TerminalProgress::Compose(state, 200),
              "file 2 of 5 ledger.txt  Table 3  2,498,001 rows  0%  2.5M rows/s");
}

TEST(TerminalProgressTest, TheLineFitsTheTerminal) {
    TerminalProgress::State state;
    state.fileIndex = 1;
    state.fileCount = 1;
    // Three characters of two bytes each: cut between characters, never inside one.
    state.fileName = "\xc3\xa9\xc3\xa9\xc3\xa9.txt";
    EXPECT_EQ(TerminalProgress::Compose(state, 14), "file 1 of 1 \xc3\xa9\xc3\xa9");
    EXPECT_EQ(TerminalProgress::Compose(state, 5), "file ");
}

TEST(TerminalProgressTest, AFileNameCannotSteerTheTerminal) {
    TerminalProgress progress(-1); // draws nowhere
    TerminalProgress::State state;
    state.fileName = "a\x1b[2Jb\nc.txt";
    // What FileStarted keeps of a name: control characters shown as "?".
    progress.FileStarted(1, 1, "/in/a\x1b[2Jb\nc.txt");
    EXPECT_EQ(TerminalProgress::Compose(progress.Current(), 80),
              "file 1 of 1 a?[2Jb?c.txt  reading the report");
}

} // namespace
} // namespace vok
