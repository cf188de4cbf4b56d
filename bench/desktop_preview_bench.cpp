// The preview window's refresh, run by hand (never by the tests):
//   QT_QPA_PLATFORM=offscreen desktop_preview_bench [lines] [tables] [runs]
// The same report and recipe as preview_bench (100,000 lines, 20 tables,
// every other layout derived), previewed by the window itself: the time from
// a refresh asked for to the result on the window (the preview on the worker
// thread, the report's scan for the view, the grid of 500 rows a table and
// the messages filled in). Prints the fastest, the median and the slowest.
#include "PreviewBenchInput.h"
#include "editor/frmPreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
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
    QApplication app(argc, argv);
    const long lines = argc > 1 ? std::atol(argv[1]) : 100'000;
    const int tables = argc > 2 ? std::atoi(argv[2]) : 20;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 10;
    if (lines < 100 || tables < 1 || runs < 1 || lines / tables < kHeadLines + 2) {
        std::fputs("usage: desktop_preview_bench [lines >= 100] [tables] [runs]\n", stderr);
        return 2;
    }
    const fs::path folder =
        fs::temp_directory_path() / fmt::format("vok-preview-window-bench-{}", getpid());
    fs::create_directories(folder);
    WriteReport(folder / "report.txt", lines, tables);
    const std::string recipe = Recipe(tables);

    vok::frmPreview window(vok::PreviewHost{
        [&] { return recipe; }, [&] { return folder / "report.txt"; }, [] { return 8; }, {}});
    window.ProposeReport();
    window.show();
    QEventLoop loop;
    bool arrived = false;
    QObject::connect(&window, &vok::frmPreview::ResultShown, &loop, [&] {
        arrived = true;
        loop.quit();
    });
    std::vector<double> times;
    for (int run = 0; run <= runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        arrived = false;
        window.RefreshNow();
        QTimer::singleShot(30'000, &loop, &QEventLoop::quit);
        loop.exec();
        if (!arrived) {
            std::fputs("no result within 30 s\n", stderr);
            return 1;
        }
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (run > 0) times.push_back(ms); // the first warms the file cache
    }
    std::sort(times.begin(), times.end());
    fmt::print("preview window, {} lines, {} tables, {} grid rows, {} refreshes:\n"
               "  fastest {:.1f} ms, median {:.1f} ms, slowest {:.1f} ms\n",
               lines, tables, window.gridRows.model()->rowCount(), runs, times.front(),
               times[times.size() / 2], times.back());
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
