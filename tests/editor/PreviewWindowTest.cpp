// The recipe editor's preview window, driven as a user drives it: it opens
// beside the editor on the conversion form's report, follows the text as it
// is typed, shows the rows and the messages, and a click on a cell selects
// its field in the report.
#include "EditorTestSupport.h"
#include "editor/frmExportBuilder.h"
#include "editor/frmPreview.h"

#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>

using namespace vok;
using namespace vok::test;

namespace {

const std::string kReport = CrLf({
    "LEDGER REPORT",
    "ACCOUNT NO  DESCRIPTION         AMOUNT",
    "----------  ------------------  ---------",
    "1000-00     Cash in bank         1,234.50",
    "2000-00     Payables              (12.00)",
    "3000-00     Capital              9,000.00",
    "                          TOTALS 10,222.50",
});

// Account, description and amount; the amount field in the template's last line.
std::string Recipe(std::string_view start, std::string_view parsing) {
    return CrLf({"[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "", "[Table 1]",
                 "ReadStartLine=" + std::string(start), "ReadStartLineOffset=2",
                 "ReadEndLine=TOTALS", "ReadEndLineOffset=-1", "Parsing=" + std::string(parsing),
                 "WriteColumn=B"});
}
const std::string kParsing = "----------  ------------------  ---------";

struct PreviewFixture : EditorFixture {
    PreviewFixture() {
        WriteFile(dir / "report.txt", kReport);
        WriteFile(dir / "ledger.rcp", Recipe("ACCOUNT NO", kParsing));
        report = dir / "report.txt";
    }
    frmPreview& Open() {
        editor.LoadRecipeIntoEditor(dir / "ledger.rcp");
        editor.show();
        editor.cmdPreview.click();
        return *editor.PreviewWindow();
    }
    // The window open on the fixture's report, its first result shown (firstShown).
    frmPreview& OpenOnReport() {
        frmPreview& preview = Open();
        preview.txtReport.setText(PathText(report));
        QSignalSpy shown(&preview, &frmPreview::ResultShown);
        preview.RefreshNow();
        firstShown = shown.wait(10000);
        return preview;
    }
    std::filesystem::path report;
    bool firstShown = false;
};

// Typing over the rest of the editor's line after `key`.
void TypeOver(frmExportBuilder& editor, const QString& key, const QString& text) {
    QTextCursor cursor = editor.txtFileEditor.document()->find(key);
    QVERIFY(!cursor.isNull());
    cursor.clearSelection();
    cursor.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    editor.txtFileEditor.setTextCursor(cursor);
    editor.txtFileEditor.setFocus();
    QTest::keyClicks(&editor.txtFileEditor, text);
}

QVariant Data(const frmPreview& preview, int row, const QString& header,
              int role = Qt::DisplayRole) {
    const QAbstractItemModel& model = *preview.gridRows.model();
    for (int c = 0; c < model.columnCount(); ++c) {
        if (model.headerData(c, Qt::Horizontal).toString() == header)
            return model.data(model.index(row, c), role);
    }
    return "(no column " + header + ")";
}

// Clicks the grid's cell of the row under the column headed `header`; false
// when there is no such column.
bool ClickCell(frmPreview& preview, int row, const QString& header) {
    const QAbstractItemModel& model = *preview.gridRows.model();
    for (int c = 0; c < model.columnCount(); ++c) {
        if (model.headerData(c, Qt::Horizontal).toString() != header) continue;
        const QRect cell = preview.gridRows.visualRect(model.index(row, c));
        QTest::mouseClick(preview.gridRows.viewport(), Qt::LeftButton, {}, cell.center());
        return true;
    }
    return false;
}

QString Cell(const frmPreview& preview, int row, const QString& header) {
    return Data(preview, row, header).toString();
}

int Rows(const frmPreview& preview) {
    return preview.gridRows.model()->rowCount();
}

QStringList MessagesShown(const frmPreview& preview) {
    QStringList texts;
    for (int i = 0; i < preview.lstMessages.count(); ++i)
        texts << preview.lstMessages.item(i)->text();
    return texts;
}

} // namespace

class PreviewWindowTest : public QObject {
    Q_OBJECT

private slots:
    void opensBesideTheEditorOnTheFormsReport();
    void typingMovesTheRulesAndChangesTheGrid();
    void clickingACellSelectsItsFieldInTheReport();
    void aMissingKeyShowsTheMessageAndNoRows();
    void anotherReportIsPickedAndClosingTheEditorHidesThePreview();
    void linesLeftOutAreGreyedAndGroupCellsPointAtTheirGroupLine();
};

void PreviewWindowTest::opensBesideTheEditorOnTheFormsReport() {
    PreviewFixture f;
    // The form's input box, as the conversion form hands it over.
    frmExportBuilder editor{RecipeEditorHost{f.dir.Path(), [] { return std::filesystem::path(); },
                                             [] { return QPoint(0, 0); }, [](int) {},
                                             [&f] { return f.report; }, [] { return 8; }},
                            f.prompts};
    editor.LoadRecipeIntoEditor(f.dir / "ledger.rcp");
    editor.show();
    QVERIFY(editor.PreviewWindow() == nullptr);
    editor.cmdPreview.click();
    frmPreview* preview = editor.PreviewWindow();
    QVERIFY(preview != nullptr);
    QVERIFY(preview->isVisible());
    QVERIFY(preview->isWindow());
    QCOMPARE(preview->windowModality(), Qt::NonModal);
    QCOMPARE(PathFromText(preview->txtReport.text()), f.report);
    QSignalSpy shown(preview, &frmPreview::ResultShown);
    QVERIFY(shown.wait(10000));
    QCOMPARE(Rows(*preview), 3);
    QCOMPARE(Cell(*preview, 0, "B"), QString("1000-00    ")); // a field takes the blank after it
    QCOMPARE(Cell(*preview, 1, "D"), QString("(12.00)"));
    // Numbers right-aligned, text as stored on the left.
    QVERIFY(Data(*preview, 1, "D", Qt::TextAlignmentRole).toInt() & Qt::AlignRight);
    QVERIFY(Data(*preview, 1, "D", Qt::UserRole).toBool());
    QVERIFY(Data(*preview, 1, "C", Qt::TextAlignmentRole).toInt() & Qt::AlignLeft);
    QVERIFY(!Data(*preview, 1, "C", Qt::UserRole).toBool());
    QCOMPARE(Cell(*preview, 2, "Line"), QString("6"));
    // The table's lines and key lines in the view.
    QVERIFY(!preview->reportView.TableOfLine(3).has_value());
    QCOMPARE(preview->reportView.TableOfLine(4), std::optional<size_t>(0));
    QCOMPARE(preview->reportView.TableOfLine(6), std::optional<size_t>(0));
    QCOMPARE(preview->Shown()->tables.at(0).startKeyLine, 2);
    QCOMPARE(preview->Shown()->tables.at(0).endKeyLine, 7);
    QVERIFY(preview->lstMessages.count() == 0);
    // A second click shows the same window again.
    editor.cmdPreview.click();
    QCOMPARE(editor.PreviewWindow(), preview);
}

void PreviewWindowTest::typingMovesTheRulesAndChangesTheGrid() {
    PreviewFixture f;
    frmPreview& preview = f.OpenOnReport();
    QVERIFY(f.firstShown);
    QSignalSpy shown(&preview, &frmPreview::ResultShown);
    const std::vector<int32_t> before{0, 11, 12, 31, 32, 41};
    QCOMPARE(preview.reportView.RulesOnLine(4), before);
    QCOMPARE(Cell(preview, 0, "C"), QString("Cash in bank       "));
    QCOMPARE(Cell(preview, 0, "D"), QString("1,234.50"));

    // A wider description field: its end and the amount's field move right.
    const int asked = preview.PreviewsAsked();
    TypeOver(f.editor, "Parsing=", "----------  ------------------------ -----");
    QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 10000);
    QTest::qWait(2 * frmPreview::kRefreshInterval);
    // Dozens of key strokes without a pause, one preview: a change waits for
    // those that follow it within the interval.
    QCOMPARE(preview.PreviewsAsked(), asked + 1);
    QCOMPARE(shown.count(), 1);
    QVERIFY(f.editor.EditorText().find("Parsing=----------  ------------------------ -----\r\n") !=
            std::string::npos);
    const std::vector<int32_t> after{0, 11, 12, 37, 42};
    QCOMPARE(preview.reportView.RulesOnLine(4), after);
    QCOMPARE(Cell(preview, 0, "C"), QString("Cash in bank         1,23"));
    QCOMPARE(Cell(preview, 0, "D"), QString("4.50"));
}

void PreviewWindowTest::clickingACellSelectsItsFieldInTheReport() {
    PreviewFixture f;
    frmPreview& preview = f.OpenOnReport();
    QVERIFY(f.firstShown);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QVERIFY(!preview.reportView.SelectedField().has_value());
    // The amount of the third row: report line 6, characters 33 to 41.
    QVERIFY(ClickCell(preview, 2, "D"));
    const std::optional<ReportView::Field> selected = preview.reportView.SelectedField();
    QVERIFY(selected.has_value());
    QCOMPARE(selected->line, 6);
    QCOMPARE(selected->start, 33);
    QCOMPARE(selected->end, 41);
}

void PreviewWindowTest::aMissingKeyShowsTheMessageAndNoRows() {
    PreviewFixture f;
    WriteFile(f.dir / "ledger.rcp", Recipe("ACCOUNT NUMBER", kParsing));
    frmPreview& preview = f.OpenOnReport();
    QVERIFY(f.firstShown);
    QCOMPARE(MessagesShown(preview),
             QStringList{"Error in Table specs: Can not find ReadStartLine: ACCOUNT NUMBER"});
    QCOMPARE(Rows(preview), 0);
    QVERIFY(preview.lblSummary.text().contains("Table 1: no rows"));
    // Nothing shaded: the table's lines are not known.
    for (int64_t line = 1; line <= 7; ++line)
        QVERIFY(!preview.reportView.TableOfLine(line).has_value());
    // Nothing was written beside the recipe or into the program folder.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(f.dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    QCOMPARE(names, (std::vector<std::string>{"ledger.rcp", "report.txt"}));
}

void PreviewWindowTest::anotherReportIsPickedAndClosingTheEditorHidesThePreview() {
    PreviewFixture f;
    WriteFile(f.dir / "other.txt", CrLf({"x", "ACCOUNT NO", "-", "9999-99     Other", "TOTALS"}));
    frmPreview& preview = f.Open();
    QCOMPARE(preview.txtReport.text(), QString()); // the fixture's form proposes nothing
    QVERIFY(preview.lblSummary.text().startsWith("Choose a report"));
    f.prompts->openPicks.push_back(f.dir / "other.txt");
    QSignalSpy shown(&preview, &frmPreview::ResultShown);
    preview.cmdBrowse.click();
    QVERIFY(shown.wait(10000));
    QCOMPARE(PathFromText(preview.txtReport.text()), f.dir / "other.txt");
    QCOMPARE(Rows(preview), 1);
    QCOMPARE(Cell(preview, 0, "B"), QString("9999-99    "));
    QCOMPARE(f.prompts->openRequests.size(), size_t{1});

    f.editor.cmdCancel.click();
    QVERIFY(!preview.isVisible());
}

void PreviewWindowTest::linesLeftOutAreGreyedAndGroupCellsPointAtTheirGroupLine() {
    PreviewFixture f;
    WriteFile(f.report, CrLf({"LEDGER REPORT", "ACCOUNT NO  DESCRIPTION         AMOUNT",
                              "----------  ------------------  ---------",
                              "DEPT 10", "1000-00     Cash in bank         1,234.50",
                              "  SUB-TOTAL", "2000-00     Payables              (12.00)",
                              "                          TOTALS 10,222.50"}));
    WriteFile(f.dir / "ledger.rcp",
              Recipe("ACCOUNT NO", kParsing) +
                  CrLf({"SkipLine1=SUB-TOTAL", "GroupLine1=DEPT", "GroupParsing1=     --",
                        "GroupWriteColumn1=F"}));
    frmPreview& preview = f.OpenOnReport();
    QVERIFY(f.firstShown);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QCOMPARE(Rows(preview), 2);
    QVERIFY(preview.reportView.LeftOut(4));
    QVERIFY(!preview.reportView.LeftOut(5));
    QVERIFY(preview.reportView.LeftOut(6));
    QVERIFY(!preview.reportView.LeftOut(8));
    // Painted so: a left-out line has no dark ink, a kept one has.
    const QImage shot = preview.reportView.viewport()->grab().toImage();
    const int lh = std::max(1, preview.reportView.fontMetrics().lineSpacing());
    const auto darkPixels = [&](int64_t line) {
        const int top = static_cast<int>((line - preview.reportView.FirstVisibleLine()) * lh);
        int dark = 0;
        for (int y = std::max(0, top); y < std::min(shot.height(), top + lh); ++y)
            for (int x = 0; x < shot.width(); ++x)
                dark += qGray(shot.pixel(x, y)) < 80 ? 1 : 0;
        return dark;
    };
    QCOMPARE(darkPixels(4), 0);
    QCOMPARE(darkPixels(6), 0);
    QVERIFY(darkPixels(7) > 0);
    // Each row names its own report line and carries the group's value.
    QCOMPARE(preview.gridRows.model()->data(preview.gridRows.model()->index(1, 1)).toInt(), 7);
    QCOMPARE(Cell(preview, 1, "F"), QString("10"));
    QVERIFY(preview.lblSummary.text().contains("Table 1: lines 4-7"));
    QVERIFY(ClickCell(preview, 1, "F"));
    const std::optional<ReportView::Field> selected = preview.reportView.SelectedField();
    QVERIFY(selected.has_value());
    QCOMPARE(selected->line, 4);
    QCOMPARE(selected->start, 6);
}

QTEST_MAIN(PreviewWindowTest)
#include "PreviewWindowTest.moc"
