// From an empty recipe to a converted report without leaving the editor: a
// recipe for the bundled trial balance is built with the dialogs, saved, and
// the report converted with it through the job driver; the CSV must equal the
// one the example's own recipe gives.
#include "EditorTestSupport.h"
#include "editor/RecipeText.h"
#include "editor/frmAddField.h"
#include "editor/frmExportBuilder.h"
#include "editor/frmTableBuilder.h"
#include "job/ConversionJob.h"
#include "job/ProgramSettings.h"
#include "support/RecordingObserver.h"

#include <QTest>

using namespace vok;
using namespace vok::test;

namespace {

struct TableInput {
    QString top;
    QString topOffset;
    QString bottom;
    QString bottomOffset;
    std::vector<QString> widths;
};

void AddTable(EditorFixture& f, const TableInput& table) {
    OnModal<frmTableBuilder>(f, [&f, table](frmTableBuilder& builder) {
        builder.txtReadStartLine.setText(table.top);
        builder.txtReadStartLineOffset.setText(table.topOffset);
        builder.txtReadEndLine.setText(table.bottom);
        builder.txtReadEndLineOffset.setText(table.bottomOffset);
        for (const QString& width : table.widths) {
            OnModal<frmAddField>(f, [width](frmAddField& field) {
                field.txtFieldWidth.setText(width);
                field.cmdOK.click();
            });
            builder.cmdAddColumn.click();
        }
        builder.cmdOk.click();
    });
    f.editor.cmdAddTable.click();
}

std::string Convert(const std::filesystem::path& programFolder, const std::filesystem::path& recipe,
                    const std::filesystem::path& output, RecordingObserver& observer) {
    ProgramSettings program(programFolder);
    clsConversionOptions options;
    options.sInputFile = std::filesystem::path(VOK_EXAMPLES) / "trial-balance.txt";
    options.sOutputFile = output;
    options.sRecipeFile = recipe;
    options.bUseRecipe = true;
    ConversionJob job(program, options, observer);
    const JobResult result = job.BeginProcessing();
    if (!result.Succeeded()) return "job failed";
    return ReadFile(output);
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void aRecipeBuiltWithTheDialogsConvertsTheTrialBalance();
};

void EndToEndTest::aRecipeBuiltWithTheDialogsConvertsTheTrialBalance() {
    EditorFixture f;
    const auto recipe = f.dir / "recipes" / "trial-balance.rcp";
    std::filesystem::create_directories(recipe.parent_path());
    // The conversion form opens the editor with a recipe name not yet saved.
    f.editor.LoadRecipeIntoEditor(recipe);
    f.editor.show();
    f.editor.cmdNew.click();
    // The columns of the report: account number, name, debit, credit. Each
    // width counts the blank after the field; the last field has none.
    const std::vector<QString> widths{"12", "32", "17", "15"};
    AddTable(f, {"PAGE 1", "5", "CONTINUED ON NEXT PAGE", "-2", widths});
    AddTable(f, {"PAGE 2", "5", "TOTALS", "-2", widths});
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.editor.windowTitle(), QString("Recipe Editor - Tables = 2"));
    f.editor.cmdSave.click();
    f.editor.cmdClose.click();
    QVERIFY(f.prompts->shown.empty());
    QVERIFY(!f.editor.isVisible());
    QCOMPARE(f.editor.sLastRecipeFileName, recipe);

    // The very recipe that comes with the example, byte for byte.
    const auto example = std::filesystem::path(VOK_EXAMPLES) / "trial-balance.rcp";
    QCOMPARE(ReadFile(recipe), ReadFile(example));

    std::filesystem::create_directories(f.dir / "home1");
    std::filesystem::create_directories(f.dir / "home2");
    RecordingObserver built;
    RecordingObserver own;
    const std::string fromBuilt = Convert(f.dir / "home1", recipe, f.dir / "built.csv", built);
    const std::string fromOwn = Convert(f.dir / "home2", example, f.dir / "own.csv", own);
    QVERIFY2(built.Texts().empty(), built.Texts().empty() ? "" : built.Texts().front().c_str());
    QVERIFY(own.Texts().empty());
    QVERIFY(fromOwn.find("1000-00     ,CASH IN BANK - OPERATING        ,") != std::string::npos);
    QCOMPARE(fromBuilt, fromOwn);
}

QTEST_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
