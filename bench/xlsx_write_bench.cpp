// Writes a table of 200,000 rows x 10 columns (text and numbers, as a report
// conversion produces them) to a new .xlsx workbook and reports the cells per
// second of assigning and of saving. Run by hand:
//   xlsx_write_bench [FILE] [ROWS]
#include "output/Workbook.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace vok;

int main(int argc, char** argv) {
    std::string file = argc > 1 ? argv[1] : "/tmp/vok-xlsx-bench.xlsx";
    int32_t rows = argc > 2 ? std::stoi(argv[2]) : 200'000;
    constexpr int32_t kColumns = 10;
    std::filesystem::remove(file);

    // The field texts are made up front: the benchmark measures the engine.
    std::vector<std::string> fields;
    fields.reserve(static_cast<size_t>(rows) * kColumns);
    for (int32_t r = 1; r <= rows; ++r) {
        fields.push_back("Account " + std::to_string(r));
        fields.push_back("Description of item " + std::to_string(r % 977));
        for (int32_t c = 3; c <= kColumns; ++c) {
            fields.push_back(c % 2 ? std::to_string(r * 7 + c) + ".25"
                                   : "1," + std::to_string(100 + r % 900) + ".00");
        }
    }

    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    WorkbookOpenResult opened = OpenWorkbookFile(file, OutputType::Xlsx);
    if (!opened.workbook) {
        std::fprintf(stderr, "%s\n", opened.error.c_str());
        return 1;
    }
    Workbook& book = *opened.workbook;
    book.SetStandardFont("Courier New");
    auto assigned = Clock::now();
    size_t i = 0;
    for (int32_t r = 1; r <= rows; ++r) {
        for (int32_t c = 1; c <= kColumns; ++c)
            book.SetCellValue(1, r, c, fields[i++]);
    }
    auto filled = Clock::now();
    std::string error;
    if (!book.Save(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    auto saved = Clock::now();

    auto seconds = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };
    double cells = static_cast<double>(rows) * kColumns;
    std::printf("cells            %.0f\n", cells);
    std::printf("open (new file)  %.3f s\n", seconds(start, assigned));
    std::printf("assign           %.3f s  %.0f cells/s\n", seconds(assigned, filled),
                cells / seconds(assigned, filled));
    std::printf("save             %.3f s  %.0f cells/s\n", seconds(filled, saved),
                cells / seconds(filled, saved));
    std::printf("total            %.3f s  %.0f cells/s\n", seconds(start, saved),
                cells / seconds(start, saved));
    std::printf("file size        %ju bytes\n",
                static_cast<uintmax_t>(std::filesystem::file_size(file)));
    return 0;
}
