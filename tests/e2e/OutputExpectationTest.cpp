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
              "out.csv departs from out.csv.gz: line 2345 differs (the only change in lines "
              "2001-3000; only digests are kept past line 100, and those lines were 1000 lines "
              "of 32000 bytes, now 1000 of 32000)\n"
              "  now: 02345,\"Widgets; blue\",16415.45\\r\\n\n");
    // The last block is shorter; its last line loses its line end.
    lines_[2344] = "02345,\"Widgets, blue\",16415.45\r\n";
    lines_.back().resize(lines_.back().size() - 2);
    EXPECT_NE(DifferenceNow().find("line 4500 differs (the only change in lines 4001-4500"),
              std::string::npos);
    // Two changed lines are not located, only their block.
    lines_.back() += "\r\n";
    lines_[4199] = lines_[4200] = "x\r\n";
    EXPECT_NE(DifferenceNow().find("more than one line differs in lines 4001-4500"),
              std::string::npos);
}

TEST_F(OutputExpectation, AMissingOrAddedLinePastTheKeptOnesIsLocatedInItsBlock) {
    const std::vector<std::string> all = lines_;
    lines_.erase(lines_.begin() + 3099);
    EXPECT_EQ(DifferenceNow(),
              "out.csv departs from out.csv.gz: line 3100 is missing (the only change in lines "
              "3001-4000; only digests are kept past line 100, and those lines were 1000 lines "
              "of 32000 bytes, now 1000 of 32000)\n"
              "  now in its place: 03101,\"Widgets, blue\",21707.01\\r\\n\n"
              "(the output has 4499 lines, 142383 bytes; expected 4500 lines, 142415 bytes)\n");
    lines_ = all;
    lines_.insert(lines_.begin() + 1233, "01234,\"Widgets, blue\",8638.34\r\n");
    EXPECT_NE(DifferenceNow().find("line 1234 was added (the only change in lines 1001-2000"),
              std::string::npos);
    lines_ = all;
    lines_.pop_back();
    EXPECT_NE(DifferenceNow().find("line 4500 is missing"), std::string::npos);
    lines_ = all;
    lines_.push_back("04501,extra\r\n");
    EXPECT_EQ(DifferenceNow(), "out.csv departs from out.csv.gz: the output goes on past the "
                               "expected 4500 lines; line 4501: 04501,extra\\r\\n\n");
}

} // namespace
} // namespace vok::test
