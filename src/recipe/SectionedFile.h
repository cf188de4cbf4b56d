// Sectioned files as recipes and export-specs files use them: "[" name "]"
// lines open sections, "key=value" lines carry settings. These are the
// readers with their exact rules (case-sensitive names, a section
// ends at any line holding "[", comments after ";", trim modes, the
// "-999999" sentinel), the [Header] check, and small helpers around them.
#pragma once

#include "base/TextReader.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vok {

class Messages;
struct KeyTexts;

// Readers that must tell a missing key from a present one pass this default.
inline constexpr std::string_view kMissing = "-999999";

enum TrimMode : int32_t { kTrimLeading = 1, kTrimTrailing = 2, kTrimBoth = 3 };

// Sequential lookup on an open file from its current position. An empty
// section name continues the search in the section being read.
std::string ReadIniValue(TextReader& file, std::string_view section, std::string_view key,
                         std::string_view defaultValue, int32_t trimMode = kTrimBoth);

// A sectioned file read into memory once. Recipes and export-specs files
// are looked up key by key, section by section: on the file that costs a read
// from its top per key, here a jump to the section's header line. The
// lookups below keep those rules exactly.
class SectionedText {
public:
    SectionedText() = default;
    // Lines as a file's reader gives them (no line ends, UTF-8).
    explicit SectionedText(const std::vector<std::string>& lines);
    // Lines one after the other in `text`, each followed by `separator` bytes
    // (a file's bytes with their line ends); `ends` is one past each line.
    SectionedText(std::string text, std::vector<size_t> ends, size_t separator);
    // An unreadable file is like a closed one: every lookup gives its default.
    static SectionedText FromFile(const std::filesystem::path& fileName);

    bool IsOpen() const { return open_; }
    // Why the file could not be read in full ("Permission denied", a line
    // too long); empty when it was. A read that failed halfway leaves the
    // lines before the failure.
    const std::string& ReadError() const { return error_; }
    size_t LineCount() const { return ends_.size(); }
    // The lines one after the other with their separators: a file's bytes,
    // where the text was made from them.
    std::string_view Block() const { return text_; }
    std::string_view Line(size_t i) const {
        const size_t begin = i == 0 ? 0 : ends_[i - 1] + separator_;
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }
    // The first header line of `section` at or after line index `from`;
    // LineCount() when there is none.
    size_t FindSection(std::string_view section, size_t from) const;
    // The first line at or after `from` that holds "["; LineCount() when none.
    size_t NextBracketLine(size_t from) const;

private:
    void Append(std::string_view line) {
        text_.append(line);
        ends_.push_back(text_.size());
    }
    void IndexLines();

    // The lines one after the other, without line ends: a recipe of
    // thousands of tables is one block, not a string per line.
    std::string text_;
    std::vector<size_t> ends_; // one past each line's last byte
    size_t separator_ = 0;     // the bytes between lines
    // The lines holding "[", ascending: only they can open or end a section
    // or hold a section's header text.
    std::vector<size_t> brackets_;
    // The header lines by the hash of their exact section name, then by line:
    // a few bytes a section, where thousands of sections are common.
    struct Header {
        size_t hash;
        size_t line;
        auto operator<=>(const Header&) const = default;
    };
    std::vector<Header> headers_;
    bool open_ = false;
    std::string error_;
};

// A read position in a SectionedText: what an open file is to the sequential
// lookups. It starts at the first line.
class SectionedCursor {
public:
    explicit SectionedCursor(const SectionedText& text, size_t line = 0)
        : text_(&text), next_(line) {}
    const SectionedText& Text() const { return *text_; }
    bool IsOpen() const { return text_->IsOpen(); }
    // The next line; false at the end.
    bool ReadLine(std::string_view& line);
    bool AtEnd() const { return next_ >= text_->LineCount(); }
    // The index of the line ReadLine gives next.
    size_t Position() const { return next_; }
    // Moves to the next line holding "[" (or to the end), past none of them.
    void SkipToBracketLine() { next_ = text_->NextBracketLine(next_); }
    // Moves to the first header line of `section` from here and past it; false
    // (at the end) when there is none.
    bool SkipToSection(std::string_view section);

private:
    const SectionedText* text_;
    size_t next_ = 0;
};

// The sequential lookup on a text in memory, exactly as on an open file.
std::string ReadIniValue(SectionedCursor& file, std::string_view section, std::string_view key,
                         std::string_view defaultValue, int32_t trimMode = kTrimBoth);

// What the lookups above read from a line "key=value" written with
// `written` as its value, the line following the one looked up before: the
// value trimmed, `defaultValue` where that leaves nothing. False where the
// line would not read back so (a "[" ends the section, a ";" opens a
// comment, a line end splits the line).
bool ReadsBackAs(std::string_view written, std::string_view defaultValue, std::string_view& read);

// True when a line from the cursor up to the next line holding "[" holds one
// of `texts`: a sequential lookup from there finds no key that holds none.
bool SectionMentions(SectionedCursor file, std::initializer_list<std::string_view> texts);

// Whole-file lookups on a text in memory: "" when the file could not be opened.
std::string GetIniValue(const SectionedText& text, std::string_view section, std::string_view key,
                        std::string_view defaultValue);
std::string GetIniValueEx(const SectionedText& text, std::string_view section, std::string_view key,
                          std::string_view defaultValue, int32_t trimMode);

// The whole-file lookups above, of many keys of one section: each gives
// what GetIniValueEx gives, and the section's header is found once for all.
class SectionLookup {
public:
    SectionLookup(const SectionedText& text, std::string_view section);
    std::string Get(std::string_view key, std::string_view defaultValue,
                    int32_t trimMode = kTrimBoth) const;
    // The section's lines from the one after its header; false when the
    // file holds no such section.
    bool Found() const { return body_ <= text_->LineCount(); }
    SectionedCursor Body() const { return SectionedCursor(*text_, body_); }

private:
    // A line of the section with "=": the line, the name before its first
    // "=" trimmed, and where that "=" stands.
    struct KeyLine {
        std::string_view line, name;
        size_t eq;
    };
    const SectionedText* text_;
    size_t body_;                   // past the end when there is no such section
    std::vector<KeyLine> keyLines_; // up to the first line holding "["
};

// The key-line search of whole lines from the cursor on, and the count of
// lines holding any of the keys and not the exclusion text.
int64_t find_key_line(SectionedCursor& file, const KeyTexts& keys);
int64_t CountKeyLines(const SectionedText& text, const KeyTexts& keys);
// The table sections of a recipe or export-specs file: the lines holding
// "[Table " and not "Col".
int64_t CountTableSections(const SectionedText& text);

bool FileHeaderIsInvalid(Messages& messages, const SectionedText& text, std::string_view product,
                         std::string_view fileType, std::string_view fileFormat);

// Whole-file lookups: "" (not the default) when the file cannot be opened.
std::string GetIniValue(const std::filesystem::path& fileName, std::string_view section,
                        std::string_view key, std::string_view defaultValue);
std::string GetIniValueEx(const std::filesystem::path& fileName, std::string_view section,
                          std::string_view key, std::string_view defaultValue, int32_t trimMode);

// True (after showing the message of the first mismatch) when the [Header]
// does not carry the expected product, file type and file format.
bool FileHeaderIsInvalid(Messages& messages, const std::filesystem::path& fileName,
                         std::string_view product, std::string_view fileType,
                         std::string_view fileFormat);

// Converts a whole-number value read from a recipe or export-specs file.
// A value that is no number shows "Error in <section> : <key> is not a whole
// number: <value>" and gives false, so a bad file never ends in a crash.
bool ReadIntegerKey(Messages& messages, std::string_view value, std::string_view section,
                    std::string_view key, int32_t& result);

// Replaces the 1-based item at `index`; an index outside the collection shows
// "Invalid Index in CollectionItemSet!" and changes nothing.
bool CollectionItemSet(Messages& messages, std::vector<std::string>& collection, int64_t index,
                       std::string value);

} // namespace vok
