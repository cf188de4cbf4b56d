// The private-profile functions: settings files read and written the way the
// operating system's profile functions do it. Section and key names match
// without regard to letter case, a missing key gives the default, writing
// creates the file, the section or the key and replaces a value in place, and
// lines end in CR LF.
//
// A ProfileFile holds one file in memory. Every write goes to the memory copy;
// Commit writes the whole file to a temporary file beside it and renames that
// over the file, so a failure never leaves half a file. A run of writes to one
// file (an export-specs file has thousands of keys) commits once.
#pragma once

#include "base/AtomicFile.h"
#include "base/TextEncoding.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vok {

class SectionedText;

// What writes keys into sections: the file's own operations, or a file
// written from its start.
class ProfileWriter {
public:
    virtual ~ProfileWriter() = default;
    // Creates or replaces the key's line "key=value" in the section.
    virtual void Write(std::string_view section, std::string_view key, std::string_view value) = 0;
};

class ProfileFile : public ProfileWriter {
public:
    // What the object starts from: the file as it is (a missing file is
    // empty), or nothing, for a file that is written anew as a whole.
    enum class Start { FromFile, Empty };

    // Loads the file when it exists; a missing file starts empty.
    explicit ProfileFile(std::filesystem::path fileName,
                         AtomicFile::Durability durability = AtomicFile::Durability::Synced,
                         Start start = Start::FromFile);
    // Starts from these lines, as a file not yet written.
    ProfileFile(std::filesystem::path fileName, AtomicFile::Durability durability,
                std::vector<std::string> lines);

    const std::filesystem::path& FileName() const { return fileName_; }

    // The value of the key (trimmed, surrounding quotes removed), or the default.
    std::string Get(std::string_view section, std::string_view key,
                    std::string_view defaultValue) const;

    // Creates or replaces the key's line "key=value" in the section. Writing
    // the value a key already has changes nothing.
    void Write(std::string_view section, std::string_view key, std::string_view value) override;

    // Removes the key's line from the section, as writing no value does with
    // the operating system's function; a key that is not there changes nothing.
    void DeleteKey(std::string_view section, std::string_view key);

    // Writes the file (temporary file and rename); false when that failed, and
    // the earlier file is then left as it was. A file that exists but could not
    // be read is never replaced: the copy in memory would lack its content.
    bool Commit(std::string& error);

    // The lines as the file holds them once committed (and as reading it back
    // gives them).
    const std::vector<std::string>& Lines() const { return lines_; }

    // Something was written that the file on disk does not hold yet.
    bool Changed() const { return dirty_; }

private:
    struct Section {
        size_t header; // line index of the section's header line
        size_t end;    // one past its last line
    };
    void Index();
    const Section* FindSection(std::string_view name) const;
    Section* FindSection(std::string_view name);
    size_t FindKeyLine(const Section& section, std::string_view key) const;

    std::filesystem::path fileName_;
    AtomicFile::Durability durability_;
    std::vector<std::string> lines_;
    // Upper-cased names, looked up without regard to case and without a copy.
    struct NoCaseHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const;
    };
    struct NoCaseEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const {
            return EqualsNoCase(a, b);
        }
    };
    std::unordered_map<std::string, Section, NoCaseHash, NoCaseEqual> sections_;
    TextEncoding encoding_ = TextEncoding::Utf8;
    bool byteOrderMark_ = false;
    bool dirty_ = false;
    std::string lastSectionName_; // as the last write named it
    Section* lastSection_ = nullptr;
    bool loadFailed_ = false; // the file exists but could not be read whole
};

// A profile file written anew from its start, section after section, as the
// working files are: its lines are one block of the file's bytes, not a
// string each, and the text read back is that block. Writes give the lines
// ProfileFile gives; a write into a section before the last turns it into a
// ProfileFile.
class SectionWriter final : public ProfileWriter {
public:
    SectionWriter(std::filesystem::path fileName, AtomicFile::Durability durability);
    void Write(std::string_view section, std::string_view key, std::string_view value) override;
    // Writes the file (temporary file and rename); false when that failed.
    bool Commit(std::string& error);
    // The lines as reading the file back gives them: a copy, or the block itself
    // (after which nothing more is written or committed).
    SectionedText Text() const;
    SectionedText TakeText();
    // Writes the file from the bytes TakeText handed over; false when that failed.
    bool CommitTaken(const SectionedText& taken, std::string& error);

    // Streams a working file (Durability::InPlace): the sections written so
    // far go to the file and leave memory, and are given back as a text of
    // their own. The sections written after it are new ones; Commit ends the
    // file. A file written this way never turns into a ProfileFile.
    SectionedText Flush();
    // The same, for sections whose reading back is not needed: they go to
    // the file and their room is kept for the next.
    void FlushToFile();
    // Called once before a streamed file is first opened.
    void BeforeOpening(std::function<void()> call) { beforeOpening_ = std::move(call); }

private:
    void StartSection(std::string_view name);
    void Stream();
    std::vector<std::string> AllLines() const;
    std::string_view LineAt(size_t i) const;
    void ReplaceLine(size_t i, std::string_view line);
    static uint64_t KeyBit(std::string_view name);
    bool KeyMayBeWritten(std::string_view name) const;

    std::filesystem::path fileName_;
    AtomicFile::Durability durability_;
    std::string bytes_;        // each line followed by CR LF
    std::vector<size_t> ends_; // one past each line's last byte
    size_t sectionLine_ = 0;   // the last section's header line
    bool inSection_ = false;
    // A bit for each key name the last section's lines hold, chosen by its
    // length and end letters (case ignored): a clear bit means a new key,
    // known without a search.
    uint64_t sectionKeys_ = 0;
    std::string sectionName_;                // the last section's, as written
    std::unordered_set<uint64_t> earlierSections_; // the others' names, hashed
    std::unique_ptr<ProfileFile> fallback_; // after a write into an earlier section
    std::unique_ptr<InPlaceFile> stream_;   // once the sections are streamed
    std::function<void()> beforeOpening_;
};

// One key written at once: load, write, commit. False when the file could not be written.
// The program writes through ProfileFile; tests and bench/ (the cost of a lone
// write) use this to set up files.
bool WriteIniValue(const std::filesystem::path& fileName, std::string_view section,
                   std::string_view key, std::string_view value);

} // namespace vok
