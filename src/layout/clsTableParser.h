// The template analyser. A template says, character position by character
// position, where the fields of a row lie: a blank separates, "-" is a field
// position, "+" opening a field marks it summed, "=" marks a stretch whose
// layout is derived from the table's own text ("R" in it: right-justified).
//
// Use per table: ReadFromFile loads the table's rows between its key lines,
// VariableToFixedTemplate resolves the "=" stretches, analyze_template cuts a
// template into field start and end positions.
#pragma once

#include "layout/LineRules.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class Messages;
class TextIndex;

class clsTableParser {
public:
    static constexpr int32_t kMaxRows = 9999;

    explicit clsTableParser(Messages& messages) : messages_(messages) { Reset(); }

    bool OptionNoSpaceColumns = true;
    int64_t MarkerTopLoc = 0;
    int64_t MarkerBotLoc = 0;
    int64_t DataTopLoc = 0;
    int64_t DataBotLoc = 0;
    int32_t TableWidth = 0;
    // The table's rows, normalised (tabs expanded, a closing blank), at most
    // TableWidth long: the positions past a row's end are blank.
    std::vector<std::string> TextRows;
    // Why the rows could not be loaded (memory ran out); empty when they were.
    std::string LoadProblem;

    void ReadFromFile(const std::filesystem::path& fileName, std::string_view topMarker,
                      int32_t topOffset, std::string_view botMarker, int32_t botOffset,
                      int32_t tabSize);
    // The same through the report's index: the key lines are looked up, and
    // only the table's rows are read. With `lines`, only the lines the table
    // keeps are rows: page headers, skipped and group lines are not.
    void ReadFromFile(TextIndex& report, std::string_view topMarker, int32_t topOffset,
                      std::string_view botMarker, int32_t botOffset, int32_t tabSize,
                      const LineRules* lines = nullptr);

    std::string VariableToFixedTemplate(std::string_view templ);

    bool analyze_template(std::string_view templ, std::vector<int32_t>& colStart,
                          std::vector<int32_t>& colEnd, std::vector<std::string>& colOp);

private:
    // One stretch of positions of equal blankness, as NextRun finds it.
    struct Run {
        int32_t last = 0;   // 1-based last position of the run
        bool blank = false; // a run of blank columns that stops before text
    };

    void Reset();
    void LoadRows(TextIndex& report, std::string_view topMarker, int32_t topOffset,
                  std::string_view botMarker, int32_t botOffset, int32_t tabSize,
                  const LineRules* lines);
    void DropRows(std::string_view problem);
    // The rows from DataTopLoc to DataBotLoc as the table pass sees them:
    // form feeds at their starts passed over, and those the table leaves out
    // dropped; false when the report could not give them (LoadProblem says why).
    bool ReadKeptRows(TextIndex& report, const LineRules* lines, int32_t tabSize,
                      std::vector<std::string>& rows);
    void FindMarkerLines(TextIndex& report, std::string_view topMarker, std::string_view botMarker);
    bool AnalyzeTemplate(std::u32string_view templ, std::vector<int32_t>& colStart,
                         std::vector<int32_t>& colEnd, std::vector<std::string>& colOp);

    // blank[p - 1] tells whether position p is blank in every row of TextRows.
    std::vector<char> BlankColumns() const;
    static bool IsBlankColumn(const std::vector<char>& blank, int32_t position);
    std::string BuildTemplate(const std::vector<char>& blank, int32_t width) const;
    // The layout derived for the "=" piece ending on field positions s to e.
    std::string DerivedLayout(const std::vector<char>& tableBlank, int32_t s, int32_t e,
                              bool rightJustified, std::vector<char>& cutBlank) const;
    static Run NextRun(const std::vector<char>& blank, int32_t start, int32_t width);
    void MakePiece(std::string& out, int32_t length, bool blankRun) const;

    Messages& messages_;
};

} // namespace vok
