// The conversion form's controls as a user meets them: the pattern-dependent
// controls, the folder and file pickers, help and Edit buttons, the settings
// it reads, and the main window's size and placement.
#include "DesktopTestSupport.h"
#include "base/HelpTopics.h"
#include "desktop/DesktopMain.h"
#include "desktop/frmMain.h"
#include "desktop_services/modPickFolder.h"
#include "desktop_services/modUtilityForm.h"
#include "editor/frmExportBuilder.h"
#include "recipe/ProfileFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace vok::test {

class ConversionFormTest : public QObject {
    Q_OBJECT

private slots:
    void InputFolderGivesAPatternAndShowsTheTwoCheckBoxes() {
        DesktopFixture f;
        f.Open();
        auto* subfolders = f.Find<QCheckBox>("cbDoSubfolders");
        auto* original = f.Find<QCheckBox>("cbSaveToOriginalFolder");
        QVERIFY(subfolders->isHidden());
        QVERIFY(original->isHidden());
        QVERIFY(!f.Find<QPushButton>("cmdEditInput")->isHidden());

        // Cancel changes nothing.
        f.Type("cbInputFile", QStringLiteral("/data/old.txt"));
        f.shell.folderAnswer.clear();
        QTest::mouseClick(f.Find<QPushButton>("cmdSelectInputFolder"), Qt::LeftButton);
        QCOMPARE(f.shell.folderRequests.size(), size_t(1));
        QCOMPARE(f.shell.folderRequests[0], QStringLiteral("/data/old.txt"));
        QCOMPARE(f.Box("cbInputFile")->currentText(), QStringLiteral("/data/old.txt"));

        f.shell.folderAnswer = QStringLiteral("/data");
        QTest::mouseClick(f.Find<QPushButton>("cmdSelectInputFolder"), Qt::LeftButton);
        QCOMPARE(f.Box("cbInputFile")->currentText(), QStringLiteral("/data\\*.TXT"));
        QVERIFY(!subfolders->isHidden());
        QVERIFY(!original->isHidden());
        QVERIFY(f.Find<QPushButton>("cmdEditInput")->isHidden());
        QVERIFY(f.Find<QPushButton>("cmdOutputBrowse")->isHidden());
        QVERIFY(f.Find<QPushButton>("cmdEditOutput")->isHidden());
        QVERIFY(!f.Find<QPushButton>("cmdSelectOutputFolder")->isHidden());
    }

    void OutputFolderKeepsTheOldExtension() {
        DesktopFixture f;
        f.Open();
        f.Type("cbInputFile", QStringLiteral("c:\\in\\*.txt"));
        f.shell.folderAnswer = QStringLiteral("/out");
        f.Type("cbOutputFile", QStringLiteral("c:\\old\\x.xls"));
        QTest::mouseClick(f.Find<QPushButton>("cmdSelectOutputFolder"), Qt::LeftButton);
        QCOMPARE(f.Box("cbOutputFile")->currentText(), QStringLiteral("/out\\*.xls"));
        // The picker starts where the box points, as a path.
        QCOMPARE(f.shell.folderRequests.back(), QStringLiteral("c:/old/x.xls"));
        f.Type("cbOutputFile", QString());
        QTest::mouseClick(f.Find<QPushButton>("cmdSelectOutputFolder"), Qt::LeftButton);
        QCOMPARE(f.Box("cbOutputFile")->currentText(), QStringLiteral("/out\\*."));
    }

    void SingleFileHidesAndUnticksAndOriginalFolderHidesTheOutput() {
        DesktopFixture f;
        f.Open();
        auto* original = f.Find<QCheckBox>("cbSaveToOriginalFolder");
        f.Type("cbInputFile", QStringLiteral("/in/*.txt"));
        original->setChecked(true);
        // The output box and its folder button go; the box keeps its text.
        QVERIFY(f.Box("cbOutputFile")->isHidden());
        QVERIFY(f.Find<QPushButton>("cmdSelectOutputFolder")->isHidden());
        original->setChecked(false);
        QVERIFY(!f.Box("cbOutputFile")->isHidden());
        original->setChecked(true);
        // A path without "*" hides both check boxes and unticks the second.
        f.Type("cbInputFile", QStringLiteral("/in/a.txt"));
        QVERIFY(f.Find<QCheckBox>("cbDoSubfolders")->isHidden());
        QVERIFY(original->isHidden());
        QVERIFY(!original->isChecked());
        QVERIFY(!f.Box("cbOutputFile")->isHidden());
        QVERIFY(!f.Find<QPushButton>("cmdEditOutput")->isHidden());
    }

    void SettingsAndListsAreReadAtLoad() {
        DesktopFixture f;
        f.Open(
            CrLf({"[General]", "bShowExcel=no", "bClearOutputFileBeforeProcessing=False",
                  "lTabSize=x4", "sSheetTarget=Budget, Expense", "UseRecipeFile=YES", "",
                  "[mruInputFile]", "mruInputFile19=/in/older.txt", "mruInputFile20=/in/newest.txt",
                  "[mruRecipeFile]", "mruRecipeFile20=/r/m.rcp"}));
        const FormSettings& s = f.Form().Settings();
        QVERIFY(s.bShowExcel); // only "FALSE" reads as false
        QVERIFY(!s.bClearOutputFileBeforeProcessing);
        QCOMPARE(s.lTabSize, 8); // no whole number
        QCOMPARE(s.sSheetTarget, std::string("Budget, Expense"));
        QVERIFY(f.Find<QRadioButton>("rbUseRecipe0")->isChecked());
        QVERIFY(!f.Find<QGroupBox>("frameInnerGUI0")->isHidden());
        QVERIFY(f.Find<QGroupBox>("frameInnerGUI1")->isHidden());
        QCOMPARE(f.Box("cbInputFile")->currentText(), QStringLiteral("/in/newest.txt"));
        QCOMPARE(f.Box("cbInputFile")->count(), 2);
        QCOMPARE(f.Box("cbRecipeFile")->currentText(), QStringLiteral("/r/m.rcp"));
        QCOMPARE(f.Box("cbOutputFile")->currentText(), QString());
        QVERIFY(f.messages.shown.empty());
        // The other method shows the other inner frame.
        QTest::mouseClick(f.Find<QRadioButton>("rbUseRecipe1"), Qt::LeftButton);
        QVERIFY(f.Find<QGroupBox>("frameInnerGUI0")->isHidden());
        QVERIFY(!f.Find<QGroupBox>("frameInnerGUI1")->isHidden());
    }

    // config.ini gone when the form loads: the message, then lists that work.
    void MissingConfigIsSaidAndTheListsStillWork() {
        DesktopFixture f;
        f.window = std::make_unique<frmMainMDI>(f.program, f.messages, f.shell.Shell());
        f.window->Load();
        QCOMPARE(f.messages.Texts(),
                 std::vector<std::string>{f.program.gConfigFile.string() + " can not be found!"});
        QCOMPARE(f.messages.shown[0].icon, MessageIcon::Critical);
        f.Form().mruInputFile.AddUniqueItemToCollection("/in/a.txt");
        f.window->close();
        const ProfileFile saved(f.program.gConfigFile);
        QCOMPARE(saved.Get("mruInputFile", "mruInputFile20", "-"), std::string("/in/a.txt"));
        QCOMPARE(saved.Get("General", "UseRecipeFile", "-"), std::string("NO"));
    }

    void FileDialogsStartWhereTheBoxPointsAndCancelChangesNothing() {
        DesktopFixture f;
        f.Open();
        f.Type("cbInputFile", QStringLiteral("\\data\\in\\a.txt"));
        f.shell.fileAnswer.clear();
        QTest::mouseClick(f.Find<QPushButton>("cmdInputBrowse"), Qt::LeftButton);
        QCOMPARE(f.Box("cbInputFile")->currentText(), QStringLiteral("\\data\\in\\a.txt"));
        OpenFileRequest r = f.shell.fileRequests.back();
        QCOMPARE(r.title, QStringLiteral("Select Text File to Convert"));
        QCOMPARE(r.filter, QStringLiteral("Reports (*.txt *.prn *.pdf);;All Files (*)"));
        QCOMPARE(r.startFolder, QStringLiteral("/data/in/"));
        QVERIFY(r.mustExist);

        // An empty box starts in the program folder.
        f.shell.fileAnswer = QStringLiteral("/data/out/new.xlsx");
        QTest::mouseClick(f.Find<QPushButton>("cmdOutputBrowse"), Qt::LeftButton);
        r = f.shell.fileRequests.back();
        QCOMPARE(r.title, QStringLiteral("Select Output File"));
        QCOMPARE(r.startFolder, QString::fromStdString(f.dir.Path().native()));
        QVERIFY(!r.mustExist); // a new output name may be typed
        QCOMPARE(f.Box("cbOutputFile")->currentText(), QStringLiteral("/data/out/new.xlsx"));

        f.Find<QRadioButton>("rbUseRecipe0")->click();
        f.shell.fileAnswer = QStringLiteral("/r/month.rcp");
        f.Find<QPushButton>("cmdRecipeBrowse")->click();
        QCOMPARE(f.shell.fileRequests.back().title, QStringLiteral("Select Recipe File"));
        QCOMPARE(f.shell.fileRequests.back().filter,
                 QStringLiteral("Recipe Files (*.rcp);;All Files (*)"));
        QCOMPARE(f.Box("cbRecipeFile")->currentText(), QStringLiteral("/r/month.rcp"));
    }

    void HelpButtonsMenusAndEditButtonsOpenTheirPages() {
        DesktopFixture f;
        f.Open();
        const std::pair<const char*, int32_t> buttons[] = {
            {"cmdHelpInputFile", 14}, {"cmdHelpConversionMethod", 15}, {"cmdHelpMarkup", 12}};
        for (const auto& [name, topic] : buttons) {
            QTest::mouseClick(f.Find<QPushButton>(name), Qt::LeftButton);
            QCOMPARE(f.shell.opened.back(),
                     QUrl::fromLocalFile(QString::fromStdString(HelpPageFile(topic).native())));
        }
        f.Find<QAction>("mnuHelp")->trigger();
        QVERIFY(
            f.shell.opened.back().toLocalFile().endsWith(QStringLiteral("/help/vok-wizard.htm")));
        f.Find<QAction>("mnuHelpProductUpdates")->trigger();
        QVERIFY(f.shell.opened.back().toLocalFile().endsWith(
            QStringLiteral("/help/revision_history.htm")));
        f.Find<QAction>("mnuHelpHowToUse")->trigger();
        QVERIFY(f.shell.opened.back().toLocalFile().endsWith(QStringLiteral("/howdoiuseit_.htm")));
        QCOMPARE(f.shell.opened.size(), size_t(6));
        QVERIFY(f.messages.shown.empty());

        // Edit opens what the box names, or says it is not there.
        WriteFile(f.dir / "in.txt", "x");
        f.Type("cbInputFile", QString::fromStdString(f.dir.File("in.txt")));
        QTest::mouseClick(f.Find<QPushButton>("cmdEditInput"), Qt::LeftButton);
        QCOMPARE(f.shell.opened.back(),
                 QUrl::fromLocalFile(QString::fromStdString(f.dir.File("in.txt"))));
        f.Type("cbOutputFile", QStringLiteral("/nowhere/x.csv"));
        QTest::mouseClick(f.Find<QPushButton>("cmdEditOutput"), Qt::LeftButton);
        QCOMPARE(f.messages.Texts(),
                 std::vector<std::string>{"File/Folder does not exist:\r\n\r\n/nowhere/x.csv"});
        QCOMPARE(f.shell.opened.size(), size_t(7));

        // A PDF report (any name) opens as the text vok reads from it, a
        // read-only copy that goes with the window.
        std::filesystem::copy_file(std::filesystem::path(VOK_TEST_DATA) / "pdf/three-pages.pdf",
                                   f.dir / "stock.prn");
        f.Type("cbInputFile", QString::fromStdString(f.dir.File("stock.prn")));
        QTest::mouseClick(f.Find<QPushButton>("cmdEditInput"), Qt::LeftButton);
        QCOMPARE(f.shell.opened.size(), size_t(8));
        const std::filesystem::path text = f.shell.opened.back().toLocalFile().toStdString();
        QVERIFY(text.native().ends_with(".txt"));
        const std::string lines = ReadFile(text);
        QVERIFY(lines.starts_with("ACME SUPPLY                    STOCK REPORT            PAGE 1\n"));
        QVERIFY(lines.find("\n\fACME SUPPLY") != std::string::npos);
        QCOMPARE(f.messages.shown.size(), size_t(1));
        f.window.reset();
        QVERIFY(!std::filesystem::exists(text));
    }

    void ControlsCaptionsAndTheToolbar() {
        DesktopFixture f;
        f.Open();
        QCOMPARE(f.window->windowTitle(),
                 QStringLiteral("VOK Wizard - Document To CSV/XLS Conversion"));
        QCOMPARE(f.Find<QPushButton>("cmdInputBrowse")->text(), QStringLiteral("File.."));
        QCOMPARE(f.Find<QPushButton>("cmdSelectInputFolder")->text(), QStringLiteral("Folder.."));
        QCOMPARE(f.Find<QPushButton>("cmdInputBrowse")->toolTip(),
                 QStringLiteral("Select Input File"));
        QCOMPARE(f.Find<QCheckBox>("cbSaveToOriginalFolder")->text(),
                 QStringLiteral("Save to &Original folder"));
        QAction* convert = f.Find<QAction>("keyConvert");
        QCOMPARE(convert->text(), QStringLiteral("Convert"));
        QCOMPARE(convert->toolTip(), QStringLiteral("Begin Conversion (F5)"));
        QCOMPARE(convert->shortcut(), QKeySequence(Qt::Key_F5));
        QVERIFY(convert->isEnabled());
        QVERIFY(!f.Find<QAction>("keyPause")->isEnabled());
        QCOMPARE(f.Find<QAction>("keyPause")->text(), QStringLiteral("&Pause"));
        QCOMPARE(f.Find<QAction>("mnuHelp")->shortcut(), QKeySequence(Qt::Key_F1));
        QStringList menus;
        for (QAction* a : f.window->menuBar()->actions())
            if (a->isVisible()) menus << a->text();
        QCOMPARE(menus, (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit"),
                                     QStringLiteral("&Help")}));
        QCOMPARE(f.Panel("sbMainPanel1"), QStringLiteral(" Progress:"));
        QCOMPARE(f.Panel("sbMainPanel5"), QStringLiteral("Total Time (Sec):"));
        QCOMPARE(f.Panel("sbCurrentFilePanel1"), QStringLiteral("Processing File:"));
    }

    // Alt and a menu's letter open that menu, as a keyboard user expects;
    // Alt+F, X leaves the program and saves as any close does.
    void EachMenuOpensWithItsAltKeyAndAltFXExits() {
        DesktopFixture f;
        f.Open();
        f.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        const std::pair<Qt::Key, const char*> menus[] = {
            {Qt::Key_F, "mnuFile"}, {Qt::Key_E, "mnuEdit"}, {Qt::Key_H, "mnuHelpMenu"}};
        for (const auto& [key, name] : menus) {
            QTest::keyClick(f.window.get(), key, Qt::AltModifier);
            QWidget* popup = QApplication::activePopupWidget();
            QVERIFY2(popup, name);
            QCOMPARE(popup->objectName(), QString::fromLatin1(name));
            QTest::keyClick(popup, Qt::Key_Escape);
            // Escape leaves the menu bar with the highlight; a second leaves the bar.
            if (QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
            QTest::keyClick(f.window->menuBar(), Qt::Key_Escape);
            QVERIFY(!QApplication::activePopupWidget());
        }
        QTest::keyClick(f.window.get(), Qt::Key_F, Qt::AltModifier);
        QWidget* file = QApplication::activePopupWidget();
        QVERIFY(file);
        QTest::keyClick(file, Qt::Key_X);
        QTRY_VERIFY(!f.window->isVisible());
        const ProfileFile saved(f.program.gConfigFile);
        QCOMPARE(saved.Get("frmMainMDI", "WindowState", "-"), std::string("0"));
    }

    void SizeSnapsBackToTheMinimumAndThePlacementIsKept() {
        DesktopFixture f;
        f.Open(CrLf({"[frmMainMDI]", "WindowState=0", "Left=1500", "Top=900", "Width=9000",
                     "Height=7500"}));
        QMainWindow& w = *f.window;
        QCOMPARE(w.size(), QSize(PixelsFromTwips(9000, &w), PixelsFromTwips(7500, &w)));
        w.resize(PixelsFromTwips(5000, &w), PixelsFromTwips(4000, &w));
        QCOMPARE(w.size(), QSize(PixelsFromTwips(6030, &w), PixelsFromTwips(7000, &w)));
        // Whole pixels: 15 twips each at the usual 96 dots per inch.
        w.resize(PixelsFromTwips(12000, &w), PixelsFromTwips(8100, &w));
        w.close();
        const ProfileFile saved(f.program.gConfigFile);
        QCOMPARE(saved.Get("frmMainMDI", "WindowState", "-"), std::string("0"));
        QCOMPARE(saved.Get("frmMainMDI", "Width", "-"), std::string("12000"));
        QCOMPARE(saved.Get("frmMainMDI", "Height", "-"), std::string("8100"));
        QCOMPARE(saved.Get("frmMainMDI", "Left", "-"),
                 std::to_string(TwipsFromPixels(w.pos().x(), &w)));

        // A value that is no number ends the reading: the size stays the default.
        DesktopFixture g;
        g.Open(CrLf({"[frmMainMDI]", "Left=x", "Width=9000", "Height=7500"}));
        QCOMPARE(g.window->size(), QSize(PixelsFromTwips(11000, g.window.get()),
                                         PixelsFromTwips(7000, g.window.get())));
    }

    // "Edit Recipe" and "&Recipe Editor..." open one editor, kept between
    // openings, with the recipe box's file; the box then names its recipe.
    void RecipeEditorOpensTheBoxsRecipeAndIsKept() {
        DesktopFixture f;
        f.Open(CrLf({"[General]", "UseRecipeFile=YES"}));
        std::filesystem::copy_file(Example("trial-balance.rcp"), f.dir / "month.rcp");
        f.Type("cbRecipeFile", QString::fromStdString(f.dir.File("month.rcp")));
        frmExportBuilder* seen = nullptr;
        QString caption, text;
        QPoint editorAt, formAt;
        auto closeEditor = [&](bool help) {
            QTimer::singleShot(0, [&, help] {
                seen = dynamic_cast<frmExportBuilder*>(QApplication::activeModalWidget());
                if (!seen) return;
                caption = seen->windowTitle();
                text = seen->txtFileEditor.toPlainText();
                editorAt = seen->pos();
                formAt = f.Form().mapToGlobal(QPoint(0, 0));
                if (help) seen->cmdHelp.click();
                seen->cmdClose.click();
            });
        };
        closeEditor(true);
        QTest::mouseClick(f.Find<QPushButton>("cmdEditRecipe"), Qt::LeftButton);
        QVERIFY(seen);
        QCOMPARE(seen, f.Form().RecipeEditor());
        QCOMPARE(caption, QStringLiteral("Recipe Editor - Tables = 2"));
        QVERIFY(text.contains(QStringLiteral("ReadStartLine=PAGE 2")));
        // Below and right of the conversion form.
        QVERIFY(editorAt.x() > formAt.x() && editorAt.y() > formAt.y());
        // Its help is the recipe method's page.
        QCOMPARE(f.shell.opened.back(),
                 QUrl::fromLocalFile(QString::fromStdString(HelpPageFile(13).native())));
        QCOMPARE(f.Box("cbRecipeFile")->currentText(),
                 QString::fromStdString(f.dir.File("month.rcp")));

        // A name that is no file yet: the editor starts it, the box keeps it.
        f.Type("cbRecipeFile", QString::fromStdString(f.dir.File("new.rcp")));
        closeEditor(false);
        f.Find<QAction>("frmEditRecipe")->trigger();
        QCOMPARE(seen, f.Form().RecipeEditor()); // the same editor
        QVERIFY(caption.startsWith(QStringLiteral("Recipe Editor - Tables = ")));
        QCOMPARE(f.Box("cbRecipeFile")->currentText(),
                 QString::fromStdString(f.dir.File("new.rcp")));
    }

    // The file the program is started with (vok-desktop FILE): a report goes
    // into step 1; a recipe or export-specs file, in any case of its
    // extension, into step 2 with the recipe method, and the editor opens on it.
    void AGivenFileTakesItsPlace() {
        DesktopFixture f;
        f.Open(CrLf({"[General]", "UseRecipeFile=NO"}));
        const std::string report = f.dir.File("ledger.txt");
        f.Form().OpenGivenFile(report);
        QCOMPARE(f.Box("cbInputFile")->currentText(), QString::fromStdString(report));
        QVERIFY(f.Find<QRadioButton>("rbUseRecipe1")->isChecked());
        QVERIFY(!f.Form().RecipeEditor());

        for (const char* name : {"month.RCP", "long.t2x"}) {
            std::filesystem::copy_file(Example("trial-balance.rcp"), f.dir / name);
            QString text;
            QTimer::singleShot(0, [&] {
                auto* editor = dynamic_cast<frmExportBuilder*>(QApplication::activeModalWidget());
                if (!editor) return;
                text = editor->txtFileEditor.toPlainText();
                editor->cmdClose.click();
            });
            f.Form().OpenGivenFile(f.dir / name);
            QVERIFY2(text.contains(QStringLiteral("ReadStartLine=PAGE 2")), name);
            QVERIFY(f.Find<QRadioButton>("rbUseRecipe0")->isChecked());
            QCOMPARE(f.Box("cbRecipeFile")->currentText(), QString::fromStdString(f.dir.File(name)));
            QCOMPARE(f.Box("cbInputFile")->currentText(), QString::fromStdString(report));
        }
    }

    // vok-desktop opens the window on one existing file; options, several
    // arguments or a name that is no file are a command line.
    void OnlyOneExistingFileOpensTheWindow() {
        TempDir dir;
        WriteFile(dir / "month.rcp", "[Header]\r\n");
        std::filesystem::create_directory(dir / "folder");
        const auto open = [&](std::vector<std::string> args) {
            return FileToOpen(args, dir.Path());
        };
        QCOMPARE(open({"month.rcp"}).value(), dir / "month.rcp");
        QCOMPARE(open({dir.File("month.rcp")}).value(), dir / "month.rcp");
        QVERIFY(!open({}));
        QVERIFY(!open({"missing.rcp"}));
        QVERIFY(!open({"folder"}));
        QVERIFY(!open({"-i"}));
        QVERIFY(!open({"/?"}));
        QVERIFY(!open({"month.rcp", "month.rcp"}));
    }

    // The real folder chooser: its title, where it starts, and Cancel.
    void PickFolderStartsInTheFolderAndDropsTheSeparator() {
        TempDir dir;
        std::filesystem::create_directory(dir / "sub");
        QCOMPARE(DropOneTrailingSeparator(QStringLiteral("/data/")), QStringLiteral("/data"));
        QCOMPARE(DropOneTrailingSeparator(QStringLiteral("/")), QStringLiteral("/"));
        QString title, start;
        bool accept = true;
        auto answer = [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            title = dialog->windowTitle();
            start = dialog->directory().absolutePath();
            if (accept) {
                static_cast<QDialog*>(dialog)->accept();
            } else {
                dialog->reject();
            }
        };
        QTimer::singleShot(200, answer);
        const QString chosen = PickFolder(nullptr, QString::fromStdString(dir.File("sub") + "/"));
        QCOMPARE(title, QStringLiteral("Browse For Folder"));
        QCOMPARE(start, QString::fromStdString(dir.File("sub")));
        QCOMPARE(chosen, QString::fromStdString(dir.File("sub")));
        accept = false;
        QTimer::singleShot(200, answer);
        QCOMPARE(PickFolder(nullptr, QString::fromStdString(dir.File("sub/a.txt"))), QString());
        QCOMPARE(start, QString::fromStdString(dir.File("sub")));
    }
};

int RunConversionFormTest(int argc, char** argv) {
    ConversionFormTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace vok::test

#include "ConversionFormTest.moc"
