// The sheets of an existing .xls workbook, from what the record stream holds:
// names, numbers with their number formats, and texts.
#pragma once

#include "output/workbook/SheetData.h"
#include "output/xls/Biff8Inspector.h"

#include <string>
#include <vector>

namespace vok {

class XlsReader {
public:
    // False, with the reason, when the workbook cannot be read.
    static bool Read(const Biff8Contents& contents, std::vector<SheetData>& sheets,
                     FormatTable& formats, std::string& reason);
};

} // namespace vok
