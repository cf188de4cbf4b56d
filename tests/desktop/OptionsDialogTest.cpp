// The options dialog: Cancel changes nothing, Apply edits the form's
// settings, which reach the next job and config.ini, and a tab size that is
// no whole number from 1 to 64 is refused with a message.
#include "DesktopTestSupport.h"
#include "desktop/frmMain.h"
#include "desktop/frmVOKOptions.h"
#include "recipe/ProfileFile.h"
#include "support/RunProgram.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace vok::test {

namespace {

// Answers the options dialog the next time it opens.
void WhenOptionsOpen(const std::function<void(frmVOKOptions&)>& answer) {
    QTimer::singleShot(0, [answer] {
        auto* dialog = dynamic_cast<frmVOKOptions*>(QApplication::activeModalWidget());
        if (dialog) answer(*dialog);
    });
}

template <typename T> T* In(QWidget& dialog, const char* name) {
    return dialog.findChild<T*>(QLatin1String(name));
}

} // namespace

class OptionsDialogTest : public QObject {
    Q_OBJECT

private slots:
    void OpensWithTheFormsValuesAndCancelChangesNothing() {
        DesktopFixture f;
        f.Open(CrLf({"[General]", "lTabSize=3", "bShowExcel=FALSE", "sSheetTarget=Data"}));
        const std::string before = ReadFile(f.program.gConfigFile);
        bool seen = false;
        WhenOptionsOpen([&](frmVOKOptions& d) {
            seen = true;
            QCOMPARE(d.windowTitle(), QStringLiteral("VOK Wizard Options"));
            auto* tabs = In<QTabWidget>(d, "tsDisplay");
            QCOMPARE(tabs->currentIndex(), 0);
            QCOMPARE(tabs->tabText(0), QStringLiteral("General"));
            QCOMPARE(tabs->tabText(1), QStringLiteral("Input Text File"));
            QCOMPARE(tabs->tabText(2), QStringLiteral("Output Excel File"));
            QCOMPARE(In<QLineEdit>(d, "txtTabSize")->text(), QStringLiteral("3"));
            QVERIFY(!In<QCheckBox>(d, "cbShowExcel")->isChecked());
            QVERIFY(In<QCheckBox>(d, "cbClearOutputFileBeforeProcessing")->isChecked());
            QCOMPARE(In<QLineEdit>(d, "txtSheetTarget")->text(), QStringLiteral("Data"));
            In<QLineEdit>(d, "txtTabSize")->setText(QStringLiteral("5"));
            In<QCheckBox>(d, "cbShowExcel")->setChecked(true);
            QTest::mouseClick(In<QPushButton>(d, "cmdCancel"), Qt::LeftButton);
        });
        f.Find<QAction>("KeyOptions")->trigger();
        QVERIFY(seen);
        QCOMPARE(f.Form().Settings().lTabSize, 3);
        QVERIFY(!f.Form().Settings().bShowExcel);
        QCOMPARE(ReadFile(f.program.gConfigFile), before);
    }

    void ApplyRefusesATabSizeOutsideOneTo64AndKeepsACommaInTheSheet() {
        FormSettings settings;
        RecordingMessages messages;
        frmVOKOptions dialog(settings, messages);
        auto* tab = In<QLineEdit>(dialog, "txtTabSize");
        for (const char* bad : {"", "four", "0", "65", "4.5", "-2"}) {
            tab->setText(QLatin1String(bad));
            QVERIFY2(!dialog.Apply(), bad);
        }
        QCOMPARE(messages.shown.size(), size_t(6));
        QCOMPARE(messages.shown[0].text,
                 std::string("Tab Size must be a whole number from 1 to 64"));
        QCOMPARE(settings.lTabSize, 8);
        QCOMPARE(In<QTabWidget>(dialog, "tsDisplay")->currentIndex(), 1);
        tab->setText(QStringLiteral(" 64 "));
        In<QLineEdit>(dialog, "txtSheetTarget")->setText(QStringLiteral("Budget, Expense"));
        In<QCheckBox>(dialog, "cbClearOutputFileBeforeProcessing")->setChecked(false);
        QVERIFY(dialog.Apply());
        QCOMPARE(settings.lTabSize, 64);
        QCOMPARE(settings.sSheetTarget, std::string("Budget, Expense"));
        QVERIFY(!settings.bClearOutputFileBeforeProcessing);
    }

    // A tab size of 4 applied in the dialog: the next job reads tab stops
    // every 4 columns, as the command line does with "-t 4", and config.ini
    // holds it after the window closes.
    void AppliedTabSizeReachesTheNextJobAndConfig() {
        DesktopFixture f;
        f.Open();
        WriteFile(f.dir / "tabs.txt",
                  CrLf({">>1", "------------ ------------", "a\tb\tc\td", "abcde\tf", "<<1"}));
        f.Type("cbInputFile", QString::fromStdString(f.dir.File("tabs.txt")));
        f.Type("cbOutputFile", QString::fromStdString(f.dir.File("tabs.csv")));
        WhenOptionsOpen([](frmVOKOptions& d) {
            In<QLineEdit>(d, "txtTabSize")->setText(QStringLiteral("4"));
            In<QLineEdit>(d, "txtSheetTarget")->setText(QStringLiteral("Budget, Expense"));
            QTest::mouseClick(In<QPushButton>(d, "cmdApply"), Qt::LeftButton);
        });
        f.Find<QAction>("KeyOptions")->trigger();
        QCOMPARE(f.Form().Settings().lTabSize, 4);
        QVERIFY(f.Form().BeginProcessing());
        QTRY_VERIFY_WITH_TIMEOUT(!f.Form().JobRunning(), 30000);
        QCOMPARE(f.Form().Options().lTabSize, 4);
        QCOMPARE(f.Form().Options().sSheetTarget, std::string("Budget, Expense"));
        // Tab stops every 4: "a\tb\tc\td" is "a   b   c   d", as with "-t 4".
        const std::string csv = ReadFile(f.dir / "tabs.csv");
        QVERIFY(csv.rfind("a   b   c   d", 0) == 0);
        TempDir home;
        const RunResult cli =
            RunVok({"-i", f.dir.File("tabs.txt"), "-o", f.dir.File("cli.csv"), "-t", "4"},
                   home.Path().string());
        QCOMPARE(cli.exitCode, 0);
        QCOMPARE(csv, ReadFile(f.dir / "cli.csv"));
        f.window->close();
        const ProfileFile saved(f.program.gConfigFile);
        QCOMPARE(saved.Get("General", "lTabSize", "-"), std::string("4"));
        QCOMPARE(saved.Get("General", "sSheetTarget", "-"), std::string("Budget, Expense"));
        // The tab notice was shown, once for good.
        QCOMPARE(saved.Get("General", "bWarnedAboutTabsInFile", "-"), std::string("TRUE"));
    }
};

int RunOptionsDialogTest(int argc, char** argv) {
    OptionsDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace vok::test

#include "OptionsDialogTest.moc"
