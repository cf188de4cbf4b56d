// The number formats (FORMAT records) and cell formats (XF records) of an
// existing .xls workbook, and those vok adds when it writes numbers into it.
// Existing records keep their numbers: cells everywhere refer to them. New
// ones are appended after the last of their kind.
#pragma once

#include "output/xls/BiffRecordBuffer.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vok {

class Biff8CellFormats {
public:
    // Learns the workbook's records, in the order of the globals.
    void AddFormatRecord(std::string_view data);
    void AddXfRecord(std::string_view data);

    // The XF of a new cell: XF 15 when it is a cell XF, as the format has
    // it; some writers make it a style, and then one is added.
    uint16_t DefaultCellXf();

    // The XF showing `code` (a number format code, "" for General) on a cell
    // that otherwise looks like XF `base` (the default cell XF when `base` is
    // none a cell may use): `base` itself when it shows the code already, or
    // when no record can be added (the workbook holds the most it may).
    uint16_t XfFor(uint16_t base, std::string_view code);

    // The new FORMAT and XF records; the XFs begin with those that fill up the
    // 16 every workbook must have.
    void WriteNewFormats(BiffRecordBuffer& out) const;
    void WriteNewXfs(BiffRecordBuffer& out);

private:
    std::optional<uint16_t> FormatIdFor(std::string_view code);
    void FillDefaults();
    // The index of an XF holding `xf`, added when none does; `fallback` when
    // the workbook has room for no more.
    uint16_t FindOrAdd(std::string xf, uint16_t fallback);

    std::vector<std::pair<uint16_t, std::string>> formats_; // id and code, existing then new
    size_t existingFormats_ = 0;
    std::vector<std::string> xfs_; // the data of every XF, existing then new
    size_t existingXfs_ = 0;
    bool filled_ = false;
    std::optional<uint16_t> defaultCellXf_;
    std::map<std::pair<uint16_t, uint16_t>, uint16_t> derived_; // (base XF, format id) -> XF
};

} // namespace vok
