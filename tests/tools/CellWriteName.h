// The name of a cell write's outcome, as the tools print it for the script tests.
#pragma once

#include "output/Workbook.h"

#include <string_view>

namespace vok {

constexpr std::string_view CellWriteName(CellWrite result) {
    switch (result) {
    case CellWrite::Written:
        return "Written";
    case CellWrite::BeyondLastRow:
        return "BeyondLastRow";
    case CellWrite::BeyondLastColumn:
        return "BeyondLastColumn";
    case CellWrite::NoSuchSheet:
        return "NoSuchSheet";
    case CellWrite::ChartSheet:
        return "ChartSheet";
    case CellWrite::TextTooLong:
        return "TextTooLong";
    case CellWrite::OutputFailed:
        return "OutputFailed";
    }
    return "?";
}

} // namespace vok
