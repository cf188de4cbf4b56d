// Worksheets added to an existing .xlsx package: an empty worksheet part, and
// the entries that make it a sheet of the workbook (its <sheet> element in the
// workbook part, its relationship, its content type).
#pragma once

#include "output/xlsx_new/XlsxNewParts.h"

#include <string>
#include <string_view>
#include <vector>

namespace vok {

struct XlsxNewSheet {
    std::string name;
    std::string part; // its zip entry, such as "xl/worksheets/sheet4.xml"
};

// An empty worksheet, for the sheet patcher to fill: kEmptyWorksheetXml of
// XlsxNewParts.h.

// A free part name for the n-th new worksheet beside the workbook part;
// `taken` says whether a name is in use already.
template <typename Taken>
std::string NewWorksheetPart(std::string_view workbookPart, Taken&& taken) {
    const size_t slash = workbookPart.rfind('/');
    const std::string folder(
        workbookPart.substr(0, slash == std::string_view::npos ? 0 : slash + 1));
    for (int n = 1;; ++n) {
        std::string part = folder + "worksheets/sheet" + std::to_string(n) + ".xml";
        if (!taken(part)) return part;
    }
}

// Lists the new sheets, after the existing ones, in the workbook part, its
// relationships part and the content types part. False, with the reason
// (naming the part), when one of them cannot be read.
bool AddSheetEntries(std::string_view workbookPart, const std::vector<XlsxNewSheet>& sheets,
                     std::string& workbookXml, std::string& relationshipsXml,
                     std::string& contentTypesXml, std::string& error);

} // namespace vok
