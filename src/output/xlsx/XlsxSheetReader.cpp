#include "output/xlsx/XlsxSheetReader.h"

#include "output/workbook/SheetData.h"
#include "output/workbook/XmlText.h"
#include "output/workbook/XmlScanner.h"
#include "output/xlsx/XlsxSharedStrings.h"

#include <charconv>
#include <fmt/format.h>

namespace vok {

namespace {

constexpr SheetLimits kLimits = SheetLimitsOf(OutputType::Xlsx);
// The depth of the worksheet's children, the dimension and the sheetData
// among them (the root is at depth 1); rows are the sheetData's children and
// cells theirs.
constexpr int kWorksheetChild = 2;

enum class CellType { Number, Shared, Inline, FormulaText, Boolean, Error, Date };

CellType TypeOf(const char* t) {
    if (!t) return CellType::Number;
    std::string_view type = t;
    if (type == "s") return CellType::Shared;
    if (type == "inlineStr") return CellType::Inline;
    if (type == "str") return CellType::FormulaText;
    if (type == "b") return CellType::Boolean;
    if (type == "e") return CellType::Error;
    if (type == "d") return CellType::Date;
    return CellType::Number;
}

bool ParseInt(const char* text, int64_t& value) {
    if (!text) return false;
    std::string_view s = text;
    auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    return result.ec == std::errc() && result.ptr == s.data() + s.size();
}

// "B2:D5" or "B2".
bool ParseRange(std::string_view text, CellRange& range) {
    const size_t colon = text.find(':');
    int32_t row = 0, column = 0, lastRow = 0, lastColumn = 0;
    if (!ParseCellReference(text.substr(0, colon), row, column)) return false;
    lastRow = row;
    lastColumn = column;
    if (colon != std::string_view::npos &&
        !ParseCellReference(text.substr(colon + 1), lastRow, lastColumn))
        return false;
    range = {std::min(row, lastRow), std::min(column, lastColumn), std::max(row, lastRow),
             std::max(column, lastColumn)};
    return true;
}

std::string_view TrimXmlBlanks(std::string_view s) {
    size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// One pass over a worksheet; `values` or `layout` (or both) receive what it finds.
class SheetHandler : public XmlScanner::Handler {
public:
    SheetHandler(SheetData* values, XlsxSheetSummary* summary, XlsxSheetLayout* layout)
        : values_(values), summary_(summary), layout_(layout) {}

    std::string error;

    void StartElement(const XmlTag& tag) override {
        if (!error.empty()) return;
        if (!inSheetData_) {
            if (tag.local == "sheetData")
                StartSheetData(tag);
            else if (tag.local == "dimension" && layout_ && tag.depth == kWorksheetChild &&
                     !sheetDataSeen_ && !layout_->hasDimension) {
                // The worksheet's own, ahead of the rows, is the one a save
                // rewrites; any other is kept as it stands.
                layout_->hasDimension = dimensionOpen_ = true;
                layout_->dimensionBegin = tag.begin;
                layout_->dimensionStartEnd = tag.end;
            }
            return;
        }
        // Rows are the sheetData's children and cells the rows': found
        // anywhere else they would make the spans a save rewrites overlap.
        const int below = tag.depth - kWorksheetChild;
        if (tag.local == "row")
            below == 1 ? StartRow(tag) : OutOfPlace(tag);
        else if (tag.local == "c")
            below == 2 ? StartCell(tag) : OutOfPlace(tag);
        else if (tag.local == "sheetData")
            OutOfPlace(tag);
        else if (!inCell_)
            return;
        else if (tag.local == "v")
            capture_ = true;
        else if (tag.local == "f" && below == 3) // the cell's own formula, not one inside it
            StartFormula(tag);
        else if (tag.local == "rPh")
            ++phonetic_;
        else if (tag.local == "t" && inInline_ && phonetic_ == 0)
            capture_ = true;
        else if (tag.local == "is")
            inInline_ = true;
    }

    void EndElement(const XmlTag& tag) override {
        if (!error.empty()) return;
        if (!inSheetData_) {
            if (tag.local == "dimension" && dimensionOpen_ && tag.depth == kWorksheetChild) {
                layout_->dimensionEnd = tag.end;
                dimensionOpen_ = false;
            }
            return;
        }
        if (tag.local == "sheetData" && tag.depth == kWorksheetChild) {
            inSheetData_ = false;
            if (layout_) {
                layout_->sheetDataEndBegin = tag.begin;
                layout_->sheetDataEnd = tag.end;
            }
        } else if (tag.local == "row") {
            if (layout_ && !layout_->rows.empty()) {
                XlsxRowSpan& row = layout_->rows.back();
                row.end = tag.end;
                row.selfClosing = tag.begin == tag.end;
            }
        } else if (tag.local == "c") {
            EndCell(tag);
        } else if (tag.local == "v" || tag.local == "t") {
            capture_ = false;
        } else if (tag.local == "f" && inCell_ && tag.depth - kWorksheetChild == 3) {
            if (layout_) EndFormula(tag);
        } else if (tag.local == "rPh") {
            --phonetic_;
        } else if (tag.local == "is") {
            inInline_ = false;
        }
    }

    void Characters(std::string_view text) override {
        if (capture_) text_.append(text);
        if (captureFormula_) formula_.append(text);
    }

private:
    void StartSheetData(const XmlTag& tag) {
        // The worksheet's own child, once: the rows of any other are not the sheet's.
        if (tag.depth != kWorksheetChild || sheetDataSeen_) {
            OutOfPlace(tag);
            return;
        }
        sheetDataSeen_ = true;
        inSheetData_ = true;
        if (!layout_) return;
        layout_->hasSheetData = true;
        layout_->prefix = std::string(NamePrefix(tag.name));
        layout_->sheetDataBegin = tag.begin;
        layout_->sheetDataStartEnd = tag.end;
    }

    void OutOfPlace(const XmlTag& tag) {
        if (tag.local == "c" && tag.depth == kWorksheetChild + 1)
            error = "it holds a cell outside a row";
        else
            error = fmt::format("it has a {} element out of place", tag.local);
    }

    void StartRow(const XmlTag& tag) {
        int64_t number = 0;
        const char* r = tag.Attribute("r");
        if (r) {
            if (!ParseInt(r, number) || number < 1 || number > kLimits.maxRows || number <= row_) {
                error = fmt::format("its row number \"{}\" is not valid", r);
                return;
            }
        } else {
            number = row_ + 1;
        }
        row_ = static_cast<int32_t>(number);
        column_ = 0;
        if (layout_) {
            XlsxRowSpan span;
            span.row = row_;
            span.begin = tag.begin;
            span.startTagEnd = tag.end;
            span.hasReference = r != nullptr;
            span.firstCell = layout_->cells.size();
            layout_->rows.push_back(span);
        }
    }

    void StartCell(const XmlTag& tag) {
        const char* r = tag.Attribute("r");
        int32_t row = 0, column = 0;
        if (r) {
            if (!ParseCellReference(r, row, column)) {
                error = fmt::format("its cell reference \"{}\" is not valid", r);
                return;
            }
        } else {
            column = column_ + 1;
        }
        if (column <= column_ || column > kLimits.maxColumns) {
            error = fmt::format("the cells of its row {} are out of order", row_);
            return;
        }
        column_ = column;
        inCell_ = true;
        type_ = TypeOf(tag.Attribute("t"));
        text_.clear();
        cellBegin_ = tag.begin;
        if (summary_) {
            CellRange& e = summary_->extent;
            if (e.Empty()) {
                e = {row_, column_, row_, column_};
            } else {
                e.firstColumn = std::min(e.firstColumn, column_);
                e.lastColumn = std::max(e.lastColumn, column_);
                e.lastRow = row_;
            }
        }
        if (layout_) {
            XlsxCellSpan cell;
            cell.column = column_;
            int64_t style = 0;
            if (ParseInt(tag.Attribute("s"), style) && style > 0 && style < INT32_MAX) {
                cell.style = static_cast<int32_t>(style);
            }
            cell.begin = tag.begin;
            cell.hasReference = r != nullptr;
            layout_->cells.push_back(cell);
            ++layout_->rows.back().cellCount;
        }
    }

    void StartFormula(const XmlTag& tag) {
        if (summary_) summary_->hasFormulas = true;
        if (!layout_) return;
        XlsxCellSpan& cell = layout_->cells.back();
        cell.formulaBegin = static_cast<uint32_t>(tag.begin - cellBegin_);
        cell.formulaTagEnd = static_cast<uint32_t>(tag.end - cellBegin_);
        const std::string_view t = tag.Attribute("t") ? tag.Attribute("t") : "";
        const char* ref = tag.Attribute("ref");
        int64_t si = 0;
        if (t == "shared" && ParseInt(tag.Attribute("si"), si) && si >= 0 && si < INT32_MAX) {
            cell.sharedGroup = static_cast<int32_t>(si);
            cell.sharedMaster = ref != nullptr;
            // The group's text, for its other cells should this one be replaced.
            captureFormula_ = cell.sharedMaster;
            formula_.clear();
        } else if ((t == "array" || t == "dataTable") && ref) {
            XlsxFormulaBlock block;
            block.dataTable = t == "dataTable";
            if (!ParseRange(ref, block.range)) {
                error =
                    fmt::format("the range \"{}\" of a formula in row {} is not valid", ref, row_);
                return;
            }
            block.range.Include(row_, column_);
            layout_->formulaBlocks.push_back(block);
        }
    }

    void EndFormula(const XmlTag& tag) {
        XlsxCellSpan& cell = layout_->cells.back();
        cell.formulaEnd = static_cast<uint32_t>(tag.end - cellBegin_);
        if (cell.sharedMaster) {
            layout_->sharedFormulas[cell.sharedGroup] = {row_, column_, std::move(formula_)};
            formula_.clear();
        }
        captureFormula_ = false;
    }

    void EndCell(const XmlTag& tag) {
        inCell_ = capture_ = inInline_ = false;
        phonetic_ = 0;
        if (layout_) layout_->cells.back().end = tag.end;
        if (values_) StoreValue();
    }

    void StoreValue() {
        switch (type_) {
        case CellType::Number: {
            std::string_view v = TrimXmlBlanks(text_);
            if (v.empty()) return;
            double number = 0;
            auto result = std::from_chars(v.data(), v.data() + v.size(), number);
            if (result.ec == std::errc() && result.ptr == v.data() + v.size()) {
                values_->SetNumber(row_, column_, number, 0);
            } else {
                values_->SetText(row_, column_, v);
            }
            return;
        }
        case CellType::Shared: {
            int64_t index = -1;
            std::string trimmed(TrimXmlBlanks(text_));
            if (!ParseInt(trimmed.c_str(), index) || index < 0 || index > UINT32_MAX) {
                error =
                    fmt::format("a cell refers to shared string \"{}\", which is missing", text_);
                return;
            }
            summary_->sharedCells.push_back({row_, column_, static_cast<uint32_t>(index)});
            return;
        }
        case CellType::Boolean:
            values_->SetText(row_, column_, TrimXmlBlanks(text_) == "1" ? "TRUE" : "FALSE");
            return;
        case CellType::Inline:
        case CellType::FormulaText:
            DecodeXstringEscapes(text_);
            [[fallthrough]];
        case CellType::Error:
        case CellType::Date:
            if (!text_.empty()) values_->SetText(row_, column_, text_);
            return;
        }
    }

    SheetData* values_;
    XlsxSheetSummary* summary_;
    XlsxSheetLayout* layout_;

    bool inSheetData_ = false, inCell_ = false, inInline_ = false, capture_ = false;
    bool captureFormula_ = false, sheetDataSeen_ = false, dimensionOpen_ = false;
    int phonetic_ = 0;
    int32_t row_ = 0, column_ = 0;
    CellType type_ = CellType::Number;
    size_t cellBegin_ = 0;
    std::string text_, formula_;
};

} // namespace

bool XlsxSheetReader::ReadValues(std::string_view xml, SheetData& sheet,
                                 XlsxSheetSummary& summary, std::string& error) {
    SheetHandler handler(&sheet, &summary, nullptr);
    if (!XmlScanner::Scan(xml, handler, error)) return false;
    error = handler.error;
    return error.empty();
}

bool XlsxSheetReader::ReadLayout(std::string_view xml, XlsxSheetLayout& layout,
                                 std::string& error) {
    layout = XlsxSheetLayout();
    SheetHandler handler(nullptr, nullptr, &layout);
    if (!XmlScanner::Scan(xml, handler, error)) return false;
    error = handler.error;
    if (error.empty() && !layout.hasSheetData) error = "it has no sheetData element";
    return error.empty();
}

} // namespace vok
