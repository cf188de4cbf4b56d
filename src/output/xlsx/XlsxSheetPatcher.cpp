#include "output/xlsx/XlsxSheetPatcher.h"

#include "output/workbook/SheetData.h"
#include "output/workbook/XmlText.h"
#include "output/xlsx/XlsxFormulas.h"
#include "output/xlsx/XlsxSheetReader.h"
#include "output/workbook/XlsxStyles.h"

#include <algorithm>
#include <climits>
#include <fmt/format.h>

namespace vok {

namespace {

// Room for ' ref="A1:XFD1048576"', the widest range.
constexpr size_t kDimensionSlotWidth = 20;

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

    // 2. Formula groups stay whole, or the edits are refused.
    if (!KeepsFormulaGroups(error)) {
        result_.refused = true;
        return false;
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

bool XlsxSheetPatcher::KeepsFormulaGroups(std::string& error) {
    // 1. An array formula or a data table is replaced whole or not at all.
    for (const XlsxFormulaBlock& block : layout_.formulaBlocks) {
        if (CoverageOf(block.range) != Coverage::Some) continue;
        std::string range;
        AppendRangeReference(range, block.range);
        error = fmt::format("has {} in {}, and vok would replace only some of its cells",
                            block.dataTable ? "a data table" : "an array formula", range);
        return false;
    }
    // 2. A shared formula whose defining cell is replaced lives on in the
    // other cells of its group, each as an ordinary formula.
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
    return orphanedGroups_.empty() || SharedFormulaMoves(error);
}

bool XlsxSheetPatcher::SharedFormulaMoves(std::string& error) {
    for (const XlsxRowSpan& row : layout_.rows) {
        for (size_t i = row.firstCell; i < row.firstCell + row.cellCount; ++i) {
            const XlsxCellSpan& cell = layout_.cells[i];
            if (!Orphaned(cell) || sheet_.Touched(row.row, cell.column) ||
                sheet_.InClearedRange(row.row, cell.column) || MovedFormula(cell, row.row, moved_))
                continue;
            std::string where;
            AppendCellReference(where, row.row, cell.column);
            error =
                fmt::format("has a shared formula that vok cannot copy into {} when it "
                            "replaces the group's first cell: a reference would leave the sheet",
                            where);
            return false;
        }
    }
    return true;
}

bool XlsxSheetPatcher::MovedFormula(const XlsxCellSpan& cell, int32_t row,
                                    std::string& formula) const {
    const auto group = layout_.sharedFormulas.find(cell.sharedGroup);
    if (group == layout_.sharedFormulas.end() || group->second.text.empty()) return false;
    return ShiftFormula(group->second.text, row - group->second.row,
                        cell.column - group->second.column, formula);
}

XlsxSheetPatcher::Coverage XlsxSheetPatcher::CoverageOf(const CellRange& range) const {
    const int64_t width = int64_t{range.lastColumn} - range.firstColumn + 1;
    std::vector<std::pair<int32_t, int32_t>> spans; // cleared columns of one row
    bool some = false, notAll = false;
    for (int32_t row = range.firstRow; row <= range.lastRow && !(some && notAll); ++row) {
        // 1. The columns of the range that a cleared range takes, merged.
        spans.clear();
        for (const CellRange& cleared : sheet_.ClearedRanges()) {
            if (row < cleared.firstRow || row > cleared.lastRow) continue;
            const int32_t first = std::max(cleared.firstColumn, range.firstColumn);
            const int32_t last = std::min(cleared.lastColumn, range.lastColumn);
            if (first <= last) spans.emplace_back(first, last);
        }
        std::sort(spans.begin(), spans.end());
        int64_t covered = 0;
        int32_t reached = 0; // the last column counted
        for (const auto& [first, last] : spans) {
            if (last > reached) covered += last - std::max(first - 1, reached);
            reached = std::max(reached, last);
        }
        // 2. The cells written outside them.
        sheet_.ForEachTouchedInRow(row, [&](int32_t column, const CellValue&) {
            if (column >= range.firstColumn && column <= range.lastColumn &&
                !sheet_.InClearedRange(row, column))
                ++covered;
        });
        some |= covered > 0;
        notAll |= covered < width;
    }
    return !some ? Coverage::None : notAll ? Coverage::Some : Coverage::All;
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
        // Its start tag as written (its name, a namespace it declares), the
        // old extent, the blanks at its end and the tag's end left out.
        std::string_view start = original_.substr(
            layout_.dimensionBegin, layout_.dimensionStartEnd - layout_.dimensionBegin);
        start.remove_suffix(start.ends_with("/>") ? 2 : 1);
        std::string kept(start);
        if (const RawAttribute oldRef = FindRawAttribute(start, "ref"); oldRef.found)
            kept.erase(oldRef.begin, oldRef.end - oldRef.begin);
        kept.erase(kept.find_last_not_of(" \t\r\n") + 1);
        out_ += kept;
        std::string ref = " ref=\"";
        AppendRangeReference(ref, result_.extent);
        ref += '"';
        out_ += ref;
        if (ref.size() < kDimensionSlotWidth) out_.append(kDimensionSlotWidth - ref.size(), ' ');
        out_ += "/>";
        copied = layout_.dimensionEnd;
    }
    out_.append(original_.substr(copied, headEnd - copied));
    // "<sheetData .../>" opened to hold the rows keeps what its tag says
    // (a namespace it declares, say).
    if (selfClosing && anyRow_) {
        out_.append(original_.substr(layout_.sheetDataBegin,
                                     layout_.sheetDataStartEnd - layout_.sheetDataBegin - 2));
        out_ += '>';
    }
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
    if (!emit_) return;
    std::string_view text = original_.substr(cell.begin, cell.end - cell.begin);
    size_t nameEnd = TagNameEnd(text);
    out_.append(text.substr(0, nameEnd));
    if (!cell.hasReference) {
        out_ += " r=\"";
        AppendCellReference(out_, row, cell.column);
        out_ += '"';
    }
    if (!Orphaned(cell)) {
        out_.append(text.substr(nameEnd));
        return;
    }
    // The group's formula, moved here, as an ordinary formula with the
    // cell's own other attributes.
    out_.append(text.substr(nameEnd, cell.formulaBegin - nameEnd));
    const std::string_view tag =
        text.substr(cell.formulaBegin, cell.formulaTagEnd - cell.formulaBegin);
    std::string start = WithoutAttribute(WithoutAttribute(WithoutAttribute(tag, "t"), "si"), "ref");
    if (start.ends_with("/>")) start.erase(start.size() - 2, 1);
    out_ += start;
    MovedFormula(cell, row, moved_); // Start made sure it moves
    AppendXmlEscaped(out_, moved_);
    out_ += "</";
    out_.append(tag.substr(1, TagNameEnd(tag) - 1));
    out_ += '>';
    out_.append(text.substr(cell.formulaEnd));
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
