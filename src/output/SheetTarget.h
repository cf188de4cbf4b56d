// The sheet target of a job (-w / /W, the options dialog): the sheet into
// which the sections that write to sheet 1 (tables, their titles) go. A whole
// number n is the n-th sheet, any other text a sheet's name. A missing sheet
// is added: a numbered one as "SheetN" (with the sheets before it), a named
// one at the end. Sections that write to sheet 2 (consolidations) keep
// sheet 2, unless the target is sheet 2 itself: they then go to the sheet
// after it, so that the two never write over each other.
#pragma once

#include "output/Workbook.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vok {

// The most sheets a numbered target may ask for.
inline constexpr int32_t kMaxSheetTargetNumber = 255;

struct SheetTarget {
    int32_t number = 1; // when `name` is empty
    std::string name;

    bool IsFirstSheet() const { return name.empty() && number == 1; }
};

// Reads the target as typed; blank means sheet 1. False, with the reason,
// for a number outside 1 to kMaxSheetTargetNumber or a name no sheet may carry.
bool ParseSheetTarget(std::string_view text, SheetTarget& target, std::string& error);

// Finds the target's sheet in the workbook, adding it when missing, and
// gives its number (1-based); 0, with the reason, when it cannot be added.
int32_t ResolveSheetTarget(Workbook& workbook, const SheetTarget& target, std::string& error);

// The workbook as the sections see it: sheet 1 is `targetSheet`, sheet 2 is
// sheet 2 (or the one after the target when the target is sheet 2), added
// when first written. With a target of 1 the workbook is returned as it is.
std::unique_ptr<Workbook> WithSheetTarget(std::unique_ptr<Workbook> workbook, int32_t targetSheet);

} // namespace vok
