// Jobs started from the window: F5 writes what the command line writes, the
// status bars and buttons follow the job, Pause asks and stops with the
// output saved, a job's problems are counted in the status bar, and closing
// the window during a job stops it and still saves the settings.
#include "DesktopTestSupport.h"
#include "desktop/frmMain.h"
#include "output/Workbook.h"
#include "recipe/ProfileFile.h"
#include "support/RunProgram.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fmt/format.h>

namespace vok::test {

namespace {

// Every cell of the used range of each sheet, as text.
std::vector<std::string> WorkbookCells(const std::filesystem::path& file) {
    std::vector<std::string> cells;
    WorkbookOpenResult opened = OpenWorkbookFile(file, OutputType::Xlsx);
    if (!opened.workbook) return {"cannot open: " + opened.error};
    Workbook& book = *opened.workbook;
    for (int32_t sheet = 1; sheet <= book.SheetCount(); ++sheet) {
        cells.push_back("sheet " + book.SheetName(sheet));
        const CellRange used = book.UsedRange(sheet);
        for (int32_t r = used.firstRow; !used.Empty() && r <= used.lastRow; ++r)
            for (int32_t c = used.firstColumn; c <= used.lastColumn; ++c)
                cells.push_back(fmt::format("{},{}={}", r, c, book.CellText(sheet, r, c)));
    }
    return cells;
}

// A marked-up report whose rows `equalsRows` begin with "=", which the job
// reports while it writes the table; `rows` rows in all.
std::string ReportWithEqualsSign(int rows, std::initializer_list<int> equalsRows) {
    std::string report = ">>1\r\n----------\r\n";
    for (int i = 1; i <= rows; ++i)
        report += std::find(equalsRows.begin(), equalsRows.end(), i) != equalsRows.end()
                      ? "=formula\r\n"
                      : fmt::format("row {:06}\r\n", i);
    return report + "<<1\r\n";
}

const std::string kEqualsMessage =
    "Error: Source Data field begin with Equal Sign! This may not be accepted by Excel!";

void PressF5(QWidget& window) {
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F5);
}

} // namespace

class DesktopJobTest : public QObject {
    Q_OBJECT

private slots:
    void F5WritesWhatTheCommandLineWrites() {
        DesktopFixture f;
        f.Open(CrLf({"[General]", "UseRecipeFile=YES"}));
        const std::string input = Example("trial-balance.txt").string();
        const std::string recipe = Example("trial-balance.rcp").string();
        QVERIFY(f.Find<QRadioButton>("rbUseRecipe0")->isChecked());
        f.Type("cbInputFile", QString::fromStdString(input));
        f.Type("cbRecipeFile", QString::fromStdString(recipe));
        f.Type("cbOutputFile", QString::fromStdString(f.dir.File("form.csv")));
        PressF5(*f.window);
        QVERIFY(f.Form().JobRunning() || f.Form().LastResult().has_value());
        QTRY_VERIFY_WITH_TIMEOUT(!f.Form().JobRunning(), 30000);
        QVERIFY(f.Form().LastResult()->Succeeded());
        QVERIFY(f.messages.shown.empty());

        // The status bars, the caption and the buttons after the job.
        QCOMPARE(f.Panel("sbMainPanel3"), QStringLiteral("Conversion Complete"));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9]+\\.[0-9]$"))
                    .match(f.Panel("sbMainPanel6"))
                    .hasMatch());
        QCOMPARE(f.Panel("sbCurrentFilePanel3"),
                 QString::fromStdString(input) + QStringLiteral("   [1 of 1 files]"));
        QCOMPARE(f.window->windowTitle(),
                 QStringLiteral("VOK Wizard - Document To CSV/XLS Conversion"));
        QVERIFY(f.Find<QAction>("keyConvert")->isEnabled());
        QVERIFY(!f.Find<QAction>("keyPause")->isEnabled());

        // The same job on the command line.
        TempDir home;
        RunResult cli =
            RunVok({"-i", input, "-r", recipe, "-o", f.dir.File("cli.csv")}, home.Path().string());
        QCOMPARE(cli.exitCode, 0);
        QVERIFY(!ReadFile(f.dir / "cli.csv").empty());
        QCOMPARE(ReadFile(f.dir / "form.csv"), ReadFile(f.dir / "cli.csv"));

        // Now a workbook, from the same window.
        f.Type("cbOutputFile", QString::fromStdString(f.dir.File("form.xlsx")));
        QTest::keyClick(f.window.get(), Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(!f.Form().JobRunning(), 30000);
        QVERIFY(f.Form().LastResult()->Succeeded());
        cli =
            RunVok({"-i", input, "-r", recipe, "-o", f.dir.File("cli.xlsx")}, home.Path().string());
        QCOMPARE(cli.exitCode, 0);
        const std::vector<std::string> expected = WorkbookCells(f.dir / "cli.xlsx");
        QVERIFY(expected.size() > 20);
        QCOMPARE(WorkbookCells(f.dir / "form.xlsx"), expected);

        // Both outputs are in the recent list, newest first; the input and
        // the recipe once each.
        QComboBox* outputs = f.Box("cbOutputFile");
        QCOMPARE(outputs->count(), 2);
        QCOMPARE(outputs->itemText(0), QString::fromStdString(f.dir.File("form.xlsx")));
        QCOMPARE(f.Box("cbInputFile")->count(), 1);
        QCOMPARE(f.Box("cbRecipeFile")->count(), 1);
    }

    void PauseAsksAndYesEndsTheJobWithTheOutputSaved() {
        DesktopFixture f;
        f.Open();
        WriteFile(f.dir / "r.txt", ReportWithEqualsSign(2000, {3}));
        WriteFile(f.dir / "r.csv", "earlier\r\n");
        f.Type("cbInputFile", QString::fromStdString(f.dir.File("r.txt")));
        f.Type("cbOutputFile", QString::fromStdString(f.dir.File("r.csv")));
        bool convertEnabled = true, pauseEnabled = false;
        // While the job reports the "=" of row 3, the user presses Pause.
        f.messages.onShown = [&](const std::string& text) {
            if (text.rfind(kEqualsMessage, 0) != 0) return;
            convertEnabled = f.Find<QAction>("keyConvert")->isEnabled();
            pauseEnabled = f.Find<QAction>("keyPause")->isEnabled();
            f.Find<QAction>("keyPause")->trigger();
        };
        QVERIFY(f.Form().BeginProcessing());
        QVERIFY(!f.Form().BeginProcessing()); // one job at a time
        QTRY_VERIFY_WITH_TIMEOUT(!f.Form().JobRunning(), 30000);
        QVERIFY(!convertEnabled);
        QVERIFY(pauseEnabled);
        QCOMPARE(f.messages.asked.size(), size_t(1));
        QCOMPARE(f.messages.asked[0].text, std::string("Do you want to terminate the process?"));
        QCOMPARE(f.messages.asked[0].icon, MessageIcon::Question);
        QVERIFY(f.Form().LastResult()->stopped);
        // The rows up to the pause, in the output that replaced the earlier file.
        const std::string saved = ReadFile(f.dir / "r.csv");
        QCOMPARE(saved.substr(0, 32), std::string("row 000001\r\nrow 000002\r\n=formula"));
        QCOMPARE(std::count(saved.begin(), saved.end(), '\n'), 3L);
        QCOMPARE(f.Panel("sbMainPanel3"),
                 QStringLiteral("Conversion Complete (stopped, 1 problem message shown)"));
        QVERIFY(f.Find<QAction>("keyConvert")->isEnabled());
        QVERIFY(!f.Find<QAction>("keyPause")->isEnabled());

        // Answered No, the job goes on to the end.
        f.messages.asked.clear();
        f.messages.answers = {false};
        QVERIFY(f.Form().BeginProcessing());
        QTRY_VERIFY_WITH_TIMEOUT(!f.Form().JobRunning(), 30000);
        QCOMPARE(f.messages.asked.size(), size_t(1));
        QVERIFY(!f.Form().LastResult()->stopped);
        const std::string csv = ReadFile(f.dir / "r.csv");
        QVERIFY(csv.size() > 2000 * 10);
        QCOMPARE(csv.substr(csv.size() - 12), std::string("row 002000\r\n"));
    }

    void ProblemsAreCountedAndUnknownOutputTypesAreNotRemembered() {
        DesktopFixture f;
        f.Open();
        WriteFile(f.dir / "a.txt", CrLf({">>1", "--", "ab", "<<1"}));
        f.Type("cbInputFile", QString::fromStdString(f.dir.File("a.txt")));
        f.Type("cbOutputFile", QString::fromStdString(f.dir.File("a.txt.out")));
        QVERIFY(f.Form().BeginProcessing());
        QTRY_VERIFY_WITH_TIMEOUT(!f.Form().JobRunning(), 30000);
        QCOMPARE(f.messages.Texts(),
                 std::vector<std::string>{"Output File must be of type XLS or CSV"});
        QCOMPARE(f.Box("cbInputFile")->count(), 0);
        QCOMPARE(f.Panel("sbMainPanel3"),
                 QStringLiteral("Conversion Complete (1 problem message shown)"));

        // An output the job cannot create is said, and counted.
        f.Type("cbOutputFile", QString::fromStdString(f.dir.File("a.txt/x.csv")));
        QVERIFY(f.Form().BeginProcessing());
        QTRY_VERIFY_WITH_TIMEOUT(!f.Form().JobRunning(), 30000);
        QCOMPARE(f.messages.shown.size(), size_t(2));
        QVERIFY(f.messages.shown[1].text.rfind("Cannot create the CSV file", 0) == 0);
        QVERIFY(!f.Form().LastResult()->Succeeded());
        QCOMPARE(f.Panel("sbMainPanel3"),
                 QStringLiteral("Conversion Complete (1 problem message shown)"));
        QCOMPARE(f.Box("cbInputFile")->count(), 1);
    }

    // A report whose name holds a line end converts; the recent list leaves
    // it out rather than store a cut path, and the box keeps it. Keys left
    // from a longer list are gone from config.ini after the close.
    void APathWithALineEndConvertsAndStaysOutOfTheRecentList() {
        DesktopFixture f;
        const std::string older = f.dir.File("older.txt");
        f.Open(CrLf({"[mruInputFile]", "mruInputFile18=" + older, "mruInputFile19=/d/A.txt",
                     "mruInputFile20=/d/a.txt"}));
        const std::filesystem::path report = f.dir / "march\nledger.txt";
        WriteFile(report, CrLf({">>1", "-----", "alpha", "<<1"}));
        f.shell.fileAnswer = QString::fromStdString(report.native());
        QTest::mouseClick(f.Find<QPushButton>("cmdInputBrowse"), Qt::LeftButton);
        f.Type("cbOutputFile", QString::fromStdString(f.dir.File("out.csv")));
        PressF5(*f.window);
        QTRY_VERIFY_WITH_TIMEOUT(!f.Form().JobRunning(), 30000);
        QVERIFY(f.Form().LastResult()->Succeeded());
        QCOMPARE(ReadFile(f.dir / "out.csv"), std::string("alpha\r\n"));
        QCOMPARE(f.Box("cbInputFile")->currentText(), QString::fromStdString(report.native()));
        QCOMPARE(f.Box("cbInputFile")->count(), 2);
        f.window->close();
        QCOMPARE(ReadFile(f.program.gConfigFile).find("ledger.txt"), std::string::npos);
        const ProfileFile saved(f.program.gConfigFile);
        QCOMPARE(saved.Get("mruInputFile", "mruInputFile20", "-"), std::string("/d/a.txt"));
        QCOMPARE(saved.Get("mruInputFile", "mruInputFile19", "-"), older);
        QCOMPARE(saved.Get("mruInputFile", "mruInputFile18", "-"), std::string("-"));
        QCOMPARE(saved.Get("mruOutputFile", "mruOutputFile20", "-"), f.dir.File("out.csv"));
    }

    void PauseAnsweredYesBeforeTheFirstRowSaysNothingWasWritten() {
        DesktopFixture f;
        f.Open(CrLf({"[General]", "UseRecipeFile=YES"}));
        WriteFile(f.dir / "r.txt", CrLf({"HEAD", "alpha", "beta", "END"}));
        // A consolidation before the table: its notice comes while the export
        // runs, before the table's first row.
        WriteFile(f.dir / "spec.t2x",
                  CrLf({"[Header]", "Product=VOK", "FileType=EXPORT SPEC", "FileFormat=1.1",
                        "[General]", "Name=", "[Consolidate 1]", "Table=1",
                        "ReadAccountsColumn=1", "TotalDepartments=1", "[Con 1 Dept 1]",
                        "ReadStartLine=alpha", "ReadStartLineOffset=0", "ReadEndLine=beta",
                        "ReadEndLineOffset=0", "[Table 1]", "ReadStartLine=HEAD",
                        "ReadStartLineOffset=1", "ReadEndLine=END", "ReadEndLineOffset=-1",
                        "TotalColumns=1", "[Table 1 Col 1]", "ReadColumnStart=1",
                        "ReadColumnEnd=5", "WriteColumn=A", "PeriodOperator="}));
        WriteFile(f.dir / "r.csv", "earlier\r\n");
        f.Type("cbInputFile", QString::fromStdString(f.dir.File("r.txt")));
        f.Type("cbRecipeFile", QString::fromStdString(f.dir.File("spec.t2x")));
        f.Type("cbOutputFile", QString::fromStdString(f.dir.File("r.csv")));
        f.messages.onShown = [&](const std::string& text) {
            if (text.rfind("Consolidations are written to workbooks only", 0) == 0)
                f.Find<QAction>("keyPause")->trigger();
        };
        QVERIFY(f.Form().BeginProcessing());
        QTRY_VERIFY_WITH_TIMEOUT(!f.Form().JobRunning(), 30000);
        QCOMPARE(f.messages.asked.size(), size_t(1));
        QCOMPARE(f.messages.asked[0].text, std::string("Do you want to terminate the process?"));
        // The user's own choice is told as such, with the information icon.
        QCOMPARE(f.messages.shown.size(), size_t(2));
        QCOMPARE(f.messages.shown[1].text,
                 "The job was stopped before any row was written; nothing was written to " +
                     f.dir.File("r.csv") + ".");
        QCOMPARE(f.messages.shown[1].icon, MessageIcon::Information);
        QVERIFY(f.Form().LastResult()->stopped);
        QCOMPARE(f.Panel("sbMainPanel3"), QStringLiteral("Conversion Complete (stopped)"));
        QCOMPARE(ReadFile(f.dir / "r.csv"), std::string("earlier\r\n"));
    }

    void ClosingDuringAJobStopsItAndSavesTheSettings() {
        DesktopFixture f;
        f.Open();
        // Two tables, each with a "=" in its row 2: a table says its first
        // one and counts the others.
        std::string second = ReportWithEqualsSign(300000, {2});
        second.replace(second.find(">>1"), 3, ">>2");
        second.replace(second.rfind("<<1"), 3, "<<2");
        WriteFile(f.dir / "big.txt", ReportWithEqualsSign(3, {2}) + second);
        f.Type("cbInputFile", QString::fromStdString(f.dir.File("big.txt")));
        f.Type("cbOutputFile", QString::fromStdString(f.dir.File("big.csv")));
        // The user closes the window right after the "=" of table 1 was
        // reported. The close comes before the job's report of table 2's
        // row 2, which waits for the window: the job stops before table 2's
        // row 3.
        int reported = 0;
        f.messages.onShown = [&](const std::string& text) {
            if (text.rfind(kEqualsMessage, 0) == 0 && ++reported == 1)
                QTimer::singleShot(0, f.window.get(), &QWidget::close);
        };
        QVERIFY(f.Form().BeginProcessing());
        QTRY_VERIFY_WITH_TIMEOUT(!f.window->isVisible(), 30000);
        QVERIFY(!f.Form().JobRunning());
        // Stopped without asking; the rows so far are saved.
        QVERIFY(f.messages.asked.empty());
        QVERIFY(f.Form().LastResult()->stopped);
        const std::string csv = ReadFile(f.dir / "big.csv");
        QCOMPARE(csv.substr(0, 20), std::string("row 000001\r\n=formula"));
        const auto rows = std::count(csv.begin(), csv.end(), '\n');
        QVERIFY2(rows >= 2 && rows <= 5, csv.c_str());
        QVERIFY(reported <= 2);
        // The placement, the settings and the lists were saved as at any close.
        const ProfileFile saved(f.program.gConfigFile);
        QCOMPARE(saved.Get("frmMainMDI", "WindowState", "-"), std::string("0"));
        QVERIFY(saved.Get("frmMainMDI", "Width", "-") != "-");
        QCOMPARE(saved.Get("General", "lTabSize", "-"), std::string("8"));
        QCOMPARE(saved.Get("mruInputFile", "mruInputFile20", "-"), f.dir.File("big.txt"));
        QCOMPARE(saved.Get("mruOutputFile", "mruOutputFile20", "-"), f.dir.File("big.csv"));
    }
};

int RunDesktopJobTest(int argc, char** argv) {
    DesktopJobTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace vok::test

#include "DesktopJobTest.moc"
