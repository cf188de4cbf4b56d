// Preview benchmark, run by hand (never by the tests):
//   preview_bench [lines] [tables] [runs]
// Generates a report of `lines` lines (default 100,000) holding `tables`
// tables (default 20) and a recipe for them (every other table a fixed
// template, the rest derived with "=R"), then times the two previews:
//   - what the recipe editor's preview window does on each refresh: the
//     preview of the recipe's text with 500 rows kept per table, and the
//     scan of the report for the view;
//   - what `vok --preview` does: the preview with 10 rows kept per table and
//     its text, a ruler over each table's first lines read from the report.
// Prints the fastest, the median and the slowest of `runs` of each (default
// 15). Many small tables (`preview_bench 200000 20000 3`) show whether the
// time grows with the tables as a job's does, in proportion.
#include "PreviewBenchInput.h"
#include "cli/PreviewText.h"
#include "engine/RecipePreview.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

using vok::bench::kHeadLines;
using vok::bench::Recipe;
using vok::bench::WriteReport;

namespace {

// Runs `once` runs + 1 times (the first warms the file cache) and prints
// the fastest, the median and the slowest of the rest.
void Time(const char* what, int runs, const std::function<std::string()>& once) {
    std::vector<double> times;
    std::string said;
    for (int run = 0; run <= runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        said = once();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (run > 0) times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    fmt::print("  {} ({}), {} runs:\n    fastest {:.1f} ms, median {:.1f} ms, slowest {:.1f} ms\n",
               what, said, runs, times.front(), times[times.size() / 2], times.back());
}

std::string Counted(const vok::PreviewResult& result) {
    int64_t rows = 0;
    for (const vok::PreviewTable& table : result.tables)
        rows += table.rowCount;
    return fmt::format("{} rows, {} messages", rows, result.messages.size());
}

} // namespace

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
    fmt::print("preview of {} lines, {} tables:\n", lines, tables);
    // The preview window's refresh.
    request.rowLimit = 500; // the window's grid
    Time("window refresh", runs, [&] {
        vok::StopRequest stop;
        const vok::PreviewResult result = vok::PreviewRecipe(request, stop);
        vok::ReportLineSource view(report, request.tabSize);
        view.LineCount();
        return Counted(result);
    });
    // The command line's preview, printed as text.
    request.rowLimit = 10; // vok --preview's default
    Time("vok --preview", runs, [&] {
        vok::StopRequest stop;
        // The report's index goes on from the preview to the ruler's lines, as in vok.
        std::unique_ptr<vok::TextIndex> index;
        const vok::PreviewResult result = vok::PreviewRecipe(request, stop, &index);
        vok::ReportLineSource source = index
                                           ? vok::ReportLineSource(std::move(index), request.tabSize)
                                           : vok::ReportLineSource(report, request.tabSize);
        const std::string text = vok::FormatPreview(result, source);
        return fmt::format("{}, {} bytes of text", Counted(result), text.size());
    });
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
