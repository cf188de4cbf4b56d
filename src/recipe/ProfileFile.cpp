#include "recipe/ProfileFile.h"

#include "base/AtomicFile.h"
#include "base/TextReader.h"
#include "base/modUtilityString.h"
#include "recipe/SectionedFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vok {

namespace {

// A profile section header: "[" name "]" as the first thing on the line.
bool SectionHeaderName(std::string_view line, std::string_view& name) {
    const std::string_view t = TrimLeft(line);
    if (t.empty() || t.front() != '[') return false;
    const size_t close = t.find(']');
    if (close == std::string_view::npos) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// The key name of a "key=value" line, trimmed; false for other lines.
bool KeyName(std::string_view line, std::string_view& key) {
    const std::string_view t = TrimLeft(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return false;
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(t.substr(0, eq));
    return true;
}

uint64_t NoCaseHashOf(std::string_view name) {
    // FNV-1a over the upper-cased bytes.
    uint64_t hash = 14695981039346656037u;
    for (char c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    }
    return hash;
}

} // namespace

ProfileFile::ProfileFile(std::filesystem::path fileName, AtomicFile::Durability durability,
                         std::vector<std::string> lines)
    : fileName_(std::move(fileName)), durability_(durability), lines_(std::move(lines)),
      dirty_(true) {
    Index();
}

ProfileFile::ProfileFile(std::filesystem::path fileName, AtomicFile::Durability durability,
                         Start start)
    : fileName_(std::move(fileName)), durability_(durability) {
    // A file written anew needs nothing of the old one; committing makes it.
    if (start == Start::Empty) {
        dirty_ = true;
        return;
    }
    TextReader reader(fileName_);
    if (reader.IsOpen()) {
        encoding_ = reader.Encoding();
        std::string_view line;
        while (reader.ReadLine(line))
            lines_.emplace_back(line);
        byteOrderMark_ = reader.HadByteOrderMark();
        loadFailed_ = reader.ReadFailed();
    } else {
        // Missing is fine (writing creates it); present but unreadable is not.
        std::error_code ec;
        loadFailed_ = std::filesystem::exists(fileName_, ec) || ec;
    }
    Index();
}

void ProfileFile::Index() {
    lastSection_ = nullptr;
    sections_.clear();
    std::string current;
    bool inSection = false; // "[]" names a section too, so "current" may be empty
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name;
        if (!SectionHeaderName(lines_[i], name)) continue;
        if (inSection) sections_[current].end = i;
        inSection = true;
        current = AsciiUpper(name);
        // The first of two equal sections is the one the functions use.
        if (sections_.contains(current)) {
            current = "\x01" + std::to_string(i); // a later duplicate: kept, never found
        }
        sections_[current] = Section{i, lines_.size()};
    }
    if (inSection) sections_[current].end = lines_.size();
}

size_t ProfileFile::NoCaseHash::operator()(std::string_view name) const {
    return static_cast<size_t>(NoCaseHashOf(name));
}

const ProfileFile::Section* ProfileFile::FindSection(std::string_view name) const {
    const auto it = sections_.find(Trim(name));
    return it == sections_.end() ? nullptr : &it->second;
}

ProfileFile::Section* ProfileFile::FindSection(std::string_view name) {
    // A writer writes a section's keys one after the other: the section of
    // the last write is remembered (the map's elements never move).
    if (lastSection_ && name == lastSectionName_) return lastSection_;
    const auto it = sections_.find(Trim(name));
    if (it == sections_.end()) return nullptr;
    lastSectionName_.assign(name);
    lastSection_ = &it->second;
    return lastSection_;
}

size_t ProfileFile::FindKeyLine(const Section& section, std::string_view key) const {
    const std::string_view wanted = Trim(key);
    for (size_t i = section.header + 1; i < section.end; ++i) {
        std::string_view name;
        if (KeyName(lines_[i], name) && EqualsNoCase(name, wanted)) return i;
    }
    return std::string::npos;
}

std::string ProfileFile::Get(std::string_view section, std::string_view key,
                             std::string_view defaultValue) const {
    const Section* s = FindSection(section);
    if (!s) return std::string(defaultValue);
    const size_t line = FindKeyLine(*s, key);
    if (line == std::string::npos) return std::string(defaultValue);
    const std::string& text = lines_[line];
    std::string_view value = Trim(std::string_view(text).substr(text.find('=') + 1));
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\''))) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

void ProfileFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    std::string keyLine;
    keyLine.reserve(key.size() + value.size() + 1);
    keyLine.append(Trim(key)).append("=").append(value);

    Section* found = FindSection(section);
    if (!found) {
        // A new section goes at the end of the file, its key right after it.
        const std::string upper = AsciiUpper(Trim(section));
        const size_t header = lines_.size();
        lines_.push_back("[" + std::string(Trim(section)) + "]");
        lines_.push_back(std::move(keyLine));
        sections_[upper] = Section{header, lines_.size()};
        dirty_ = true;
        return;
    }
    Section& s = *found;
    const size_t existing = FindKeyLine(s, key);
    if (existing != std::string::npos) {
        // Only the value changes: the key keeps its spelling, since the
        // sectioned-file readers look keys up case-sensitively.
        const std::string& line = lines_[existing];
        // The value the key has already changes nothing, so that a commit need
        // not rewrite the file; blanks around "=" do not count.
        const std::string_view old = std::string_view(line).substr(line.find('=') + 1);
        if (old == value || (Trim(old) == value && Trim(value) == value)) return;
        std::string_view name;
        KeyName(line, name);
        std::string replaced(name);
        replaced.append("=").append(value);
        lines_[existing] = std::move(replaced);
        dirty_ = true;
        return;
    }
    // A new key goes after the section's last non-blank line.
    size_t at = s.end;
    while (at > s.header + 1 && Trim(lines_[at - 1]).empty())
        --at;
    if (at == lines_.size()) {
        // The last section grows at the end of the file, as every section of a
        // file written from the start does: no other section moves.
        lines_.push_back(std::move(keyLine));
        s.end = lines_.size();
        dirty_ = true;
        return;
    }
    const size_t header = s.header;
    lines_.insert(lines_.begin() + static_cast<ptrdiff_t>(at), std::move(keyLine));
    dirty_ = true;
    for (auto& [name, other] : sections_) {
        if (other.header >= at && other.header != header) ++other.header;
        if (other.end >= at) ++other.end;
    }
}

void ProfileFile::DeleteKey(std::string_view section, std::string_view key) {
    const Section* found = FindSection(section);
    if (!found) return;
    const size_t at = FindKeyLine(*found, key);
    if (at == std::string::npos) return;
    lines_.erase(lines_.begin() + static_cast<ptrdiff_t>(at));
    dirty_ = true;
    // The sections after the line move up by one; its own section ends one earlier.
    for (auto& [name, other] : sections_) {
        if (other.header > at) --other.header;
        if (other.end > at) --other.end;
    }
}

bool ProfileFile::Commit(std::string& error) {
    if (!dirty_) return true;
    if (loadFailed_) {
        error = "the file " + fileName_.string() + " exists but could not be read";
        return false;
    }
    // A byte-order mark stays: without it the first line would read differently
    // (and editors that rely on it would take the file for another encoding).
    std::string bytes = byteOrderMark_ ? "\xEF\xBB\xBF" : "";
    size_t total = bytes.size();
    for (const std::string& line : lines_)
        total += line.size() + 2;
    bytes.reserve(total);
    // A file that came in Windows-1252 stays Windows-1252 while it can.
    bool keep1252 = encoding_ == TextEncoding::Windows1252;
    if (keep1252) {
        std::string encoded;
        encoded.reserve(total);
        for (const std::string& line : lines_) {
            if (!AppendUtf8AsWindows1252(encoded, line)) {
                keep1252 = false;
                break;
            }
            encoded.append("\r\n");
        }
        if (keep1252) bytes.append(encoded);
    }
    if (!keep1252) {
        for (const std::string& line : lines_)
            bytes.append(line).append("\r\n");
    }
    if (!ReplaceFileContents(fileName_, bytes, error, durability_)) return false;
    dirty_ = false;
    return true;
}

SectionWriter::SectionWriter(std::filesystem::path fileName, AtomicFile::Durability durability)
    : fileName_(std::move(fileName)), durability_(durability) {}

std::string_view SectionWriter::LineAt(size_t i) const {
    const size_t begin = i == 0 ? 0 : ends_[i - 1] + 2;
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
}

std::vector<std::string> SectionWriter::AllLines() const {
    std::vector<std::string> lines;
    lines.reserve(ends_.size());
    for (size_t i = 0; i < ends_.size(); ++i)
        lines.emplace_back(LineAt(i));
    return lines;
}

void SectionWriter::StartSection(std::string_view name) {
    // Streamed sections are left behind: nothing looks back at them.
    if (inSection_ && !stream_) earlierSections_.insert(NoCaseHashOf(sectionName_));
    inSection_ = true;
    sectionName_.assign(name);
    sectionLine_ = ends_.size();
    sectionKeys_ = 0;
    bytes_.append("[").append(name).append("]");
    ends_.push_back(bytes_.size());
    bytes_.append("\r\n");
}

// Replaces line i of the last section; the lines after it follow again.
void SectionWriter::ReplaceLine(size_t i, std::string_view line) {
    std::vector<std::string> after;
    for (size_t k = i + 1; k < ends_.size(); ++k)
        after.emplace_back(LineAt(k));
    bytes_.resize(i == 0 ? 0 : ends_[i - 1] + 2);
    ends_.resize(i);
    bytes_.append(line);
    ends_.push_back(bytes_.size());
    bytes_.append("\r\n");
    for (const std::string& text : after) {
        bytes_.append(text);
        ends_.push_back(bytes_.size());
        bytes_.append("\r\n");
    }
}

void SectionWriter::Write(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view name = Trim(section);
    // The section of the last write again, as a rule spelled alike.
    if (!fallback_ &&
        !(inSection_ && (name == sectionName_ || EqualsNoCase(name, Trim(sectionName_))))) {
        // A section written before (or, rarely, one whose name hashes alike)
        // is the general file's to change.
        if (!stream_ && earlierSections_.contains(NoCaseHashOf(name)))
            fallback_ = std::make_unique<ProfileFile>(fileName_, durability_, AllLines());
        else
            StartSection(Trim(section));
    }
    if (fallback_) {
        fallback_->Write(section, key, value);
        return;
    }
    // The key's line in the last section, when it has one: only the value
    // changes. A key none of the section's lines can name is appended unsearched.
    const std::string_view wanted = Trim(key);
    for (size_t i = KeyMayBeWritten(wanted) ? sectionLine_ + 1 : ends_.size(); i < ends_.size();
         ++i) {
        std::string_view existing;
        const std::string_view line = LineAt(i);
        if (!KeyName(line, existing) || !EqualsNoCase(existing, wanted)) continue;
        const std::string_view old = line.substr(line.find('=') + 1);
        if (old == value || (Trim(old) == value && Trim(value) == value)) return;
        std::string replaced(existing);
        replaced.append("=").append(value);
        ReplaceLine(i, replaced);
        return;
    }
    const size_t begin = bytes_.size();
    bytes_.append(wanted).append("=").append(value);
    ends_.push_back(bytes_.size());
    bytes_.append("\r\n");
    // The name a later search would read off the line: the key itself, but
    // for an empty key or one holding "=" or opening like a comment or header.
    std::string_view written = wanted;
    const bool plain = !wanted.empty() && wanted.front() != ';' && wanted.front() != '[' &&
                       wanted.find('=') == std::string_view::npos;
    if (plain || KeyName(std::string_view(bytes_).substr(begin, ends_.back() - begin), written))
        sectionKeys_ |= KeyBit(written);
}

uint64_t SectionWriter::KeyBit(std::string_view name) {
    // Names equal but for case agree in length and in their first and last
    // letters; that is all the bit needs, and it costs no pass over the name.
    const auto upper = [](char c) {
        return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    };
    const size_t mix = name.empty() ? 0 : name.size() * 7 + upper(name.front()) * 3 + upper(name.back());
    return uint64_t{1} << (mix % 64);
}

bool SectionWriter::KeyMayBeWritten(std::string_view name) const {
    return (sectionKeys_ & KeyBit(name)) != 0;
}

bool SectionWriter::Commit(std::string& error) {
    if (fallback_) return fallback_->Commit(error);
    if (!stream_) return ReplaceFileContents(fileName_, bytes_, error, durability_);
    stream_->Append(bytes_);
    return stream_->Finish(error);
}

bool SectionWriter::CommitTaken(const SectionedText& taken, std::string& error) {
    if (fallback_) return fallback_->Commit(error);
    return ReplaceFileContents(fileName_, taken.Block(), error, durability_);
}

void SectionWriter::Stream() {
    if (fallback_ || durability_ != AtomicFile::Durability::InPlace)
        throw std::logic_error("only a working file written section after section is streamed");
    if (!stream_) {
        stream_ = std::make_unique<InPlaceFile>(fileName_, beforeOpening_);
        earlierSections_.clear();
    }
    stream_->Append(bytes_);
    // The next write opens a section of its own.
    inSection_ = false;
    sectionLine_ = 0;
}

SectionedText SectionWriter::Flush() {
    Stream();
    // The next piece starts with the room this one took.
    const size_t room = bytes_.capacity(), lines = ends_.capacity();
    SectionedText written(std::move(bytes_), std::move(ends_), 2);
    bytes_.clear();
    ends_.clear();
    bytes_.reserve(room);
    ends_.reserve(lines);
    return written;
}

void SectionWriter::FlushToFile() {
    Stream();
    bytes_.clear();
    ends_.clear();
}

SectionedText SectionWriter::Text() const {
    if (fallback_) return SectionedText(fallback_->Lines());
    return SectionedText(bytes_, ends_, 2);
}

SectionedText SectionWriter::TakeText() {
    if (fallback_) return SectionedText(fallback_->Lines());
    // Held for the rest of the run: no room to spare.
    bytes_.shrink_to_fit();
    ends_.shrink_to_fit();
    return SectionedText(std::move(bytes_), std::move(ends_), 2);
}

bool WriteIniValue(const std::filesystem::path& fileName, std::string_view section,
                   std::string_view key, std::string_view value) {
    ProfileFile file(fileName);
    file.Write(section, key, value);
    std::string error;
    return file.Commit(error);
}

} // namespace vok
