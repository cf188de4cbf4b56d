// The scan, in steps:
//   1. read the file in blocks that end at a line end (a line longer than a
//      block grows the block);
//   2. per block: check the bytes for UTF-8, look for a tab, count the line
//      ends and note a checkpoint every so many lines;
//   3. find the announced key texts in the block, in the bytes of both
//      encodings where a key has characters beyond ASCII, keeping the first
//      line of each (a table needs no other; a derived layout that asks for
//      a later one reads on from its top line);
//   4. at the end: the encoding decides which bytes' finds count, and every
//      find becomes a known place to start reading from.
#include "base/TextIndex.h"

#include "base/ByteSearch.h"
#include "base/TextAccess.h"
#include "base/modUtilityFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vok {

namespace {

constexpr size_t kBlockSize = 1 << 18;
// Up to this many key texts are searched one by one; more at once.
constexpr size_t kFewPatterns = 4;
// Line ends are counted in chunks; only a chunk with a checkpoint is walked.
constexpr size_t kChunk = 4096;
// A report of more lines gets a checkpoint less often, so their number stays bounded.
constexpr size_t kMaxCheckpoints = 1 << 15;
// Transitions one automaton may hold; beyond, the keys are split among several.
constexpr size_t kMaxTransitions = size_t{1} << 22;

// The set bits of a mask, without a library call: the build targets every
// x86-64, and the first of them have no instruction for it.
size_t BitCount(uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555ULL;
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<size_t>((x * 0x0101010101010101ULL) >> 56);
}

// Line ends in p[0 .. n): every CR, and every LF that does not follow a CR.
// `before` is the byte before p (0 at the start of the file). This runs over
// every byte of every report: 64 bytes at a time, as bit masks.
size_t CountLineEnds(const unsigned char* p, size_t n, unsigned char before) {
    size_t count = 0;
    uint64_t carry = before == '\r' ? 1 : 0; // a CR just before the next 64 bytes
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (; i + 64 <= n; i += 64) {
        uint64_t crs = 0, lfs = 0;
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(
                reinterpret_cast<const __m128i*>(p + i + 16 * static_cast<size_t>(k)));
            crs |= static_cast<uint64_t>(
                       static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr))))
                   << (16 * k);
            lfs |= static_cast<uint64_t>(
                       static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf))))
                   << (16 * k);
        }
        const uint64_t ends = crs | (lfs & ~((crs << 1) | carry));
        count += BitCount(ends);
        carry = crs >> 63;
    }
#endif
    for (; i < n; ++i) {
        count += (p[i] == '\r') | ((p[i] == '\n') & (carry == 0));
        carry = p[i] == '\r' ? 1 : 0;
    }
    return count;
}

bool IsLineEnd(const unsigned char* p, size_t i, unsigned char before) {
    const unsigned char previous = i == 0 ? before : p[i - 1];
    return p[i] == '\r' || (p[i] == '\n' && previous != '\r');
}

// A key text in the bytes of one encoding.
struct Pattern {
    std::string bytes;
    size_t key;
    enum class Form { Both, Utf8, Latin } form;
    bool found = false; // its first line is known
};

struct Find {
    size_t position; // in the block
    size_t pattern;
};

// Many patterns at once: an Aho-Corasick automaton over byte classes (the
// bytes that occur in the patterns, and one class for all others), complete,
// so that each byte costs one table look-up.
class Automaton {
public:
    Automaton(const std::vector<Pattern>& patterns, const std::vector<size_t>& members) {
        MakeClasses(patterns, members);
        MakeTrie(patterns, members);
        LinkFailures();
        MakeTable();
    }

    // What an automaton of a group of patterns will hold, counted as the
    // group grows: at most one state per byte, one transition per class.
    struct Measure {
        size_t bytes = 1;
        size_t classes = 1;
        std::array<bool, 256> seen{};
        size_t Transitions() const { return bytes * classes; }
        void Add(const std::string& pattern) {
            bytes += pattern.size();
            for (const char c : pattern) {
                bool& s = seen[static_cast<unsigned char>(c)];
                if (!s) ++classes;
                s = true;
            }
        }
    };

    // The first find in this block of each pattern not found before;
    // positions are the finds' first bytes.
    void Run(const unsigned char* data, size_t n, const std::vector<Pattern>& patterns,
             std::vector<char>& foundHere, std::vector<Find>& finds) const {
        uint32_t row = 0;
        for (size_t i = 0; i < n; ++i) {
            // At the root only a pattern's first byte leads anywhere: the
            // bytes before the next such one are passed over at once.
            if (row == 0 && starts_ > 0) {
                i = FindAnyOf(reinterpret_cast<const char*>(data) + i, n - i, start_[0], start_[1],
                              start_[2]) +
                    i;
                if (i >= n) break;
            }
            const uint32_t to = table_[row + classOf_[data[i]]];
            if (!(to & kHasOutput)) {
                row = to;
                continue;
            }
            // The patterns ending here: the state's own, then those of each
            // shorter suffix that is a state with patterns of its own.
            const uint32_t reached = to & ~kHasOutput;
            row = rowOf_[reached];
            for (uint32_t state = reached; state != 0; state = suffix_[state]) {
                for (uint32_t m = ends_[state]; m != kNone; m = nextEnd_[m]) {
                    const size_t p = members_[m];
                    if (patterns[p].found || foundHere[p]) continue;
                    foundHere[p] = 1;
                    finds.push_back({i + 1 - patterns[p].bytes.size(), p});
                }
            }
        }
    }

private:
    // Byte classes: each byte of the patterns has one, all others share 0.
    void MakeClasses(const std::vector<Pattern>& patterns, const std::vector<size_t>& members) {
        classOf_.fill(0);
        classes_ = 1;
        for (const size_t p : members) {
            for (const char c : patterns[p].bytes) {
                uint8_t& cls = classOf_[static_cast<unsigned char>(c)];
                if (cls == 0) cls = static_cast<uint8_t>(classes_++);
            }
        }
    }

    // The trie of the patterns; a transition holds its target state. Only a
    // state with a child gets a row of transitions: the last byte of most
    // keys is a state without one, and numbered keys ("PAGE 0001" ...) make
    // thousands of them, whose rows would be most of the table.
    void MakeTrie(const std::vector<Pattern>& patterns, const std::vector<size_t>& members) {
        // Room for a state per byte at most: the trie grows without being
        // copied, and only the pages its states use are ever touched.
        size_t bytes = 1;
        for (const size_t p : members)
            bytes += patterns[p].bytes.size();
        table_.reserve(bytes * classes_);
        ends_.reserve(bytes);
        rowOf_.reserve(bytes);
        table_.assign(classes_, kNoState);
        ends_.assign(1, kNone);
        rowOf_.assign(1, 0);
        members_.assign(members.begin(), members.end());
        nextEnd_.assign(members.size(), kNone);
        // Backwards, each put first on its state's list: the lists keep the
        // patterns' order.
        for (size_t m = members.size(); m-- > 0;) {
            uint32_t state = 0;
            for (const char c : patterns[members[m]].bytes) {
                if (rowOf_[state] == kNoRow) {
                    rowOf_[state] = static_cast<uint32_t>(table_.size());
                    table_.resize(table_.size() + classes_, kNoState);
                }
                uint32_t& to = table_[rowOf_[state] + classOf_[static_cast<unsigned char>(c)]];
                if (to == kNoState) {
                    to = static_cast<uint32_t>(ends_.size());
                    ends_.push_back(kNone);
                    rowOf_.push_back(kNoRow);
                }
                state = to;
            }
            nextEnd_[m] = ends_[state];
            ends_[state] = static_cast<uint32_t>(m);
        }
    }

    // Failure links in breadth-first order turn the trie into a complete
    // automaton; each state notes the longest of its suffixes that is a
    // state with patterns of its own, whose patterns end wherever it does (a
    // link, not a copy of their list: thousands of keys would make
    // thousands of lists). A state without a row of its own moves on as its
    // failure state does, so it takes that state's row.
    void LinkFailures() {
        std::vector<uint32_t> fail(ends_.size(), 0), queue;
        suffix_.assign(ends_.size(), 0);
        for (size_t c = 0; c < classes_; ++c) {
            uint32_t& to = table_[c];
            if (to == kNoState) {
                to = 0;
            } else if (rowOf_[to] == kNoRow) {
                rowOf_[to] = 0;
            } else {
                queue.push_back(to);
            }
        }
        // A state's failure state lies nearer the root, so its link and its
        // row are made before the state's own. Only states with rows of
        // their own have transitions to make.
        for (size_t head = 0; head < queue.size(); ++head) {
            const uint32_t state = queue[head];
            const uint32_t row = rowOf_[state], failRow = rowOf_[fail[state]];
            for (size_t c = 0; c < classes_; ++c) {
                uint32_t& to = table_[row + c];
                const uint32_t viaFail = table_[failRow + c];
                if (to == kNoState) {
                    to = viaFail;
                } else {
                    fail[to] = viaFail;
                    suffix_[to] = ends_[viaFail] != kNone ? viaFail : suffix_[viaFail];
                    if (rowOf_[to] == kNoRow)
                        rowOf_[to] = rowOf_[viaFail];
                    else
                        queue.push_back(to);
                }
            }
        }
    }

    // The table the scan runs on, made from the states' transitions in
    // place (a second table would double the pages a large automaton
    // touches): a transition to a state without patterns holds that state's
    // row, so that such a byte costs one look-up; one to a state with
    // patterns holds the state, in its low bits, and in its top bit that
    // it has some.
    void MakeTable() {
        for (uint32_t& to : table_)
            to = ends_[to] != kNone || suffix_[to] != 0 ? to | kHasOutput : rowOf_[to];
        NoteStartBytes();
    }

    // The bytes that lead out of the root, when there are three at most.
    void NoteStartBytes() {
        starts_ = 0;
        for (size_t b = 0; b < 256; ++b) {
            if (table_[classOf_[b]] == 0) continue;
            if (starts_ == start_.size()) {
                starts_ = 0;
                return;
            }
            start_[starts_++] = static_cast<char>(b);
        }
        for (size_t k = starts_; k > 0 && k < start_.size(); ++k)
            start_[k] = start_[0];
    }

    static constexpr uint32_t kHasOutput = 0x80000000u;
    static constexpr uint32_t kNoState = 0xFFFFFFFFu; // while the trie is made
    static constexpr uint32_t kNone = 0xFFFFFFFFu;    // the end of a list of patterns
    static constexpr uint32_t kNoRow = 0xFFFFFFFFu;   // a state without a row (yet)

    std::array<uint8_t, 256> classOf_{};
    size_t classes_ = 1;
    // While the automaton is made, the target state of each transition;
    // then the table the scan runs on. A state's row is where its
    // transitions start in it (its own, or the one it moves on by).
    std::vector<uint32_t> table_, rowOf_;
    // The patterns each state ends: the first of them (an index into
    // members_, kNone for none) and, for each, the next; and each state's
    // nearest suffix state with patterns of its own (0 for none: the root
    // ends none, as no pattern is empty).
    std::vector<uint32_t> members_, ends_, nextEnd_, suffix_;
    std::array<char, 3> start_{};
    size_t starts_ = 0; // 0: too many to look for
};

} // namespace

// One pass over the file.
class TextIndex::Scanner {
public:
    Scanner(TextIndex& index, bool basics) : index_(index), basics_(basics) {
        patterns_.reserve(index.keys_.size());
        for (size_t k = 0; k < index.keys_.size(); ++k) {
            Key& key = index.keys_[k];
            if (key.scanned || key.text.empty()) continue;
            if (IsAscii(key.text)) {
                patterns_.push_back({key.text, k, Pattern::Form::Both});
                continue;
            }
            // A key with a character Windows-1252 has not is never met in such a file.
            patterns_.push_back({key.text, k, Pattern::Form::Utf8});
            std::string latin;
            if (AppendUtf8AsWindows1252(latin, key.text))
                patterns_.push_back({std::move(latin), k, Pattern::Form::Latin});
        }
        // Many patterns: automata, each within its size.
        if (patterns_.size() > kFewPatterns) {
            std::vector<size_t> group;
            Automaton::Measure measure;
            for (size_t p = 0; p < patterns_.size(); ++p) {
                Automaton::Measure grown = measure;
                grown.Add(patterns_[p].bytes);
                if (!group.empty() && grown.Transitions() > kMaxTransitions) {
                    automata_.emplace_back(patterns_, group);
                    group.clear();
                    grown = Automaton::Measure();
                    grown.Add(patterns_[p].bytes);
                }
                group.push_back(p);
                measure = grown;
            }
            automata_.emplace_back(patterns_, group);
        }
        foundHere_.assign(patterns_.size(), 0);
        nextCheckpoint_ = index.checkpointEvery_;
    }

    void Run() {
        struct stat info {};
        const int fd = OpenSource(info);
        if (fd < 0) return;
        std::vector<unsigned char> buffer(
            std::clamp<size_t>(static_cast<size_t>(info.st_size) + 1, 4096, kBlockSize));
        size_t held = 0;
        bool atEnd = false, first = true;
        int64_t fileOffset = 0; // of buffer[0]
        while (!atEnd) {
            // Fill the buffer behind what was carried over; a buffer full
            // without a line end at its largest holds a line too long.
            if (held == buffer.size() && !Grow(buffer)) break;
            const ssize_t got = ::read(fd, buffer.data() + held, buffer.size() - held);
            if (got < 0) {
                if (errno == EINTR) continue;
                if (basics_) {
                    index_.readFailed_ = true;
                    index_.readError_ = errno;
                }
                atEnd = true;
            } else if (got == 0) {
                atEnd = true;
            }
            held += got > 0 ? static_cast<size_t>(got) : 0;
            // The block ends after the last complete line end; a CR at the very
            // end waits for the byte that may make it CR LF.
            size_t cut = atEnd ? held : LastCompleteLineEnd(buffer.data(), held);
            if (cut == 0) continue;
            // A byte-order mark at the start is no part of the first line.
            size_t skip = 0;
            if (first) {
                first = false;
                if (held >= 3 && std::memcmp(buffer.data(), "\xEF\xBB\xBF", 3) == 0)
                    skip = 3;
                else if (!atEnd && held < 3) {
                    first = true;
                    continue;
                }
            }
            // Only a buffer grown past a block can hold a line too long.
            if (buffer.size() > kBlockSize && !LinesFit(buffer.data() + skip, cut - skip)) break;
            ProcessBlock(buffer.data(), skip, cut, fileOffset);
            std::memmove(buffer.data(), buffer.data() + cut, held - cut);
            held -= cut;
            fileOffset += static_cast<int64_t>(cut);
        }
        ::close(fd);
        Finish();
    }

private:
    // The file, or nothing: a missing file, a folder or a device is no text
    // source. The descriptor the job opened is taken over when there is one.
    int OpenSource(struct stat& info) {
        std::string openError;
        int fd = -1;
        if (index_.opened_.IsOpen()) {
            info = index_.opened_.Info();
            fd = index_.opened_.Release();
        } else if (index_.source_.problem.empty()) {
            fd = OpenForReading(index_.source_.readFrom, openError, &info);
        }
        if (!index_.source_.problem.empty()) openError = index_.source_.problem;
        if (basics_) {
            if (fd < 0)
                index_.openError_ = std::move(openError);
            else
                index_.exists_ = true;
        }
        return fd;
    }

    // Doubles a buffer that holds part of one line, up to the longest line
    // with a byte-order mark and a CR LF around it; false (a line too long)
    // when it is that large already.
    bool Grow(std::vector<unsigned char>& buffer) {
        constexpr size_t kLargest = kLongestLine + 8;
        if (buffer.size() < kLargest) {
            buffer.resize(std::min(buffer.size() * 2, kLargest));
            return true;
        }
        LineTooLong(lineEnds_ + 1);
        return false;
    }

    // True when no line of the complete lines in text[0 .. n) is longer than
    // kLongestLine; otherwise the scan ends at the first that is.
    bool LinesFit(const unsigned char* text, size_t n) {
        const char* p = reinterpret_cast<const char*>(text);
        int64_t line = lineEnds_ + 1;
        for (size_t at = 0; at < n; ++line) {
            const size_t length = FindLineEnd(p + at, n - at);
            if (length > kLongestLine) {
                LineTooLong(line);
                return false;
            }
            at += length + 1;
            if (at < n && p[at - 1] == '\r' && p[at] == '\n') ++at;
        }
        return true;
    }

    void LineTooLong(int64_t line) {
        if (!basics_) return;
        index_.readFailed_ = true;
        index_.longLine_ = line;
    }

    static size_t LastCompleteLineEnd(const unsigned char* data, size_t n) {
        for (size_t k = n; k-- > 0;) {
            if (data[k] == '\n') return k + 1;
            if (data[k] == '\r' && k + 1 < n) return k + 1; // the next byte is no LF
        }
        return 0;
    }

    // 2. Encoding and tabs of data[0 .. end), whose text starts at `begin`.
    void NoteEncodingAndTabs(const unsigned char* data, size_t begin, size_t end) {
        // Plain ASCII needs no look from the validator: only the block from
        // its first other byte on is fed.
        const char* bytes = reinterpret_cast<const char*>(data);
        const size_t other = FirstNonAscii(bytes, end);
        if (other < end) index_.allAscii_ = false;
        if (utf8_ && (other < end || !validator_.Idle())) {
            const size_t from = validator_.Idle() ? other : 0;
            utf8_ = validator_.Feed(bytes + from, end - from);
            if (!utf8_) {
                // The line of the first byte that is not UTF-8: the line ends
                // before it, counted from the text's start.
                const size_t bad = std::max(from + validator_.FailedAt(), begin);
                firstLatinLine_ = lineEnds_ + 1 + static_cast<int64_t>(CountLineEnds(
                                                      data + begin, bad - begin, lastBefore_));
            }
        }
        // Characters of more than a byte that are good UTF-8 turn into others
        // when the report reads as Windows-1252.
        if (!sawUtf8Character_ && other < end)
            sawUtf8Character_ = HoldsUtf8Sequence(std::string_view(bytes + other, end - other));
        if (!index_.hasTabs_ && std::memchr(data, '\t', end)) index_.hasTabs_ = true;
    }

    void ProcessBlock(const unsigned char* data, size_t begin, size_t end, int64_t fileOffset) {
        if (basics_) NoteEncodingAndTabs(data, begin, end);
        const unsigned char* text = data + begin;
        const size_t n = end - begin;
        const int64_t textOffset = fileOffset + static_cast<int64_t>(begin);
        // 3. The finds of this block, in the order of their positions.
        finds_.clear();
        std::fill(foundHere_.begin(), foundHere_.end(), 0);
        if (automata_.empty()) {
            for (size_t p = 0; p < patterns_.size(); ++p) {
                if (patterns_[p].found) continue;
                const size_t at =
                    FindBytes(reinterpret_cast<const char*>(text), n, patterns_[p].bytes);
                if (at < n) finds_.push_back({at, p});
            }
        } else {
            for (const Automaton& automaton : automata_)
                automaton.Run(text, n, patterns_, foundHere_, finds_);
        }
        std::sort(finds_.begin(), finds_.end(), [](const Find& a, const Find& b) {
            return a.position < b.position || (a.position == b.position && a.pattern < b.pattern);
        });
        // 2. Line ends, chunk by chunk, with the checkpoints among them; the
        // finds get their line numbers on the way.
        size_t at = 0, next = 0;
        while (at < n) {
            const size_t chunkEnd = std::min(n, at + kChunk);
            // Finds inside this chunk: count up to each.
            size_t from = at;
            while (next < finds_.size() && finds_[next].position < chunkEnd) {
                const size_t position = finds_[next].position;
                Advance(text, from, position, n, textOffset);
                from = position;
                Record(finds_[next], text, textOffset);
                ++next;
            }
            Advance(text, from, chunkEnd, n, textOffset);
            at = chunkEnd;
        }
        if (n > 0) {
            lastBefore_ = text[n - 1];
            anyText_ = true;
        }
    }

    // Counts the line ends of text[from .. to), one by one only where a
    // checkpoint falls among them.
    void Advance(const unsigned char* text, size_t from, size_t to, size_t n, int64_t textOffset) {
        if (from >= to) return;
        const size_t count = CountLineEnds(text + from, to - from, ByteBefore(text, from));
        if (basics_ && lineEnds_ + static_cast<int64_t>(count) >= nextCheckpoint_)
            WalkForCheckpoints(text, from, to, n, textOffset);
        else
            lineEnds_ += static_cast<int64_t>(count);
    }

    unsigned char ByteBefore(const unsigned char* text, size_t at) const {
        return at == 0 ? lastBefore_ : text[at - 1];
    }

    // Counts the line ends of text[from .. to) one by one, noting where each
    // checkpoint's line starts. `n` is the block's length: a CR LF may
    // straddle two chunks, never two blocks.
    void WalkForCheckpoints(const unsigned char* text, size_t from, size_t to, size_t n,
                            int64_t textOffset) {
        for (size_t i = from; i < to; ++i) {
            if (!IsLineEnd(text, i, lastBefore_)) continue;
            ++lineEnds_;
            if (lineEnds_ != nextCheckpoint_) continue;
            size_t start = i + 1;
            if (text[i] == '\r' && start < n && text[start] == '\n') ++start;
            AddCheckpoint(textOffset + static_cast<int64_t>(start));
        }
    }

    void AddCheckpoint(int64_t offset) {
        std::vector<int64_t>& points = index_.checkpoints_;
        points.push_back(offset);
        if (points.size() >= kMaxCheckpoints) {
            // Every other one goes: the checkpoints stay bounded, further apart.
            size_t kept = 0;
            for (size_t i = 0; i < points.size(); i += 2)
                points[kept++] = points[i];
            points.resize(kept);
            index_.checkpointEvery_ *= 2;
        }
        nextCheckpoint_ = static_cast<int64_t>(points.size()) * index_.checkpointEvery_;
    }

    void Record(const Find& find, const unsigned char* text, int64_t textOffset) {
        Pattern& pattern = patterns_[find.pattern];
        // The line's start: after the last line end before the find.
        size_t start = find.position;
        while (start > 0 && text[start - 1] != '\n' && text[start - 1] != '\r')
            --start;
        const Hit hit{lineEnds_ + 1, textOffset + static_cast<int64_t>(start)};
        Key& key = index_.keys_[pattern.key];
        if (pattern.form == Pattern::Form::Latin)
            key.latinFirst = hit;
        else
            key.utf8First = hit;
        pattern.found = true;
    }

    void Finish() {
        // 4. The encoding, and a last line without a line end, which still counts.
        if (!basics_) return;
        index_.encoding_ =
            utf8_ && validator_.Finish() ? TextEncoding::Utf8 : TextEncoding::Windows1252;
        // A sequence left open at the end lies on the last line.
        if (utf8_ && !validator_.Finish()) firstLatinLine_ = lineEnds_ + 1;
        if (index_.encoding_ == TextEncoding::Windows1252 && sawUtf8Character_)
            index_.mixedLine_ = firstLatinLine_;
        const bool partialLine = anyText_ && lastBefore_ != '\n' && lastBefore_ != '\r';
        index_.lineCount_ = lineEnds_ + (partialLine ? 1 : 0);
    }

    TextIndex& index_;
    bool basics_;
    std::vector<Pattern> patterns_;
    std::vector<Automaton> automata_;
    std::vector<char> foundHere_;
    std::vector<Find> finds_;
    Utf8Validator validator_;
    bool utf8_ = true;
    int64_t firstLatinLine_ = 0;   // the line of the first byte that is not UTF-8
    bool sawUtf8Character_ = false; // a character of good UTF-8 beyond ASCII
    int64_t lineEnds_ = 0;
    int64_t nextCheckpoint_ = 0;   // line ends before the next checkpoint's line
    unsigned char lastBefore_ = 0; // the last byte of the text so far
    bool anyText_ = false;
};

TextIndex::TextIndex(std::filesystem::path path)
    : path_(std::move(path)), source_(ReportSource::Plain(path_)) {}

TextIndex::TextIndex(std::filesystem::path path, ReportSource source)
    : path_(std::move(path)), source_(std::move(source)) {}

TextIndex::TextIndex(std::filesystem::path path, ReportSource source, OpenedFile opened)
    : path_(std::move(path)), source_(std::move(source)) {
    // A text rebuilt from the report is read elsewhere.
    if (ReadsItsOwnFile()) opened_ = std::move(opened);
}

TextReader TextIndex::Reader(TextEncoding encoding, size_t bufferSize) {
    if (opened_.IsOpen()) return TextReader(std::move(opened_), encoding, bufferSize);
    return TextReader(source_.readFrom, encoding, bufferSize);
}

TextIndex::Key& TextIndex::KeyOf(std::string_view key) {
    if (nextKey_ < keys_.size() && keys_[nextKey_].text == key) return keys_[nextKey_++];
    size_t slot = SlotOf(key);
    if (keySlots_.empty() || keySlots_[slot] == 0) {
        // A new key; the slots grow to stay at most half full.
        keys_.push_back(Key{std::string(key)});
        if (2 * keys_.size() > keySlots_.size()) {
            ExpectMany(keys_.size());
            slot = SlotOf(key);
        }
        keySlots_[slot] = static_cast<uint32_t>(keys_.size());
    }
    nextKey_ = keySlots_[slot];
    return keys_[nextKey_ - 1];
}

size_t TextIndex::SlotOf(std::string_view key) const {
    if (keySlots_.empty()) return 0;
    const size_t mask = keySlots_.size() - 1;
    size_t slot = std::hash<std::string_view>()(key) & mask;
    while (keySlots_[slot] != 0 && keys_[keySlots_[slot] - 1].text != key)
        slot = (slot + 1) & mask;
    return slot;
}

void TextIndex::Expect(std::string_view key) {
    KeyOf(key);
}

void TextIndex::ExpectMany(size_t count) {
    keys_.reserve(count);
    size_t slots = 16;
    while (slots < 2 * count)
        slots *= 2;
    if (slots <= keySlots_.size()) return;
    // Every key known so far in its slot of the larger table.
    keySlots_.assign(slots, 0);
    const size_t mask = slots - 1;
    for (size_t k = 0; k < keys_.size(); ++k) {
        size_t slot = std::hash<std::string_view>()(keys_[k].text) & mask;
        while (keySlots_[slot] != 0)
            slot = (slot + 1) & mask;
        keySlots_[slot] = static_cast<uint32_t>(k + 1);
    }
}

void TextIndex::Scan() {
    if (!scanned_) {
        checkpoints_.assign(1, 0);
        checkpointEvery_ = 1024;
    }
    Scanner scanner(*this, !scanned_);
    scanner.Run();
    scanned_ = true;
    for (Key& key : keys_)
        key.scanned = true;
    // Every find is a place to start reading from.
    anchors_.clear();
    for (const Key& key : keys_) {
        if (FirstHit(key).line > 0) anchors_.push_back(FirstHit(key));
    }
    std::sort(anchors_.begin(), anchors_.end(),
              [](const Hit& a, const Hit& b) { return a.line < b.line; });
}

void TextIndex::KnowPlainText(int64_t lines, std::initializer_list<KnownLine> found) {
    scanned_ = exists_ = true;
    encoding_ = TextEncoding::Utf8;
    hasTabs_ = readFailed_ = false;
    allAscii_ = true;
    lineCount_ = lines;
    mixedLine_ = longLine_ = 0;
    openError_.clear();
    // No checkpoint but the start: a later look-up reads from line 1 or a key's line.
    checkpoints_.assign(1, 0);
    checkpointEvery_ = std::max<int64_t>(lines, 1);
    anchors_.clear();
    for (const KnownLine& known : found) {
        Key& key = KeyOf(known.key);
        key.scanned = true;
        key.utf8First = key.latinFirst = {known.line, known.offset};
        anchors_.push_back(key.utf8First);
    }
    std::sort(anchors_.begin(), anchors_.end(),
              [](const Hit& a, const Hit& b) { return a.line < b.line; });
}

void TextIndex::EnsureScanned(Key& key) {
    if (!scanned_ || !key.scanned) Scan();
}

const TextIndex::Hit& TextIndex::FirstHit(const Key& key) const {
    // A key of plain ASCII has the same bytes in both encodings.
    if (encoding_ == TextEncoding::Utf8 || IsAscii(key.text)) return key.utf8First;
    return key.latinFirst;
}

bool TextIndex::Exists() {
    if (!scanned_) Scan();
    return exists_;
}

TextEncoding TextIndex::Encoding() {
    if (!scanned_) Scan();
    return encoding_;
}

bool TextIndex::HasTabs() {
    if (!scanned_) Scan();
    return hasTabs_;
}

bool TextIndex::AllAscii() {
    if (!scanned_) Scan();
    return allAscii_;
}

int64_t TextIndex::MixedEncodingLine() {
    if (!scanned_) Scan();
    return mixedLine_;
}

int64_t TextIndex::LineCount() {
    if (!scanned_) Scan();
    return lineCount_;
}

bool TextIndex::ReadFailed() {
    if (!scanned_) Scan();
    return readFailed_;
}

std::string TextIndex::ReadError() {
    if (!ReadFailed()) return {};
    return longLine_ > 0 ? LineTooLongText(longLine_) : std::strerror(readError_);
}

const std::string& TextIndex::OpenError() {
    if (!scanned_) Scan();
    return openError_;
}

int64_t TextIndex::FirstLine(std::string_view key) {
    // An empty key is held by the first non-empty line: read, not searched.
    if (key.empty()) return Exists() ? SearchFrom(key, 1) : 0;
    Key& k = KeyOf(key);
    EnsureScanned(k);
    return FirstHit(k).line;
}

int64_t TextIndex::NextLine(std::string_view key, int64_t after) {
    if (after < 0) after = 0;
    if (key.empty()) return Exists() ? SearchFrom(key, after + 1) : 0;
    Key& k = KeyOf(key);
    EnsureScanned(k);
    const int64_t first = FirstHit(k).line;
    if (first == 0) return 0;
    if (first > after) return first;
    // Past its first line: read on from the line after.
    return SearchFrom(key, after + 1);
}

int64_t TextIndex::SearchFrom(std::string_view key, int64_t line) {
    TextReader reader;
    if (!OpenAt(line, reader)) return 0;
    const int64_t found = find_key_line(reader, KeyTexts{key, {}, {}, {}});
    return found == 0 ? 0 : line - 1 + found;
}

TextIndex::Hit TextIndex::AnchorAtOrBefore(int64_t line) const {
    // The checkpoint at or before the line; the first is the start of the file.
    const auto i = std::min<int64_t>((line - 1) / checkpointEvery_,
                                     static_cast<int64_t>(checkpoints_.size()) - 1);
    Hit best{1 + i * checkpointEvery_, checkpoints_[static_cast<size_t>(i)]};
    // A key's line may lie nearer.
    const auto after = std::upper_bound(anchors_.begin(), anchors_.end(), line,
                                        [](int64_t l, const Hit& h) { return l < h.line; });
    if (after != anchors_.begin() && std::prev(after)->line > best.line) best = *std::prev(after);
    return best;
}

int64_t TextIndex::AnchorOffsetAfter(int64_t line) const {
    int64_t best = -1;
    const int64_t i = line / checkpointEvery_ + 1; // its line, 1 + i * every, lies past `line`
    if (i < static_cast<int64_t>(checkpoints_.size())) best = checkpoints_[static_cast<size_t>(i)];
    const auto after = std::upper_bound(anchors_.begin(), anchors_.end(), line,
                                        [](int64_t l, const Hit& h) { return l < h.line; });
    if (after != anchors_.end() && (best < 0 || after->offset < best)) best = after->offset;
    return best;
}

bool TextIndex::OpenAt(int64_t line, TextReader& reader, int64_t lastLine) {
    reader = TextReader();
    if (!Exists() || line < 1 || line > lineCount_ + 1) return false;
    const Hit anchor = AnchorAtOrBefore(line);
    // The bytes up to the next known place after the last line are all the
    // reader needs: two more for the LF of a last CR LF and the check after it.
    size_t span = 0;
    if (lastLine >= line) {
        const int64_t end = AnchorOffsetAfter(lastLine);
        if (end > anchor.offset) span = static_cast<size_t>(end - anchor.offset) + 2;
    }
    reader = Reader(encoding_, span);
    // Opened once already, the file may still fail now (too many open files).
    if (!reader.IsOpen()) return false;
    reader.Seek(anchor.offset, anchor.line);
    if (span > 0) reader.SetReadAhead(span);
    return reader.SkipLines(line - anchor.line) == line - anchor.line;
}

TextIndex& TextIndexCache::For(const std::filesystem::path& path) {
    if (const auto found = entries_.find(path); found != entries_.end() && found->second.held)
        return *found->second.index;
    return Made(path, FileLook::Of(path), false);
}

TextIndex& TextIndexCache::For(const std::filesystem::path& path, const FileLook& look) {
    return Made(path, look, true);
}

TextIndex& TextIndexCache::For(const std::filesystem::path& path, OpenedFile opened) {
    const FileLook look{opened.Info(), 0};
    return Made(path, look, true, std::move(opened));
}

TextIndex& TextIndexCache::Made(const std::filesystem::path& path, const FileLook& look, bool held,
                                OpenedFile opened) {
    const struct stat& info = look.info;
    const bool known = look.Exists();
    Entry& entry = entries_[path];
    const bool same = entry.index && known && entry.device == info.st_dev &&
                      entry.inode == info.st_ino && entry.size == info.st_size &&
                      entry.modified == info.st_mtim.tv_sec * 1'000'000'000 + info.st_mtim.tv_nsec;
    if (!same) {
        ReportSource source =
            sources_ ? sources_(path, opened.Descriptor()) : ReportSource::Plain(path);
        entry.index = std::make_unique<TextIndex>(path, std::move(source), std::move(opened));
        entry.device = known ? info.st_dev : 0;
        entry.inode = known ? info.st_ino : 0;
        entry.size = known ? info.st_size : -1;
        entry.modified = known ? info.st_mtim.tv_sec * 1'000'000'000 + info.st_mtim.tv_nsec : 0;
    }
    entry.held = entry.held || held;
    return *entry.index;
}

std::unique_ptr<TextIndex> TextIndexCache::Release(const std::filesystem::path& path) {
    const auto found = entries_.find(path);
    if (found == entries_.end()) return nullptr;
    std::unique_ptr<TextIndex> index = std::move(found->second.index);
    entries_.erase(found);
    return index;
}

} // namespace vok
