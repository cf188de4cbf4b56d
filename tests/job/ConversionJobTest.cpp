#include "job/ConversionJob.h"

#include "support/JobFixture.h"

#include <atomic>
#include <fmt/format.h>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace vok::test {
namespace {

// A job's program folder and options over a fresh temporary folder.
struct JobFixture {
    TempDir dir;
    RecordingObserver observer;
    ProgramSettings program{dir.Path()};
    clsConversionOptions options;

    JobResult Run() {
        ConversionJob job(program, options, observer);
        return job.BeginProcessing();
    }
};

TEST(ConversionJob, PatternsSelectFilesByExtensionOnly) {
    EXPECT_TRUE(ConversionJob::PatternMatchesExtension("*.*", ""));
    EXPECT_TRUE(ConversionJob::PatternMatchesExtension("*.TXT", "txt"));
    EXPECT_TRUE(ConversionJob::PatternMatchesExtension("*.txt", "Txt"));
    EXPECT_FALSE(ConversionJob::PatternMatchesExtension("*", "txt"));
    EXPECT_FALSE(ConversionJob::PatternMatchesExtension("rep*.txt", "txt"));
    EXPECT_FALSE(ConversionJob::PatternMatchesExtension("*.tx", "txt"));
}

TEST(ConversionJob, FileListHasAFoldersOwnFilesBeforeItsSubfolders) {
    JobFixture f;
    WriteFile(f.dir / "in/b.txt", "x");
    WriteFile(f.dir / "in/a.TXT", "x");
    WriteFile(f.dir / "in/sub/c.txt", "x");
    WriteFile(f.dir / "in/sub/d.csv", "x");
    ConversionJob job(f.program, f.options, f.observer);
    std::vector<std::filesystem::path> files;
    ASSERT_TRUE(job.BuildOriginalFileList(f.dir / "in/*.txt", true, files).ok());
    EXPECT_EQ(files, (std::vector<std::filesystem::path>{f.dir / "in/a.TXT", f.dir / "in/b.txt",
                                                         f.dir / "in/sub/c.txt"}));
    files.clear();
    ASSERT_TRUE(job.BuildOriginalFileList(f.dir / "in/*", true, files).ok());
    EXPECT_TRUE(files.empty());
    const Status noFolder = job.BuildOriginalFileList(f.dir / "none/*.txt", true, files);
    EXPECT_FALSE(noFolder.ok());
    EXPECT_EQ(noFolder.Error(), "Folder: " + f.dir.File("none/") + " does not exist");
    const Status noFile = job.BuildOriginalFileList(f.dir / "none.txt", false, files);
    EXPECT_FALSE(noFile.ok());
    EXPECT_EQ(noFile.Error(), "File: " + f.dir.File("none.txt") + " does not exist");
}

// A folder tree with links: each real folder is listed once, and a link back
// into the tree is not followed (it once led 40 levels deep).
TEST(ConversionJob, FolderLinksAreNotFollowedRoundInACircle) {
    JobFixture f;
    WriteFile(f.dir / "in/a.txt", "x");
    WriteFile(f.dir / "in/sub/b.txt", "x");
    WriteFile(f.dir / "elsewhere/c.txt", "x");
    std::filesystem::create_directory_symlink("..", f.dir / "in/sub/loop");
    std::filesystem::create_directory_symlink(f.dir / "in/sub", f.dir / "in/again");
    std::filesystem::create_directory_symlink(f.dir / "elsewhere", f.dir / "in/outside");
    ConversionJob job(f.program, f.options, f.observer);
    std::vector<std::filesystem::path> files;
    ASSERT_TRUE(job.BuildOriginalFileList(f.dir / "in/*.txt", true, files).ok());
    EXPECT_EQ(files, (std::vector<std::filesystem::path>{
                         f.dir / "in/a.txt", f.dir / "in/outside/c.txt", f.dir / "in/sub/b.txt"}));
}

TEST(ConversionJob, EndsWithConversionCompleteAndTheElapsedTime) {
    JobFixture f;
    f.options.sInputFile = f.dir / "a.txt";
    f.options.sOutputFile = f.dir / "a.csv.xls";
    WriteFile(f.dir / "a.txt", CrLf({">>1", "--", "ab", "<<1"}));
    const JobResult result = f.Run();
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.converted, 1);
    // ".CSV" is tested first, so the name above is written as CSV.
    EXPECT_EQ(ReadFile(f.dir / "a.csv.xls"), CrLf({"ab"}));
    EXPECT_EQ(f.observer.Status(StatusTarget::Progress), "Conversion Complete");
    EXPECT_EQ(f.observer.Status(StatusTarget::CurrentFile),
              f.dir.File("a.txt") + "   [1 of 1 files]");
    EXPECT_EQ(f.observer.events,
              (std::vector<std::string>{"started 1 of 1 " + f.dir.File("a.txt"),
                                        "finished Converted " + f.dir.File("a.txt")}));
}

// Only the file name decides the type: a folder named "x.csv.d" holding an
// .xlsx output once got CSV text.
TEST(ConversionJob, OutputTypeComesFromTheFileNameOnly) {
    JobFixture f;
    f.options.sInputFile = f.dir / "a.txt";
    f.options.sOutputFile = f.dir / "my.csv.d/out.txt";
    WriteFile(f.dir / "a.txt", CrLf({">>1", "--", "ab", "<<1"}));
    std::filesystem::create_directory(f.dir / "my.csv.d");
    const JobResult result = f.Run();
    EXPECT_EQ(f.observer.Texts(),
              std::vector<std::string>{"Output File must be of type XLS or CSV"});
    EXPECT_EQ(result.skipped, 1);
    EXPECT_FALSE(result.Succeeded());
    ASSERT_EQ(f.observer.files.size(), 1u);
    EXPECT_FALSE(f.observer.files[0].outcome.outputTypeKnown);
}

TEST(ConversionJob, TabNoticeIsShownOnceAndIsNoFailure) {
    JobFixture f;
    f.options.sInputFile = f.dir / "in/*.txt";
    f.options.sOutputFile = f.dir / "out/*.csv";
    WriteFile(f.dir / "in/a.txt", CrLf({">>1", "--", "a\tb", "<<1"}));
    WriteFile(f.dir / "in/b.txt", CrLf({">>1", "--", "a\tb", "<<1"}));
    const JobResult result = f.Run();
    EXPECT_EQ(f.observer.Texts(), std::vector<std::string>{
                                      "NOTE: The text in the Input File contains tab "
                                      "characters.\nTo specify the tab stop, change the options."});
    EXPECT_FALSE(f.observer.FailureShown());
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.converted, 2);
    EXPECT_TRUE(result.bWarnedAboutTabsInFile);
}

TEST(ConversionJob, LaunchingAMissingPathSaysSo) {
    TempDir dir;
    RecordingObserver observer;
    bool opened = false;
    auto open = [&](const std::filesystem::path&) { return opened = true; };
    EXPECT_FALSE(ConversionJob::LaunchFile(observer, dir / "gone.csv", open));
    EXPECT_FALSE(opened);
    ASSERT_EQ(observer.shown.size(), 1u);
    EXPECT_EQ(observer.shown[0].text, "File/Folder does not exist:\r\n\r\n" + dir.File("gone.csv"));
    EXPECT_EQ(observer.shown[0].caption, "Error");
    EXPECT_EQ(observer.shown[0].icon, MessageIcon::Information);
    EXPECT_TRUE(ConversionJob::LaunchFile(observer, dir.Path(), open));
    EXPECT_TRUE(opened);
}

// Nothing is shared between jobs: two jobs with their own program folders run
// at once on two threads, each with its own working files, and neither sees
// the other's recipe.
TEST(ConversionJob, TwoJobsWithTheirOwnProgramFoldersRunAtOnce) {
    JobFixture a, b;
    for (int i = 0; i < 30; ++i) {
        WriteFile(a.dir / fmt::format("in/r{:02}.txt", i),
                  CrLf({">>1", "---", "a" + std::to_string(i), "<<1"}));
        WriteFile(b.dir / fmt::format("in/r{:02}.txt", i),
                  CrLf({">>1", "-- --", "bb " + std::to_string(i), "<<1"}));
    }
    for (JobFixture* f : {&a, &b}) {
        f->options.sInputFile = f->dir / "in/*.txt";
        f->options.sOutputFile = f->dir / "out/*.csv";
    }
    // What each job writes alone...
    auto outputs = [](const JobFixture& f) {
        std::vector<std::string> texts;
        for (int i = 0; i < 30; ++i)
            texts.push_back(ReadFile(f.dir / fmt::format("out/r{:02}.csv", i)));
        return texts;
    };
    a.Run();
    b.Run();
    const std::vector<std::string> aloneA = outputs(a), aloneB = outputs(b);
    ASSERT_NE(aloneA, aloneB);
    std::filesystem::remove_all(a.dir / "out");
    std::filesystem::remove_all(b.dir / "out");
    // ...it writes beside the other.
    JobResult ra, rb;
    std::thread ta([&] { ra = a.Run(); });
    std::thread tb([&] { rb = b.Run(); });
    ta.join();
    tb.join();
    EXPECT_TRUE(ra.Succeeded());
    EXPECT_TRUE(rb.Succeeded());
    EXPECT_EQ(ra.converted, 30);
    EXPECT_EQ(rb.converted, 30);
    EXPECT_EQ(outputs(a), aloneA);
    EXPECT_EQ(outputs(b), aloneB);
    EXPECT_TRUE(std::filesystem::exists(a.dir / "_AutoRecipe.rcp"));
    EXPECT_TRUE(std::filesystem::exists(b.dir / "_ExportSpecs.t2x"));
}

// Runs a job over a marked report of 200,000 rows into big.csv, which holds
// an earlier output, and calls `stop` from this thread while the job's
// worker waits at row 1000: the table is mid-way.
JobResult StopMidTable(JobFixture& f, const std::function<void(ConversionJob&)>& stop) {
    std::string report = ">>1\r\n----------\r\n";
    for (int i = 0; i < 200000; ++i)
        report += fmt::format("row {:06}\r\n", i);
    WriteFile(f.dir / "big.txt", report + "<<1\r\n");
    WriteFile(f.dir / "big.csv", "earlier\r\n");
    f.options.sInputFile = f.dir / "big.txt";
    f.options.sOutputFile = f.dir / "big.csv";
    ConversionJob job(f.program, f.options, f.observer);
    std::atomic<bool> writing{false};
    std::atomic<bool> stopped{false};
    f.observer.onRowsDone = [&](int64_t done, int64_t) {
        if (done == 1000) writing = true;
        while (done == 1000 && !stopped)
            std::this_thread::yield();
    };
    JobResult result;
    std::thread worker([&] { result = job.BeginProcessing(); });
    while (!writing)
        std::this_thread::yield();
    stop(job);
    stopped = true;
    worker.join();
    return result;
}

// The desktop runs a job on a worker thread and stops it from the window's
// thread: the table ends, the output is closed, the stop is reported.
TEST(ConversionJob, StopFromAnotherThreadWhileALargeTableIsWritten) {
    JobFixture f;
    const JobResult result = StopMidTable(f, [](ConversionJob& job) { job.RequestStop(); });

    EXPECT_TRUE(result.stopped);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(result.failed, 1);
    // The question was asked once, answered Yes, and the rows written so far
    // are in the output, which replaced the earlier file.
    ASSERT_EQ(f.observer.asked.size(), 1u);
    EXPECT_EQ(f.observer.asked[0].text, "Do you want to terminate the process?");
    const std::string csv = ReadFile(f.dir / "big.csv");
    EXPECT_EQ(csv.substr(0, 12), "row 000000\r\n");
    EXPECT_NE(csv.find("row 001000\r\n"), std::string::npos);
    EXPECT_EQ(csv.find("row 199999"), std::string::npos);
    EXPECT_EQ(f.observer.lastRowsTotal, 200000);
    // The calls came in order: started, the question, finished (failed: stopped).
    ASSERT_EQ(f.observer.events.size(), 3u);
    EXPECT_EQ(f.observer.events[0], "started 1 of 1 " + f.dir.File("big.txt"));
    EXPECT_EQ(f.observer.events[1], "question Do you want to terminate the process?");
    EXPECT_EQ(f.observer.events[2], "finished Failed " + f.dir.File("big.txt"));
    EXPECT_EQ(f.observer.Status(StatusTarget::Progress), "Conversion Complete");
}

// An interrupt on the command line stops the table without a question, and
// the earlier output stays as it was: the rows so far are dropped.
TEST(ConversionJob, AnInterruptKeepsTheEarlierOutput) {
    JobFixture f;
    const JobResult result = StopMidTable(f, [](ConversionJob& job) { job.RequestInterrupt(); });

    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.skipped, 1);
    EXPECT_TRUE(f.observer.asked.empty());
    EXPECT_TRUE(f.observer.shown.empty());
    EXPECT_EQ(ReadFile(f.dir / "big.csv"), "earlier\r\n");
    for (const auto& entry : std::filesystem::directory_iterator(f.dir.Path()))
        EXPECT_NE(entry.path().filename().string().substr(0, 2), ".~") << entry.path();
    ASSERT_EQ(f.observer.events.size(), 2u);
    EXPECT_EQ(f.observer.events[1], "finished Skipped " + f.dir.File("big.txt"));
    ASSERT_EQ(f.observer.files.size(), 1u);
    EXPECT_TRUE(f.observer.files[0].outcome.stopped);
    EXPECT_FALSE(f.observer.files[0].outcome.written);
}

} // namespace
} // namespace vok::test
