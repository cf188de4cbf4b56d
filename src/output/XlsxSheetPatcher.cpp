#include "output/XlsxSheetPatcher.h"

#include "output/SheetData.h"
#include "output/XlsxSheetReader.h"
#include "output/XlsxStyles.h"
#include "output/XmlText.h"

#include <climits>

namespace vok {

namespace {

// Room for ' ref="A1:XFD1048576"', the widest range.
constexpr size_t kDimensionSlotWidth = 20;

void AppendRange(std::string& out, const CellRange& range) {
    if (range.Empty()) {
        out += "A1";
        return;
    }
    AppendCellReference(out, range.firstRow, range.firstColumn);
    if (range.lastRow != range.firstRow || range.lastColumn != range.firstColumn) {
        out += ':';
        AppendCellReference(out, range.lastRow, range.lastColumn);
    }
}

} // namespace

void XlsxSheetPatcher::Note(int32_t row, int32_t column) {
    ++noted_;
    result_.extent.Include(row, column);
}

bool XlsxSheetPatcher::Orphaned(const XlsxCellSpan& cell) const {
    return cell.sharedGroup >= 0 && !cell.sharedMaster && orphanedGroups_.count(cell.sharedGroup);
}

bool XlsxSheetPatcher::Start(std::string_view original, std::string& error) {
    // 1. Where the rows and cells lie.
    layout_ = XlsxSheetLayout();
    if (!XlsxSheetReader::ReadLayout(original, layout_, error)) return false;
    original_ = original;
    prefix_ = layout_.prefix;
    const std::string& p = prefix_;
    tags_ = {"<" + p + "row r=\"",
             "</" + p + "row>",
             "<" + p + "c r=\"",
             "><" + p + "v>",
             "</" + p + "v></" + p + "c>",
             " t=\"inlineStr\"><" + p + "is><" + p + "t",
             "</" + p + "t></" + p + "is></" + p + "c>"};
    result_ = XlsxSheetPatch();

    // 2. A shared formula whose defining cell goes loses its text: the cells
    // that share it keep their last values instead.
    orphanedGroups_.clear();
    for (const XlsxRowSpan& row : layout_.rows) {
        for (size_t i = row.firstCell; i < row.firstCell + row.cellCount; ++i) {
            const XlsxCellSpan& cell = layout_.cells[i];
            if (cell.sharedMaster && (sheet_.Touched(row.row, cell.column) ||
                                      sheet_.InClearedRange(row.row, cell.column))) {
                orphanedGroups_.insert(cell.sharedGroup);
            }
        }
    }

    // 3. Every row once without writing: the extent, the formulas that go,
    // the cell formats the numbers need, whether any row is left.
    emit_ = false;
    anyRow_ = false;
    next_ = 0;
    touchedRow_ = sheet_.NextTouchedRow(1);
    while (NextRow()) {
    }
    // 4. Ready to write from the top.
    emit_ = true;
    next_ = 0;
    touchedRow_ = sheet_.NextTouchedRow(1);
    phase_ = Phase::Head;
    return true;
}

bool XlsxSheetPatcher::Next(std::string& block) {
    out_.clear();
    while (out_.size() < kBlock && phase_ != Phase::Done) {
        if (phase_ == Phase::Head) {
            EmitHead();
            phase_ = Phase::Rows;
        } else if (!NextRow()) {
            EmitTail();
            phase_ = Phase::Done;
        }
    }
    block.swap(out_);
    return !block.empty();
}

void XlsxSheetPatcher::EmitHead() {
    // Everything before the rows, the dimension holding the extent in a slot
    // of fixed width.
    const bool selfClosing = layout_.sheetDataEndBegin == layout_.sheetDataEnd; // <sheetData/>
    const size_t headEnd = selfClosing ? layout_.sheetDataBegin : layout_.sheetDataStartEnd;
    size_t copied = 0;
    if (layout_.hasDimension) {
        out_.append(original_.substr(0, layout_.dimensionBegin));
        out_ += "<" + prefix_ + "dimension";
        std::string ref = " ref=\"";
        AppendRange(ref, result_.extent);
        ref += '"';
        out_ += ref;
        if (ref.size() < kDimensionSlotWidth) out_.append(kDimensionSlotWidth - ref.size(), ' ');
        out_ += "/>";
        copied = layout_.dimensionEnd;
    }
    out_.append(original_.substr(copied, headEnd - copied));
    if (selfClosing && anyRow_) out_ += "<" + prefix_ + "sheetData>";
}

void XlsxSheetPatcher::EmitTail() {
    // Everything after the rows; a sheet left without rows keeps its <sheetData/>.
    const bool selfClosing = layout_.sheetDataEndBegin == layout_.sheetDataEnd;
    if (!selfClosing) {
        out_.append(original_.substr(layout_.sheetDataEndBegin));
        return;
    }
    if (anyRow_) {
        out_ += "</" + prefix_ + "sheetData>";
    } else {
        out_.append(original_.substr(layout_.sheetDataBegin,
                                     layout_.sheetDataEnd - layout_.sheetDataBegin));
    }
    out_.append(original_.substr(layout_.sheetDataEnd));
}

bool XlsxSheetPatcher::NextRow() {
    // The file's rows and the rows holding edits, together, in order.
    if (next_ >= layout_.rows.size() && touchedRow_ == 0) return false;
    const int32_t fileRow = next_ < layout_.rows.size() ? layout_.rows[next_].row : INT_MAX;
    const int32_t editRow = touchedRow_ != 0 ? touchedRow_ : INT_MAX;
    const int32_t row = std::min(fileRow, editRow);
    const XlsxRowSpan* inFile = fileRow == row ? &layout_.rows[next_] : nullptr;
    if (inFile && editRow != row && !RowNeedsRewrite(*inFile)) {
        CopyRow(*inFile);
    } else {
        MergeRow(row, inFile);
    }
    if (inFile) ++next_;
    if (editRow == row) touchedRow_ = sheet_.NextTouchedRow(row + 1);
    return true;
}

int32_t XlsxSheetPatcher::FormatStyle(int32_t baseStyle, uint16_t format) {
    // Most cells build on the default style: look those up by index.
    if (baseStyle == 0) {
        if (format >= plainStyles_.size()) plainStyles_.resize(format + 1, -1);
        int32_t& style = plainStyles_[format];
        if (style < 0) style = styles_->XfFor(0, formats_.Code(format));
        return style;
    }
    auto [it, added] = otherStyles_.try_emplace({baseStyle, format}, 0);
    if (added) it->second = styles_->XfFor(baseStyle, formats_.Code(format));
    return it->second;
}

bool XlsxSheetPatcher::RowNeedsRewrite(const XlsxRowSpan& row) const {
    for (size_t i = row.firstCell; i < row.firstCell + row.cellCount; ++i) {
        const XlsxCellSpan& cell = layout_.cells[i];
        if (Orphaned(cell) || sheet_.InClearedRange(row.row, cell.column)) return true;
    }
    return false;
}

void XlsxSheetPatcher::CopyRow(const XlsxRowSpan& row) {
    anyRow_ = true;
    if (row.cellCount > 0) {
        Note(row.row, layout_.cells[row.firstCell].column);
        Note(row.row, layout_.cells[row.firstCell + row.cellCount - 1].column);
    }
    if (!emit_) return;
    std::string_view text = original_.substr(row.begin, row.end - row.begin);
    if (row.hasReference) {
        out_.append(text);
    } else {
        // Rows around it may come and go: give it its number.
        size_t nameEnd = TagNameEnd(text);
        out_.append(text.substr(0, nameEnd));
        out_ += " r=\"";
        AppendDecimal(out_, row.row);
        out_ += '"';
        out_.append(text.substr(nameEnd));
    }
}

void XlsxSheetPatcher::MergeRow(int32_t row, const XlsxRowSpan* original) {
    // 1. The row's start tag: the file's one without its (now stale) spans hint.
    const size_t mark = out_.size();
    const int64_t notedBefore = noted_;
    if (!emit_) {
        // Learning: only what the cells decide.
    } else if (original) {
        std::string tag = WithoutAttribute(
            original_.substr(original->begin, original->startTagEnd - original->begin), "spans");
        if (!original->hasReference) tag = WithAttribute(tag, "r", std::to_string(row));
        if (original->selfClosing) tag.erase(tag.size() - 2, 1); // "/>" -> ">"
        out_ += tag;
    } else {
        out_ += tags_.rowOpen;
        AppendDecimal(out_, row);
        out_ += "\">";
    }
    // 2. Merge the file's cells with the touched ones by column.
    touched_.clear();
    sheet_.ForEachTouchedInRow(
        row, [&](int32_t column, const CellValue& v) { touched_.emplace_back(column, v); });
    size_t first = original ? original->firstCell : 0;
    size_t count = original ? original->cellCount : 0;
    size_t ci = 0, ti = 0;
    while (ci < count || ti < touched_.size()) {
        int32_t fileColumn = ci < count ? layout_.cells[first + ci].column : INT_MAX;
        int32_t editColumn = ti < touched_.size() ? touched_[ti].first : INT_MAX;
        if (editColumn < fileColumn) {
            EmitNew(row, editColumn, touched_[ti++].second, -1);
            continue;
        }
        const XlsxCellSpan& cell = layout_.cells[first + ci++];
        bool cleared = sheet_.InClearedRange(row, cell.column);
        if (editColumn == fileColumn) {
            // A replaced cell keeps its look unless its range was cleared.
            result_.formulaRemoved |= cell.HasFormula();
            EmitNew(row, editColumn, touched_[ti++].second, cleared ? -1 : cell.style);
        } else if (cleared) {
            result_.formulaRemoved |= cell.HasFormula();
        } else {
            EmitOriginal(cell, row);
        }
    }

    // 3. A row vok added that ended up without cells is left out.
    if (!original && noted_ == notedBefore) {
        if (emit_) out_.resize(mark);
        return;
    }
    anyRow_ = true;
    if (emit_) out_ += tags_.rowClose;
}

void XlsxSheetPatcher::EmitOriginal(const XlsxCellSpan& cell, int32_t row) {
    Note(row, cell.column);
    if (Orphaned(cell)) result_.formulaRemoved = true;
    if (!emit_) return;
    std::string_view text = original_.substr(cell.begin, cell.end - cell.begin);
    size_t nameEnd = TagNameEnd(text);
    out_.append(text.substr(0, nameEnd));
    if (!cell.hasReference) {
        out_ += " r=\"";
        AppendCellReference(out_, row, cell.column);
        out_ += '"';
    }
    if (Orphaned(cell)) {
        out_.append(text.substr(nameEnd, cell.formulaBegin - nameEnd));
        out_.append(text.substr(cell.formulaEnd));
    } else {
        out_.append(text.substr(nameEnd));
    }
}

void XlsxSheetPatcher::EmitNew(int32_t row, int32_t column, const CellValue& value,
                               int32_t keptStyle) {
    int32_t style = keptStyle < 0 ? 0 : keptStyle;
    if (value.type == CellValue::Type::Empty) {
        if (style == 0) return; // nothing left of the cell
    } else if (value.type == CellValue::Type::Number && value.format != 0 && styles_) {
        style = FormatStyle(style, value.format);
    }
    Note(row, column);
    if (!emit_) return;
    out_ += tags_.cellOpen;
    AppendCellReference(out_, row, column);
    out_ += '"';
    if (style > 0) {
        out_ += " s=\"";
        AppendDecimal(out_, style);
        out_ += '"';
    }
    switch (value.type) {
    case CellValue::Type::Empty:
        out_ += "/>";
        break;
    case CellValue::Type::Number:
        out_ += tags_.valueOpen;
        AppendXmlNumber(out_, value.number);
        out_ += tags_.valueClose;
        break;
    case CellValue::Type::Text:
        out_ += tags_.inlineOpen;
        if (NeedsSpacePreserve(value.text)) out_ += " xml:space=\"preserve\"";
        out_ += '>';
        AppendXmlText(out_, value.text);
        out_ += tags_.inlineClose;
        break;
    }
}

} // namespace vok
