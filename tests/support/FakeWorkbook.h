// An in-memory workbook for tests: cells hold the texts assigned to them (no
// typed input), CellText gives back what was stored, an empty text empties
// the cell. The format's limits can be made small to test writing past them.
#pragma once

#include "output/Workbook.h"

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace vok::test {

class FakeWorkbook : public Workbook {
public:
    explicit FakeWorkbook(int32_t sheets = 3, int32_t maxRows = 65'536, int32_t maxColumns = 256)
        : maxRows_(maxRows), maxColumns_(maxColumns) {
        for (int32_t s = 1; s <= sheets; ++s)
            names_.push_back("Sheet" + std::to_string(s));
    }

    int32_t SheetCount() const override { return static_cast<int32_t>(names_.size()); }
    int32_t MaxRows() const override { return maxRows_; }
    int32_t MaxColumns() const override { return maxColumns_; }

    std::string SheetName(int32_t sheet) const override {
        return HasSheet(sheet) ? names_[static_cast<size_t>(sheet - 1)] : std::string();
    }
    bool SetSheetName(int32_t sheet, std::string_view name, std::string& error) override {
        if (!HasSheet(sheet) || name.empty() || name.size() > 31) {
            error = "invalid sheet name";
            return false;
        }
        names_[static_cast<size_t>(sheet - 1)] = std::string(name);
        return true;
    }

    bool AddSheet(std::string_view name, std::string& error) override {
        if (name.empty() || name.size() > 31) {
            error = "invalid sheet name";
            return false;
        }
        names_.emplace_back(name);
        return true;
    }

    CellWrite SetCellValue(int32_t sheet, int32_t row, int32_t column,
                           std::string_view text) override {
        if (!HasSheet(sheet)) return CellWrite::NoSuchSheet;
        if (row < 1 || row > maxRows_) return CellWrite::BeyondLastRow;
        if (column < 1 || column > maxColumns_) return CellWrite::BeyondLastColumn;
        ++writes;
        if (text.empty())
            cells.erase({sheet, row, column});
        else
            cells[{sheet, row, column}] = std::string(text);
        return CellWrite::Written;
    }
    std::string CellText(int32_t sheet, int32_t row, int32_t column) const override {
        const auto found = cells.find({sheet, row, column});
        return found == cells.end() ? std::string() : found->second;
    }

    void SetStandardFont(std::string_view name) override { font = std::string(name); }

    CellRange UsedRange(int32_t sheet) const override {
        CellRange range;
        for (const auto& [key, text] : cells) {
            const auto [s, row, column] = key;
            if (s != sheet) continue;
            range.Include(row, column);
        }
        return range;
    }
    void ClearRange(int32_t sheet, const CellRange& range) override {
        std::erase_if(cells, [&](const auto& cell) {
            const auto [s, row, column] = cell.first;
            return s == sheet && row >= range.firstRow && row <= range.lastRow &&
                   column >= range.firstColumn && column <= range.lastColumn;
        });
    }

    bool Save(std::string& /*error*/, const StopRequest* /*stop*/ = nullptr) override {
        ++saves;
        return true;
    }

    // Test conveniences: a row of texts from column 1 on, and a row read back.
    void SetRow(int32_t sheet, int32_t row, const std::vector<std::string>& texts) {
        for (size_t c = 0; c < texts.size(); ++c) {
            SetCellValue(sheet, row, static_cast<int32_t>(c + 1), texts[c]);
        }
    }
    std::vector<std::string> Row(int32_t sheet, int32_t row, int32_t columns) const {
        std::vector<std::string> texts;
        for (int32_t c = 1; c <= columns; ++c)
            texts.push_back(CellText(sheet, row, c));
        return texts;
    }
    size_t CellCount(int32_t sheet) const {
        return static_cast<size_t>(std::count_if(cells.begin(), cells.end(), [&](const auto& cell) {
            return std::get<0>(cell.first) == sheet;
        }));
    }

    std::map<std::tuple<int32_t, int32_t, int32_t>, std::string> cells; // (sheet, row, column)
    std::string font;
    int writes = 0;
    int saves = 0;

private:
    bool HasSheet(int32_t sheet) const { return sheet >= 1 && sheet <= SheetCount(); }

    int32_t maxRows_;
    int32_t maxColumns_;
    std::vector<std::string> names_;
};

} // namespace vok::test
