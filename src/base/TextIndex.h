// What one read of a report tells the job about it: its encoding, whether it
// holds tabs, how many lines it has, and the lines that hold each key text the
// job searches for. A table's search "from line 1 for the first line
// holding the key" is then a look-up, and its rows are read from a known
// place instead of from the top of the file.
//
// The scan reads the file in large blocks. Key texts are searched in the bytes
// as the file holds them (a key is encoded the way the file is, so a
// Windows-1252 report is never decoded for the search); few keys are searched
// one by one, many at once with an automaton. Memory stays flat in the size of
// the report: a line position every so many lines, and for each key its first
// line. What is not known (a key nobody announced, a key's later lines) is
// found by reading the file again, from the nearest known place.
#pragma once

#include "base/TemporaryText.h"
#include "base/TextEncoding.h"
#include "base/TextReader.h"
#include "base/modUtilityFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vok {

// A message about a report that is read from a text rebuilt from it (a PDF
// print-out): said when the report is read, the file converted all the same.
struct ReportNote {
    std::string text;
    bool failure = false; // counts against the file; else a notice
};

// Where a report's text is read: the report itself, or the text rebuilt from
// it, which lives as long as a source holds it.
struct ReportSource {
    std::filesystem::path readFrom;
    std::shared_ptr<const TemporaryText> rebuilt;
    // Why no text could be had from the report, a whole message naming it.
    std::string problem;
    std::vector<ReportNote> notes;

    static ReportSource Plain(std::filesystem::path path) {
        ReportSource source;
        source.readFrom = std::move(path);
        return source;
    }
};

// How a job turns a report's name into the text it reads; the report's
// descriptor when the job holds it open already, else -1.
using ReportSourceMaker = std::function<ReportSource(const std::filesystem::path&, int)>;

class TextIndex {
public:
    explicit TextIndex(std::filesystem::path path);
    // A report read from another text: `path` names it in messages.
    TextIndex(std::filesystem::path path, ReportSource source);
    // The same with the report opened already: the first read of its own
    // text takes this descriptor instead of opening the file again.
    TextIndex(std::filesystem::path path, ReportSource source, OpenedFile opened);

    const std::filesystem::path& Path() const { return path_; }
    // What was said of the report's text while it was made, and why there is
    // none, when there is none.
    const std::vector<ReportNote>& Notes() const { return source_.notes; }
    const std::string& Problem() const { return source_.problem; }
    // Where the text is read: the report itself or the text rebuilt from it.
    const std::filesystem::path& ReadFrom() const { return source_.readFrom; }

    // A key text the next scan looks for too, so that asking for it later
    // reads nothing. Announce every key of a job before asking anything.
    void Expect(std::string_view key);
    // Room for `count` keys in all, before they are announced: a recipe of
    // thousands of tables announces twice as many.
    void ExpectMany(size_t count);

    // What the scan learnt (each of them scans the file if it was not yet).
    bool Exists();
    TextEncoding Encoding();
    bool HasTabs();
    // Every byte is ASCII: a byte is a character in either encoding.
    bool AllAscii();
    int64_t LineCount();
    // In a report read as Windows-1252 that also holds characters of good
    // UTF-8 (which then read as two or three others): the line whose bytes
    // are not UTF-8, so that the user may mend it. 0 otherwise.
    int64_t MixedEncodingLine();
    // True when reading the file failed (a device error, a line longer than
    // kLongestLine); the lines before the failure are known.
    bool ReadFailed();
    std::string ReadError();
    // Why the file could not be opened ("Permission denied"); empty when it was.
    const std::string& OpenError();

    // The 1-based number of the first line that holds the key (a case-sensitive
    // substring; an empty key is held by every non-empty line); 0 when none
    // does or the file does not exist. What the key-line search from line 1 gives.
    int64_t FirstLine(std::string_view key);
    // The first line after line `after` that holds the key; 0 when none does.
    int64_t NextLine(std::string_view key, int64_t after);

    // Whether the file was read for what a scan tells. A run that reads a
    // report once for its table's rows tells the index what it learnt
    // instead (KnowPlainText).
    bool Scanned() const { return scanned_; }
    // The text is the report's own file, as it stands (not one rebuilt from it).
    bool ReadsItsOwnFile() const {
        return !source_.rebuilt && source_.problem.empty() && source_.notes.empty() &&
               source_.readFrom == path_;
    }
    // What one read of every line of the file found: plain ASCII without a
    // tab, `lines` lines, and the first line of each key of `found` (its
    // number and the byte offset of its start). A key not named is searched
    // when asked for.
    struct KnownLine {
        std::string_view key;
        int64_t line;
        int64_t offset;
    };
    void KnowPlainText(int64_t lines, std::initializer_list<KnownLine> found);

    // Opens `reader` on the file at the start of 1-based `line`, by way of the
    // nearest known place before it: as if lines 1 to line - 1 had been read.
    // `lastLine`, when given, is the last line the caller means to read: the
    // reader then reads no further ahead than it needs. False (and a closed
    // reader) when the file has fewer than line - 1 lines, or cannot be
    // opened now (the reader's OpenError says why).
    bool OpenAt(int64_t line, TextReader& reader, int64_t lastLine = 0);
    // A reader on the text from its first byte (OpenAt's reader, without the
    // look-ups: for a caller that reads every line).
    TextReader Reader(TextEncoding encoding, size_t bufferSize = 0);

private:
    struct Hit {
        int64_t line;
        int64_t offset; // byte offset of the line's start
    };
    // One key text, and the first line where a scan met it in each
    // encoding's bytes (line 0: none; a key of plain ASCII uses the first).
    struct Key {
        std::string text;
        bool scanned = false;
        Hit utf8First{0, 0}, latinFirst{0, 0};
    };
    class Scanner;

    Key& KeyOf(std::string_view key);
    // Reads the file once for what is not known yet: the file itself on the
    // first call, and every announced key not yet searched.
    void Scan();
    void EnsureScanned(Key& key);
    const Hit& FirstHit(const Key& key) const;
    // The last known line start at or before `line`: line 1, a checkpoint or a hit.
    Hit AnchorAtOrBefore(int64_t line) const;
    int64_t AnchorOffsetAfter(int64_t line) const;
    int64_t SearchFrom(std::string_view key, int64_t line);

    std::filesystem::path path_;
    ReportSource source_;
    OpenedFile opened_; // the report as the job opened it, until its first read
    bool scanned_ = false;
    bool exists_ = false;
    TextEncoding encoding_ = TextEncoding::Utf8;
    bool hasTabs_ = false;
    bool allAscii_ = true;
    int64_t lineCount_ = 0;
    bool readFailed_ = false;
    int readError_ = 0;
    int64_t mixedLine_ = 0;
    int64_t longLine_ = 0; // the line longer than kLongestLine, when one is
    std::string openError_;
    // Checkpoints: the start of line 1 + i * checkpointEvery_.
    std::vector<int64_t> checkpoints_;
    int64_t checkpointEvery_ = 1024;
    std::vector<Key> keys_;
    // The keys by their text's hash: slots holding a key's index + 1 (0:
    // empty), a power of two at least twice the keys, probed one after the
    // other. Four bytes a slot, where a recipe announces tens of thousands.
    std::vector<uint32_t> keySlots_;
    size_t SlotOf(std::string_view key) const;
    // The key after the one last asked for: tables ask for their keys in the
    // order they announced them, so it is tried before the hash.
    size_t nextKey_ = 0;
    std::vector<Hit> anchors_; // the first line of every key, by line
};

// The reports of one job, each indexed once. An index is dropped when its
// file changed on disk since it was made.
class TextIndexCache {
public:
    TextIndexCache() = default;
    explicit TextIndexCache(ReportSourceMaker sources) : sources_(std::move(sources)) {}
    TextIndex& For(const std::filesystem::path& path);
    // The same for a report the caller looked at already (a stat of `path`).
    // Its index then holds until Clear without looking at the file again: a
    // job converts the report as it found it when the conversion began.
    TextIndex& For(const std::filesystem::path& path, const FileLook& look);
    // The same for a report the caller opened: its look is what the opening
    // found, and the index reads the descriptor.
    TextIndex& For(const std::filesystem::path& path, OpenedFile opened);
    // Hands over the index of a report, for reading its lines after the job;
    // null when there is none.
    std::unique_ptr<TextIndex> Release(const std::filesystem::path& path);
    void Clear() { entries_.clear(); }

private:
    struct Entry {
        std::unique_ptr<TextIndex> index;
        uint64_t device = 0, inode = 0;
        int64_t size = -1, modified = 0;
        bool held = false; // made from the caller's look: not looked at again
    };
    TextIndex& Made(const std::filesystem::path& path, const FileLook& look, bool held,
                    OpenedFile opened = {});
    ReportSourceMaker sources_;
    std::map<std::filesystem::path, Entry> entries_;
};

} // namespace vok
