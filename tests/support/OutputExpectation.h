// What a trusted build wrote, kept small enough for the repository, and where
// a new output first departs from it. An expectation (a gzip file) keeps the
// output's first lines verbatim and, for each block of 1,000 lines, the
// block's size and three sums of its line digests h (CRC-32 and Adler-32 of
// the line): Σh, Σk·h and Σk²·h modulo 2^61−1, k the line's place in the
// block. Past the verbatim lines, a block's only changed, lost or added line
// is located from those sums (three equations, one unknown line), and a block
// where more changed is named by its line range.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vok::test {

// Writes the expectation of `output` to `expected`, keeping its first
// `keptLines` lines verbatim.
void RecordExpectation(const std::filesystem::path& output, const std::filesystem::path& expected,
                       int64_t keptLines);

// Where `output` first departs from the expectation, in words (the line, what
// was expected there and what is there now); empty when it matches.
std::string FirstDifference(const std::filesystem::path& output,
                            const std::filesystem::path& expected);

// FirstDifference, or, when VOK_RECORD_EXPECTED is set, RecordExpectation and
// nothing compared (scripts/record-expected-outputs.sh).
std::string CheckAgainstExpectation(const std::filesystem::path& output,
                                    const std::filesystem::path& expected, int64_t keptLines);

} // namespace vok::test
