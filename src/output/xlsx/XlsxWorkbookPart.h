// The workbook part of an .xlsx package (xl/workbook.xml: the sheets in tab
// order and the calculation settings) and the sheet titles the document
// properties list (docProps/app.xml), with the byte ranges vok may change.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

struct XlsxSheetEntry {
    std::string name;
    std::string relationshipId;
    std::string idAttribute; // how it spells the relationship attribute ("r:id")
    // The namespace declarations written on the element itself, as
    // attributes (' xmlns:r="..."'): a sibling needs them to spell alike.
    std::string declarations;
    size_t begin = 0, end = 0; // the <sheet> element
};

struct XlsxWorkbookPart {
    std::vector<XlsxSheetEntry> sheets;
    bool hasCalcPr = false;
    size_t calcPrBegin = 0, calcPrEnd = 0; // its start tag
    bool fullCalcOnLoad = false;
    // Where a missing calcPr belongs: after sheets, functionGroups,
    // externalReferences and definedNames.
    size_t calcPrInsertAt = 0;
    std::string prefix;

    bool Parse(std::string_view xml, std::string& error);
};

struct XlsxTitle {
    std::string text;
    size_t contentBegin = 0, contentEnd = 0; // between <vt:lpstr> and </vt:lpstr>
};

// The <vt:lpstr> entries of TitlesOfParts, in order.
bool ParseTitlesOfParts(std::string_view xml, std::vector<XlsxTitle>& titles, std::string& error);

} // namespace vok
