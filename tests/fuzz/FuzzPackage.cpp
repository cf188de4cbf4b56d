#include "fuzz/FuzzPackage.h"

#include "fuzz/FuzzSupport.h"

#include <cstdlib>
#include <zip.h>

namespace vok::fuzz {

namespace {

constexpr std::string_view kContentTypes =
    "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
    "content-types\"><Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-"
    "package.relationships+xml\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-"
    "officedocument.spreadsheetml.sheet.main+xml\"/></Types>";
constexpr std::string_view kPackageRels =
    "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
    "2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
    "officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/>"
    "</Relationships>";
constexpr std::string_view kWorkbookRels =
    "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
    "2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
    "officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/worksheet\" Target=\"worksheets/sheet2.xml\"/></Relationships>";
constexpr std::string_view kWorkbookRelsWithStrings =
    "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
    "2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
    "officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/worksheet\" Target=\"worksheets/sheet2.xml\"/><Relationship Id=\"rId3\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
    "Target=\"sharedStrings.xml\"/></Relationships>";
constexpr std::string_view kWorkbook =
    "<?xml version=\"1.0\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
    "2006/main\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<sheets><sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"Other\" "
    "sheetId=\"2\" r:id=\"rId2\"/></sheets></workbook>";

void Add(zip_t* zip, const char* name, std::string_view content) {
    zip_source_t* source = zip_source_buffer(zip, content.data(), content.size(), 0);
    const zip_int64_t index = source ? zip_file_add(zip, name, source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0 || zip_set_file_compression(zip, static_cast<zip_uint64_t>(index),
                                              ZIP_CM_STORE, 0) != 0)
        std::abort();
}

} // namespace

const std::string_view kOtherSheet =
    "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
    "2006/main\"><sheetData><row r=\"1\"><c r=\"A1\"><f>Data!A2</f><v>1</v></c></row>"
    "</sheetData></worksheet>";

std::filesystem::path StoredWorkbook(std::string_view name, const WorkbookParts& parts) {
    const std::filesystem::path file = ScratchPath(name);
    int code = 0;
    zip_t* zip = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!zip) std::abort();
    Add(zip, "[Content_Types].xml", kContentTypes);
    Add(zip, "_rels/.rels", kPackageRels);
    Add(zip, "xl/workbook.xml", kWorkbook);
    Add(zip, "xl/_rels/workbook.xml.rels",
        parts.sharedStrings ? kWorkbookRelsWithStrings : kWorkbookRels);
    Add(zip, "xl/worksheets/sheet1.xml", parts.sheet1);
    Add(zip, "xl/worksheets/sheet2.xml", parts.sheet2);
    if (parts.sharedStrings) Add(zip, "xl/sharedStrings.xml", *parts.sharedStrings);
    if (zip_close(zip) != 0) std::abort();
    return file;
}

} // namespace vok::fuzz
