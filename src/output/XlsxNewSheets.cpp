#include "output/XlsxNewSheets.h"

#include "output/OpcParts.h"
#include "output/XlsxWorkbookPart.h"
#include "output/XmlText.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace vok {

namespace {

constexpr std::string_view kWorksheetType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
constexpr std::string_view kWorksheetContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";

// Where the closing tag of the document's root element begins.
size_t RootEnd(std::string_view xml) {
    const size_t end = xml.rfind("</");
    return end == std::string_view::npos ? xml.size() : end;
}

// The target of a part as seen from the workbook part's folder.
std::string RelativeTarget(std::string_view workbookPart, std::string_view part) {
    const size_t slash = workbookPart.rfind('/');
    const std::string_view folder =
        workbookPart.substr(0, slash == std::string_view::npos ? 0 : slash + 1);
    if (part.substr(0, folder.size()) == folder) return std::string(part.substr(folder.size()));
    return "/" + std::string(part);
}

} // namespace

const std::string_view kEmptyWorksheetXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<dimension ref=\"A1\"/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
    "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData/>"
    "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
    "footer=\"0.3\"/></worksheet>";

bool AddSheetEntries(std::string_view workbookPart, const std::vector<XlsxNewSheet>& sheets,
                     std::string& workbookXml, std::string& relationshipsXml,
                     std::string& contentTypesXml, std::string& error) {
    if (sheets.empty()) return true;
    std::string why;
    // 1. The relationships in use, and the type the package gives worksheets.
    std::vector<OpcRelationship> relationships;
    if (!ParseRelationships(relationshipsXml, workbookPart, relationships, why)) {
        error = "its part " + RelationshipsPartOf(workbookPart) + " is damaged (" + why + ")";
        return false;
    }
    std::set<std::string> ids;
    std::string worksheetType(kWorksheetType);
    for (const OpcRelationship& r : relationships) {
        ids.insert(r.id);
        if (r.Is("worksheet")) worksheetType = r.type;
    }
    // 2. The sheets listed so far: their largest sheetId and how they spell r:id.
    XlsxWorkbookPart workbook;
    if (!workbook.Parse(workbookXml, why) || workbook.sheets.empty()) {
        error = "its part " + std::string(workbookPart) + " is damaged (" +
                (why.empty() ? "it lists no sheet" : why) + ")";
        return false;
    }
    unsigned long maxSheetId = 0;
    std::string idAttribute = "r:id";
    for (const XlsxSheetEntry& entry : workbook.sheets) {
        const std::string_view tag(workbookXml.data() + entry.begin, entry.end - entry.begin);
        const RawAttribute sheetId = FindRawAttribute(tag, "sheetId");
        if (sheetId.found) {
            unsigned long value = 0;
            std::from_chars(tag.data() + sheetId.valueBegin, tag.data() + sheetId.valueEnd, value);
            maxSheetId = std::max(maxSheetId, value);
        }
        for (size_t at = tag.find(":id="); at != std::string_view::npos;
             at = tag.find(":id=", at + 1)) {
            const size_t nameBegin = tag.find_last_of(" \t\r\n", at) + 1;
            idAttribute = std::string(tag.substr(nameBegin, at + 3 - nameBegin));
            break;
        }
    }
    // 3. One entry per new sheet in each of the three parts.
    std::string sheetElements, relationshipElements, overrides;
    int nextId = static_cast<int>(ids.size()) + 1;
    for (const XlsxNewSheet& sheet : sheets) {
        std::string id;
        do {
            id = "rId" + std::to_string(nextId++);
        } while (ids.count(id));
        ids.insert(id);
        sheetElements += "<" + workbook.prefix + "sheet name=\"";
        AppendXmlText(sheetElements, sheet.name, true);
        sheetElements += "\" sheetId=\"" + std::to_string(++maxSheetId) + "\" " + idAttribute +
                         "=\"" + id + "\"/>";
        relationshipElements +=
            "<Relationship Id=\"" + id + "\" Type=\"" + worksheetType + "\" Target=\"";
        AppendXmlText(relationshipElements, RelativeTarget(workbookPart, sheet.part), true);
        relationshipElements += "\"/>";
        overrides += "<Override PartName=\"/";
        AppendXmlText(overrides, sheet.part, true);
        overrides += "\" ContentType=\"" + std::string(kWorksheetContentType) + "\"/>";
    }
    const size_t afterLastSheet = workbook.sheets.back().end;
    workbookXml.insert(afterLastSheet, sheetElements);
    relationshipsXml.insert(RootEnd(relationshipsXml), relationshipElements);
    contentTypesXml.insert(RootEnd(contentTypesXml), overrides);
    return true;
}

} // namespace vok
