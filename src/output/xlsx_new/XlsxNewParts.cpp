#include "output/xlsx_new/XlsxNewParts.h"

#include "output/workbook/XmlText.h"

#include <fmt/format.h>
#include <iterator>

namespace vok {

namespace {

constexpr std::string_view kDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr std::string_view kWorksheetContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
constexpr std::string_view kWorksheetRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";

// The workbook's own relationships follow its first sheets; the sheets
// added later follow them.
constexpr size_t kWorkbookOwnRelationships = 2;

size_t RelationshipNumber(size_t sheet) {
    return sheet < kNewWorkbookSheets ? sheet + 1 : sheet + 1 + kWorkbookOwnRelationships;
}

} // namespace

const std::string_view kNewWorkbookStylesXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts count=\"1\"><font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/>"
    "<family val=\"2\"/><scheme val=\"minor\"/></font></fonts><fills count=\"2\"><fill>"
    "<patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/>"
    "</fill></fills><borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/>"
    "</border></borders><cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" "
    "fillId=\"0\" borderId=\"0\"/></cellStyleXfs><cellXfs count=\"1\"><xf numFmtId=\"0\" "
    "fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs><cellStyles count=\"1\">"
    "<cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles><dxfs count=\"0\"/>"
    "<tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium9\" "
    "defaultPivotStyle=\"PivotStyleLight16\"/></styleSheet>";

#define VOK_WORKSHEET(declaration, view)                                                          \
    declaration "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" " \
                "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"               \
                "relationships\"><dimension ref=\"A1\"/><sheetViews><sheetView " view            \
                "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>"      \
                "<sheetData/><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" "               \
                "bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/></worksheet>"
#define VOK_DECLARATION "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"

const std::string_view kNewFirstWorksheetXml =
    VOK_WORKSHEET(VOK_DECLARATION "\n", "tabSelected=\"1\" ");
const std::string_view kNewOtherWorksheetXml = VOK_WORKSHEET(VOK_DECLARATION "\n", "");
const std::string_view kEmptyWorksheetXml = VOK_WORKSHEET(VOK_DECLARATION "\r\n", "");

#undef VOK_WORKSHEET
#undef VOK_DECLARATION

const std::string_view kNewPackageRelationshipsXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
    "relationships/officeDocument\" Target=\"xl/workbook.xml\"/><Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
    "core-properties\" Target=\"docProps/core.xml\"/><Relationship Id=\"rId3\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "extended-properties\" Target=\"docProps/app.xml\"/></Relationships>";

std::string_view NewWorksheetTemplate(size_t index) {
    if (index == 0) return kNewFirstWorksheetXml;
    return index < kNewWorkbookSheets ? kNewOtherWorksheetXml : kEmptyWorksheetXml;
}

std::string NewWorkbookSheetPart(size_t index) {
    return fmt::format("xl/worksheets/sheet{}.xml", index + 1);
}

std::string NewContentTypesXml(size_t sheetCount, bool macroEnabled) {
    std::string xml(kDeclaration);
    xml += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" "
           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Override PartName=\"/docProps/app.xml\" ContentType=\"application/"
           "vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
           "<Override PartName=\"/docProps/core.xml\" ContentType=\"application/"
           "vnd.openxmlformats-package.core-properties+xml\"/>"
           "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/"
           "vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
           "<Override PartName=\"/xl/theme/theme1.xml\" ContentType=\"application/"
           "vnd.openxmlformats-officedocument.theme+xml\"/>"
           "<Override PartName=\"/xl/workbook.xml\" ContentType=\"";
    // A macro-enabled workbook (.xlsm) must say so, or spreadsheet programs refuse it.
    xml += macroEnabled ? "application/vnd.ms-excel.sheet.macroEnabled.main+xml"
                        : "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet."
                          "main+xml";
    xml += "\"/>";
    for (size_t i = 0; i < sheetCount; ++i) {
        fmt::format_to(std::back_inserter(xml), "<Override PartName=\"/{}\" ContentType=\"{}\"/>",
                       NewWorkbookSheetPart(i), kWorksheetContentType);
    }
    xml += "</Types>";
    return xml;
}

std::string NewWorkbookRelationshipsXml(size_t sheetCount) {
    std::string xml(kDeclaration);
    xml += "<Relationships "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    const auto sheet = [&](size_t i) {
        fmt::format_to(std::back_inserter(xml),
                       "<Relationship Id=\"rId{}\" Type=\"{}\" Target=\"worksheets/sheet{}.xml\"/>",
                       RelationshipNumber(i), kWorksheetRelationship, i + 1);
    };
    for (size_t i = 0; i < kNewWorkbookSheets && i < sheetCount; ++i)
        sheet(i);
    xml += "<Relationship Id=\"rId4\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
           "2006/relationships/theme\" Target=\"theme/theme1.xml\"/><Relationship Id=\"rId5\" "
           "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
           "Target=\"styles.xml\"/>";
    for (size_t i = kNewWorkbookSheets; i < sheetCount; ++i)
        sheet(i);
    xml += "</Relationships>";
    return xml;
}

std::string NewWorkbookXml(const std::vector<std::string>& names) {
    std::string xml(kDeclaration);
    xml += "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<fileVersion appName=\"xl\" lastEdited=\"4\" lowestEdited=\"4\" rupBuild=\"4505\"/>"
           "<workbookPr defaultThemeVersion=\"124226\"/><bookViews><workbookView xWindow=\"240\" "
           "yWindow=\"15\" windowWidth=\"16095\" windowHeight=\"9660\"/></bookViews><sheets>";
    for (size_t i = 0; i < names.size(); ++i) {
        xml += "<sheet name=\"";
        AppendXmlText(xml, names[i], true);
        fmt::format_to(std::back_inserter(xml), "\" sheetId=\"{}\" r:id=\"rId{}\"/>", i + 1,
                       RelationshipNumber(i));
    }
    xml += "</sheets><calcPr calcId=\"124519\" fullCalcOnLoad=\"1\"/></workbook>";
    return xml;
}

std::string NewAppPropertiesXml(const std::vector<std::string>& names) {
    // The titles are those of the first sheets, under their present names.
    std::string xml(kDeclaration);
    xml += "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/"
           "extended-properties\" xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/"
           "2006/docPropsVTypes\"><Application>Microsoft Excel</Application><DocSecurity>0"
           "</DocSecurity><ScaleCrop>false</ScaleCrop><HeadingPairs><vt:vector size=\"2\" "
           "baseType=\"variant\"><vt:variant><vt:lpstr>Worksheets</vt:lpstr></vt:variant>"
           "<vt:variant><vt:i4>3</vt:i4></vt:variant></vt:vector></HeadingPairs><TitlesOfParts>"
           "<vt:vector size=\"3\" baseType=\"lpstr\">";
    for (size_t i = 0; i < kNewWorkbookSheets && i < names.size(); ++i) {
        xml += "<vt:lpstr>";
        AppendXmlText(xml, names[i]);
        xml += "</vt:lpstr>";
    }
    xml += "</vt:vector></TitlesOfParts><Company></Company><LinksUpToDate>false</LinksUpToDate>"
           "<SharedDoc>false</SharedDoc><HyperlinksChanged>false</HyperlinksChanged>"
           "<AppVersion>12.0000</AppVersion></Properties>";
    return xml;
}

std::string NewCorePropertiesXml(std::time_t created) {
    std::tm utc{};
    gmtime_r(&created, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return fmt::format(
        "{}<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/"
        "core-properties\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
        "xmlns:dcterms=\"http://purl.org/dc/terms/\" xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><dc:creator></dc:creator>"
        "<cp:lastModifiedBy></cp:lastModifiedBy><dcterms:created xsi:type=\"dcterms:W3CDTF\">{}"
        "</dcterms:created><dcterms:modified xsi:type=\"dcterms:W3CDTF\">{}</dcterms:modified>"
        "</cp:coreProperties>",
        kDeclaration, stamp, stamp);
}

WorksheetFrame FrameOf(std::string_view xml) {
    constexpr std::string_view kDimension = "<dimension ref=\"A1\"/>";
    constexpr std::string_view kRows = "<sheetData/>";
    const size_t dimension = xml.find(kDimension);
    const size_t rows = xml.find(kRows);
    return {xml.substr(0, dimension),
            xml.substr(dimension + kDimension.size(), rows - dimension - kDimension.size()),
            xml.substr(rows + kRows.size())};
}

} // namespace vok
