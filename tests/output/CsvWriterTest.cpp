// The CSV output file: the report's encoding kept byte for byte, and an
// earlier file replaced only when the new one is complete.
#include "output/CsvWriter.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(CsvWriterTest, KeepsTheReportsEncoding) {
    TempDir dir;
    const std::filesystem::path csv = dir / "out.csv";
    std::string error;
    {
        CsvWriter writer(csv, TextEncoding::Windows1252);
        ASSERT_TRUE(writer.Open(error));
        writer.WriteLine("Café,€ 5");
        writer.WriteLine("plain");
        EXPECT_TRUE(writer.Close(error)) << error;
    }
    EXPECT_EQ(ReadFile(csv), "Caf\xE9,\x80 5\r\nplain\r\n");
    {
        CsvWriter writer(csv, TextEncoding::Utf8);
        ASSERT_TRUE(writer.Open(error));
        writer.WriteLine("Café");
        EXPECT_TRUE(writer.Close(error));
    }
    EXPECT_EQ(ReadFile(csv), "Café\r\n");
}

// The lines waiting for the file are kept in a block that grows with the
// output: lines of every length, short ones and ones longer than any block,
// reach the file whole and in order as the block grows and is written.
TEST(CsvWriterTest, LinesOfEveryLengthReachTheFileWholeAndInOrder) {
    TempDir dir;
    const std::filesystem::path csv = dir / "out.csv";
    std::string error, expected;
    {
        CsvWriter writer(csv);
        ASSERT_TRUE(writer.Open(error));
        for (const size_t length : {size_t{10}, size_t{16000}, size_t{300}, size_t{40000},
                                    size_t{600000}, size_t{5}, size_t{270000}, size_t{0}}) {
            for (int repeat = 0; repeat < 3; ++repeat) {
                const std::string line(length, static_cast<char>('a' + (expected.size() % 26)));
                writer.WriteLine(line);
                expected += line + "\r\n";
            }
        }
        for (int i = 0; i < 20000; ++i) {
            const std::string line = "row " + std::to_string(i);
            writer.WriteLine(line);
            expected += line + "\r\n";
        }
        ASSERT_TRUE(writer.Close(error)) << error;
    }
    EXPECT_TRUE(ReadFile(csv) == expected);
}

TEST(CsvWriterTest, EarlierFileStaysUntilTheNewOneIsComplete) {
    TempDir dir;
    const std::filesystem::path csv = dir / "out.csv";
    WriteFile(csv, "earlier\r\n");
    std::string error;
    {
        CsvWriter writer(csv);
        ASSERT_TRUE(writer.Open(error));
        writer.WriteLine("new");
        // Nothing replaces the earlier file before Close.
        EXPECT_EQ(ReadFile(csv), "earlier\r\n");
        writer.Discard();
    }
    EXPECT_EQ(ReadFile(csv), "earlier\r\n");
    {
        // A writer that is dropped without Close leaves the earlier file too.
        CsvWriter writer(csv);
        ASSERT_TRUE(writer.Open(error));
        writer.WriteLine("new");
    }
    EXPECT_EQ(ReadFile(csv), "earlier\r\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(CsvWriterTest, ReportsAFileItCannotCreate) {
    TempDir dir;
    CsvWriter writer(dir / "no/such/folder/out.csv");
    std::string error;
    EXPECT_FALSE(writer.Open(error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(writer.Close(error));
}

} // namespace
} // namespace vok
