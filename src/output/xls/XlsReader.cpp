#include "output/xls/XlsReader.h"

#include "output/OutputType.h"

#include <fmt/format.h>

namespace vok {

bool XlsReader::Read(const Biff8Contents& contents, std::vector<SheetData>& sheets,
                     FormatTable& formats, std::string& reason) {
    if (contents.sheetNames.empty()) {
        reason = "it holds no sheet";
        return false;
    }
    // XF -> interned format, filled as cells use them.
    std::vector<int32_t> xfFormats(contents.xfFormatCodes.size(), -1);
    auto formatOf = [&](uint16_t xf) -> uint16_t {
        if (xf >= xfFormats.size()) return 0;
        int32_t& format = xfFormats[xf];
        if (format < 0) format = formats.Intern(contents.xfFormatCodes[xf]);
        return static_cast<uint16_t>(format);
    };
    sheets.clear();
    for (size_t s = 0; s < contents.sheetNames.size(); ++s) {
        SheetData& sheet = sheets.emplace_back(contents.sheetNames[s]);
        // Rows and columns are 0-based in the file; a cell the format cannot
        // address marks a damaged file.
        const auto outside = [&](uint32_t row, uint16_t column) {
            constexpr SheetLimits kLimits = SheetLimitsOf(OutputType::Xls);
            if (row < uint32_t{kLimits.maxRows} && column < kLimits.maxColumns) return false;
            reason =
                fmt::format("it is damaged (a cell of sheet {} lies outside the sheet)", s + 1);
            return true;
        };
        for (const Biff8NumberCell& cell : contents.numbers[s]) {
            if (outside(cell.row, cell.column)) return false;
            sheet.SetNumber(static_cast<int32_t>(cell.row + 1), cell.column + 1, cell.value,
                            formatOf(cell.xf));
        }
        for (const Biff8TextCell& cell : contents.texts[s]) {
            if (outside(cell.row, cell.column)) return false;
            if (!cell.text.empty())
                sheet.SetText(static_cast<int32_t>(cell.row + 1), cell.column + 1, cell.text);
        }
        sheet.MarkUnchanged();
    }
    return true;
}

} // namespace vok
