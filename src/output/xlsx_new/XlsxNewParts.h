// The parts of a new .xlsx workbook, written by the engine itself: a workbook
// of three sheets "Sheet1", "Sheet2", "Sheet3" as spreadsheet programs lay it
// out, with the sheets added, renamed and written since. The parts are the
// ones the engine wrote through its earlier library, byte for byte, so that
// a workbook made before reads the same.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

// The sheets a new workbook starts with.
inline constexpr size_t kNewWorkbookSheets = 3;

extern const std::string_view kNewWorkbookThemeXml;
extern const std::string_view kNewWorkbookStylesXml;
// An empty worksheet: the first of a new workbook (selected), the others,
// and one added to a workbook.
extern const std::string_view kNewFirstWorksheetXml;
extern const std::string_view kNewOtherWorksheetXml;
extern const std::string_view kEmptyWorksheetXml;

// The worksheet part a new workbook starts sheet `index` (0-based) with.
std::string_view NewWorksheetTemplate(size_t index);
// Its part name ("xl/worksheets/sheet4.xml").
std::string NewWorkbookSheetPart(size_t index);

// The parts that list the sheets `names` (in tab order).
std::string NewContentTypesXml(size_t sheetCount, bool macroEnabled);
std::string NewWorkbookRelationshipsXml(size_t sheetCount);
std::string NewWorkbookXml(const std::vector<std::string>& names);
std::string NewAppPropertiesXml(const std::vector<std::string>& names);
std::string NewCorePropertiesXml(std::time_t created);
extern const std::string_view kNewPackageRelationshipsXml;

// A worksheet template cut where its rows and its extent go.
struct WorksheetFrame {
    std::string_view beforeDimension; // up to "<dimension"
    std::string_view beforeRows;      // after the dimension, up to "<sheetData/>"
    std::string_view afterRows;       // after "<sheetData/>"
};
WorksheetFrame FrameOf(std::string_view worksheetXml);

} // namespace vok
