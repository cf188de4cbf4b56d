#include "fuzz/FuzzSupport.h"

#include "output/Workbook.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <expat.h>
#include <system_error>
#include <unistd.h>
#include <zip.h>

namespace vok::fuzz {

namespace {

void Exercise(Workbook& book) {
    const int32_t sheets = book.SheetCount();
    for (int32_t s = 1; s <= sheets && s <= 8; ++s) {
        book.SheetName(s);
        const CellRange used = book.UsedRange(s);
        book.CellText(s, std::max(used.firstRow, 1), std::max(used.firstColumn, 1));
    }
    book.SetCellValue(1, 1, 1, "1,234.50");
    book.SetCellValue(1, 2, 3, "(12.00)");
    book.SetCellValue(1, 3, 2, "text <&> \"quoted\"");
    book.SetCellValue(1, 4, 1, "");
    std::string error;
    book.SetSheetName(1, "Fuzz (P1)", error);
    book.AddSheet("Added", error);
    if (sheets >= 2) book.ClearRange(2, book.UsedRange(2));
    book.SetStandardFont("Courier New");
}

// The harness's folder in RAM, removed with everything in it when the
// process ends. The removal belongs to the folder's own destructor: a
// function given to atexit while the folder was being made ran after it was
// destroyed, and every run left its folder behind.
const std::filesystem::path& ScratchFolder() {
    struct Folder {
        std::filesystem::path path;
        Folder() {
            std::error_code ec;
            const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                                   ? "/dev/shm"
                                                   : std::filesystem::temp_directory_path();
            std::string pattern = (base / "vok-fuzz-XXXXXX").string();
            if (!::mkdtemp(pattern.data())) std::abort();
            path = pattern;
        }
        Folder(const Folder&) = delete;
        Folder& operator=(const Folder&) = delete;
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder folder;
    return folder.path;
}

// Well-formed with its namespaces: a prefix used outside its declaration's
// scope counts as damage, as it does for the programs that read workbooks.
bool WellFormed(std::string_view xml) {
    XML_Parser parser = XML_ParserCreateNS(nullptr, '|');
    if (!parser) std::abort();
    const bool ok =
        XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
}

// The package's XML parts that are well-formed, by name, or nothing when it is
// no package. Parts declared larger than a few megabytes are left out.
std::set<std::string> WellFormedXmlParts(const std::filesystem::path& file,
                                         std::set<std::string>* all = nullptr) {
    std::set<std::string> names;
    int code = 0;
    zip_t* zip = zip_open(file.c_str(), ZIP_RDONLY, &code);
    if (!zip) return names;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !st.name) continue;
        const std::string_view name = st.name;
        if (!name.ends_with(".xml") && !name.ends_with(".rels")) continue;
        if (all) all->emplace(name);
        if (!(st.valid & ZIP_STAT_SIZE) || st.size > (size_t{8} << 20)) continue;
        zip_file_t* part = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
        if (!part) continue;
        std::string bytes(st.size, '\0');
        const zip_int64_t read = zip_fread(part, bytes.data(), st.size);
        zip_fclose(part);
        if (read == static_cast<zip_int64_t>(st.size) && WellFormed(bytes)) names.emplace(name);
    }
    zip_discard(zip);
    return names;
}

} // namespace

XmlPartsBefore::XmlPartsBefore(const std::filesystem::path& file)
    : file_(file), wellFormed_(WellFormedXmlParts(file, &all_)) {}

void XmlPartsBefore::ExpectStillWellFormed() const {
    std::set<std::string> now;
    const std::set<std::string> wellFormed = WellFormedXmlParts(file_, &now);
    for (const std::string& name : now) {
        // A part vok added, or one that was sound, must be sound.
        if ((!all_.contains(name) || wellFormed_.contains(name)) && !wellFormed.contains(name)) {
            std::fprintf(stderr, "vok saved the part %s damaged\n", name.c_str());
            std::abort();
        }
    }
}

std::filesystem::path ScratchPath(std::string_view name) {
    std::filesystem::path path = ScratchFolder() / name;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return path;
}

std::filesystem::path ScratchFile(std::string_view name, std::string_view bytes) {
    std::filesystem::path path = ScratchPath(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        std::abort();
    std::fclose(file);
    return path;
}

std::vector<std::string_view> Parts(std::string_view text, size_t parts) {
    static constexpr std::string_view kCut = "\n--8<--\n";
    std::vector<std::string_view> result;
    while (result.size() + 1 < parts) {
        const size_t at = text.find(kCut);
        if (at == std::string_view::npos) break;
        result.push_back(text.substr(0, at));
        text.remove_prefix(at + kCut.size());
    }
    result.push_back(text);
    result.resize(parts);
    return result;
}

void RoundTripWorkbook(std::string_view bytes, std::string_view fileName, OutputType type) {
    RoundTripWorkbookFile(ScratchFile(fileName, bytes), type);
}

void RoundTripWorkbookFile(const std::filesystem::path& file, OutputType type) {
    const bool package = type == OutputType::Xlsx || type == OutputType::Xlsm;
    const XmlPartsBefore before(package ? file : std::filesystem::path());
    WorkbookOpenResult opened = OpenWorkbookFile(file, type);
    if (!opened.workbook) {
        if (opened.error.empty()) std::abort();
        return;
    }
    Exercise(*opened.workbook);
    std::string error;
    if (!opened.workbook->Save(error)) return;
    opened.workbook.reset();
    if (package) before.ExpectStillWellFormed();
    WorkbookOpenResult again = OpenWorkbookFile(file, type);
    if (!again.workbook) {
        std::fprintf(stderr, "vok cannot open what it saved: %s\n", again.error.c_str());
        std::abort();
    }
}

} // namespace vok::fuzz
