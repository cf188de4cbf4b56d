// The comparison the checksum tests report through: an output changed on
// purpose must be named by its first differing line, whether that line is
// kept verbatim or only in the digests of its block.
#include "support/OutputExpectation.h"
#include "support/TestSupport.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vok::test {
namespace {

class OutputExpectation : public ::testing::Test {
protected:
    // 4,500 CSV lines, the first 100 kept verbatim.
    void SetUp() override {
        for (int i = 1; i <= 4500; ++i)
            lines_.push_back(fmt::format("{:05},\"Widgets, blue\",{}.{:02}\r\n", i, i * 7, i % 100));
        WriteFile(work_ / "out.csv", Joined());
        RecordExpectation(work_ / "out.csv", work_ / "out.csv.gz", 100);
    }
    std::string Joined() const {
        std::string all;
        for (const auto& line : lines_) all += line;
        return all;
    }
    std::string DifferenceNow() {
        WriteFile(work_ / "out.csv", Joined());
        return FirstDifference(work_ / "out.csv", work_ / "out.csv.gz");
    }

    TempDir work_;
    std::vector<std::string> lines_;
};

TEST_F(OutputExpectation, KeptLinesAreShownAsExpectedAndAsWrittenNow) {
    EXPECT_EQ(DifferenceNow(), "");
    lines_[41] = "00042,\"Widgets, blue\",294.42\n";
    EXPECT_EQ(DifferenceNow(), "out.csv departs from out.csv.gz: line 42 differs from byte 29\n"
                               "  expected: 00042,\"Widgets, blue\",294.42\\r\\n\n"
                               "  now:      00042,\"Widgets, blue\",294.42\\n\n");
    lines_.erase(lines_.begin() + 41);
    EXPECT_NE(DifferenceNow().find("line 42 differs from byte 5\n"
                                   "  expected: 00042,"),
              std::string::npos);
    lines_.resize(30);
    EXPECT_NE(DifferenceNow().find("the output ends after line 30; expected line 31: 00031,"),
              std::string::npos);
}

TEST_F(OutputExpectation, OneChangedLinePastTheKeptOnesIsLocatedInItsBlock) {
    lines_[2344] = "02345,\"Widgets; blue\",16415.45\r\n";
    EXPECT_EQ(DifferenceNow(),
              "out.csv departs from out.csv.gz: line 2345 differs, the only one in lines "
              "2001-3000 (only digests are kept past line 100; lines 2001-3000 were 1000 lines "
              "of 32000 bytes, now 1000 of 32000)\n"
              "  now: 02345,\"Widgets; blue\",16415.45\\r\\n\n");
    // The last block is shorter; its last line loses its line end.
    lines_[2344] = "02345,\"Widgets, blue\",16415.45\r\n";
    lines_.back().resize(lines_.back().size() - 2);
    EXPECT_NE(DifferenceNow().find("line 4500 differs, the only one in lines 4001-4500"),
              std::string::npos);
}

TEST_F(OutputExpectation, MissingOrExtraLinesPastTheKeptOnesNameTheirBlock) {
    lines_.erase(lines_.begin() + 3099);
    const std::string missing = DifferenceNow();
    EXPECT_NE(missing.find("more than one line differs in lines 3001-4000"), std::string::npos)
        << missing;
    EXPECT_NE(missing.find("  3001: 03001,"), std::string::npos) << missing;
    lines_.insert(lines_.begin() + 3099, "03100,\"Widgets, blue\",21700.00\r\n");
    lines_.push_back("04501,extra\r\n");
    EXPECT_EQ(DifferenceNow(), "out.csv departs from out.csv.gz: the output goes on past the "
                               "expected 4500 lines; line 4501: 04501,extra\\r\\n\n");
}

} // namespace
} // namespace vok::test
