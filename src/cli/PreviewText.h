// The preview of a recipe as text, for a terminal: per table its line range
// and key lines, a ruler with the field boundaries over its first lines, and
// its first rows as an aligned table (numbers right-aligned, text as stored).
#pragma once

#include "engine/RecipePreview.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vok {

// The report lines the ruler stands over: at most this many of each table.
inline constexpr int64_t kPreviewRulerLines = 5;
// With lines left out, the lines shown run on until that many rows are among
// them, but no further than this.
inline constexpr size_t kPreviewLinesShown = 24;

// The report's lines come from `report`, which reads each part of the report
// once as the tables go down it.
std::string FormatPreview(const PreviewResult& result, ReportLineSource& report);

// The three lines of a ruler `width` characters wide, each beginning with
// `indent` blanks: positions ("....+....1"), the column letters at their
// fields' starts, and the fields ("|" at a start, "-" over the rest).
std::vector<std::string> PreviewRuler(const std::vector<PreviewColumn>& columns, size_t width,
                                      size_t indent);

// Why a table yields no rows, in a few words; "" when it yields some.
std::string WhyNoRows(const PreviewTable& table);

} // namespace vok
