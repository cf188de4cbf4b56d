// Drives a workbook through the engine's Workbook interface for the script
// tests. The commands follow the file name as arguments, each with a fixed
// number of arguments:
//
//   set S R C TEXT   assign a cell (prints the refusal, if any)
//   get S R C        print the cell's text
//   name S NAME      rename a sheet (prints "ok" or "refused<TAB>reason")
//   font NAME        set the standard font
//   clear S          clear the used range of the sheet
//   used S           print the used range "r1 c1 r2 c2"
//   table S R C      fill R rows x C columns from row 1: text in column 1,
//                    numbers elsewhere
//   save             save (prints "saved" or "failed<TAB>reason")
//
// Exit status: 0 done, 2 the workbook did not open, 3 a save failed, 1 usage.
#include "output/Workbook.h"
#include "tools/CellWriteName.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

using namespace vok;

namespace {

void FillTable(Workbook& book, int32_t sheet, int32_t rows, int32_t columns) {
    std::string text;
    for (int32_t r = 1; r <= rows; ++r) {
        text = "Item " + std::to_string(r);
        book.SetCellValue(sheet, r, 1, text);
        for (int32_t c = 2; c <= columns; ++c) {
            text = std::to_string(r * 100 + c) + "." + std::to_string(c % 10) + "5";
            book.SetCellValue(sheet, r, c, text);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: xlsx_tool FILE [commands]\n";
        return 1;
    }
    WorkbookOpenResult opened =
        OpenWorkbookFile(argv[1], OutputTypeOf(argv[1]).value_or(OutputType::Xlsx));
    if (!opened.workbook) {
        std::cout << "error\t" << opened.error << "\n";
        return 2;
    }
    Workbook& book = *opened.workbook;
    std::vector<std::string> args(argv + 2, argv + argc);
    int status = 0;
    for (size_t i = 0; i < args.size();) {
        const std::string& command = args[i];
        auto arg = [&](size_t k) -> const std::string& {
            if (i + k >= args.size()) {
                std::cerr << "missing argument for " << command << "\n";
                std::exit(1);
            }
            return args[i + k];
        };
        auto number = [&](size_t k) { return static_cast<int32_t>(std::stol(arg(k))); };
        if (command == "set") {
            CellWrite result = book.SetCellValue(number(1), number(2), number(3), arg(4));
            if (result != CellWrite::Written) std::cout << CellWriteName(result) << "\n";
            i += 5;
        } else if (command == "get") {
            std::cout << book.CellText(number(1), number(2), number(3)) << "\n";
            i += 4;
        } else if (command == "name") {
            std::string error;
            bool ok = book.SetSheetName(number(1), arg(2), error);
            std::cout << (ok ? "ok" : "refused\t" + error) << "\n";
            i += 3;
        } else if (command == "font") {
            book.SetStandardFont(arg(1));
            i += 2;
        } else if (command == "clear") {
            book.ClearRange(number(1), book.UsedRange(number(1)));
            i += 2;
        } else if (command == "used") {
            CellRange r = book.UsedRange(number(1));
            std::cout << r.firstRow << " " << r.firstColumn << " " << r.lastRow << " "
                      << r.lastColumn << "\n";
            i += 2;
        } else if (command == "table") {
            FillTable(book, number(1), number(2), number(3));
            i += 4;
        } else if (command == "save") {
            std::string error;
            if (book.Save(error)) {
                std::cout << "saved\n";
            } else {
                std::cout << "failed\t" << error << "\n";
                status = 3;
            }
            i += 1;
        } else {
            std::cerr << "unknown command " << command << "\n";
            return 1;
        }
    }
    return status;
}
