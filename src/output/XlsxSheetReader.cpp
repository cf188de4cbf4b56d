#include "output/XlsxSheetReader.h"

#include "output/SheetData.h"
#include "output/XlsxSharedStrings.h"
#include "output/XmlScanner.h"
#include "output/XmlText.h"

#include <charconv>
#include <fmt/format.h>

namespace vok {

namespace {

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

std::string_view TrimXmlBlanks(std::string_view s) {
    size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// One pass over a worksheet; `values` or `layout` (or both) receive what it finds.
class SheetHandler : public XmlScanner::Handler {
public:
    SheetHandler(const XlsxSharedStrings* strings, SheetData* values, XlsxSheetSummary* summary,
                 XlsxSheetLayout* layout)
        : strings_(strings), values_(values), summary_(summary), layout_(layout) {}

    std::string error;

    void StartElement(const XmlTag& tag) override {
        if (!error.empty()) return;
        if (!inSheetData_) {
            if (tag.local == "sheetData")
                StartSheetData(tag);
            else if (tag.local == "dimension" && layout_) {
                layout_->hasDimension = true;
                layout_->dimensionBegin = tag.begin;
            }
            return;
        }
        if (tag.local == "row")
            StartRow(tag);
        else if (tag.local == "c")
            StartCell(tag);
        else if (!inCell_)
            return;
        else if (tag.local == "v")
            capture_ = true;
        else if (tag.local == "f")
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
            if (tag.local == "dimension" && layout_) layout_->dimensionEnd = tag.end;
            return;
        }
        if (tag.local == "sheetData") {
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
        } else if (tag.local == "f" && inCell_) {
            if (layout_)
                layout_->cells.back().formulaEnd = static_cast<uint32_t>(tag.end - cellBegin_);
        } else if (tag.local == "rPh") {
            --phonetic_;
        } else if (tag.local == "is") {
            inInline_ = false;
        }
    }

    void Characters(std::string_view text) override {
        if (capture_) text_.append(text);
    }

private:
    void StartSheetData(const XmlTag& tag) {
        inSheetData_ = true;
        if (!layout_) return;
        layout_->hasSheetData = true;
        layout_->prefix = std::string(NamePrefix(tag.name));
        layout_->sheetDataBegin = tag.begin;
        layout_->sheetDataStartEnd = tag.end;
    }

    void StartRow(const XmlTag& tag) {
        int64_t number = 0;
        const char* r = tag.Attribute("r");
        if (r) {
            if (!ParseInt(r, number) || number < 1 || number > 1'048'576 || number <= row_) {
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
        if (row_ == 0) { // a cell outside any row
            error = "it holds a cell outside a row";
            return;
        }
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
        if (column <= column_ || column > 16'384) {
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
        const char* t = tag.Attribute("t");
        int64_t si = 0;
        if (t && std::string_view(t) == "shared" && ParseInt(tag.Attribute("si"), si) && si >= 0 &&
            si < INT32_MAX) {
            cell.sharedGroup = static_cast<int32_t>(si);
            cell.sharedMaster = tag.Attribute("ref") != nullptr;
        }
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
            std::string_view text;
            std::string trimmed(TrimXmlBlanks(text_));
            if (!ParseInt(trimmed.c_str(), index) || index < 0 ||
                !strings_->Get(static_cast<size_t>(index), text)) {
                error =
                    fmt::format("a cell refers to shared string \"{}\", which is missing", text_);
                return;
            }
            if (!text.empty()) values_->SetText(row_, column_, text);
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

    const XlsxSharedStrings* strings_;
    SheetData* values_;
    XlsxSheetSummary* summary_;
    XlsxSheetLayout* layout_;

    bool inSheetData_ = false, inCell_ = false, inInline_ = false, capture_ = false;
    int phonetic_ = 0;
    int32_t row_ = 0, column_ = 0;
    CellType type_ = CellType::Number;
    size_t cellBegin_ = 0;
    std::string text_;
};

} // namespace

bool XlsxSheetReader::ReadValues(std::string_view xml, const XlsxSharedStrings& strings,
                                 SheetData& sheet, XlsxSheetSummary& summary, std::string& error) {
    SheetHandler handler(&strings, &sheet, &summary, nullptr);
    if (!XmlScanner::Scan(xml, handler, error)) return false;
    error = handler.error;
    return error.empty();
}

bool XlsxSheetReader::ReadLayout(std::string_view xml, XlsxSheetLayout& layout,
                                 std::string& error) {
    layout = XlsxSheetLayout();
    SheetHandler handler(nullptr, nullptr, nullptr, &layout);
    if (!XmlScanner::Scan(xml, handler, error)) return false;
    error = handler.error;
    if (error.empty() && !layout.hasSheetData) error = "it has no sheetData element";
    return error.empty();
}

} // namespace vok
