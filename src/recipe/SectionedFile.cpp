#include "recipe/SectionedFile.h"

#include "base/Messages.h"
#include "base/TextAccess.h"
#include "base/TextEncoding.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityString.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace vok {

namespace {

// A header holds "[" and, at least two characters after it, the line's first "]".
bool IsSectionHeader(std::string_view line, std::string_view& name) {
    const size_t open = line.find('[');
    if (open == std::string_view::npos) return false;
    const size_t close = line.find(']');
    if (close == std::string_view::npos || close < open + 2) return false;
    name = Trim(line.substr(open + 1, close - open - 1));
    return true;
}

std::string_view TrimByMode(std::string_view value, int32_t trimMode) {
    if (trimMode == kTrimLeading) return TrimLeft(value);
    if (trimMode == kTrimTrailing) return TrimRight(value);
    return Trim(value);
}

// Whether a line with "=" at `eq` (its name before the "=" trimmed) ends the
// search for `key`. A line naming the key decides: `result` takes its value,
// up to a comment, trimmed by the mode, unless that leaves nothing. A line that
// only mentions the key elsewhere ends the search with `result` as it is; any
// other is passed over. The name is looked at first: keys are mostly read in
// the order they stand.
bool LineEndsSearch(std::string_view line, std::string_view name, size_t eq, std::string_view key,
                    std::string& result, int32_t trimMode) {
    if (name != key) return line.find(key) != std::string_view::npos;
    std::string_view value = line.substr(eq + 1);
    const size_t semicolon = line.find(';');
    if (semicolon != std::string_view::npos && semicolon > eq) {
        value = line.substr(eq + 1, semicolon - eq - 1);
    }
    if (!Trim(value).empty()) result.assign(TrimByMode(value, trimMode));
    return true;
}

// 3. Key search from the line after the section's header (or from the current
// line): the first line that mentions the key and has "=" decides.
template <typename File>
std::string SearchKey(File& file, std::string_view key, std::string result, int32_t trimMode) {
    std::string_view line;
    while (file.ReadLine(line)) {
        if (line.find('[') != std::string_view::npos) return result;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        if (LineEndsSearch(line, Trim(line.substr(0, eq)), eq, key, result, trimMode))
            return result;
    }
    return result;
}

} // namespace

std::string ReadIniValue(TextReader& file, std::string_view section, std::string_view key,
                         std::string_view defaultValue, int32_t trimMode) {
    // 1. The result starts as the default.
    std::string result(defaultValue);
    if (!file.IsOpen()) return result;
    // 2. Section search, unless the search goes on in the current section.
    if (!section.empty()) {
        std::string_view line;
        for (;;) {
            if (!file.ReadLine(line)) return result;
            std::string_view name;
            if (IsSectionHeader(line, name) && name == section) break;
        }
    }
    // 3. Key search.
    return SearchKey(file, key, std::move(result), trimMode);
}

SectionedText::SectionedText(const std::vector<std::string>& lines) : open_(true) {
    size_t total = 0;
    for (const std::string& line : lines)
        total += line.size();
    text_.reserve(total);
    ends_.reserve(lines.size());
    for (const std::string& line : lines)
        Append(line);
    IndexLines();
}

SectionedText::SectionedText(std::string text, std::vector<size_t> ends, size_t separator)
    : text_(std::move(text)), ends_(std::move(ends)), separator_(separator), open_(true) {
    IndexLines();
}

SectionedText SectionedText::FromFile(const std::filesystem::path& fileName) {
    SectionedText text;
    // One read: the lines as the file holds them, checked for UTF-8 on the
    // way and decoded at the end when they are not. Reading the file for its
    // encoding first would read a huge one whole before its first line.
    TextReader file(fileName, TextEncoding::Utf8);
    if (!file.IsOpen()) {
        text.error_ = file.OpenError();
        return text;
    }
    // The text holds the file but for its line ends: room for it at once,
    // not copied again each time it grows (a file whose size lies is bounded).
    constexpr int64_t kLargestReserve = int64_t{64} << 20;
    text.text_.reserve(static_cast<size_t>(std::clamp<int64_t>(file.FileSize(), 0, kLargestReserve)));
    // A read that fails halfway leaves the lines read so far, as a file would.
    Utf8Validator validator;
    std::string_view line;
    while (file.ReadRawLine(line)) {
        // A line end between lines: no character runs over it.
        validator.Feed(line.data(), line.size());
        validator.Feed("\n", 1);
        text.Append(line);
    }
    if (!validator.Finish()) {
        SectionedText decoded;
        std::string piece;
        for (size_t i = 0; i < text.LineCount(); ++i) {
            piece.clear();
            AppendWindows1252AsUtf8(piece, text.Line(i));
            decoded.Append(piece);
        }
        text.text_ = std::move(decoded.text_);
        text.ends_ = std::move(decoded.ends_);
    }
    text.error_ = file.ReadError();
    text.open_ = true;
    text.IndexLines();
    return text;
}

void SectionedText::IndexLines() {
    headers_.clear();
    brackets_.clear();
    for (size_t i = 0; i < LineCount(); ++i) {
        const std::string_view line = Line(i);
        if (line.find('[') == std::string_view::npos) continue;
        brackets_.push_back(i);
        std::string_view name;
        if (IsSectionHeader(line, name))
            headers_.push_back({std::hash<std::string_view>()(name), i});
    }
    std::sort(headers_.begin(), headers_.end());
}

size_t SectionedText::FindSection(std::string_view section, size_t from) const {
    // The headers whose names hash alike, from line `from` on; the first that
    // is the section's.
    const size_t hash = std::hash<std::string_view>()(section);
    for (auto it = std::lower_bound(headers_.begin(), headers_.end(), Header{hash, from});
         it != headers_.end() && it->hash == hash; ++it) {
        std::string_view name;
        if (IsSectionHeader(Line(it->line), name) && name == section) return it->line;
    }
    return LineCount();
}

size_t SectionedText::NextBracketLine(size_t from) const {
    const auto found = std::lower_bound(brackets_.begin(), brackets_.end(), from);
    return found == brackets_.end() ? LineCount() : *found;
}

bool SectionedCursor::ReadLine(std::string_view& line) {
    if (next_ >= text_->LineCount()) return false;
    line = text_->Line(next_++);
    return true;
}

bool SectionedCursor::SkipToSection(std::string_view section) {
    next_ = text_->FindSection(section, next_);
    if (next_ >= text_->LineCount()) return false;
    ++next_;
    return true;
}

std::string ReadIniValue(SectionedCursor& file, std::string_view section, std::string_view key,
                         std::string_view defaultValue, int32_t trimMode) {
    // 1. The result starts as the default.
    std::string result(defaultValue);
    if (!file.IsOpen()) return result;
    // 2. Section search: the first header of the section from here, found in
    // the index instead of line by line.
    if (!section.empty() && !file.SkipToSection(section)) return result;
    // 3. Key search.
    return SearchKey(file, key, std::move(result), trimMode);
}

bool ReadsBackAs(std::string_view written, std::string_view defaultValue, std::string_view& read) {
    if (written.find_first_of("[;\r\n") != std::string_view::npos) return false;
    read = Trim(written);
    if (read.empty()) read = defaultValue;
    return true;
}

bool SectionMentions(SectionedCursor file, std::initializer_list<std::string_view> texts) {
    std::string_view line;
    while (file.ReadLine(line) && line.find('[') == std::string_view::npos) {
        for (const std::string_view text : texts)
            if (line.find(text) != std::string_view::npos) return true;
    }
    return false;
}

std::string GetIniValueEx(const SectionedText& text, std::string_view section, std::string_view key,
                          std::string_view defaultValue, int32_t trimMode) {
    if (!text.IsOpen()) return {};
    SectionedCursor file(text);
    return ReadIniValue(file, section, key, defaultValue, trimMode);
}

std::string GetIniValue(const SectionedText& text, std::string_view section, std::string_view key,
                        std::string_view defaultValue) {
    return GetIniValueEx(text, section, key, defaultValue, kTrimBoth);
}

SectionLookup::SectionLookup(const SectionedText& text, std::string_view section) : text_(&text) {
    // As a lookup from the file's first line finds it: the first header.
    SectionedCursor file(text);
    body_ = section.empty() ? 0 : file.SkipToSection(section) ? file.Position() : ~size_t{0};
    if (!Found()) return;
    // The lines every search reads, up to the first holding "[" (which ends
    // it), split at their "=" once rather than once a key; lines without
    // one are passed over by every search.
    const size_t end = text.NextBracketLine(body_);
    for (size_t i = body_; i < end; ++i) {
        const std::string_view line = text.Line(i);
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos) keyLines_.push_back({line, Trim(line.substr(0, eq)), eq});
    }
}

std::string SectionLookup::Get(std::string_view key, std::string_view defaultValue,
                               int32_t trimMode) const {
    if (!text_->IsOpen()) return {};
    std::string result(defaultValue);
    // The search of SearchKey, over the lines split beforehand.
    for (const KeyLine& keyLine : keyLines_) {
        if (LineEndsSearch(keyLine.line, keyLine.name, keyLine.eq, key, result, trimMode)) break;
    }
    return result;
}

namespace {

// Keys that all hold "[" are found on lines holding "[" only: the search
// may pass over the others unread.
bool OnlyBracketLinesAnswer(const KeyTexts& keys) {
    const auto bracket = [](std::string_view text) {
        return text.find('[') != std::string_view::npos;
    };
    return bracket(keys.key) && (keys.alternative.empty() || bracket(keys.alternative)) &&
           (keys.endKey.empty() || bracket(keys.endKey));
}

} // namespace

int64_t find_key_line(SectionedCursor& file, const KeyTexts& keys) {
    // The same search as on a file, over whole lines.
    const bool jump = OnlyBracketLinesAnswer(keys);
    const size_t start = file.Position();
    std::string_view line;
    for (;;) {
        if (jump) file.SkipToBracketLine();
        if (!file.ReadLine(line)) return 0;
        const auto count = static_cast<int64_t>(file.Position() - start);
        if (const int64_t answer = KeyLineAnswer(line, keys, count); answer != 0) return answer;
    }
}

int64_t CountKeyLines(const SectionedText& text, const KeyTexts& keys) {
    if (!text.IsOpen()) return 0;
    SectionedCursor file(text);
    int64_t found = 0;
    while (find_key_line(file, keys) != 0)
        ++found;
    return found;
}

int64_t CountTableSections(const SectionedText& text) {
    return CountKeyLines(text, {"[Table ", {}, {}, "Col"});
}

std::string GetIniValueEx(const std::filesystem::path& fileName, std::string_view section,
                          std::string_view key, std::string_view defaultValue, int32_t trimMode) {
    TextReader file(fileName);
    if (!file.IsOpen()) return {};
    return ReadIniValue(file, section, key, defaultValue, trimMode);
}

std::string GetIniValue(const std::filesystem::path& fileName, std::string_view section,
                        std::string_view key, std::string_view defaultValue) {
    return GetIniValueEx(fileName, section, key, defaultValue, kTrimBoth);
}

bool FileHeaderIsInvalid(Messages& messages, const SectionedText& text, std::string_view product,
                         std::string_view fileType, std::string_view fileFormat) {
    const struct {
        std::string_view key;
        std::string_view expected;
        std::string_view message;
    } checks[] = {{"Product", product, "Incorrect product code!"},
                  {"FileType", fileType, "Incorrect file type!"},
                  {"FileFormat", fileFormat, "Incorrect file format!"}};
    for (const auto& check : checks) {
        const std::string value = GetIniValue(text, "Header", check.key, kMissing);
        if (AsciiUpper(Trim(value)) != AsciiUpper(check.expected)) {
            messages.Show(check.message, MessageIcon::Critical);
            return true;
        }
    }
    return false;
}

bool FileHeaderIsInvalid(Messages& messages, const std::filesystem::path& fileName,
                         std::string_view product, std::string_view fileType,
                         std::string_view fileFormat) {
    return FileHeaderIsInvalid(messages, SectionedText::FromFile(fileName), product, fileType,
                               fileFormat);
}

bool ReadIntegerKey(Messages& messages, std::string_view value, std::string_view section,
                    std::string_view key, int32_t& result) {
    if (ParseWholeNumber(value, result)) return true;
    std::string text = "Error in ";
    text.append(section).append(" : ").append(key).append(" is not a whole number: ");
    text.append(Echo(value));
    messages.Show(text, MessageIcon::Critical);
    return false;
}

bool CollectionItemSet(Messages& messages, std::vector<std::string>& collection, int64_t index,
                       std::string value) {
    if (index < 1 || index > static_cast<int64_t>(collection.size())) {
        messages.Show("Invalid Index in CollectionItemSet!", MessageIcon::Critical);
        return false;
    }
    collection[static_cast<size_t>(index - 1)] = std::move(value);
    return true;
}

} // namespace vok
