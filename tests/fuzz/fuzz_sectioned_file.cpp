// The sectioned-file reader and writer: the input is a settings file, read
// with the sequential, whole-file and one-section lookups and the header check,
// on the file and in memory (which must agree), then changed through the
// profile writer and read back.
#include "base/TextAccess.h"
#include "fuzz/FuzzSupport.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <cstdlib>

using namespace vok;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path file = fuzz::ScratchFile("settings.ini", fuzz::Text(data, size));
    fuzz::QuietObserver messages;

    const SectionedText text = SectionedText::FromFile(file);
    if (GetIniValue(file, "Header", "Product", kMissing) !=
            GetIniValue(text, "Header", "Product", kMissing) ||
        GetIniValueEx(file, "Table 1", "Parsing", "", kTrimTrailing) !=
            GetIniValueEx(text, "Table 1", "Parsing", "", kTrimTrailing) ||
        GetIniValueEx(file, "Table 1", "ReadStartLine", "", kTrimLeading) !=
            GetIniValueEx(text, "Table 1", "ReadStartLine", "", kTrimLeading))
        std::abort();
    // Many keys of one section, its lines split once: as the file lookup.
    for (const std::string_view section : {"Table 1", "Header", ""}) {
        const SectionLookup lookup(text, section);
        for (const std::string_view key :
             {"ReadStartLine", "ReadStartLineOffset", "Parsing", "Read", "WriteColumn", ""}) {
            for (const int32_t trim : {kTrimLeading, kTrimTrailing, kTrimBoth})
                if (lookup.Get(key, kMissing, trim) !=
                    GetIniValueEx(file, section, key, kMissing, trim))
                    std::abort();
        }
    }
    FileHeaderIsInvalid(messages, file, "VOK", "EXPORT SPEC", "1.1");
    FileHeaderIsInvalid(messages, text, "VOK", "EXPORT SPEC", "1.1");
    if (file_count_key_lines(file, {"[Table ", {}, {}, "Col"}) !=
        CountKeyLines(text, {"[Table ", {}, {}, "Col"}))
        std::abort();

    // Sections one after the other, as the export-specs file reads them:
    // the open file and the text in memory give the same values.
    TextReader reader(file);
    SectionedCursor cursor(text);
    for (int n = 1; n <= 3; ++n) {
        const std::string section = "Table " + std::to_string(n);
        if (ReadIniValue(reader, section, "ReadStartLine", kMissing) !=
            ReadIniValue(cursor, section, "ReadStartLine", kMissing))
            std::abort();
        int32_t number = 0;
        const std::string offset = ReadIniValue(reader, "", "ReadStartLineOffset", "0");
        if (offset != ReadIniValue(cursor, "", "ReadStartLineOffset", "0")) std::abort();
        ReadIntegerKey(messages, offset, section, "ReadStartLineOffset", number);
        ReadIniValue(reader, section + " Col 1", "WriteColumn", kMissing);
        cursor.SkipToSection(section + " Col 1");
        ReadIniValue(cursor, "", "WriteColumn", kMissing);
    }

    // A written key reads back as written.
    ProfileFile profile(file, AtomicFile::Durability::Scratch);
    profile.Get("Header", "Product", "");
    profile.Write("Header", "Product", "VOK");
    profile.Write("Fuzz Section", "Key", "value");
    std::string error;
    if (profile.Commit(error)) {
        const ProfileFile again(file, AtomicFile::Durability::Scratch);
        if (again.Get("Fuzz Section", "Key", "") != "value") std::abort();
        if (again.Get("Header", "Product", "") != "VOK") std::abort();
    }
    return 0;
}
