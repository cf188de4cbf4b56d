#include "support/OutputExpectation.h"

#include <algorithm>
#include <array>
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

uint64_t LineDigest(std::string_view line) {
    const auto* bytes = reinterpret_cast<const Bytef*>(line.data());
    const auto size = static_cast<uInt>(line.size());
    return (crc32(0, bytes, size) << 32 | adler32(1, bytes, size)) % kPrime;
}

// A block's line count, size and digest sums.
struct BlockSums {
    int64_t lines = 0;
    uint64_t bytes = 0, s0 = 0, s1 = 0, s2 = 0;

    uint64_t Add(std::string_view line) {
        const uint64_t h = LineDigest(line);
        const auto k = static_cast<uint64_t>(++lines);
        bytes += line.size();
        s0 = (s0 + h) % kPrime;
        s1 = (s1 + MulMod(k, h)) % kPrime;
        s2 = (s2 + MulMod(k * k, h)) % kPrime;
        return h;
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
        if (got < 0) throw std::runtime_error("cannot read a file compared with its expectation");
        buffer_.resize(had + static_cast<size_t>(got));
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
    std::vector<std::string_view> kept; // into text
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
    std::vector<uint64_t> digests;

    void Add(std::string_view line) {
        digests.push_back(sums.Add(line));
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
        digests.clear();
    }
};

using Sums3 = std::array<uint64_t, 3>; // Σh, Σk·h, Σk²·h

Sums3 Plus(const Sums3& a, const Sums3& b) {
    return {(a[0] + b[0]) % kPrime, (a[1] + b[1]) % kPrime, (a[2] + b[2]) % kPrime};
}

Sums3 Minus(const Sums3& a, const Sums3& b) {
    return Plus(a, {kPrime - b[0], kPrime - b[1], kPrime - b[2]});
}

// The sums of lines that move one place on (+1) or back (−1).
Sums3 Moved(const Sums3& t, int by) {
    const Sums3 shift{0, t[0], (2 * t[1] + t[0]) % kPrime};
    return by > 0 ? Plus(t, shift) : Plus(Minus(t, shift), {0, 0, 2 * t[0] % kPrime});
}

// Whether the expected sums are those of the lines `known` stands for and of
// one unknown line at place `at`: its digest follows from Σh, and Σk·h and
// Σk²·h must agree with it.
bool FitsWithOneUnknown(const BlockSums& want, const Sums3& known, uint64_t at) {
    const uint64_t x = (want.s0 + kPrime - known[0]) % kPrime;
    return (known[1] + MulMod(at, x)) % kPrime == want.s1 &&
           (known[2] + MulMod(at * at, x)) % kPrime == want.s2;
}

enum class Edit { Changed, Lost, Added };
struct LocatedEdit {
    Edit edit;
    int64_t place;
};

// The block's only changed, lost or added line, tried at every place: the
// lines around it keep or shift their places and the one line the block does
// not show is the unknown.
std::optional<LocatedEdit> LocateOneEdit(const BlockSums& want, const std::vector<uint64_t>& h) {
    const auto n = want.lines, m = static_cast<int64_t>(h.size());
    std::vector<Sums3> prefix(h.size() + 1, Sums3{});
    for (size_t i = 0; i < h.size(); ++i) {
        const uint64_t k = i + 1;
        prefix[k] = Plus(prefix[i], {h[i], MulMod(k, h[i]), MulMod(k * k, h[i])});
    }
    auto range = [&](int64_t from, int64_t to) {
        return from > to ? Sums3{} : Minus(prefix[static_cast<size_t>(to)],
                                           prefix[static_cast<size_t>(from - 1)]);
    };
    for (int64_t j = 1; j <= n; ++j) {
        const auto at = static_cast<uint64_t>(j);
        if (m == n && FitsWithOneUnknown(want, Plus(range(1, j - 1), range(j + 1, n)), at))
            return LocatedEdit{Edit::Changed, j};
        if (m >= n - 1 &&
            FitsWithOneUnknown(want, Plus(range(1, j - 1), Moved(range(j, n - 1), 1)), at))
            return LocatedEdit{Edit::Lost, j};
        if (m >= n && FitsWithOneUnknown(want, Plus(range(1, j - 1), Moved(range(j + 1, n), -1)),
                                         static_cast<uint64_t>(n)))
            return LocatedEdit{Edit::Added, j};
    }
    return std::nullopt;
}

std::string OneEdit(const Block& block, LocatedEdit edit) {
    const int64_t line = block.first + edit.place - 1;
    const bool shown = edit.place <= block.sums.lines;
    const std::string now = shown ? Shown(block.Line(edit.place)) : "(the output ends)";
    switch (edit.edit) {
    case Edit::Changed: return fmt::format("line {} differs", line) + "\n  now: " + now + "\n";
    case Edit::Lost:
        return fmt::format("line {} is missing", line) + "\n  now in its place: " + now + "\n";
    case Edit::Added: return fmt::format("line {} was added", line) + "\n  now: " + now + "\n";
    }
    return {};
}

std::string BlockDiffers(const Expected& e, const Block& block, const BlockSums& want) {
    const int64_t last = block.first + std::max(want.lines, block.sums.lines) - 1;
    const std::string where = fmt::format(
        "the only change in lines {}-{}; only digests are kept past line {}, and those lines "
        "were {} lines of {} bytes, now {} of {}",
        block.first, last, e.kept.size(), want.lines, want.bytes, block.sums.lines,
        block.sums.bytes);
    if (const auto edit = LocateOneEdit(want, block.digests)) {
        std::string out = OneEdit(block, *edit);
        return out.insert(out.find('\n'), " (" + where + ")");
    }
    std::string out = fmt::format("more than one line differs in lines {}-{} ({}); they begin\n",
                                  block.first, last, where.substr(where.find(';') + 2));
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
