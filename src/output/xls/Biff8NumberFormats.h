// The built-in number formats of .xls workbooks: formats every reader knows by
// their number, so that no FORMAT record names them. Workbook-specific formats
// are numbered from 164.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vok {

inline constexpr uint16_t kFirstCustomFormatId = 164;

// The code of built-in format `id`; none for a number that is not built in.
std::optional<std::string_view> BuiltInFormatCode(uint16_t id);

// The built-in number to write a code under; none when the code needs a FORMAT
// record. Currency formats are never written as built-ins: readers show those
// in their own locale's currency.
std::optional<uint16_t> BuiltInFormatId(std::string_view code);

} // namespace vok
