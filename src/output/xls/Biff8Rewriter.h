// Writes the edits of a workbook held in memory into the record stream of the
// existing .xls file it was read from, keeping everything else.
//
// The globals and every sheet vok did not edit are copied record by record;
// only what must follow what vok adds changes: the shared strings are
// rebuilt (strings no cell uses any more are left out, the others keep their
// formatting runs, and LABELSST records everywhere get their new index),
// EXTSST, sheet positions (BOUNDSHEET8) and INDEX records are recomputed, and
// new FORMAT and XF records are appended after the existing ones. A renamed
// sheet changes only its name, the default font only its name. An edited
// sheet keeps every record but its cell table, which is rebuilt
// (XlsCellTable). Something that ties to edited cells and cannot follow them,
// a merge or a hyperlink, makes the rewrite refuse, saying what and where.
#pragma once

#include "output/workbook/SheetData.h"
#include "output/xls/Biff8CellFormats.h"
#include "output/xls/Biff8SharedStrings.h"
#include "output/xls/Biff8Stream.h"
#include "output/xls/BiffRecordBuffer.h"
#include "output/xls/XlsCellTable.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class Biff8Rewriter {
public:
    enum class Outcome {
        Written,
        Refused, // an edit would lose something the file holds
        Damaged, // the file's records are not what its reading found
    };

    // `sheets` are the workbook's sheets in tab order, the file's first and
    // then any added; `fontName` (when not empty) names the default font.
    Biff8Rewriter(std::string_view original, const std::vector<SheetData>& sheets,
                  const FormatTable& formats, std::string_view fontName);

    // The new stream; otherwise why not.
    Outcome Build(std::string& stream, std::string& reason);

    // After Build: whether the sheet's cells were rebuilt, and the cells it
    // then holds (1-based).
    bool Rebuilt(size_t sheet) const { return sheet < plans_.size() && plans_[sheet].table; }
    CellRange RebuiltExtent(size_t sheet) const { return plans_[sheet].table->Extent(); }

private:
    struct SheetPlan {
        size_t begin = kNew;                 // its BOF in the original stream
        std::unique_ptr<XlsCellTable> table; // sheets with edits
        bool dbCells = false;                // the file indexes its cell table
        size_t tableAt = kNew;               // the record the table is written before
        size_t keptDbCells = 0;              // sheets without edits: their DBCELL records
        std::vector<size_t> ties;            // merges and hyperlinks of an edited sheet
    };
    static constexpr size_t kNew = SIZE_MAX;
    // Where a sheet's INDEX record points, once the sheet is written.
    struct SheetPositions {
        size_t indexAt = kNew;
        size_t indexSlots = 0;
        uint32_t defColWidth = 0;
        std::vector<uint32_t> dbCells;
    };

    bool ReadGlobals();
    void OnGlobalsRecord(const biff8::Record& record);
    bool ReadSheet(size_t index);
    bool ReadEditedSheet(SheetPlan& plan, const SheetData& sheet);
    std::string TieLost(size_t index, const biff8::Record& record) const;
    bool CollectStrings();
    bool MarkKeptStrings(std::vector<bool>& used, uint32_t& references) const;
    void WriteGlobals();
    void WriteGlobalsRecord(const biff8::Record& record);
    void WriteBoundSheet(size_t index, std::string_view original);
    void WriteSheet(size_t index);
    void WriteSheetRecord(SheetPlan& plan, const biff8::Record& record, SheetPositions& positions);
    // INDEX with room for the sheet's DBCELL positions; how many.
    size_t WriteIndex(const SheetPlan& plan, const biff8::Record& original);
    void WriteNewSheet(size_t index);

    std::string_view original_;
    const std::vector<SheetData>& sheets_;
    const FormatTable& formats_;
    std::string fontName_;

    // The globals.
    size_t firstFontAt_ = kNew;
    size_t newFormatsAt_ = kNew, newXfsAt_ = kNew, newSheetsAt_ = kNew;
    size_t firstXfAt_ = kNew, firstBoundSheetAt_ = kNew;
    std::vector<size_t> boundSheets_;   // offsets of the BOUNDSHEET8 records
    std::vector<std::string_view> sst_; // the SST record's data and its CONTINUE records'
    size_t fileSheets_ = 0;
    bool inSst_ = false;
    std::vector<SheetPlan> plans_;

    Biff8CellFormats cellFormats_;
    Biff8SharedStrings strings_;
    std::vector<uint32_t> remap_; // old shared string -> new
    BiffRecordBuffer out_;
    std::vector<size_t> positionFields_; // lbPlyPos of each BOUNDSHEET8 written
    bool sstWritten_ = false;
};

} // namespace vok
