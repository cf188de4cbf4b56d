// Desktop job benchmark, run by hand (never by the tests):
//   QT_QPA_PLATFORM=offscreen desktop_job_bench [rows] [work folder]
// Converts one marked-up table of `rows` rows (default 1,000,000) to CSV
// twice: by the job driver alone with an observer that does nothing, and
// through the desktop's JobRunner on a worker thread, whose status texts are
// painted by the window's thread. Prints both times and how often the
// status was painted: the desktop should cost next to nothing and paint at
// most about 20 times a second.
#include "base/Clock.h"
#include "desktop_services/JobRunner.h"
#include "job/ConversionJob.h"

#include <QApplication>
#include <QEventLoop>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <string>

namespace fs = std::filesystem;
using namespace vok;

namespace {

class QuietObserver : public JobObserver {
protected:
    void DisplayMessage(std::string_view text, MessageIcon, std::string_view,
                        MessageKind) override {
        fmt::print(stderr, "message: {}\n", text);
    }
    bool DisplayQuestion(std::string_view, MessageIcon, std::string_view) override { return true; }
};

void WriteReport(const fs::path& path, long rows) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror("report");
        std::exit(1);
    }
    std::fputs(">>1\r\n----------- ------------------\r\n", out);
    for (long i = 0; i < rows; ++i)
        std::fprintf(out, "%011ld ACCOUNT %010ld\r\n", i, i * 7);
    std::fputs("<<1\r\n", out);
    std::fclose(out);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    const fs::path work =
        argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "vok-desktop-bench";
    fs::create_directories(work);
    WriteReport(work / "report.txt", rows);
    ProgramSettings settings(work);
    clsConversionOptions options;
    options.sInputFile = work / "report.txt";
    options.sOutputFile = work / "report.csv";

    QuietObserver quiet;
    int64_t start = TickCount();
    ConversionJob(settings, options, quiet).BeginProcessing();
    const int64_t alone = TickCount() - start;

    QuietObserver window;
    JobRunner runner(window);
    long paints = 0;
    runner.onStatus = [&](StatusTarget target, const std::string&) {
        if (target == StatusTarget::Progress) ++paints;
    };
    start = TickCount();
    runner.Start(settings, options);
    runner.WaitUntilFinished();
    const int64_t desktop = TickCount() - start;

    fmt::print("{} rows to CSV\n", rows);
    fmt::print("  job driver alone:        {:6} ms\n", alone);
    fmt::print("  through the desktop:     {:6} ms ({:+.1f}%)\n", desktop,
               alone ? 100.0 * static_cast<double>(desktop - alone) / static_cast<double>(alone)
                     : 0.0);
    fmt::print("  progress panel painted:  {:6} times ({:.1f} a second)\n", paints,
               desktop ? 1000.0 * static_cast<double>(paints) / static_cast<double>(desktop) : 0.0);
    fs::remove_all(work);
    return 0;
}
