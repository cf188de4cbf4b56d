// The recipe editor window: loading, new, saving, the questions before text
// is lost or a file replaced, and the window's placement and resize rules.
#include "EditorTestSupport.h"
#include "desktop_services/modUtilityForm.h"
#include "editor/EditorPrompts.h"
#include "editor/RecipeText.h"
#include "editor/frmExportBuilder.h"

#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

using namespace vok;
using namespace vok::test;

namespace {

const std::string kTwoTables =
    CrLf({"[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "", "[Table 1]",
          "ReadStartLine=A", "Parsing=---", "[Table 1 Col 1]", "", "[Table 2]", "ReadStartLine=B"});
// The same text as read: CR LF between the lines, none after the last.
const std::string kTwoTablesRead = kTwoTables.substr(0, kTwoTables.size() - 2);

// Files may grow to `bytes` at most while this lives; a write beyond fails
// with "File too large", for root as for anyone.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
};

void Type(frmExportBuilder& editor, const QString& text) {
    QTextCursor end = editor.txtFileEditor.textCursor();
    end.movePosition(QTextCursor::End);
    editor.txtFileEditor.setTextCursor(end);
    editor.txtFileEditor.insertPlainText(text);
}

// Alt and the letter of a button's caption, as a user presses them; the
// button answers with a short click animation, which this waits for.
void PressAltKey(QPushButton& button, Qt::Key key) {
    QSignalSpy clicked(&button, &QPushButton::clicked);
    QWidget* focus = button.window()->focusWidget();
    QTest::keyClick(focus ? focus : button.window(), key, Qt::AltModifier);
    QTRY_COMPARE(clicked.count(), 1);
}

} // namespace

class ExportBuilderTest : public QObject {
    Q_OBJECT

private slots:
    void opensARecipeWithItsTableCountAndOneLineEndAfterIt();
    void aMissingRecipeOpensAsNewAndSaveCreatesIt();
    void savingWritesTheTextAndOneLineEnd();
    void savingAnUnchangedRecipeGivesTheSameBytes();
    void escAsksBeforeDroppingEditsAndClosesUnchangedText();
    void declinedOverwriteKeepsNameStatusAndUnsavedState();
    void closeAsksOnceAndCancelNever();
    void saveWithoutANameRunsSaveAs();
    void aFailedSaveIsReportedAndKeepsTheTextAndTheEarlierFile();
    void newAndReadFileAskBeforeDroppingEdits();
    void readFileProposesTheRecipeBoxAndACancelChangesNothing();
    void aRecipeThatCannotBeReadIsReportedAndNotTaken();
    void aSecondOpeningShowsThePreviousText();
    void helpShowsTheRecipeTopic();
    void theEditorOpensInPlaceAndItsControlsFollowAResize();
};

void ExportBuilderTest::opensARecipeWithItsTableCountAndOneLineEndAfterIt() {
    EditorFixture f;
    WriteFile(f.dir / "two.rcp", kTwoTables);
    f.editor.LoadRecipeIntoEditor(f.dir / "two.rcp");
    QCOMPARE(f.editor.windowTitle(), QString("Recipe Editor - Tables = 2"));
    QCOMPARE(f.editor.TableCounter, 2); // the column section is not a table
    QCOMPARE(f.editor.ExportSpecs, kTwoTablesRead);
    QCOMPARE(f.editor.EditorText(), kTwoTables);
    QCOMPARE(f.editor.txtFileEditor.textCursor().position(), 0);
    QVERIFY(!f.editor.bDirty);
    QCOMPARE(f.editor.sLastRecipeFileName, f.dir / "two.rcp");
    QCOMPARE(f.editor.statusPanel1.text(), QString::fromStdString(f.dir.File("two.rcp")));
    QVERIFY(f.prompts->shown.empty());
}

void ExportBuilderTest::aMissingRecipeOpensAsNewAndSaveCreatesIt() {
    EditorFixture f;
    const auto missing = f.dir / "month.rcp";
    f.editor.LoadRecipeIntoEditor(missing);
    QCOMPARE(f.editor.EditorText(), std::string(kNewRecipeText));
    QCOMPARE(f.editor.windowTitle(), QString("Recipe Editor - Tables = 0"));
    QCOMPARE(f.editor.statusPanel1.text(), QString::fromStdString(missing.string()));
    QVERIFY(!f.editor.bDirty);
    f.editor.cmdSave.click();
    // The box's text, whose last line is ended already.
    QCOMPARE(ReadFile(missing), std::string(kNewRecipeText));
    QVERIFY(f.prompts->shown.empty());
    QVERIFY(f.prompts->saveRequests.empty());
}

void ExportBuilderTest::savingWritesTheTextAndOneLineEnd() {
    EditorFixture f;
    WriteFile(f.dir / "two.rcp", kTwoTables);
    f.editor.LoadRecipeIntoEditor(f.dir / "two.rcp");
    // Lines typed in the box end in CR LF in the file.
    Type(f.editor, "[Table 3]\nReadStartLine=C");
    QVERIFY(f.editor.bDirty);
    f.editor.cmdSave.click();
    const std::string expected = kTwoTables + "[Table 3]\r\nReadStartLine=C";
    QCOMPARE(f.editor.ExportSpecs, expected);
    QCOMPARE(ReadFile(f.dir / "two.rcp"), expected + "\r\n");
    QVERIFY(!f.editor.bDirty);
}

void ExportBuilderTest::savingAnUnchangedRecipeGivesTheSameBytes() {
    const std::pair<const char*, std::string> files[] = {
        {"CR LF", kTwoTables},
        {"LF", "[Header]\nProduct=VOK-B\n\n[Table 1]\nReadStartLine=A\n"},
        {"CR", "[Header]\rProduct=VOK-B\r"},
        {"no last line end, CR LF", kTwoTablesRead},
        {"no last line end, LF", "[Header]\nProduct=VOK-B\n[Table 1]"},
        {"blank lines at the end", "[Header]\r\n[Table 1]\r\n\r\n\r\n"},
        {"Windows-1252", "[Header]\r\n[Table 1]\r\nReadStartLine=Soci\xE9t\xE9 \x80\r\n"},
        {"byte-order mark", "\xEF\xBB\xBF[Header]\r\nReadStartLine=Soci\xC3\xA9t\xC3\xA9\r\n"},
        {"one empty line", "\r\n"},
        {"empty", ""}};
    EditorFixture f;
    f.editor.show();
    f.editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.editor));
    const auto file = f.dir / "r.rcp";
    for (const auto& [name, bytes] : files) {
        WriteFile(file, bytes);
        // Opened and saved (Alt+S) twice, as a user opens the same recipe month after month.
        for (int round = 1; round <= 2; ++round) {
            f.editor.LoadRecipeIntoEditor(file);
            PressAltKey(f.editor.cmdSave, Qt::Key_S);
            QVERIFY2(ReadFile(file) == bytes, name);
        }
    }
    QVERIFY(f.prompts->shown.empty());

    // Lines added to an LF file end in LF; a last line typed without a line
    // end gets one in a file that had one, and none in a file that had none
    // (whose one line told no line end: CR LF, as in a new recipe).
    WriteFile(file, "[Header]\n");
    f.editor.LoadRecipeIntoEditor(file);
    Type(f.editor, "[Table 1]\nReadStartLine=A");
    PressAltKey(f.editor.cmdSave, Qt::Key_S);
    QCOMPARE(ReadFile(file), std::string("[Header]\n[Table 1]\nReadStartLine=A\n"));
    WriteFile(file, "[Header]");
    f.editor.LoadRecipeIntoEditor(file);
    Type(f.editor, "\n[Table 1]");
    PressAltKey(f.editor.cmdSave, Qt::Key_S);
    QCOMPARE(ReadFile(file), std::string("[Header]\r\n[Table 1]"));
    // A character Windows-1252 has no code for: the file becomes UTF-8, nothing is lost.
    WriteFile(file, "Soci\xE9t\xE9\r\n");
    f.editor.LoadRecipeIntoEditor(file);
    Type(f.editor, "\u03A9");
    PressAltKey(f.editor.cmdSave, Qt::Key_S);
    QCOMPARE(ReadFile(file), std::string("Soci\xC3\xA9t\xC3\xA9\r\n\xCE\xA9\r\n"));
}

void ExportBuilderTest::escAsksBeforeDroppingEditsAndClosesUnchangedText() {
    const QString question = "You've edited the file, do you want to save your changes?";
    EditorFixture f;
    WriteFile(f.dir / "a.rcp", kTwoTables);
    auto open = [&] {
        f.editor.LoadRecipeIntoEditor(f.dir / "a.rcp");
        f.editor.show();
        f.editor.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.editor));
        f.editor.txtFileEditor.setFocus();
    };
    // Nothing changed: Esc closes without a word.
    open();
    QTest::keyClick(&f.editor.txtFileEditor, Qt::Key_Escape);
    QVERIFY(!f.editor.isVisible());
    QVERIFY(f.prompts->shown.empty());

    // Changed: Cancel goes on editing, No drops the edit, Yes saves it.
    open();
    Type(f.editor, "x");
    f.prompts->yesNoCancel = {Answer::Cancel};
    QTest::keyClick(&f.editor.txtFileEditor, Qt::Key_Escape);
    QVERIFY(f.editor.isVisible());
    QVERIFY(f.editor.bDirty);
    QVERIFY(f.editor.txtFileEditor.toPlainText().endsWith("x"));
    f.prompts->yesNoCancel = {Answer::No};
    QTest::keyClick(&f.editor.txtFileEditor, Qt::Key_Escape);
    QVERIFY(!f.editor.isVisible());
    QCOMPARE(ReadFile(f.dir / "a.rcp"), kTwoTables);
    open();
    Type(f.editor, "x");
    f.prompts->yesNoCancel = {Answer::Yes};
    QTest::keyClick(&f.editor.txtFileEditor, Qt::Key_Escape);
    QVERIFY(!f.editor.isVisible());
    QCOMPARE(ReadFile(f.dir / "a.rcp"), kTwoTables + "x\r\n");
    QCOMPARE(f.prompts->Texts("yes-no-cancel"), (QStringList{question, question, question}));

    // Alt+C is Close: it asks the designed Yes/No question.
    open();
    Type(f.editor, "y");
    f.prompts->yesNo = {false};
    PressAltKey(f.editor.cmdClose, Qt::Key_C);
    QVERIFY(!f.editor.isVisible());
    QCOMPARE(f.prompts->Texts("yes-no"), QStringList{question});
}

void ExportBuilderTest::declinedOverwriteKeepsNameStatusAndUnsavedState() {
    EditorFixture f;
    WriteFile(f.dir / "a.rcp", kTwoTables);
    WriteFile(f.dir / "b.rcp", "other");
    f.editor.LoadRecipeIntoEditor(f.dir / "a.rcp");
    Type(f.editor, "x");
    f.prompts->savePicks = {f.dir / "b.rcp", f.dir / "b.rcp"};
    f.prompts->yesNo = {false, true};
    f.editor.cmdSaveAs.click();
    QCOMPARE(f.prompts->Texts("yes-no"), QStringList{"Overwrite existing file: " +
                                                     QString::fromStdString(f.dir.File("b.rcp"))});
    QCOMPARE(f.editor.sLastRecipeFileName, f.dir / "a.rcp");
    QCOMPARE(f.editor.statusPanel1.text(), QString::fromStdString(f.dir.File("a.rcp")));
    QVERIFY(f.editor.bDirty);
    QCOMPARE(ReadFile(f.dir / "b.rcp"), std::string("other"));
    // The dialog: its title, its one filter, the recipe's folder.
    QCOMPARE(f.prompts->saveRequests.size(), size_t(1));
    const FileDialogRequest& request = f.prompts->saveRequests.front();
    QCOMPARE(request.title, QString("Save Recipe File As"));
    QCOMPARE(request.filters, QStringList{"Recipe Files(*.rcp)"});
    QCOMPARE(request.folder, f.dir.Path() / "");
    QVERIFY(request.fileName.empty());

    f.editor.cmdSaveAs.click();
    QCOMPARE(ReadFile(f.dir / "b.rcp"), kTwoTables + "x\r\n");
    QCOMPARE(f.editor.sLastRecipeFileName, f.dir / "b.rcp");
    QCOMPARE(f.editor.statusPanel1.text(), QString::fromStdString(f.dir.File("b.rcp")));
    QVERIFY(!f.editor.bDirty);
    QCOMPARE(ReadFile(f.dir / "a.rcp"), kTwoTables);
}

void ExportBuilderTest::closeAsksOnceAndCancelNever() {
    const QString question = "You've edited the file, do you want to save your changes?";
    {
        EditorFixture f;
        WriteFile(f.dir / "a.rcp", kTwoTables);
        f.editor.LoadRecipeIntoEditor(f.dir / "a.rcp");
        f.editor.show();
        Type(f.editor, "x");
        QSignalSpy finished(&f.editor, &QDialog::finished);
        f.prompts->yesNo = {false};
        f.editor.cmdClose.click();
        QCOMPARE(f.prompts->Texts("yes-no"), QStringList{question});
        QCOMPARE(finished.count(), 1);
        QVERIFY(!f.editor.isVisible());
        QCOMPARE(ReadFile(f.dir / "a.rcp"), kTwoTables);
    }
    {
        EditorFixture f;
        WriteFile(f.dir / "a.rcp", kTwoTables);
        f.editor.LoadRecipeIntoEditor(f.dir / "a.rcp");
        f.editor.show();
        Type(f.editor, "x");
        f.prompts->yesNo = {true};
        f.editor.cmdClose.click();
        QCOMPARE(f.prompts->Texts("yes-no"), QStringList{question});
        QCOMPARE(ReadFile(f.dir / "a.rcp"), kTwoTables + "x\r\n");
        QVERIFY(!f.editor.isVisible());
    }
    {
        EditorFixture f;
        WriteFile(f.dir / "a.rcp", kTwoTables);
        f.editor.LoadRecipeIntoEditor(f.dir / "a.rcp");
        f.editor.show();
        Type(f.editor, "x");
        f.editor.cmdCancel.click();
        QVERIFY(f.prompts->shown.empty());
        QVERIFY(!f.editor.isVisible());
        QCOMPARE(ReadFile(f.dir / "a.rcp"), kTwoTables);
    }
    {
        // Unedited text closes without a question.
        EditorFixture f;
        WriteFile(f.dir / "a.rcp", kTwoTables);
        f.editor.LoadRecipeIntoEditor(f.dir / "a.rcp");
        f.editor.show();
        f.editor.cmdClose.click();
        QVERIFY(f.prompts->shown.empty());
        QVERIFY(!f.editor.isVisible());
    }
}

void ExportBuilderTest::saveWithoutANameRunsSaveAs() {
    EditorFixture f;
    f.editor.LoadRecipeIntoEditor({});
    Type(f.editor, "; mine");
    // Cancelled: nothing written, still unsaved.
    f.editor.cmdSave.click();
    QCOMPARE(f.prompts->saveRequests.size(), size_t(1));
    QCOMPARE(f.prompts->saveRequests.front().folder, f.dir.Path());
    QVERIFY(f.editor.bDirty);
    QVERIFY(f.editor.sLastRecipeFileName.empty());
    // Named: written, and the name is taken.
    f.prompts->savePicks = {f.dir / "new.rcp"};
    f.editor.cmdSave.click();
    QCOMPARE(ReadFile(f.dir / "new.rcp"), std::string(kNewRecipeText) + "; mine\r\n");
    QCOMPARE(f.editor.sLastRecipeFileName, f.dir / "new.rcp");
    QCOMPARE(f.editor.statusPanel1.text(), QString::fromStdString(f.dir.File("new.rcp")));
    QVERIFY(!f.editor.bDirty);
    // The Close question's Yes on a nameless recipe also asks for a name; a
    // cancelled name keeps the window open with the text.
    EditorFixture g;
    g.editor.LoadRecipeIntoEditor({});
    g.editor.show();
    Type(g.editor, "x");
    g.prompts->yesNo = {true};
    g.editor.cmdClose.click();
    QCOMPARE(g.prompts->saveRequests.size(), size_t(1));
    QVERIFY(g.editor.isVisible());
    QVERIFY(g.editor.bDirty);
}

void ExportBuilderTest::aFailedSaveIsReportedAndKeepsTheTextAndTheEarlierFile() {
    EditorFixture f;
    WriteFile(f.dir / "a.rcp", kTwoTables);
    f.editor.LoadRecipeIntoEditor(f.dir / "a.rcp");
    Type(f.editor, "x");
    // A disk that takes no more: the write of the new text fails half way.
    FileSizeLimit limit(kTwoTables.size() / 2);
    f.editor.cmdSave.click();
    QStringList errors = f.prompts->Texts("error");
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.front().startsWith("Cannot save the recipe file " +
                                       QString::fromStdString(f.dir.File("a.rcp")) + ": "),
             qPrintable(errors.front()));
    QVERIFY2(errors.front().contains("File too large"), qPrintable(errors.front()));
    QVERIFY(f.editor.bDirty);
    QCOMPARE(f.editor.EditorText(), kTwoTables + "x");
    QCOMPARE(ReadFile(f.dir / "a.rcp"), kTwoTables);
    // The Close question's Yes with a failing save keeps the window open.
    f.editor.show();
    f.prompts->yesNo = {true};
    f.editor.cmdClose.click();
    QVERIFY(f.editor.isVisible());
    QCOMPARE(f.prompts->Texts("error").size(), 2);
    // Save As into a folder that does not exist: reported with the reason,
    // and the earlier name stays.
    const auto nowhere = f.dir / "missing" / "b.rcp";
    f.prompts->savePicks = {nowhere};
    f.editor.cmdSaveAs.click();
    errors = f.prompts->Texts("error");
    QCOMPARE(errors.size(), 3);
    QVERIFY2(errors.back().startsWith("Cannot save the recipe file " +
                                      QString::fromStdString(nowhere.string()) + ": "),
             qPrintable(errors.back()));
    QVERIFY2(errors.back().contains("No such file or directory"), qPrintable(errors.back()));
    QCOMPARE(f.editor.sLastRecipeFileName, f.dir / "a.rcp");
    QCOMPARE(f.editor.statusPanel1.text(), QString::fromStdString(f.dir.File("a.rcp")));
    QVERIFY(f.editor.bDirty);
    QVERIFY(!std::filesystem::exists(nowhere));
    // No temporary file is left beside the recipe.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(f.dir.Path()))
        ++files;
    QCOMPARE(files, 1);
}

void ExportBuilderTest::newAndReadFileAskBeforeDroppingEdits() {
    const QString question = "You've edited the file, do you want to save your changes?";
    EditorFixture f;
    WriteFile(f.dir / "a.rcp", kTwoTables);
    WriteFile(f.dir / "b.rcp", CrLf({"[Table 1]"}));
    f.editor.LoadRecipeIntoEditor(f.dir / "a.rcp");
    Type(f.editor, "x");
    // Cancel keeps everything as it is.
    f.prompts->yesNoCancel = {Answer::Cancel};
    f.editor.cmdNew.click();
    QCOMPARE(f.editor.EditorText(), kTwoTables + "x");
    QVERIFY(f.editor.bDirty);
    f.prompts->yesNoCancel = {Answer::Cancel};
    f.prompts->openPicks = {f.dir / "b.rcp"};
    f.editor.cmdLoadFile.click();
    QVERIFY(f.prompts->openRequests.empty());
    QCOMPARE(f.prompts->openPicks.size(), size_t(1)); // no dialog took it
    f.prompts->openPicks.clear();
    QCOMPARE(f.editor.EditorText(), kTwoTables + "x");
    QCOMPARE(f.prompts->Texts("yes-no-cancel"), (QStringList{question, question}));
    // No: the new header, unsaved edits dropped; the name stays, the count is 0.
    f.prompts->yesNoCancel = {Answer::No};
    f.editor.cmdNew.click();
    QCOMPARE(f.editor.EditorText(), std::string(kNewRecipeText));
    QCOMPARE(f.editor.ExportSpecs, std::string(kNewRecipeText));
    QCOMPARE(f.editor.windowTitle(), QString("Recipe Editor - Tables = 0"));
    QCOMPARE(f.editor.sLastRecipeFileName, f.dir / "a.rcp");
    QCOMPARE(ReadFile(f.dir / "a.rcp"), kTwoTables);
    // Yes: saved first, then the chosen recipe is read.
    Type(f.editor, "y");
    f.prompts->yesNoCancel = {Answer::Yes};
    f.editor.cmdLoadFile.click();
    QCOMPARE(ReadFile(f.dir / "a.rcp"), std::string(kNewRecipeText) + "y\r\n");
    QCOMPARE(f.prompts->openRequests.size(), size_t(1));
    QCOMPARE(f.editor.EditorText(), std::string(kNewRecipeText) + "y"); // picked nothing
    f.prompts->openPicks = {f.dir / "b.rcp"};
    f.editor.cmdLoadFile.click();
    QCOMPARE(f.editor.EditorText(), std::string("[Table 1]\r\n"));
    QCOMPARE(f.editor.TableCounter, 1);
    QCOMPARE(f.editor.sLastRecipeFileName, f.dir / "b.rcp");
    QVERIFY(!f.editor.bDirty);
    // Unedited text is replaced without a question.
    QCOMPARE(f.prompts->Texts("yes-no-cancel").size(), 4);
    f.editor.cmdNew.click();
    QCOMPARE(f.prompts->Texts("yes-no-cancel").size(), 4);
}

void ExportBuilderTest::readFileProposesTheRecipeBoxAndACancelChangesNothing() {
    EditorFixture f;
    f.recipeBox = "month.rcp";
    f.editor.LoadRecipeIntoEditor({});
    f.editor.cmdLoadFile.click();
    QCOMPARE(f.prompts->openRequests.size(), size_t(1));
    FileDialogRequest request = f.prompts->openRequests.back();
    QCOMPARE(request.title, QString("Select Recipe File"));
    QCOMPARE(request.filters, (QStringList{"Recipe Files (*.rcp)", "All Files (*.*)"}));
    QCOMPARE(request.folder, f.dir.Path());
    QCOMPARE(request.fileName, std::filesystem::path("month.rcp"));
    // With a recipe named, its folder, and no proposed name.
    WriteFile(f.dir / "sub" / "a.rcp", kTwoTables);
    f.editor.LoadRecipeIntoEditor(f.dir / "sub" / "a.rcp");
    Type(f.editor, "x");
    f.prompts->yesNoCancel = {Answer::No};
    f.editor.cmdLoadFile.click();
    request = f.prompts->openRequests.back();
    QCOMPARE(request.folder, f.dir.Path() / "sub" / "");
    QVERIFY(request.fileName.empty());
    // Cancelled: file name, status bar, text and unsaved state as they were.
    QCOMPARE(f.editor.sLastRecipeFileName, f.dir / "sub" / "a.rcp");
    QCOMPARE(f.editor.statusPanel1.text(), QString::fromStdString((f.dir / "sub/a.rcp").string()));
    QCOMPARE(f.editor.EditorText(), kTwoTables + "x");
    QVERIFY(f.editor.bDirty);
}

void ExportBuilderTest::aRecipeThatCannotBeReadIsReportedAndNotTaken() {
    EditorFixture f;
    WriteFile(f.dir / "a.rcp", kTwoTables);
    f.editor.LoadRecipeIntoEditor(f.dir / "a.rcp");
    // A report picked by mistake, far larger than any recipe.
    { std::ofstream big(f.dir / "huge.rcp"); }
    std::filesystem::resize_file(f.dir / "huge.rcp", kLargestRecipeFile + 1);
    f.editor.LoadRecipeIntoEditor(f.dir / "huge.rcp");
    const QStringList errors = f.prompts->Texts("error");
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.front().startsWith("Cannot read the recipe file " +
                                       QString::fromStdString(f.dir.File("huge.rcp"))),
             qPrintable(errors.front()));
    QCOMPARE(f.editor.sLastRecipeFileName, f.dir / "a.rcp");
    QCOMPARE(f.editor.EditorText(), kTwoTables);
    QCOMPARE(f.editor.TableCounter, 2);
    // A folder is no recipe: taken as a name not yet saved, like a missing file.
    f.editor.LoadRecipeIntoEditor(f.dir.Path());
    QCOMPARE(f.editor.EditorText(), kTwoTables);
}

void ExportBuilderTest::aSecondOpeningShowsThePreviousText() {
    EditorFixture f;
    WriteFile(f.dir / "a.rcp", kTwoTables);
    f.editor.LoadRecipeIntoEditor(f.dir / "a.rcp");
    f.editor.show();
    Type(f.editor, "typed, then cancelled");
    f.editor.cmdCancel.click();
    // The conversion form's box now names a recipe that does not exist.
    f.editor.LoadRecipeIntoEditor(f.dir / "b.rcp");
    QCOMPARE(f.editor.EditorText(), kTwoTablesRead);
    QCOMPARE(f.editor.windowTitle(), QString("Recipe Editor - Tables = 2"));
    QVERIFY(!f.editor.bDirty);
    QCOMPARE(f.editor.sLastRecipeFileName, f.dir / "b.rcp");
    // An opening after a new recipe without tables starts a new one again.
    f.editor.cmdNew.click();
    Type(f.editor, "; no tables");
    f.editor.cmdCancel.click();
    f.editor.show();
    QCOMPARE(f.editor.EditorText(), std::string(kNewRecipeText));
    QVERIFY(!f.editor.bDirty);
}

void ExportBuilderTest::helpShowsTheRecipeTopic() {
    EditorFixture f;
    f.editor.cmdHelp.click();
    QCOMPARE(f.helpTopics, std::vector<int>{13});
}

void ExportBuilderTest::theEditorOpensInPlaceAndItsControlsFollowAResize() {
    EditorFixture f;
    f.formTopLeft = QPoint(40, 30);
    f.editor.LoadRecipeIntoEditor({});
    const QPoint expected(40 + PixelsFromTwips(200, &f.editor),
                          30 + PixelsFromTwips(400, &f.editor));
    f.editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.editor));
    QCOMPARE(f.editor.pos(), expected);
    // Tab leaves the text rather than putting a tab character in a template.
    f.editor.txtFileEditor.setFocus();
    QTRY_VERIFY(f.editor.txtFileEditor.hasFocus());
    QTest::keyClick(&f.editor.txtFileEditor, Qt::Key_Tab);
    QVERIFY(f.editor.cmdNew.hasFocus());
    QVERIFY(!f.editor.txtFileEditor.toPlainText().contains('\t'));
    for (const QSize size : {QSize(900, 600), QSize(640, 420)}) {
        f.editor.resize(size);
        QCOMPARE(f.editor.size(), size);
        const int frameLeft =
            size.width() - f.editor.frameButtons.width() - PixelsFromTwips(100, &f.editor);
        QCOMPARE(f.editor.frameButtons.x(), frameLeft);
        QCOMPARE(f.editor.txtFileEditor.width(), frameLeft - PixelsFromTwips(200, &f.editor));
        QCOMPARE(f.editor.txtFileEditor.height(),
                 size.height() - f.editor.StatusBar1.height() - PixelsFromTwips(200, &f.editor));
        QCOMPARE(f.editor.StatusBar1.geometry().bottom(), size.height() - 1);
        // Every button shows its whole caption.
        for (const QPushButton* button : f.editor.frameButtons.findChildren<QPushButton*>())
            QVERIFY(button->width() >= button->sizeHint().width());
    }
}

QTEST_MAIN(ExportBuilderTest)
#include "ExportBuilderTest.moc"
