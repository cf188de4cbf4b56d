// The rows of a sheet that left memory while the sheet grew: their cells in
// row and column order, in a temporary file that has no name (it vanishes
// with the process, whatever way it ends). A large new workbook so needs
// memory for its last rows only.
#pragma once

#include "output/workbook/SheetData.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace vok {

class SheetSpill {
    struct OnlyCreate {
        explicit OnlyCreate() = default;
    };

public:
    SheetSpill(OnlyCreate, int fd) : fd_(fd) {}
    ~SheetSpill();
    SheetSpill(const SheetSpill&) = delete;
    SheetSpill& operator=(const SheetSpill&) = delete;

    // A spill in `folder`; null, with the reason, when the folder takes no file.
    static std::unique_ptr<SheetSpill> Create(const std::filesystem::path& folder,
                                              std::string& error);

    // Appends a non-empty cell; cells come in row order, then column order.
    // A failed write is told by Flush.
    void Add(int32_t row, int32_t column, const CellValue& value);
    // Writes what is buffered; false, with the reason, when the disk refused it.
    bool Flush(std::string& error);
    // Bytes held (a bound for the sheet's text: no cell grows more than
    // eightfold as XML).
    uint64_t Bytes() const { return written_ + buffer_.size(); }

    // Visits every cell in order: visit(row, column, const CellValue&).
    // False, with the reason, when the file cannot be read back.
    template <typename Visit> bool ForEachCell(Visit&& visit, std::string& error);

private:
    // Makes `need` bytes readable at `at_`; false at the end of the file.
    bool Fill(size_t need);

    int fd_;
    std::string buffer_; // waiting to be written
    uint64_t written_ = 0;
    int failure_ = 0; // errno of the first failed write
    // Reading back.
    std::string in_;
    size_t at_ = 0;
    uint64_t read_ = 0;
};

// A cell: row, column, type, then a number and its format or a text.
template <typename Visit> bool SheetSpill::ForEachCell(Visit&& visit, std::string& error) {
    if (!Flush(error)) return false;
    in_.clear();
    at_ = 0;
    read_ = 0;
    constexpr size_t kHead = 4 + 2 + 1;
    while (Fill(kHead)) {
        int32_t row = 0;
        uint16_t column = 0;
        CellValue value;
        std::memcpy(&row, in_.data() + at_, 4);
        std::memcpy(&column, in_.data() + at_ + 4, 2);
        value.type = static_cast<CellValue::Type>(in_[at_ + 6]);
        at_ += kHead;
        const bool number = value.type == CellValue::Type::Number;
        if (!Fill(number ? 10 : 4)) break;
        if (number) {
            std::memcpy(&value.format, in_.data() + at_, 2);
            std::memcpy(&value.number, in_.data() + at_ + 2, 8);
            at_ += 10;
        } else {
            uint32_t length = 0;
            std::memcpy(&length, in_.data() + at_, 4);
            at_ += 4;
            if (!Fill(length)) break;
            value.text = std::string_view(in_.data() + at_, length);
            at_ += length;
        }
        visit(row, static_cast<int32_t>(column), value);
    }
    if (at_ == in_.size() && read_ == written_) return true;
    error = "a temporary file of the workbook was cut short";
    return false;
}

} // namespace vok
