// Drives the .xls workbook engine for the script tests.
//
//   xls_tool run FILE      reads commands from standard input, one per line,
//                          fields separated by tabs ("\n", "\t", "\\" escaped):
//                            set S R C TEXT | get S R C | name S NAME | font NAME
//                            clear S R1 C1 R2 C2 | used S | sheets | save
//                          and prints one line per get, name, used, sheets, save
//                          and per refused set.
//   xls_tool formula FILE  writes a workbook whose third sheet holds the
//                          formula =A1+B1 in C1 (a file vok must refuse).
#include "output/xls/Biff8Writer.h"
#include "output/xls/OleWorkbookFile.h"
#include "output/xls/XlsWorkbook.h"
#include "tools/CellWriteName.h"

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

using namespace vok;

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char next = line[++i];
            fields.back() += next == 'n' ? '\n' : next == 't' ? '\t' : next;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

int Run(const std::string& file) {
    WorkbookOpenResult opened = OpenXlsWorkbook(file);
    if (!opened.workbook) {
        std::cout << "error\t" << opened.error << "\n";
        return 2;
    }
    Workbook& book = *opened.workbook;
    std::string line;
    while (std::getline(std::cin, line)) {
        const std::vector<std::string> f = SplitTabs(line);
        const std::string& command = f[0];
        auto number = [&](size_t i) { return i < f.size() ? std::stoi(f[i]) : 0; };
        if (command == "set" && f.size() >= 4) {
            const CellWrite result =
                book.SetCellValue(number(1), number(2), number(3), f.size() > 4 ? f[4] : "");
            if (result != CellWrite::Written) std::cout << CellWriteName(result) << "\n";
        } else if (command == "get") {
            std::cout << book.CellText(number(1), number(2), number(3)) << "\n";
        } else if (command == "name" && f.size() >= 3) {
            std::string error;
            std::cout << (book.SetSheetName(number(1), f[2], error) ? "ok" : "refused\t" + error)
                      << "\n";
        } else if (command == "font" && f.size() >= 2) {
            book.SetStandardFont(f[1]);
        } else if (command == "clear") {
            book.ClearRange(number(1), {number(2), number(3), number(4), number(5)});
        } else if (command == "used") {
            const CellRange r = book.UsedRange(number(1));
            std::cout << r.firstRow << " " << r.firstColumn << " " << r.lastRow << " "
                      << r.lastColumn << "\n";
        } else if (command == "sheets") {
            for (int32_t s = 1; s <= book.SheetCount(); ++s) {
                std::cout << book.SheetName(s) << (s < book.SheetCount() ? "\t" : "\n");
            }
        } else if (command == "save") {
            std::string error;
            std::cout << (book.Save(error) ? "saved" : "failed\t" + error) << "\n";
        } else if (!command.empty()) {
            std::cerr << "unknown command: " << line << "\n";
            return 1;
        }
    }
    return 0;
}

void Put16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
uint16_t Get16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                                 (static_cast<unsigned char>(s[at + 1]) << 8));
}

int MakeFormula(const std::string& file) {
    std::vector<SheetData> sheets{SheetData("Sheet1"), SheetData("Sheet2"), SheetData("Sheet3")};
    sheets[2].SetNumber(1, 1, 1, 0);
    sheets[2].SetNumber(1, 2, 2, 0);
    sheets[2].SetNumber(1, 3, 3, 0);
    FormatTable formats;
    XlsFont font;
    std::string stream = Biff8Writer(sheets, formats, font).Build();

    // The last RK record of the stream is C1 of the last sheet: replace it by
    // FORMULA C1 = A1+B1 with the cached value 3. The sheet is the last one,
    // so no sheet offset moves.
    size_t pos = 0, rkAt = std::string::npos;
    while (pos + 4 <= stream.size()) {
        const uint16_t id = Get16(stream, pos), length = Get16(stream, pos + 2);
        if (id == 0x027E) rkAt = pos;
        pos += 4 + length;
        if (id == 0 && length == 0) break;
    }
    if (rkAt == std::string::npos) return 1;
    std::string formula(4 + 22 + 11, '\0');
    Put16(formula, 0, 0x0006);
    Put16(formula, 2, 22 + 11);
    Put16(formula, 4, 0);  // row
    Put16(formula, 6, 2);  // column C
    Put16(formula, 8, 15); // XF
    const double cached = 3;
    std::memcpy(&formula[10], &cached, 8);
    Put16(formula, 18, 0x0002); // calculate on load
    // chn (4 bytes) stays 0; cce = 11
    Put16(formula, 24, 11);
    const unsigned char rgce[11] = {0x24, 0, 0, 0x00, 0xC0, 0x24, 0, 0, 0x01, 0xC0, 0x03};
    std::memcpy(&formula[26], rgce, 11);
    stream.replace(rkAt, 14, formula);

    std::string reason;
    if (!OleWorkbookFile::Write(file, stream, reason)) {
        std::cerr << reason << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: xls_tool run|formula FILE\n";
        return 1;
    }
    const std::string command = argv[1];
    if (command == "run") return Run(argv[2]);
    if (command == "formula") return MakeFormula(argv[2]);
    std::cerr << "unknown command " << command << "\n";
    return 1;
}
