#include "output/xlsx/XlsxNewSheets.h"

#include "output/workbook/XmlScanner.h"
#include "output/workbook/XmlText.h"
#include "output/xlsx/OpcParts.h"
#include "output/xlsx/XlsxWorkbookPart.h"

#include <algorithm>
#include <charconv>
#include <fmt/format.h>
#include <iterator>
#include <set>

namespace vok {

namespace {

constexpr std::string_view kWorksheetType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
constexpr std::string_view kWorksheetContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";

// Puts `entries` last inside the document's root element. The root's end is
// found by the scan, not by the text: a comment or processing instruction
// after the root may hold "</". A root written empty ("<Types/>") is opened.
bool InsertIntoRoot(std::string& xml, std::string_view entries, std::string& why) {
    struct RootHandler : XmlScanner::Handler {
        std::string name;
        size_t startEnd = 0, endBegin = 0, endEnd = 0;
        void StartElement(const XmlTag& tag) override {
            if (tag.depth != 1) return;
            name = tag.name;
            startEnd = tag.end;
        }
        void EndElement(const XmlTag& tag) override {
            if (tag.depth != 1) return;
            endBegin = tag.begin;
            endEnd = tag.end;
        }
    } root;
    if (!XmlScanner::Scan(xml, root, why)) return false;
    if (root.endBegin != root.endEnd) {
        xml.insert(root.endBegin, entries);
        return true;
    }
    // "<Root .../>": its "/>" becomes ">", the entries and "</Root>".
    std::string opened = ">";
    opened += entries;
    opened += "</" + root.name + ">";
    xml.replace(root.startEnd - 2, 2, opened);
    return true;
}

// The target of a part as seen from the workbook part's folder.
std::string RelativeTarget(std::string_view workbookPart, std::string_view part) {
    const size_t slash = workbookPart.rfind('/');
    const std::string_view folder =
        workbookPart.substr(0, slash == std::string_view::npos ? 0 : slash + 1);
    if (part.substr(0, folder.size()) == folder) return std::string(part.substr(folder.size()));
    return "/" + std::string(part);
}

// How the workbook part lists its sheets: their largest sheetId, and how the
// last one that names its relationship spells the attribute ("r:id") with
// the namespace declarations it carries itself (a new sibling is outside
// their scope, and needs its own).
struct SheetListing {
    unsigned long maxSheetId = 0;
    std::string idAttribute = "r:id";
    std::string declarations;
};

SheetListing ReadSheetListing(const XlsxWorkbookPart& workbook, std::string_view workbookXml) {
    SheetListing listing;
    for (const XlsxSheetEntry& entry : workbook.sheets) {
        const std::string_view tag(workbookXml.data() + entry.begin, entry.end - entry.begin);
        const RawAttribute sheetId = FindRawAttribute(tag, "sheetId");
        if (sheetId.found) {
            unsigned long value = 0;
            std::from_chars(tag.data() + sheetId.valueBegin, tag.data() + sheetId.valueEnd, value);
            listing.maxSheetId = std::max(listing.maxSheetId, value);
        }
        if (!entry.idAttribute.empty()) {
            listing.idAttribute = entry.idAttribute;
            listing.declarations = entry.declarations;
        }
    }
    return listing;
}

// The new entries of the three parts.
struct NewEntries {
    std::string sheets, relationships, overrides;
};

void AppendEntries(NewEntries& entries, const XlsxNewSheet& sheet, std::string_view id,
                   std::string_view workbookPart, std::string_view prefix,
                   const SheetListing& listing, std::string_view worksheetType) {
    fmt::format_to(std::back_inserter(entries.sheets), "<{}sheet name=\"", prefix);
    AppendXmlText(entries.sheets, sheet.name, true);
    fmt::format_to(std::back_inserter(entries.sheets), "\" sheetId=\"{}\" {}=\"{}\"{}/>",
                   listing.maxSheetId, listing.idAttribute, id, listing.declarations);
    fmt::format_to(std::back_inserter(entries.relationships),
                   "<Relationship Id=\"{}\" Type=\"{}\" Target=\"", id, worksheetType);
    AppendXmlText(entries.relationships, RelativeTarget(workbookPart, sheet.part), true);
    entries.relationships += "\"/>";
    entries.overrides += "<Override PartName=\"/";
    AppendXmlText(entries.overrides, sheet.part, true);
    fmt::format_to(std::back_inserter(entries.overrides), "\" ContentType=\"{}\"/>",
                   kWorksheetContentType);
}

} // namespace

bool AddSheetEntries(std::string_view workbookPart, const std::vector<XlsxNewSheet>& sheets,
                     std::string& workbookXml, std::string& relationshipsXml,
                     std::string& contentTypesXml, std::string& error) {
    if (sheets.empty()) return true;
    std::string why;
    // The relationships in use, and the type the package gives worksheets.
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
    // The sheets listed so far.
    XlsxWorkbookPart workbook;
    if (!workbook.Parse(workbookXml, why) || workbook.sheets.empty()) {
        error = "its part " + std::string(workbookPart) + " is damaged (" +
                (why.empty() ? "it lists no sheet" : why) + ")";
        return false;
    }
    SheetListing listing = ReadSheetListing(workbook, workbookXml);
    // One entry per new sheet in each of the three parts, with an unused id.
    NewEntries entries;
    int nextId = static_cast<int>(ids.size()) + 1;
    for (const XlsxNewSheet& sheet : sheets) {
        std::string id;
        do {
            id = "rId" + std::to_string(nextId++);
        } while (ids.count(id));
        ids.insert(id);
        ++listing.maxSheetId;
        AppendEntries(entries, sheet, id, workbookPart, workbook.prefix, listing, worksheetType);
    }
    if (!InsertIntoRoot(relationshipsXml, entries.relationships, why)) {
        error = "its part " + RelationshipsPartOf(workbookPart) + " is damaged (" + why + ")";
        return false;
    }
    if (!InsertIntoRoot(contentTypesXml, entries.overrides, why)) {
        error = "its part [Content_Types].xml is damaged (" + why + ")";
        return false;
    }
    workbookXml.insert(workbook.sheets.back().end, entries.sheets);
    return true;
}

} // namespace vok
