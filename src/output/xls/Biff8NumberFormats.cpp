#include "output/xls/Biff8NumberFormats.h"

#include <array>

namespace vok {

namespace {

struct BuiltIn {
    uint16_t id;
    std::string_view code;
    bool localeCurrency; // shown with the reader's own currency
};

constexpr std::array<BuiltIn, 36> kBuiltIns{{
    {0, "General", false},
    {1, "0", false},
    {2, "0.00", false},
    {3, "#,##0", false},
    {4, "#,##0.00", false},
    {5, "\"$\"#,##0_);(\"$\"#,##0)", true},
    {6, "\"$\"#,##0_);[Red](\"$\"#,##0)", true},
    {7, "\"$\"#,##0.00_);(\"$\"#,##0.00)", true},
    {8, "\"$\"#,##0.00_);[Red](\"$\"#,##0.00)", true},
    {9, "0%", false},
    {10, "0.00%", false},
    {11, "0.00E+00", false},
    {12, "# ?/?", false},
    {13, "# ?\?/??", false},
    {14, "m/d/yy", false},
    {15, "d-mmm-yy", false},
    {16, "d-mmm", false},
    {17, "mmm-yy", false},
    {18, "h:mm AM/PM", false},
    {19, "h:mm:ss AM/PM", false},
    {20, "h:mm", false},
    {21, "h:mm:ss", false},
    {22, "m/d/yy h:mm", false},
    {37, "#,##0_);(#,##0)", false},
    {38, "#,##0_);[Red](#,##0)", false},
    {39, "#,##0.00_);(#,##0.00)", false},
    {40, "#,##0.00_);[Red](#,##0.00)", false},
    {41, "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)", false},
    {42, "_(\"$\"* #,##0_);_(\"$\"* (#,##0);_(\"$\"* \"-\"_);_(@_)", true},
    {43, "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"?\?_);_(@_)", false},
    {44, "_(\"$\"* #,##0.00_);_(\"$\"* (#,##0.00);_(\"$\"* \"-\"?\?_);_(@_)", true},
    {45, "mm:ss", false},
    {46, "[h]:mm:ss", false},
    {47, "mm:ss.0", false},
    {48, "##0.0E+0", false},
    {49, "@", false},
}};

} // namespace

std::optional<std::string_view> BuiltInFormatCode(uint16_t id) {
    for (const BuiltIn& b : kBuiltIns) {
        if (b.id == id) return b.code;
    }
    return std::nullopt;
}

std::optional<uint16_t> BuiltInFormatId(std::string_view code) {
    if (code.empty()) return 0;
    for (const BuiltIn& b : kBuiltIns) {
        if (!b.localeCurrency && b.code == code) return b.id;
    }
    return std::nullopt;
}

} // namespace vok
