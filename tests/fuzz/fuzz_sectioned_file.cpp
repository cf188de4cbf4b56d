// The sectioned-file reader and writer: the input is a settings file, read
// with the designed sequential and whole-file lookups and the header check,
// then changed through the profile writer and read back.
#include "base/TextAccess.h"
#include "fuzz/FuzzSupport.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <cstdlib>

using namespace vok;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path file = fuzz::ScratchFile("settings.ini", fuzz::Text(data, size));
    fuzz::QuietObserver messages;

    GetIniValue(file, "Header", "Product", kMissing);
    GetIniValueEx(file, "Table 1", "Parsing", "", kTrimTrailing);
    GetIniValueEx(file, "Table 1", "ReadStartLine", "", kTrimLeading);
    FileHeaderIsInvalid(messages, file, "VOK", "EXPORT SPEC", "1.1");
    file_count_key_lines(file, {"[Table ", {}, {}, "Col"});
    CountFileLines(file);

    // Sections one after the other, as the export specification reads them.
    TextReader reader(file);
    for (int n = 1; n <= 3; ++n) {
        const std::string section = "Table " + std::to_string(n);
        ReadIniValue(reader, section, "ReadStartLine", kMissing);
        int32_t number = 0;
        ReadIntegerKey(messages, ReadIniValue(reader, "", "ReadStartLineOffset", "0"), section,
                       "ReadStartLineOffset", number);
        FindSection(reader, section + " Col 1");
        ReadIniValue(reader, "", "WriteColumn", kMissing);
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
