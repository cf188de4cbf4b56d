#include "output/XlsReader.h"

#include <filesystem>
#include <fmt/format.h>
#include <freexl.h>
#include <memory>

namespace vok {

namespace {

struct FreeXlClose {
    void operator()(const void* handle) const { freexl_close(handle); }
};
using FreeXlHandle = std::unique_ptr<const void, FreeXlClose>;

std::string ReaderError(int code) {
    switch (code) {
    case FREEXL_INSUFFICIENT_MEMORY:
        return "it is too large to read";
    case FREEXL_BIFF_INVALID_BOF:
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
    case FREEXL_INVALID_CFBF_HEADER:
        return "it is not an Excel 97-2003 workbook";
    case FREEXL_UNSUPPORTED_CHARSET:
    case FREEXL_INVALID_CHARACTER:
        return "its text uses a character set that cannot be read";
    default:
        return fmt::format("it is damaged (read error {})", code);
    }
}

// The numeric cells of one sheet, met in row order while reading.
class NumberCursor {
public:
    explicit NumberCursor(const std::vector<Biff8NumberCell>& cells) : cells_(cells) {}
    const Biff8NumberCell* Find(uint32_t row, uint16_t column) {
        while (next_ < cells_.size() &&
               (cells_[next_].row < row ||
                (cells_[next_].row == row && cells_[next_].column < column))) {
            ++next_;
        }
        if (next_ < cells_.size() && cells_[next_].row == row && cells_[next_].column == column) {
            return &cells_[next_];
        }
        return nullptr;
    }

private:
    const std::vector<Biff8NumberCell>& cells_;
    size_t next_ = 0;
};

} // namespace

bool XlsReader::Read(const std::filesystem::path& path, const Biff8Contents& contents,
                     std::vector<SheetData>& sheets, FormatTable& formats, std::string& reason) {
    const void* raw = nullptr;
    const int opened = freexl_open(path.c_str(), &raw);
    FreeXlHandle handle(raw);
    // On some failures FreeXL reports success but hands back no handle.
    if (opened != FREEXL_OK || !raw) {
        reason = opened != FREEXL_OK ? ReaderError(opened) : "it cannot be read";
        return false;
    }
    unsigned int sheetCount = 0;
    if (freexl_get_info(raw, FREEXL_BIFF_SHEET_COUNT, &sheetCount) != FREEXL_OK ||
        sheetCount == 0 || sheetCount != contents.numbers.size()) {
        reason = "its sheets cannot be read";
        return false;
    }

    // XF -> interned format, filled as cells use them.
    std::vector<int32_t> xfFormats(contents.xfFormatCodes.size(), -1);
    auto formatOf = [&](const Biff8NumberCell* cell) -> uint16_t {
        if (!cell || cell->xf >= xfFormats.size()) return 0;
        int32_t& format = xfFormats[cell->xf];
        if (format < 0) format = formats.Intern(contents.xfFormatCodes[cell->xf]);
        return static_cast<uint16_t>(format);
    };

    sheets.clear();
    for (unsigned short s = 0; s < sheetCount; ++s) {
        const char* name = nullptr;
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_get_worksheet_name(raw, s, &name) != FREEXL_OK ||
            freexl_select_active_worksheet(raw, s) != FREEXL_OK ||
            freexl_worksheet_dimensions(raw, &rows, &columns) != FREEXL_OK) {
            reason = fmt::format("sheet {} cannot be read", s + 1);
            return false;
        }
        SheetData& sheet = sheets.emplace_back(name ? name : "");
        NumberCursor numbers(contents.numbers[s]);
        for (unsigned int r = 0; r < rows; ++r) {
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue value;
                const int got = freexl_get_cell_value(raw, r, c, &value);
                if (got != FREEXL_OK) {
                    reason = ReaderError(got);
                    return false;
                }
                const auto row = static_cast<int32_t>(r + 1);
                const auto column = static_cast<int32_t>(c + 1);
                switch (value.type) {
                case FREEXL_CELL_INT:
                case FREEXL_CELL_DOUBLE: {
                    const double number = value.type == FREEXL_CELL_INT ? value.value.int_value
                                                                        : value.value.double_value;
                    sheet.SetNumber(row, column, number, formatOf(numbers.Find(r, c)));
                    break;
                }
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME: {
                    // FreeXL hands dates over as text; the record holds the number.
                    const Biff8NumberCell* cell = numbers.Find(r, c);
                    if (!cell) {
                        reason = fmt::format("the date in row {}, column {} of sheet {} cannot "
                                             "be read",
                                             row, column, s + 1);
                        return false;
                    }
                    sheet.SetNumber(row, column, cell->value, formatOf(cell));
                    break;
                }
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                    if (value.value.text_value && *value.value.text_value) {
                        sheet.SetText(row, column, value.value.text_value);
                    }
                    break;
                default:
                    break;
                }
            }
        }
        sheet.MarkUnchanged();
    }
    return true;
}

} // namespace vok
