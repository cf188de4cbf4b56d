#include "support/OutputExpectation.h"

#include <algorithm>
#include <cstdlib>
#include <fmt/format.h>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>
#include <zlib.h>

namespace vok::test {
namespace {

constexpr int64_t kBlockLines = 1000;
constexpr uint64_t kPrime = (1ULL << 61) - 1;
constexpr std::string_view kMagic = "vok expected output\n";

uint64_t MulMod(uint64_t a, uint64_t b) {
    return static_cast<uint64_t>(static_cast<unsigned __int128>(a) * b % kPrime);
}

uint64_t PowMod(uint64_t base, uint64_t exponent) {
    uint64_t result = 1;
    for (; exponent; exponent >>= 1, base = MulMod(base, base))
        if (exponent & 1) result = MulMod(result, base);
    return result;
}

uint64_t LineDigest(std::string_view line) {
    const auto* bytes = reinterpret_cast<const Bytef*>(line.data());
    const auto size = static_cast<uInt>(line.size());
    return (crc32(0, bytes, size) << 32 | adler32(1, bytes, size)) % kPrime;
}

// A block's line count, size and digest sums.
struct BlockSums {
    int64_t lines = 0;
    uint64_t bytes = 0, s0 = 0, s1 = 0, s2 = 0;

    void Add(std::string_view line) {
        const uint64_t h = LineDigest(line);
        const auto k = static_cast<uint64_t>(++lines);
        bytes += line.size();
        s0 = (s0 + h) % kPrime;
        s1 = (s1 + MulMod(k, h)) % kPrime;
        s2 = (s2 + MulMod(k * k, h)) % kPrime;
    }
    bool operator==(const BlockSums&) const = default;
};

// Reads lines, each with its line end, from a plain or gzip file.
class LineReader {
public:
    explicit LineReader(const std::filesystem::path& path) : file_(gzopen(path.c_str(), "rb")) {
        if (!file_) throw std::runtime_error("cannot open " + path.string());
    }
    ~LineReader() { gzclose(file_); }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line, valid until the next call; nothing at the end.
    std::optional<std::string_view> Next() {
        for (;;) {
            const size_t end = buffer_.find('\n', start_);
            if (end != std::string::npos) return Take(end + 1);
            if (Fill()) continue;
            if (start_ == buffer_.size()) return std::nullopt;
            return Take(buffer_.size());
        }
    }

private:
    std::string_view Take(size_t end) {
        const std::string_view line(buffer_.data() + start_, end - start_);
        start_ = end;
        return line;
    }
    bool Fill() {
        buffer_.erase(0, start_);
        start_ = 0;
        const size_t had = buffer_.size();
        buffer_.resize(had + (1 << 16));
        const int got = gzread(file_, buffer_.data() + had, 1 << 16);
        buffer_.resize(had + static_cast<size_t>(std::max(got, 0)));
        return got > 0;
    }

    gzFile file_;
    std::string buffer_;
    size_t start_ = 0;
};

std::string ReadAll(const std::filesystem::path& path) {
    LineReader reader(path);
    std::string all;
    while (const auto line = reader.Next()) all += *line;
    return all;
}

// A line as it can be shown in a message: line ends, tabs and bytes outside
// printable ASCII escaped.
std::string Shown(std::string_view line) {
    std::string out;
    for (const char c : line.substr(0, 400)) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (b < 0x20 || b >= 0x7f) out += fmt::format("\\x{:02X}", b);
        else out += c;
    }
    return line.size() > 400 ? out + "..." : out;
}

// The expectation as read back.
struct Expected {
    std::string text;
    int64_t lines = 0;
    uint64_t bytes = 0;
    std::vector<std::string_view> kept;
    std::vector<BlockSums> blocks;
};

std::string Header(int64_t lines, uint64_t bytes, size_t kept, size_t keptBytes) {
    return fmt::format("{}lines {} bytes {} kept {} {}\n", kMagic, lines, bytes, kept, keptBytes);
}

std::string BlockText(const BlockSums& b) {
    return fmt::format("{} {} {:016x} {:016x} {:016x}\n", b.lines, b.bytes, b.s0, b.s1, b.s2);
}

Expected LoadExpected(const std::filesystem::path& path) {
    Expected e;
    e.text = ReadAll(path);
    size_t keptCount = 0, keptBytes = 0;
    int read = 0;
    if (e.text.starts_with(kMagic))
        std::sscanf(e.text.c_str() + kMagic.size(), "lines %ld bytes %lu kept %zu %zu\n%n",
                    &e.lines, &e.bytes, &keptCount, &keptBytes, &read);
    size_t at = kMagic.size() + static_cast<size_t>(read);
    if (read == 0 || at + keptBytes > e.text.size())
        throw std::runtime_error(path.string() + " is not an expected output");
    for (std::string_view kept = std::string_view(e.text).substr(at, keptBytes); !kept.empty();) {
        const size_t end = std::min(kept.find('\n'), kept.size() - 1);
        e.kept.push_back(kept.substr(0, end + 1));
        kept.remove_prefix(end + 1);
    }
    if (e.kept.size() != keptCount) throw std::runtime_error(path.string() + " is damaged");
    at += keptBytes;
    for (BlockSums b; std::sscanf(e.text.c_str() + at, "%ld %lu %lx %lx %lx\n%n", &b.lines,
                                  &b.bytes, &b.s0, &b.s1, &b.s2, &read) == 5;
         at += static_cast<size_t>(read))
        e.blocks.push_back(b);
    return e;
}

// The actual lines of the block being read.
struct Block {
    int64_t first = 1;
    BlockSums sums;
    std::string text;
    std::vector<size_t> starts;

    void Add(std::string_view line) {
        sums.Add(line);
        starts.push_back(text.size());
        text += line;
    }
    std::string_view Line(int64_t k) const {
        const auto i = static_cast<size_t>(k - 1);
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
        return std::string_view(text).substr(starts[i], end - starts[i]);
    }
    void Restart(int64_t next) {
        first = next;
        sums = {};
        text.clear();
        starts.clear();
    }
};

// The block's only changed line, when the sums' differences say there is just
// one: they are then δ, k·δ and k²·δ for the line's place k.
std::optional<int64_t> SingleChangedLine(const BlockSums& want, const BlockSums& got) {
    if (want.lines != got.lines) return std::nullopt;
    const uint64_t d0 = (got.s0 + kPrime - want.s0) % kPrime;
    const uint64_t d1 = (got.s1 + kPrime - want.s1) % kPrime;
    const uint64_t d2 = (got.s2 + kPrime - want.s2) % kPrime;
    if (d0 == 0) return std::nullopt;
    const uint64_t k = MulMod(d1, PowMod(d0, kPrime - 2));
    if (k < 1 || k > static_cast<uint64_t>(got.lines) || MulMod(k, d1) != d2) return std::nullopt;
    return static_cast<int64_t>(k);
}

std::string BlockDiffers(const Expected& e, const Block& block, const BlockSums& want) {
    const int64_t last = block.first + std::max(want.lines, block.sums.lines) - 1;
    const std::string where = fmt::format(
        "only digests are kept past line {}; lines {}-{} were {} lines of {} bytes, now {} of {}",
        e.kept.size(), block.first, last, want.lines, want.bytes, block.sums.lines,
        block.sums.bytes);
    if (const auto k = SingleChangedLine(want, block.sums))
        return fmt::format("line {} differs, the only one in lines {}-{} ({})\n  now: {}\n",
                           block.first + *k - 1, block.first, last, where,
                           Shown(block.Line(*k)));
    std::string out = fmt::format("{} in lines {}-{} ({}); they begin\n",
                                  want.lines == block.sums.lines ? "more than one line differs"
                                                                 : "lines are lost or added",
                                  block.first, last, where);
    for (int64_t k = 1; k <= std::min<int64_t>(3, block.sums.lines); ++k)
        out += fmt::format("  {}: {}\n", block.first + k - 1, Shown(block.Line(k)));
    return out;
}

std::string LineDiffers(int64_t n, std::string_view want, std::string_view got) {
    const auto at = std::mismatch(want.begin(), want.end(), got.begin(), got.end()).first;
    return fmt::format("line {} differs from byte {}\n  expected: {}\n  now:      {}\n", n,
                       at - want.begin() + 1, Shown(want), Shown(got));
}

std::string Totals(const Expected& e, int64_t lines, uint64_t bytes) {
    return fmt::format("(the output has {} lines, {} bytes; expected {} lines, {} bytes)\n", lines,
                       bytes, e.lines, e.bytes);
}

// Compares the lines the reader gives, one by one where they are kept
// verbatim and a block at a time past them; a differing block is told with
// the output's totals, which show lines lost or added.
std::string Compare(const Expected& e, LineReader& actual) {
    Block block;
    int64_t n = 0;
    uint64_t bytes = 0;
    auto finishBlock = [&]() -> std::string {
        const size_t index = static_cast<size_t>((block.first - 1) / kBlockLines);
        const BlockSums want = index < e.blocks.size() ? e.blocks[index] : BlockSums{};
        std::string out = block.sums == want ? "" : BlockDiffers(e, block, want);
        block.Restart(n + 1);
        return out;
    };
    std::string found;
    for (std::optional<std::string_view> line; found.empty() && (line = actual.Next());) {
        ++n;
        bytes += line->size();
        if (n == e.lines + 1 && block.sums.lines > 0 && !(found = finishBlock()).empty()) break;
        if (n > e.lines)
            return fmt::format("the output goes on past the expected {} lines; line {}: {}\n",
                               e.lines, n, Shown(*line));
        if (n <= static_cast<int64_t>(e.kept.size()) && *line != e.kept[n - 1])
            return LineDiffers(n, e.kept[n - 1], *line);
        block.Add(*line);
        if (block.sums.lines == kBlockLines) found = finishBlock();
    }
    if (found.empty() && n < static_cast<int64_t>(e.kept.size()))
        return fmt::format("the output ends after line {}; expected line {}: {}\n", n, n + 1,
                           Shown(e.kept[n]));
    if (found.empty() && block.sums.lines > 0) found = finishBlock();
    if (found.empty() && n == e.lines) return {};
    while (const auto line = actual.Next()) {
        ++n;
        bytes += line->size();
    }
    if (found.empty()) found = fmt::format("the output ends after line {}\n", n);
    return n == e.lines ? found : found + Totals(e, n, bytes);
}

} // namespace

void RecordExpectation(const std::filesystem::path& output, const std::filesystem::path& expected,
                       int64_t keptLines) {
    LineReader reader(output);
    std::string kept, blocks;
    BlockSums block;
    int64_t lines = 0;
    uint64_t bytes = 0;
    while (const auto line = reader.Next()) {
        if (++lines <= keptLines) kept += *line;
        bytes += line->size();
        block.Add(*line);
        if (block.lines == kBlockLines) blocks += BlockText(std::exchange(block, {}));
    }
    if (block.lines > 0) blocks += BlockText(block);
    const std::string text =
        Header(lines, bytes, static_cast<size_t>(std::min(lines, keptLines)), kept.size()) + kept +
        blocks;
    const auto temporary = expected.string() + ".new";
    gzFile out = gzopen(temporary.c_str(), "wb9");
    const bool written = out && gzwrite(out, text.data(), static_cast<unsigned>(text.size())) ==
                                    static_cast<int>(text.size());
    if (!out || gzclose(out) != Z_OK || !written)
        throw std::runtime_error("cannot write " + temporary);
    std::filesystem::rename(temporary, expected);
}

std::string FirstDifference(const std::filesystem::path& output,
                            const std::filesystem::path& expected) {
    const Expected e = LoadExpected(expected);
    LineReader actual(output);
    const std::string difference = Compare(e, actual);
    if (difference.empty()) return difference;
    return fmt::format("{} departs from {}: {}", output.filename().string(),
                       expected.filename().string(), difference);
}

std::string CheckAgainstExpectation(const std::filesystem::path& output,
                                    const std::filesystem::path& expected, int64_t keptLines) {
    if (std::getenv("VOK_RECORD_EXPECTED")) {
        RecordExpectation(output, expected, keptLines);
        return {};
    }
    return FirstDifference(output, expected);
}

} // namespace vok::test
