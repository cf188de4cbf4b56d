// Pictures of the editor's windows for a person to look at: the editor with
// a loaded recipe, the table builder and the field builder. Written only when
// VOK_SCREENSHOTS names a folder (scripts/editor-screenshots.sh sets it).
#include "EditorTestSupport.h"
#include "editor/frmAddField.h"
#include "editor/frmExportBuilder.h"
#include "editor/frmPreview.h"
#include "editor/frmTableBuilder.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace vok;
using namespace vok::test;

namespace {

// The editor shown with the trial balance example's recipe, opened from a
// conversion form at `formTopLeft` whose input box names `report`.
std::unique_ptr<frmExportBuilder> TrialBalanceEditor(const TempDir& home,
                                                     const std::filesystem::path& report,
                                                     QPoint formTopLeft,
                                                     const char* recipe = "trial-balance.rcp") {
    auto editor = std::make_unique<frmExportBuilder>(
        RecipeEditorHost{home.Path(),
                         {},
                         [formTopLeft] { return formTopLeft; },
                         {},
                         [report] { return report; },
                         [] { return 8; }},
        std::make_shared<RecordingPrompts>());
    editor->LoadRecipeIntoEditor(std::filesystem::path(VOK_EXAMPLES) / recipe);
    editor->show();
    return editor;
}

// Preview... pressed: the preview once it shows its first result, or nothing.
frmPreview* OpenedPreview(frmExportBuilder& editor) {
    editor.cmdPreview.click();
    frmPreview* preview = editor.PreviewWindow();
    QSignalSpy shown(preview, &frmPreview::ResultShown);
    return shown.wait(10000) ? preview : nullptr;
}

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void editorAndBuilders();
    void previewWindow();
    void previewOfAPagedLedger();
    void previewBesideTheEditor();
};

void ScreenshotTest::editorAndBuilders() {
    const QString folder = qEnvironmentVariable("VOK_SCREENSHOTS");
    if (folder.isEmpty()) QSKIP("VOK_SCREENSHOTS names no folder");
    QVERIFY(QDir().mkpath(folder));
    auto save = [&folder](QWidget& window, const QString& name) {
        const QString file = folder + "/" + name + ".png";
        QVERIFY2(window.grab().save(file), qPrintable(file));
    };

    EditorFixture f;
    f.editor.LoadRecipeIntoEditor(std::filesystem::path(VOK_EXAMPLES) / "trial-balance.rcp");
    f.editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.editor));
    save(f.editor, "editor-loaded-recipe");

    OnModal<frmTableBuilder>(f, [&f, &save](frmTableBuilder& builder) {
        builder.txtReadStartLine.setText("ACCOUNT NO");
        builder.txtReadStartLineOffset.setText("2");
        builder.txtReadEndLine.setText("TOTALS");
        builder.txtReadEndLineOffset.setText("-2");
        OnModal<frmAddField>(f, [&save](frmAddField& field) {
            field.obMultiDataField.click();
            field.txtFieldWidth.setText("12");
            QVERIFY(QTest::qWaitForWindowExposed(&field));
            save(field, "field-builder");
            field.cmdOK.click();
        });
        builder.cmdAddColumn.click();
        QVERIFY(QTest::qWaitForWindowExposed(&builder));
        save(builder, "table-builder");
        builder.tabPages.setCurrentWidget(&builder.pageLines);
        builder.txtSkipLines.setPlainText("SUB-TOTAL\nCARRIED FORWARD");
        builder.chkSkipBlankLines.setChecked(true);
        builder.txtPageHeaderLines.setText("4");
        builder.txtGroupLine[0].setText("DEPARTMENT:");
        builder.txtGroupParsing[0].setText("            --- --------------------");
        builder.txtGroupWriteColumn[0].setText("E");
        save(builder, "table-builder-lines");
        builder.tabPages.setCurrentWidget(&builder.pageTable);
        builder.txtSkipLines.clear();
        builder.chkSkipBlankLines.setChecked(false);
        builder.txtPageHeaderLines.clear();
        builder.txtGroupLine[0].clear();
        builder.txtGroupParsing[0].clear();
        builder.txtGroupWriteColumn[0].clear();
        builder.cmdOk.click();
    });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    save(f.editor, "editor-after-add-table");
    // The smallest the window goes: every button whole, the text still there,
    // and of a long file name its end.
    f.editor.LoadRecipeIntoEditor(f.dir / "a folder with a long name" / "and another one" /
                                  "trial-balance-for-the-year.rcp");
    f.editor.resize(f.editor.minimumSize());
    save(f.editor, "editor-smallest");
}

// The preview of the trial balance example, with a cell of the grid chosen.
void ScreenshotTest::previewWindow() {
    const QString folder = qEnvironmentVariable("VOK_SCREENSHOTS");
    if (folder.isEmpty()) QSKIP("VOK_SCREENSHOTS names no folder");
    QVERIFY(QDir().mkpath(folder));
    const std::filesystem::path examples(VOK_EXAMPLES);
    TempDir home;
    // The report box shows a folder a user might have, not the source tree's.
    const std::filesystem::path reports = std::filesystem::temp_directory_path() / "Reports";
    std::filesystem::create_directories(reports);
    std::filesystem::copy_file(examples / "trial-balance.txt", reports / "trial-balance.txt",
                               std::filesystem::copy_options::overwrite_existing);
    std::unique_ptr<frmExportBuilder> editor =
        TrialBalanceEditor(home, reports / "trial-balance.txt", QPoint(0, 0));
    frmPreview* opened = OpenedPreview(*editor);
    QVERIFY(opened);
    frmPreview& preview = *opened;
    preview.resize(1100, 760);
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    preview.gridRows.setCurrentIndex(preview.gridRows.model()->index(2, 4)); // column C, third row
    QTest::qWait(200);
    const QString file = folder + "/preview-window.png";
    QVERIFY2(preview.grab().save(file), qPrintable(file));
}

// The paged ledger example: page headers, sub-totals, blank and group lines
// greyed, the group values in the rows.
void ScreenshotTest::previewOfAPagedLedger() {
    const QString folder = qEnvironmentVariable("VOK_SCREENSHOTS");
    if (folder.isEmpty()) QSKIP("VOK_SCREENSHOTS names no folder");
    QVERIFY(QDir().mkpath(folder));
    TempDir home;
    std::unique_ptr<frmExportBuilder> editor =
        TrialBalanceEditor(home, std::filesystem::path(VOK_EXAMPLES) / "monthly-ledger-pages.txt",
                           QPoint(0, 0), "monthly-ledger-pages.rcp");
    frmPreview* opened = OpenedPreview(*editor);
    QVERIFY(opened);
    opened->resize(1100, 760);
    QVERIFY(QTest::qWaitForWindowExposed(opened));
    QTest::qWait(200);
    const QString file = folder + "/preview-paged-ledger.png";
    QVERIFY2(opened->grab().save(file), qPrintable(file));
}

// The whole screen with the editor where the conversion form puts it and the
// preview opened from it: where the preview lands on this screen's size.
void ScreenshotTest::previewBesideTheEditor() {
    const QString folder = qEnvironmentVariable("VOK_SCREENSHOTS");
    if (folder.isEmpty()) QSKIP("VOK_SCREENSHOTS names no folder");
    QVERIFY(QDir().mkpath(folder));
    const std::filesystem::path examples(VOK_EXAMPLES);
    TempDir home;
    std::unique_ptr<frmExportBuilder> editor =
        TrialBalanceEditor(home, examples / "trial-balance.txt", QPoint(10, 60));
    QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
    frmPreview* opened = OpenedPreview(*editor);
    QVERIFY(opened);
    frmPreview& preview = *opened;
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QTest::qWait(300);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QString file = folder + QStringLiteral("/screen-%1x%2-editor-and-preview.png")
                                      .arg(screen->size().width())
                                      .arg(screen->size().height());
    QVERIFY2(screen->grabWindow(0).save(file), qPrintable(file));
}

QTEST_MAIN(ScreenshotTest)
#include "Screenshots.moc"
