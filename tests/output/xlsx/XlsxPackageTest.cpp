// Existing .xlsx packages as other programs write them: what vok reads from
// them and what its saving changes, and does not change, inside them.
#include "output/Workbook.h"
#include "output/workbook/Utf16Text.h"
#include "output/workbook/XmlText.h"
#include "output/xlsx/OpcParts.h"
#include "output/xlsx/XlsxNewSheets.h"
#include "output/xlsx/XlsxTestSupport.h"
#include "output/xlsx/XlsxWorkbookPart.h"
#include "output/xlsx/ZipPackage.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>
#include <zip.h>

namespace vok {
namespace {

using test::Contains;
using test::OpenOk;
using test::ReadFile;
using test::ReadPackage;
using test::SaveOk;
using test::TempDir;
using Parts = std::map<std::string, std::string>;

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kRelPkg = "http://schemas.openxmlformats.org/package/2006/relationships";

void WritePackage(const std::string& path, const Parts& parts) {
    int code = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_TRUE(zip);
    for (const auto& [name, content] : parts) {
        zip_source_t* source = zip_source_buffer(zip, content.data(), content.size(), 0);
        ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0);
    }
    ASSERT_EQ(zip_close(zip), 0);
}

// Puts `what` into a part just before `before` (a closing tag).
void InsertBefore(std::string& part, const std::string& before, const std::string& what) {
    part.insert(part.find(before), what);
}

std::string Relationship(const std::string& id, const std::string& type,
                         const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRel + "/" + type + "\" Target=\"" + target +
           "\"/>";
}

// A workbook as another program writes it: the given sheets (name, part xml),
// styles and shared strings when given, and any extra parts.
Parts MakeWorkbook(const std::vector<std::pair<std::string, std::string>>& sheets,
                   const std::string& styles = {}, const std::string& strings = {},
                   const std::string& workbookExtra = {}) {
    Parts parts;
    std::string types = "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
                        "package/2006/content-types\"><Default Extension=\"rels\" ContentType=\""
                        "application/vnd.openxmlformats-package.relationships+xml\"/><Default "
                        "Extension=\"xml\" ContentType=\"application/xml\"/>";
    std::string rels =
        std::string("<?xml version=\"1.0\"?><Relationships xmlns=\"") + kRelPkg + "\">";
    std::string list;
    for (size_t i = 0; i < sheets.size(); ++i) {
        std::string n = std::to_string(i + 1);
        std::string part = "xl/worksheets/sheet" + n + ".xml";
        parts[part] = sheets[i].second;
        rels += Relationship("rId" + n, "worksheet", "worksheets/sheet" + n + ".xml");
        list +=
            "<sheet name=\"" + sheets[i].first + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        types += "<Override PartName=\"/" + part +
                 "\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    }
    if (!styles.empty()) {
        parts["xl/styles.xml"] = styles;
        rels += Relationship("rIdS", "styles", "styles.xml");
    }
    if (!strings.empty()) {
        parts["xl/sharedStrings.xml"] = strings;
        rels += Relationship("rIdT", "sharedStrings", "/xl/sharedStrings.xml");
    }
    parts["[Content_Types].xml"] = types + "</Types>";
    parts["_rels/.rels"] = std::string("<?xml version=\"1.0\"?><Relationships xmlns=\"") + kRelPkg +
                           "\"><Relationship Id=\"rId1\" Type=\"" + kRel +
                           "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    parts["xl/_rels/workbook.xml.rels"] = rels + "</Relationships>";
    parts["xl/workbook.xml"] = std::string("<?xml version=\"1.0\"?><workbook xmlns=\"") + kMain +
                               "\" xmlns:r=\"" + kRel + "\"><sheets>" + list + "</sheets>" +
                               workbookExtra + "</workbook>";
    return parts;
}

std::string Sheet(const std::string& rows) {
    return std::string("<?xml version=\"1.0\"?><worksheet xmlns=\"") + kMain +
           "\"><dimension ref=\"A1\"/><sheetData>" + rows + "</sheetData></worksheet>";
}

// Opens the workbook, makes `edits` to it and saves it, as one run of vok
// would; the parts of the package as saved.
template <typename Edits> Parts EditAndSave(const std::string& file, Edits&& edits) {
    {
        auto book = OpenOk(file);
        if (!book) return {};
        edits(*book);
        SaveOk(*book);
    }
    return ReadPackage(file);
}

// What each cell of a sheet reads as.
struct CellReads {
    int32_t row;
    int32_t column;
    std::string text;
};
void ExpectCells(Workbook& book, int32_t sheet, std::initializer_list<CellReads> cells) {
    for (const CellReads& cell : cells)
        EXPECT_EQ(book.CellText(sheet, cell.row, cell.column), cell.text)
            << "row " << cell.row << ", column " << cell.column;
}

TEST(XlsxPackageTest, OnlyThePartsVokChangedAreRewritten) {
    TempDir dir;
    std::string file = dir.File("book.xlsx");
    Parts before = EditAndSave(file, [](Workbook& book) {
        for (int32_t s = 1; s <= 3; ++s) {
            for (int32_t r = 1; r <= 20; ++r)
                book.SetCellValue(s, r, 2, "v" + std::to_string(r));
        }
    });
    Parts after = EditAndSave(file, [](Workbook& book) { book.SetCellValue(1, 5, 2, "changed"); });
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [name, content] : before) {
        if (name == "xl/worksheets/sheet1.xml") {
            EXPECT_NE(after[name], content);
            // The untouched cells keep their bytes.
            EXPECT_TRUE(
                Contains(after[name], "<c r=\"B4\" t=\"inlineStr\"><is><t>v4</t></is></c>"));
        } else {
            EXPECT_EQ(after[name], content) << name;
        }
    }
    // Saving without edits writes nothing at all.
    std::string bytes = ReadFile(file);
    auto book = OpenOk(file);
    SaveOk(*book);
    EXPECT_EQ(ReadFile(file), bytes);
}

TEST(XlsxPackageTest, FormulasSurviveUntilTheirCellIsOverwritten) {
    TempDir dir;
    std::string file = dir.File("formulas.xlsx");
    Parts parts = MakeWorkbook(
        {{"Data", Sheet("<row r=\"1\"><c r=\"A1\"><f t=\"shared\" ref=\"A1:A3\" si=\"0\">B1*2</f>"
                        "<v>2</v></c><c r=\"B1\"><v>1</v></c><c r=\"C1\"><f>SUM(A1:A3)</f><v>12</v>"
                        "</c></row><row r=\"2\"><c r=\"A2\"><f t=\"shared\" si=\"0\"/><v>4</v></c>"
                        "<c r=\"B2\"><v>2</v></c></row><row r=\"3\"><c r=\"A3\"><f t=\"shared\" "
                        "si=\"0\"/><v>6</v></c><c r=\"B3\"><v>3</v></c></row>")}},
        {}, {}, "<definedNames><definedName name=\"Total\">Data!$C$1</definedName></definedNames>");
    parts["xl/calcChain.xml"] = std::string("<calcChain xmlns=\"") + kMain +
                                "\"><c r=\"A1\" i=\"1\"/><c r=\"C1\"/></calcChain>";
    InsertBefore(parts["xl/_rels/workbook.xml.rels"], "</Relationships>",
                 Relationship("rIdC", "calcChain", "calcChain.xml"));
    InsertBefore(
        parts["[Content_Types].xml"], "</Types>",
        "<Override PartName=\"/xl/calcChain.xml\" ContentType=\"application/vnd.openxmlformats-"
        "officedocument.spreadsheetml.calcChain+xml\"/>");
    WritePackage(file, parts);

    // 1. A value cell changes: formulas and their chain stay; they recalculate on opening.
    Parts after = EditAndSave(file, [](Workbook& book) {
        EXPECT_EQ(book.CellText(1, 2, 1), "4"); // a formula cell reads as its result
        book.SetCellValue(1, 2, 2, "5");
    });
    EXPECT_TRUE(after.count("xl/calcChain.xml"));
    EXPECT_TRUE(Contains(after["xl/worksheets/sheet1.xml"], "<f>SUM(A1:A3)</f>"));
    EXPECT_TRUE(Contains(after["xl/worksheets/sheet1.xml"], "<f t=\"shared\" si=\"0\"/>"));
    EXPECT_TRUE(Contains(after["xl/workbook.xml"],
                         "</sheets><definedNames><definedName name=\"Total\">Data!$C$1"
                         "</definedName></definedNames><calcPr fullCalcOnLoad=\"1\"/>"));

    // 2. The cell defining a shared formula is overwritten: the cells sharing it keep
    // the formula as ordinary ones, moved to their place (they once became
    // constants), and the calculation chain goes with its entries.
    after = EditAndSave(file, [](Workbook& book) { book.SetCellValue(1, 1, 1, "text now"); });
    const std::string& sheet = after["xl/worksheets/sheet1.xml"];
    EXPECT_FALSE(after.count("xl/calcChain.xml"));
    EXPECT_FALSE(Contains(after["xl/_rels/workbook.xml.rels"], "calcChain"));
    EXPECT_FALSE(Contains(after["[Content_Types].xml"], "calcChain"));
    EXPECT_FALSE(Contains(sheet, "si=\"0\""));
    EXPECT_TRUE(Contains(sheet, "<c r=\"A2\"><f>B2*2</f><v>4</v></c>"));
    EXPECT_TRUE(Contains(sheet, "<c r=\"A3\"><f>B3*2</f><v>6</v></c>"));
    EXPECT_TRUE(Contains(sheet, "<f>SUM(A1:A3)</f>"));
    ExpectCells(*OpenOk(file), 1, {{1, 1, "text now"}, {3, 1, "6"}, {2, 2, "5"}});
}

TEST(XlsxPackageTest, PrefixedElementsAndCellsWithoutReferencesAreReadAndRewritten) {
    TempDir dir;
    std::string file = dir.File("prefixed.xlsx");
    std::string sheet = std::string("<x:worksheet xmlns:x=\"") + kMain +
                        "\"><x:sheetData><x:row><x:c t=\"inlineStr\"><x:is><x:t>a</x:t></x:is>"
                        "</x:c><x:c><x:v>2</x:v></x:c></x:row><x:row r=\"3\"><x:c r=\"B3\">"
                        "<x:v>7</x:v></x:c></x:row></x:sheetData></x:worksheet>";
    WritePackage(file, MakeWorkbook({{"P", sheet}}));
    std::string saved = EditAndSave(file, [](Workbook& book) {
        ExpectCells(book, 1, {{1, 1, "a"}, {1, 2, "2"}, {3, 2, "7"}});
        book.SetCellValue(1, 1, 1, ""); // the first cell goes: the second must stay in B
        book.SetCellValue(1, 1, 3, "new");
        book.SetCellValue(1, 2, 1, "mid");
    })["xl/worksheets/sheet1.xml"];
    EXPECT_TRUE(Contains(saved, "<x:row r=\"1\"><x:c r=\"B1\"><x:v>2</x:v></x:c><x:c r=\"C1\" "
                                "t=\"inlineStr\"><x:is><x:t>new</x:t></x:is></x:c></x:row>"))
        << saved;
    EXPECT_TRUE(Contains(saved, "<x:row r=\"2\">"));
    EXPECT_FALSE(Contains(saved, "<c "));
    ExpectCells(*OpenOk(file), 1,
                {{1, 1, ""}, {1, 2, "2"}, {1, 3, "new"}, {2, 1, "mid"}, {3, 2, "7"}});
}

TEST(XlsxPackageTest, EveryKindOfCellValueReadsAsText) {
    TempDir dir;
    std::string file = dir.File("kinds.xlsx");
    std::string strings = std::string("<sst xmlns=\"") + kMain +
                          "\"><si><t>plain</t></si><si><r><t xml:space=\"preserve\">rich </t></r>"
                          "<r><rPr><b/></rPr><t>text</t></r><rPh><t>PHONETIC</t></rPh></si>"
                          "<si><t>esc_x0041__x000D_</t></si></sst>";
    std::string sheet = Sheet(
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
        "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"b\"><v>1</v></c><c r=\"E1\" t=\"b\">"
        "<v>0</v></c><c r=\"F1\" t=\"e\"><v>#DIV/0!</v></c><c r=\"G1\" t=\"str\"><f>\"a\"&amp;"
        "\"b\"</f><v>ab</v></c><c r=\"H1\"><v>1.5E-3</v></c><c r=\"I1\" s=\"0\"/>"
        "<c r=\"J1\" t=\"inlineStr\"><is><r><t>in</t></r><r><t>line</t></r></is></c></row>");
    WritePackage(file, MakeWorkbook({{"K", sheet}}, {}, strings));
    auto book = OpenOk(file);
    ExpectCells(*book, 1,
                {{1, 1, "plain"},
                 {1, 2, "rich text"},
                 {1, 3, "escA\r"},
                 {1, 4, "TRUE"},
                 {1, 5, "FALSE"},
                 {1, 6, "#DIV/0!"},
                 {1, 7, "ab"},
                 {1, 8, "0.0015"},
                 {1, 9, ""},
                 {1, 10, "inline"}});
    CellRange used = book->UsedRange(1);
    EXPECT_EQ(used.lastColumn, 10);
}

TEST(XlsxPackageTest, TypedNumbersKeepTheCellsLookAndReuseFormats) {
    TempDir dir;
    std::string file = dir.File("styles.xlsx");
    std::string styles = std::string("<styleSheet xmlns=\"") + kMain +
                         "\"><fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/>"
                         "<scheme val=\"minor\"/></font><font><b/><sz val=\"11\"/><name "
                         "val=\"Calibri\"/></font></fonts><cellStyleXfs count=\"1\"><xf "
                         "fontId=\"0\"/></cellStyleXfs><cellXfs count=\"2\"><xf numFmtId=\"0\" "
                         "fontId=\"0\" xfId=\"0\"/><xf numFmtId=\"0\" fontId=\"1\" xfId=\"0\" "
                         "applyFont=\"1\"/></cellXfs><cellStyles count=\"1\"><cellStyle "
                         "name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles></styleSheet>";
    std::string sheet = Sheet("<row r=\"1\"><c r=\"A1\" s=\"1\"/><c r=\"B1\" s=\"1\"/>"
                              "<c r=\"C1\" s=\"1\"/></row>");
    WritePackage(file, MakeWorkbook({{"S", sheet}}, styles));
    Parts after = EditAndSave(file, [](Workbook& book) {
        book.SetCellValue(1, 1, 1, "1,234.50"); // bold stays, the number format joins it
        book.SetCellValue(1, 1, 3, "$5");       // a format the workbook lacks
        book.SetStandardFont("Courier New");
    });
    std::string saved = after["xl/styles.xml"];
    EXPECT_TRUE(Contains(saved, "<numFmts count=\"1\"><numFmt numFmtId=\"164\" "
                                "formatCode=\"$#,##0\"/></numFmts>"))
        << saved;
    EXPECT_TRUE(Contains(saved, "<cellXfs count=\"4\">"));
    EXPECT_TRUE(Contains(saved, "<xf numFmtId=\"4\" fontId=\"1\" xfId=\"0\" applyFont=\"1\" "
                                "applyNumberFormat=\"1\"/>"));
    // Only the default style's font changed, and it left the theme.
    EXPECT_TRUE(Contains(saved, "<font><sz val=\"11\"/><name val=\"Courier New\"/></font>"
                                "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font>"));
    EXPECT_TRUE(Contains(after["xl/worksheets/sheet1.xml"], "<c r=\"A1\" s=\"2\"><v>1234.5</v>"));
    EXPECT_TRUE(Contains(after["xl/worksheets/sheet1.xml"], "<c r=\"B1\" s=\"1\"/>"));
    // A later run with the same kind of number finds the cell format it added.
    after = EditAndSave(file, [](Workbook& book) { book.SetCellValue(1, 1, 2, "9,999.00"); });
    EXPECT_TRUE(Contains(after["xl/styles.xml"], "<cellXfs count=\"4\">"));
    EXPECT_TRUE(Contains(after["xl/worksheets/sheet1.xml"], "<c r=\"B1\" s=\"2\"><v>9999</v>"));
    // Clearing takes the look away as well.
    std::string cleared = EditAndSave(file, [](Workbook& book) {
        book.ClearRange(1, {1, 1, 1, 3});
        book.SetCellValue(1, 1, 3, "plain");
    })["xl/worksheets/sheet1.xml"];
    EXPECT_TRUE(Contains(cleared, "<row r=\"1\"><c r=\"C1\" t=\"inlineStr\"><is><t>plain</t>"
                                  "</is></c></row>"))
        << cleared;
}

TEST(XlsxPackageTest, RenamingASheetUpdatesItsNameEverywhere) {
    TempDir dir;
    std::string file = dir.File("rename.xlsx");
    Parts parts = MakeWorkbook(
        {{"Data", Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>")},
         {"Calc", Sheet("<row r=\"1\"><c r=\"A1\"><f>Data!A1+1</f><v>2</v></c></row>")}},
        {}, {},
        "<definedNames><definedName name=\"Total\">Data!$A$1</definedName><definedName "
        "name=\"_xlnm.Print_Area\" localSheetId=\"0\">Data!$A$1:$B$2</definedName>"
        "</definedNames>");
    parts["docProps/app.xml"] =
        "<Properties><TitlesOfParts><vt:vector size=\"3\" baseType=\"lpstr\"><vt:lpstr>Data"
        "</vt:lpstr><vt:lpstr>Calc</vt:lpstr><vt:lpstr>Data!Print_Area</vt:lpstr></vt:vector>"
        "</TitlesOfParts></Properties>";
    InsertBefore(parts["_rels/.rels"], "</Relationships>",
                 Relationship("rId9", "extended-properties", "docProps/app.xml"));
    WritePackage(file, parts);
    Parts after = EditAndSave(file, [](Workbook& book) {
        std::string error;
        ASSERT_TRUE(book.SetSheetName(1, "Sales (P1-3)", error)) << error;
    });
    if (HasFatalFailure()) return;
    EXPECT_TRUE(Contains(after["xl/workbook.xml"], "<sheet name=\"Sales (P1-3)\" sheetId=\"1\""));
    EXPECT_TRUE(Contains(after["xl/workbook.xml"],
                         "<definedName name=\"Total\">'Sales (P1-3)'!$A$1</definedName>"));
    EXPECT_TRUE(Contains(after["xl/workbook.xml"], ">'Sales (P1-3)'!$A$1:$B$2</definedName>"));
    EXPECT_TRUE(Contains(after["xl/worksheets/sheet2.xml"], "<f>'Sales (P1-3)'!A1+1</f>"));
    EXPECT_EQ(after["xl/worksheets/sheet1.xml"], parts["xl/worksheets/sheet1.xml"]);
    EXPECT_TRUE(Contains(after["docProps/app.xml"],
                         "<vt:lpstr>Sales (P1-3)</vt:lpstr><vt:lpstr>Calc</vt:lpstr><vt:lpstr>"
                         "'Sales (P1-3)'!Print_Area</vt:lpstr>"));
}

TEST(XlsxPackageTest, ChartSheetsCountButHoldNoCells) {
    TempDir dir;
    std::string file = dir.File("chart.xlsx");
    Parts parts = MakeWorkbook({{"Data", Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>")}});
    parts["xl/chartsheets/sheet1.xml"] = std::string("<chartsheet xmlns=\"") + kMain + "\"/>";
    InsertBefore(parts["xl/_rels/workbook.xml.rels"], "</Relationships>",
                 Relationship("rIdG", "chartsheet", "chartsheets/sheet1.xml"));
    InsertBefore(parts["xl/workbook.xml"], "</sheets>",
                 "<sheet name=\"Chart\" sheetId=\"9\" r:id=\"rIdG\"/>");
    WritePackage(file, parts);
    auto book = OpenOk(file);
    ASSERT_EQ(book->SheetCount(), 2);
    EXPECT_EQ(book->SheetName(2), "Chart");
    EXPECT_EQ(book->SetCellValue(2, 1, 1, "x"), CellWrite::ChartSheet);
    std::string error;
    EXPECT_TRUE(book->SetSheetName(2, "Graph", error));
    SaveOk(*book);
    EXPECT_EQ(OpenOk(file)->SheetName(2), "Graph");
}

TEST(XlsxPackageTest, DamagedPartsAreReportedAndTheFileKept) {
    TempDir dir;
    std::string file = dir.File("damaged.xlsx");
    WritePackage(file, MakeWorkbook({{"D", Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></row>")}}));
    std::string bytes = ReadFile(file);
    WorkbookOpenResult opened = OpenWorkbookFile(file, OutputType::Xlsx);
    EXPECT_FALSE(opened.workbook);
    EXPECT_TRUE(Contains(opened.error, "xl/worksheets/sheet1.xml")) << opened.error;
    EXPECT_TRUE(Contains(opened.error, file)) << opened.error;
    EXPECT_EQ(ReadFile(file), bytes);

    WritePackage(file, MakeWorkbook({{"D", Sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>4</v></c>"
                                                 "</row>")}}));
    opened = OpenWorkbookFile(file, OutputType::Xlsx);
    EXPECT_FALSE(opened.workbook);
    EXPECT_TRUE(Contains(opened.error, "shared string")) << opened.error;
}

// Rows belong in the sheetData and cells in rows. Well-formed XML that nests
// them elsewhere is refused as damage and the file kept: a save that took the
// inner sheetData's end tag for the sheet's wrote a part no program opens.
TEST(XlsxPackageTest, RowsAndCellsOutOfPlaceAreDamageAndTheFileIsKept) {
    TempDir dir;
    const std::string file = dir.File("nested.xlsx");
    const std::string kept = "<row r=\"1\"><c r=\"A1\"><v>1</v></c>";
    for (const auto& [rows, element] : std::vector<std::pair<std::string, std::string>>{
             {kept + "<worksheet><sheetData><row r=\"2\"/></sheetData></worksheet></row>",
              "sheetData"},
             {kept + "<c r=\"B1\"><is><row r=\"2\"/></is></c></row>", "row"},
             {kept + "<c r=\"B1\"><c r=\"C1\"><v>2</v></c></c></row>", "c"},
             {kept + "</row><extra><row r=\"2\"/></extra>", "row"},
             {kept + "</row></sheetData><sheetData><row r=\"2\"/>", "sheetData"},
             {kept + "</row><c r=\"B1\"><v>2</v></c>", ""}}) {
        WritePackage(file, MakeWorkbook({{"D", Sheet(rows)}}));
        const std::string bytes = ReadFile(file);
        WorkbookOpenResult opened = OpenWorkbookFile(file, OutputType::Xlsx);
        EXPECT_FALSE(opened.workbook) << rows;
        // A cell straight in the sheetData stands outside any row.
        const std::string why = element.empty() ? "it holds a cell outside a row"
                                                : "it has a " + element + " element out of place";
        EXPECT_TRUE(
            Contains(opened.error, "its part xl/worksheets/sheet1.xml is damaged (" + why + ")"))
            << opened.error;
        EXPECT_EQ(ReadFile(file), bytes);
    }
}

// The dimension a save rewrites is the worksheet's own, ahead of the rows,
// whole. One nested in it, or standing after the rows, made the save cut the
// part in the wrong place; any other is kept as it stands.
TEST(XlsxPackageTest, OnlyTheWorksheetsOwnDimensionIsRewritten) {
    TempDir dir;
    const std::string file = dir.File("dimensions.xlsx");
    const std::string rows = "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>";
    const std::string other = "<dimension ref=\"Z9\"/>";
    struct Case {
        std::string body;
        bool ownRewritten; // the worksheet has a dimension of its own
        bool otherKept;    // the other is not inside it
    };
    for (const Case& c :
         std::vector<Case>{{"<dimension ref=\"A1\">" + other + "</dimension>" + rows, true, false},
                           {rows + other, false, true},
                           {"<sheetPr>" + other + "</sheetPr>" + rows, false, true},
                           {"<dimension ref=\"A1\"/>" + other + rows, true, true}}) {
        Parts parts = MakeWorkbook({{"D", ""}});
        parts["xl/worksheets/sheet1.xml"] =
            std::string("<?xml version=\"1.0\"?><worksheet xmlns=\"") + kMain + "\">" + c.body +
            "</worksheet>";
        WritePackage(file, parts);
        const Parts saved =
            EditAndSave(file, [](Workbook& book) { book.SetCellValue(1, 2, 1, "x"); });
        const std::string& part = saved.at("xl/worksheets/sheet1.xml");
        EXPECT_EQ(Contains(part, "<dimension ref=\"A1:A2\""), c.ownRewritten) << part;
        EXPECT_EQ(Contains(part, other), c.otherKept) << part;
        const auto book = OpenOk(file);
        ASSERT_TRUE(book) << part;
        ExpectCells(*book, 1, {{1, 1, "1"}, {2, 1, "x"}});
    }
}

// A cell's formula is its own child: an element of that name inside it is
// content. Taken for the formula, it made the formula moved into a cell
// whose group lost its first cell replace half an element.
TEST(XlsxPackageTest, OnlyACellsOwnFormulaIsMovedIntoIt) {
    TempDir dir;
    const std::string file = dir.File("nested-formula.xlsx");
    WritePackage(file, MakeWorkbook({{"D", Sheet("<row r=\"1\"><c r=\"A1\"><f t=\"shared\" "
                                                 "ref=\"A1:A2\" si=\"0\">B1*2</f><v>2</v></c></row>"
                                                 "<row r=\"2\"><c r=\"A2\"><f t=\"shared\" "
                                                 "si=\"0\"><f t=\"shared\" si=\"0\"/></f><v>4</v>"
                                                 "</c></row>")}}));
    const Parts after =
        EditAndSave(file, [](Workbook& book) { book.SetCellValue(1, 1, 1, "text now"); });
    EXPECT_TRUE(
        Contains(after.at("xl/worksheets/sheet1.xml"), "<c r=\"A2\"><f>B2*2</f><v>4</v></c>"))
        << after.at("xl/worksheets/sheet1.xml");
    ExpectCells(*OpenOk(file), 1, {{1, 1, "text now"}, {2, 1, "4"}});
}

// A relationship or a content type inside another is content, not an entry:
// taken for one, dropping it (the calculation chain's) cut the part between
// the outer element's tags.
TEST(XlsxPackageTest, OnlyTheRootsChildrenAreRelationshipsAndContentTypes) {
    const std::string inner = "<Relationship Id=\"rId9\" Type=\"t/calcChain\" Target=\"c.xml\"/>";
    const std::string outer = "<Relationship Id=\"rId1\" Type=\"t/worksheet\" "
                              "Target=\"worksheets/sheet1.xml\">" +
                              inner + "</Relationship>";
    const std::string rels = "<Relationships>" + outer + "</Relationships>";
    std::vector<OpcRelationship> found;
    std::string error;
    ASSERT_TRUE(ParseRelationships(rels, "xl/workbook.xml", found, error)) << error;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, "rId1");
    EXPECT_EQ(rels.substr(found[0].begin, found[0].end - found[0].begin), outer);

    const std::string override = "<Override PartName=\"/xl/a.xml\" ContentType=\"a\">"
                                 "<Override PartName=\"/xl/c.xml\" ContentType=\"c\"/></Override>";
    const std::string types = "<Types>" + override + "</Types>";
    std::vector<OpcOverride> overrides;
    ASSERT_TRUE(ParseContentTypeOverrides(types, overrides, error)) << error;
    ASSERT_EQ(overrides.size(), 1u);
    EXPECT_EQ(overrides[0].partName, "xl/a.xml");
    EXPECT_EQ(types.substr(overrides[0].begin, overrides[0].end - overrides[0].begin), override);
}

// A new sheet's relationship and content type go last inside the root of
// their parts, wherever the text after the root says "</". A comment after
// the root took them in, and the saved package listed no new sheet.
TEST(XlsxPackageTest, ANewSheetsEntriesGoInsideTheRootWhateverFollowsIt) {
    TempDir dir;
    const std::string file = dir.File("trailing.xlsx");
    Parts parts = MakeWorkbook({{"Data", Sheet("")}});
    parts["xl/_rels/workbook.xml.rels"] += "<!-- </Relationships> -->";
    parts["[Content_Types].xml"] += "\n<?note </Types>?>";
    WritePackage(file, parts);
    Parts after = EditAndSave(file, [](Workbook& book) {
        std::string error;
        ASSERT_TRUE(book.AddSheet("Added", error)) << error;
        EXPECT_EQ(book.SetCellValue(2, 1, 1, "x"), CellWrite::Written);
    });
    if (HasFatalFailure()) return;
    EXPECT_TRUE(Contains(after["xl/_rels/workbook.xml.rels"],
                         "Target=\"worksheets/sheet2.xml\"/></Relationships>"
                         "<!-- </Relationships> -->"));
    EXPECT_TRUE(
        Contains(after["[Content_Types].xml"], "worksheet+xml\"/></Types>\n<?note </Types>?>"));
    auto book = OpenOk(file);
    ASSERT_TRUE(book);
    ASSERT_EQ(book->SheetCount(), 2);
    EXPECT_EQ(book->SheetName(2), "Added");
    EXPECT_EQ(book->CellText(2, 1, 1), "x");

    // A list written empty is opened to hold the entry.
    std::string workbook = parts["xl/workbook.xml"];
    std::string rels = std::string("<Relationships xmlns=\"") + kRelPkg + "\"/>";
    std::string types = parts["[Content_Types].xml"];
    std::string error;
    ASSERT_TRUE(AddSheetEntries("xl/workbook.xml", {{"Added", "xl/worksheets/sheet2.xml"}},
                                workbook, rels, types, error))
        << error;
    EXPECT_EQ(rels, std::string("<Relationships xmlns=\"") + kRelPkg +
                        "\"><Relationship Id=" + "\"rId1\" Type=\"" + kRel +
                        "/worksheet\" Target=\"worksheets/" + "sheet2.xml\"/></Relationships>");
    // A list that is not well-formed is named, and nothing is listed.
    rels = "<Relationships>";
    EXPECT_FALSE(AddSheetEntries("xl/workbook.xml", {{"More", "xl/worksheets/sheet3.xml"}},
                                 workbook, rels, types, error));
    EXPECT_TRUE(Contains(error, "its part xl/_rels/workbook.xml.rels is damaged ("));
}

// Some writers declare the relationships' namespace on each <sheet> rather
// than on the workbook. A new sheet spelled its id alike but outside that
// declaration's scope, and the saved workbook part was not namespace-valid.
TEST(XlsxPackageTest, ANewSheetDeclaresTheNamespacesItsSiblingDeclaresOnItself) {
    TempDir dir;
    const std::string file = dir.File("declared.xlsx");
    Parts parts = MakeWorkbook({{"Data", Sheet("")}});
    std::string& workbook = parts["xl/workbook.xml"];
    const std::string declaration = std::string(" xmlns:r=\"") + kRel + "\"";
    workbook.erase(workbook.find(declaration), declaration.size());
    workbook.insert(workbook.find(" name=\"Data\""), declaration);
    WritePackage(file, parts);
    Parts after = EditAndSave(file, [](Workbook& book) {
        std::string error;
        ASSERT_TRUE(book.AddSheet("Added", error)) << error;
    });
    if (HasFatalFailure()) return;
    EXPECT_TRUE(
        Contains(after["xl/workbook.xml"],
                 "<sheet name=\"Added\" sheetId=\"2\" r:id=\"rId2\"" + declaration + "/></sheets>"))
        << after["xl/workbook.xml"];
}

// The sheet's dimension and an empty "<sheetData/>" opened to hold rows keep
// their tags as written: the namespace the sheetData declared for itself
// was dropped, and the rows and the dimension were spelled with a prefix
// nothing declared there.
TEST(XlsxPackageTest, TheDimensionAndAnEmptySheetDataKeepTheirTagsAsWritten) {
    TempDir dir;
    const std::string file = dir.File("declared.xlsx");
    const std::string open = std::string("<x:sheetData xmlns:x=\"") + kMain + "\"";
    Parts parts =
        MakeWorkbook({{"Data", std::string("<?xml version=\"1.0\"?><worksheet xmlns=\"") + kMain +
                                   "\"><dimension ref=\"A1\"/>" + open + "/></worksheet>"}});
    WritePackage(file, parts);
    Parts after = EditAndSave(file, [](Workbook& book) {
        EXPECT_EQ(book.SetCellValue(1, 2, 2, "x"), CellWrite::Written);
    });
    if (HasFatalFailure()) return;
    EXPECT_TRUE(Contains(after["xl/worksheets/sheet1.xml"],
                         "<dimension ref=\"B2\"           />" + open + "><x:row r=\"2\""))
        << after["xl/worksheets/sheet1.xml"];
    auto book = OpenOk(file);
    ASSERT_TRUE(book);
    EXPECT_EQ(book->CellText(1, 2, 2), "x");
}

// A title of the document's properties is text: one holding an element is
// left out of the titles a rename rewrites. Its text was replaced up to the
// inner element, and the old name stayed after the new one.
TEST(XlsxPackageTest, ATitleHoldingAnElementIsNoTitleToRename) {
    const std::string xml = "<Properties><TitlesOfParts><vector><lpstr>Data<lpstr>x</lpstr>"
                            "</lpstr><lpstr>Other</lpstr></vector></TitlesOfParts></Properties>";
    std::vector<XlsxTitle> titles;
    std::string error;
    ASSERT_TRUE(ParseTitlesOfParts(xml, titles, error)) << error;
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles[0].text, "Other");
    EXPECT_EQ(xml.substr(titles[0].contentBegin, titles[0].contentEnd - titles[0].contentBegin),
              "Other");
}

// An array formula or a data table owns its range as one: vok replaces the
// whole range or none of it, and never leaves a group half-broken.
TEST(XlsxPackageTest, FormulaGroupsAreKeptWholeOrTheSaveIsRefused) {
    TempDir dir;
    const std::string file = dir.File("groups.xlsx");
    WritePackage(
        file,
        MakeWorkbook({{"Data", Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"C1\"><f "
                                     "t=\"array\" ref=\"C1:C3\">A1:A3*2</f>"
                                     "<v>2</v></c><c r=\"E1\"><f t=\"dataTable\" ref=\"E1:F2\" "
                                     "dt2D=\"0\" dtr=\"0\" r1=\"A1\"/>"
                                     "<v>7</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c><c "
                                     "r=\"C2\"><v>4</v></c></row>"
                                     "<row r=\"3\"><c r=\"A3\"><v>3</v></c><c "
                                     "r=\"C3\"><v>6</v></c><c r=\"G3\"><f t=\"shared\" "
                                     "ref=\"G3:G4\" si=\"0\">H1048576</f><v>0</v></c></row><row "
                                     "r=\"4\"><c r=\"G4\"><f t=\"shared\" "
                                     "si=\"0\"/><v>0</v></c></row>")}}));
    const std::string bytes = ReadFile(file);
    const auto refused = [&](int32_t row, int32_t column, const std::string& why) {
        auto book = OpenOk(file);
        book->SetCellValue(1, row, column, "9");
        std::string error;
        EXPECT_FALSE(book->Save(error));
        EXPECT_EQ(error, "Cannot save the workbook " + file + ": its sheet \"Data\" " + why + ".");
        EXPECT_TRUE(ReadFile(file) == bytes);
    };
    refused(2, 3, "has an array formula in C1:C3, and vok would replace only some of its cells");
    refused(1, 3, "has an array formula in C1:C3, and vok would replace only some of its cells");
    refused(2, 6, "has a data table in E1:F2, and vok would replace only some of its cells");
    refused(3, 7,
            "has a shared formula that vok cannot copy into G4 when it replaces the group's "
            "first cell: a reference would leave the sheet");
    // The whole array written, the data table's range cleared: both leave whole.
    const std::string sheet = EditAndSave(file, [](Workbook& book) {
        for (int32_t row = 1; row <= 3; ++row)
            book.SetCellValue(1, row, 3, "new");
        book.ClearRange(1, {1, 5, 2, 6});
    })["xl/worksheets/sheet1.xml"];
    EXPECT_FALSE(Contains(sheet, "array")) << sheet;
    EXPECT_FALSE(Contains(sheet, "dataTable")) << sheet;
    EXPECT_TRUE(Contains(sheet, "<c r=\"C2\" t=\"inlineStr\"><is><t>new</t></is></c>")) << sheet;
    EXPECT_TRUE(Contains(sheet, "si=\"0\">H1048576</f>")) << sheet;
}

// A part in UTF-16 (`bigEndian` or not, with a byte-order mark or not), as
// some writers store them; `utf8` is its text with the declaration.
std::string Utf16Part(std::string_view utf8, bool bigEndian, bool mark) {
    std::u16string units = mark ? u"\uFEFF" : u"";
    AppendUtf16(units, utf8);
    std::string bytes;
    for (const char16_t u : units) {
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string Declared(std::string_view encoding, std::string_view xml) {
    const std::string_view plain = "<?xml version=\"1.0\"?>";
    EXPECT_EQ(xml.substr(0, plain.size()), plain);
    return "<?xml version=\"1.0\" encoding=\"" + std::string(encoding) + "\"?>" +
           std::string(xml.substr(plain.size()));
}

constexpr const char* kStylesLatin1 =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><styleSheet xmlns=\""
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><fonts count=\"1\"><font>"
    "<name val=\"Caf\xE9 Sans\"/></font></fonts><cellXfs count=\"1\"><xf numFmtId=\"0\" "
    "fontId=\"0\"/></cellXfs></styleSheet>";

// A sheet stored as UTF-16 was written back damaged: vok put UTF-8 bytes
// into it ("unclosed token" in other readers, an empty sheet in others).
// Every part vok rewrites goes back in the encoding it declares, its mark
// and declaration included; the parts vok does not write keep their bytes.
TEST(XlsxPackageTest, PartsInOtherEncodingsAreWrittenBackInTheirOwn) {
    TempDir dir;
    const std::string file = dir.File("encodings.xlsx");
    Parts parts = MakeWorkbook(
        {{"Data", Sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><f>A2*2</f>"
                        "<v>2</v></c></row><row r=\"2\"><c r=\"A2\"><v>1</v></c></row>")},
         {"Other", Sheet("<row r=\"1\"><c r=\"A1\"><f>Data!A2</f><v>1</v></c></row>")}},
        kStylesLatin1,
        std::string("<?xml version=\"1.0\"?><sst xmlns=\"") + kMain +
            "\"><si><t>Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x82\xAC</t></si></sst>");
    parts["xl/worksheets/sheet1.xml"] =
        Utf16Part(Declared("UTF-16", parts["xl/worksheets/sheet1.xml"]), false, true);
    parts["xl/worksheets/sheet2.xml"] =
        Utf16Part(Declared("UTF-16", parts["xl/worksheets/sheet2.xml"]), true, true);
    parts["xl/sharedStrings.xml"] =
        Utf16Part(Declared("UTF-16", parts["xl/sharedStrings.xml"]), true, false);
    parts["xl/workbook.xml"] =
        Utf16Part(Declared("UTF-16", parts["xl/workbook.xml"]), false, false);
    WritePackage(file, parts);
    Parts after = EditAndSave(file, [](Workbook& book) {
        ExpectCells(book, 1, {{1, 1, "Grüße €"}, {2, 1, "1"}});
        EXPECT_EQ(book.SetCellValue(1, 3, 1, "\xE2\x82\xAC 12 \xF0\x9F\x98\x80"),
                  CellWrite::Written);
        EXPECT_EQ(book.SetCellValue(1, 2, 1, "5"), CellWrite::Written);
        book.SetStandardFont("Courier New");
        std::string error;
        ASSERT_TRUE(book.SetSheetName(1, "D\xC3\xA4ten", error)) << error;
    });
    if (HasFatalFailure()) return;
    // Each rewritten part as its writer stored it, with vok's edits.
    const std::string sheet = Declared(
        "UTF-16",
        Sheet(
            "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><f>A2*2</f><v>2</v></c></row>"
            "<row r=\"2\"><c r=\"A2\"><v>5</v></c></row><row r=\"3\"><c r=\"A3\" "
            "t=\"inlineStr\"><is>"
            "<t>\xE2\x82\xAC 12 \xF0\x9F\x98\x80</t></is></c></row>"));
    std::string expected = Utf16Part(sheet, false, true);
    expected.replace(expected.find(Utf16Part("ref=\"A1\"/>", false, false)),
                     Utf16Part("ref=\"A1\"/>", false, false).size(),
                     Utf16Part("ref=\"A1:B3\"        />", false, false));
    EXPECT_EQ(after["xl/worksheets/sheet1.xml"], expected);
    EXPECT_EQ(after["xl/worksheets/sheet2.xml"],
              Utf16Part(Declared("UTF-16", Sheet("<row r=\"1\"><c r=\"A1\"><f>'D\xC3\xA4ten'!A2"
                                                 "</f><v>1</v></c></row>")),
                        true, true));
    EXPECT_EQ(after["xl/workbook.xml"].substr(0, 4), std::string("<\0?\0", 4));
    EXPECT_TRUE(
        Contains(after["xl/workbook.xml"], Utf16Part("name=\"D\xC3\xA4ten\"", false, false)));
    EXPECT_TRUE(Contains(after["xl/styles.xml"], "encoding=\"ISO-8859-1\"?>"));
    EXPECT_TRUE(Contains(after["xl/styles.xml"], "<name val=\"Courier New\"/>"));
    for (const auto& [name, content] : parts) {
        if (!Contains(name, "sheet") && name != "xl/workbook.xml" && name != "xl/styles.xml") {
            EXPECT_EQ(after[name], content) << name;
        }
    }
    EXPECT_EQ(after["xl/sharedStrings.xml"], parts["xl/sharedStrings.xml"]);
    // And vok reads back what it wrote.
    auto book = OpenOk(file);
    EXPECT_EQ(book->SheetName(1), "D\xC3\xA4ten");
    EXPECT_EQ(book->CellText(1, 3, 1), "\xE2\x82\xAC 12 \xF0\x9F\x98\x80");
}

TEST(XlsxPackageTest, APartInAnEncodingVokCannotWriteBackIsRefused) {
    TempDir dir;
    const std::string file = dir.File("refused.xlsx");
    Parts parts = MakeWorkbook({{"Data", Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>")}},
                               Declared("Shift_JIS", "<?xml version=\"1.0\"?><styleSheet/>"));
    WritePackage(file, parts);
    std::string bytes = ReadFile(file);
    WorkbookOpenResult opened = OpenWorkbookFile(file, OutputType::Xlsx);
    EXPECT_FALSE(opened.workbook);
    EXPECT_EQ(opened.error, "Cannot open the workbook " + file +
                                ": its part xl/styles.xml is stored in the encoding Shift_JIS, "
                                "which vok cannot write back. The file was left unchanged.");
    EXPECT_EQ(ReadFile(file), bytes);
    // UTF-16 that ends in half a character is damaged.
    parts.erase("xl/styles.xml");
    parts["xl/worksheets/sheet1.xml"] =
        Utf16Part(Declared("UTF-16", parts["xl/worksheets/sheet1.xml"]), false, true) + '\0';
    WritePackage(file, parts);
    bytes = ReadFile(file);
    opened = OpenWorkbookFile(file, OutputType::Xlsx);
    EXPECT_FALSE(opened.workbook);
    EXPECT_TRUE(Contains(opened.error, "its part xl/worksheets/sheet1.xml is damaged (its UTF-16 "
                                       "text ends in half a character)"))
        << opened.error;
    EXPECT_EQ(ReadFile(file), bytes);
}

// A part's bytes as stored in the package: compressed, with its checksum.
std::string StoredPart(const std::string& path, const std::string& name) {
    int code = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY, &code);
    EXPECT_TRUE(zip);
    if (!zip) return {};
    zip_stat_t st;
    zip_stat_init(&st);
    std::string bytes;
    if (zip_stat(zip, name.c_str(), 0, &st) == 0) {
        bytes.resize(st.comp_size);
        zip_file_t* f = zip_fopen(zip, name.c_str(), ZIP_FL_COMPRESSED);
        EXPECT_TRUE(f);
        if (f) {
            EXPECT_EQ(zip_fread(f, bytes.data(), bytes.size()),
                      static_cast<zip_int64_t>(bytes.size()));
            zip_fclose(f);
        }
        bytes += std::to_string(st.crc);
    }
    zip_discard(zip);
    return bytes;
}

// A workbook whose first sheet is too large to be read at opening: `rows`
// rows, each a shared string (from the table's end) and a number, then
// `tail`; the shared strings in UTF-16 with a mark, 6,000 of them, the last
// one rich text with a phonetic run.
Parts LargeSheetWorkbook(int rows, const std::string& tail = {}) {
    std::string sheet;
    for (int r = 1; r <= rows; ++r) {
        const std::string n = std::to_string(r);
        sheet += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"s\"><v>" +
                 std::to_string(5000 + r % 1000) + "</v></c><c r=\"B" + n + "\"><v>" + n +
                 "</v></c></row>";
    }
    std::string strings = std::string("<?xml version=\"1.0\"?><sst xmlns=\"") + kMain + "\">";
    for (int i = 0; i < 5999; ++i)
        strings += "<si><t>s" + std::to_string(i) + "</t></si>";
    strings += "<si><r><t>ri</t></r><r><t>ch</t></r><rPh><t>x</t></rPh></si></sst>";
    Parts parts = MakeWorkbook({{"Big", Sheet(sheet + tail)},
                                {"Small", Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>")},
                                {"Third", Sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>2</v></c>"
                                                "</row>")}},
                               {}, strings);
    parts["xl/sharedStrings.xml"] = Utf16Part(Declared("UTF-16", strings), true, true);
    return parts;
}

// Writing a few rows into a small sheet read every sheet of the workbook
// into memory and all its shared strings: its cost followed the workbook.
// A large sheet is read when first used, and only the strings it uses.
TEST(XlsxPackageTest, ALargeSheetIsReadOnlyWhenUsed) {
    TempDir dir;
    const std::string file = dir.File("large.xlsx");
    WritePackage(file, LargeSheetWorkbook(40'000));
    const std::string stored = StoredPart(file, "xl/worksheets/sheet1.xml");
    const std::string strings = StoredPart(file, "xl/sharedStrings.xml");
    {
        auto book = OpenOk(file);
        EXPECT_EQ(book->CellText(3, 1, 1), "s2");
        EXPECT_EQ(book->SetCellValue(2, 2, 1, "new"), CellWrite::Written);
        SaveOk(*book);
        // Read after the save, from the file as it now is.
        EXPECT_EQ(book->CellText(1, 1, 1), "s5001");
        EXPECT_EQ(book->CellText(1, 39'999, 1), "rich");
        EXPECT_EQ(book->CellText(1, 40'000, 2), "40000");
        const CellRange used = book->UsedRange(1);
        EXPECT_EQ(used.lastRow, 40'000);
        EXPECT_EQ(used.lastColumn, 2);
    }
    EXPECT_EQ(StoredPart(file, "xl/worksheets/sheet1.xml"), stored);
    EXPECT_EQ(StoredPart(file, "xl/sharedStrings.xml"), strings);
    Parts after = ReadPackage(file);
    // The sheet not read may hold formulas that see the new cell.
    EXPECT_TRUE(Contains(after["xl/workbook.xml"], "<calcPr fullCalcOnLoad=\"1\"/>"));
    EXPECT_TRUE(Contains(after["xl/worksheets/sheet2.xml"], ">new</t>"));
    // Written into, the large sheet keeps its other cells.
    const std::string sheet = EditAndSave(file, [](Workbook& book) {
        EXPECT_EQ(book.SetCellValue(1, 2, 2, "7"), CellWrite::Written);
    })["xl/worksheets/sheet1.xml"];
    EXPECT_TRUE(Contains(sheet, "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>5002</v></c><c r=\"B2\">"
                                "<v>7</v></c></row><row r=\"3\">"))
        << sheet.substr(0, 400);
    EXPECT_TRUE(Contains(sheet, "<dimension ref=\"A1:B40000\""));
}

// A large sheet is read only when used, so its damage shows then: the write
// fails with the reason, the save is refused and the file stays as it was.
// A damaged large sheet that is not written is copied as it stands.
TEST(XlsxPackageTest, ADamagedLargeSheetFailsItsFirstUse) {
    TempDir dir;
    const std::string file = dir.File("damaged.xlsx");
    WritePackage(file, LargeSheetWorkbook(40'000, "<row r=\"40001\"><c r=\"A40001\" t=\"s\">"
                                                  "<v>6000</v></c></row>"));
    const std::string bytes = ReadFile(file);
    {
        auto book = OpenOk(file);
        EXPECT_EQ(book->UsedRange(1).lastRow, 0);
        EXPECT_EQ(book->SetCellValue(1, 1, 1, "x"), CellWrite::OutputFailed);
        EXPECT_EQ(book->WriteFailure(), "its part xl/worksheets/sheet1.xml is damaged (a cell "
                                        "refers to shared string \"6000\", which is missing)");
        // The small sheet, read at opening, takes its cells; the save is refused all the same.
        EXPECT_EQ(book->SetCellValue(2, 1, 1, "x"), CellWrite::Written);
        std::string error;
        EXPECT_FALSE(book->Save(error));
        EXPECT_EQ(error, "Cannot save the workbook " + file + ": " + book->WriteFailure() + ".");
    }
    EXPECT_EQ(ReadFile(file), bytes);
    auto book = OpenOk(file);
    EXPECT_EQ(book->SetCellValue(2, 1, 1, "x"), CellWrite::Written);
    SaveOk(*book);
    EXPECT_EQ(ReadPackage(file)["xl/worksheets/sheet1.xml"],
              LargeSheetWorkbook(40'000, "<row r=\"40001\"><c r=\"A40001\" t=\"s\"><v>6000</v>"
                                         "</c></row>")["xl/worksheets/sheet1.xml"]);
}

TEST(XlsxPackageTest, CellReferencesAndXmlTextAreReadAndWrittenWithinTheSheetLimits) {
    int32_t row = 0, column = 0;
    EXPECT_TRUE(ParseCellReference("XFD1048576", row, column));
    EXPECT_EQ(row, 1'048'576);
    EXPECT_EQ(column, 16'384);
    for (const char* bad : {"XFE1", "A0", "A1048577", "1A", "A", "A1B", ""}) {
        EXPECT_FALSE(ParseCellReference(bad, row, column)) << bad;
    }
    std::string ref;
    AppendCellReference(ref, 27, 703);
    EXPECT_EQ(ref, "AAA27");

    std::string out;
    AppendXmlText(out, "a<b>&\"_x0041_\x01\xEF\xBF\xBE");
    EXPECT_EQ(out, "a&lt;b&gt;&amp;\"_x005F_x0041__x0001__xFFFE_");
    std::string decoded = "_x005F_x0041__x0001__xD83D__xDE00__xD800_";
    DecodeXstringEscapes(decoded);
    EXPECT_EQ(decoded, "_x0041_\x01\xF0\x9F\x98\x80_xD800_");

    EXPECT_EQ(WithAttribute("<row r=\"1\" spans=\"1:3\">", "spans", "2:4"),
              "<row r=\"1\" spans=\"2:4\">");
    EXPECT_EQ(WithAttribute("<xf numFmtId='0'/>", "applyNumberFormat", "1"),
              "<xf numFmtId='0' applyNumberFormat=\"1\"/>");
    EXPECT_EQ(WithoutAttribute("<row r=\"1\" spans=\"1:3\" ht=\"20\">", "spans"),
              "<row r=\"1\" ht=\"20\">");
    EXPECT_EQ(WithoutAttribute("<row r=\"1\">", "spans"), "<row r=\"1\">");
}

} // namespace
} // namespace vok
