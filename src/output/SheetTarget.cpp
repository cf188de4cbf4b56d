#include "output/SheetTarget.h"

#include "base/SheetNames.h"
#include "base/modUtilityString.h"

#include <algorithm>
#include <fmt/format.h>
#include <vector>

namespace vok {

namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "SheetN" for the N-th sheet, or the first variant of it no sheet carries.
std::string NewSheetName(const Workbook& workbook, int32_t number) {
    const std::string base = "Sheet" + std::to_string(number);
    for (int32_t variant = 1;; ++variant) {
        const std::string name = variant == 1 ? base : fmt::format("{} ({})", base, variant);
        bool taken = false;
        for (int32_t s = 1; s <= workbook.SheetCount() && !taken; ++s)
            taken = SameNameIgnoringCase(workbook.SheetName(s), name);
        if (!taken) return name;
    }
}

// Adds numbered sheets until the workbook has `count`.
bool AddSheetsUpTo(Workbook& workbook, int32_t count, std::string& error) {
    while (workbook.SheetCount() < count) {
        if (!workbook.AddSheet(NewSheetName(workbook, workbook.SheetCount() + 1), error))
            return false;
    }
    return true;
}

// Sections name sheets 1 and 2; this maps them onto the workbook's sheets.
class TargetedWorkbook final : public Workbook {
public:
    TargetedWorkbook(std::unique_ptr<Workbook> inner, int32_t target)
        : inner_(std::move(inner)), target_(target), second_(target == 2 ? 3 : 2) {}

    int32_t SheetCount() const override { return inner_->SheetCount(); }
    int32_t MaxRows() const override { return inner_->MaxRows(); }
    int32_t MaxColumns() const override { return inner_->MaxColumns(); }

    std::string SheetName(int32_t sheet) const override { return inner_->SheetName(Map(sheet)); }
    bool SetSheetName(int32_t sheet, std::string_view name, std::string& error) override {
        return Reach(sheet, error) && inner_->SetSheetName(Map(sheet), name, error);
    }
    bool AddSheet(std::string_view name, std::string& error) override {
        return inner_->AddSheet(name, error);
    }
    CellWrite SetCellValue(int32_t sheet, int32_t row, int32_t column,
                           std::string_view text) override {
        std::string error;
        if (!Reach(sheet, error)) return CellWrite::NoSuchSheet;
        return inner_->SetCellValue(Map(sheet), row, column, text);
    }
    std::string CellText(int32_t sheet, int32_t row, int32_t column) const override {
        return inner_->CellText(Map(sheet), row, column);
    }
    void SetRowSource(int32_t row, int64_t line) override { inner_->SetRowSource(row, line); }
    std::string WriteFailure() const override { return inner_->WriteFailure(); }
    void SetStandardFont(std::string_view name) override { inner_->SetStandardFont(name); }
    CellRange UsedRange(int32_t sheet) const override { return inner_->UsedRange(Map(sheet)); }
    void ClearRange(int32_t sheet, const CellRange& range) override {
        inner_->ClearRange(Map(sheet), range);
    }
    bool Save(std::string& error, const StopRequest* stop = nullptr) override {
        return inner_->Save(error, stop);
    }

private:
    int32_t Map(int32_t sheet) const {
        if (sheet == 1) return target_;
        if (sheet == 2) return second_;
        return sheet;
    }
    // The sheet after the target exists only once something is written there.
    bool Reach(int32_t sheet, std::string& error) {
        return sheet != 2 || inner_->SheetCount() >= second_ ||
               AddSheetsUpTo(*inner_, second_, error);
    }

    std::unique_ptr<Workbook> inner_;
    int32_t target_;
    int32_t second_;
};

} // namespace

bool ParseSheetTarget(std::string_view text, SheetTarget& target, std::string& error) {
    const std::string_view trimmed = Trim(text);
    target = {};
    if (trimmed.empty()) return true;
    // A signed number is a number too: "-1" names no sheet, as "0" does not.
    const bool sign = trimmed.front() == '-' || trimmed.front() == '+';
    if (AllDigits(sign ? trimmed.substr(1) : trimmed)) {
        int32_t number = 0;
        if (trimmed.size() > 9 || !ParseWholeNumber(trimmed, number) || number < 1 ||
            number > kMaxSheetTargetNumber) {
            error = fmt::format("The sheet target {} is no sheet number from 1 to {}.", Echo(trimmed),
                                kMaxSheetTargetNumber);
            return false;
        }
        target.number = number;
        return true;
    }
    const std::string problem = SheetNameFormProblem(trimmed);
    if (!problem.empty()) {
        error = "The sheet target is no sheet name: " + problem;
        return false;
    }
    target.name = std::string(trimmed);
    return true;
}

int32_t ResolveSheetTarget(Workbook& workbook, const SheetTarget& target, std::string& error) {
    if (target.name.empty())
        return AddSheetsUpTo(workbook, target.number, error) ? target.number : 0;
    for (int32_t s = 1; s <= workbook.SheetCount(); ++s)
        if (SameNameIgnoringCase(workbook.SheetName(s), target.name)) return s;
    return workbook.AddSheet(target.name, error) ? workbook.SheetCount() : 0;
}

std::unique_ptr<Workbook> WithSheetTarget(std::unique_ptr<Workbook> workbook, int32_t targetSheet) {
    if (targetSheet == 1) return workbook;
    return std::make_unique<TargetedWorkbook>(std::move(workbook), targetSheet);
}

} // namespace vok
