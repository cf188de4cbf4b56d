// Preview benchmark, run by hand (never by the tests):
//   preview_bench [lines] [tables] [runs]
// Generates a report of `lines` lines (default 100,000) holding `tables`
// tables (default 20) and a recipe for them (every other table a fixed
// template, the rest derived with "=R"), then times what the recipe editor's
// preview window does on each refresh: the preview of the recipe's text with
// 500 rows kept per table, and the scan of the report for the view. Prints
// the fastest, the median and the slowest of `runs` refreshes (default 15).
#include "PreviewBenchInput.h"
#include "engine/RecipePreview.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

using vok::bench::kHeadLines;
using vok::bench::Recipe;
using vok::bench::WriteReport;

int main(int argc, char** argv) {
    const long lines = argc > 1 ? std::atol(argv[1]) : 100'000;
    const int tables = argc > 2 ? std::atoi(argv[2]) : 20;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 15;
    if (lines < 100 || tables < 1 || runs < 1 || lines / tables < kHeadLines + 2) {
        std::fputs("usage: preview_bench [lines >= 100] [tables] [runs]\n", stderr);
        return 2;
    }
    const fs::path folder =
        fs::temp_directory_path() / fmt::format("vok-preview-bench-{}", getpid());
    fs::create_directories(folder);
    const fs::path report = folder / "report.txt";
    WriteReport(report, lines, tables);

    vok::PreviewRequest request;
    request.recipeText = Recipe(tables);
    request.report = report;
    request.rowLimit = 500; // the preview window's grid
    std::vector<double> times;
    int64_t rows = 0;
    size_t messages = 0;
    for (int run = 0; run <= runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        vok::StopRequest stop;
        const vok::PreviewResult result = vok::PreviewRecipe(request, stop);
        vok::ReportLineSource view(report, request.tabSize);
        view.LineCount();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        rows = 0;
        for (const vok::PreviewTable& table : result.tables)
            rows += table.rowCount;
        messages = result.messages.size();
        if (run > 0) times.push_back(ms); // the first warms the file cache
    }
    std::sort(times.begin(), times.end());
    fmt::print("preview of {} lines, {} tables ({} rows, {} messages), {} refreshes:\n"
               "  fastest {:.1f} ms, median {:.1f} ms, slowest {:.1f} ms\n",
               lines, tables, rows, messages, runs, times.front(), times[times.size() / 2],
               times.back());
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
