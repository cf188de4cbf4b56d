// The real boxes and file dialogs behind the editor's prompts: caption, text,
// icon and buttons, and the answer each button gives.
#include "EditorTestSupport.h"
#include "editor/EditorPrompts.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

using namespace vok;
using namespace vok::test;

class QtPromptsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        failures_.clear();
        seen_.clear();
    }
    void boxesAnswerWithTheButtonPressed();
    void fileDialogsStartWhereAskedAndGiveThePath();

private:
    // Presses `button` (Escape for NoButton) in the next message box and
    // notes what the box showed.
    void Answer(QMessageBox::StandardButton button) {
        OnModal<QMessageBox>(context_, failures_, [this, button](QMessageBox& box) {
            seen_ << box.windowTitle() + "|" + box.text() + "|" +
                         QString::number(static_cast<int>(box.icon())) + "|" +
                         QString::number(static_cast<int>(box.standardButtons()), 16);
            if (button == QMessageBox::NoButton)
                QTest::keyClick(&box, Qt::Key_Escape);
            else
                box.button(button)->click();
        });
    }

    QObject context_;
    QStringList failures_;
    QStringList seen_;
};

void QtPromptsTest::boxesAnswerWithTheButtonPressed() {
    QtEditorPrompts prompts;
    QWidget owner;
    const vok::Answer expected[] = {vok::Answer::Yes, vok::Answer::No, vok::Answer::Cancel,
                                    vok::Answer::Cancel};
    const QMessageBox::StandardButton pressed[] = {QMessageBox::Yes, QMessageBox::No,
                                                   QMessageBox::Cancel, QMessageBox::NoButton};
    for (int i = 0; i < 4; ++i) {
        Answer(pressed[i]);
        QCOMPARE(prompts.AskYesNoCancel(&owner, "Save?"), expected[i]);
    }
    Answer(QMessageBox::Yes);
    QVERIFY(prompts.AskYesNo(&owner, "Overwrite?"));
    Answer(QMessageBox::No);
    QVERIFY(!prompts.AskYesNo(&owner, "Overwrite?"));
    Answer(QMessageBox::NoButton);
    QVERIFY(!prompts.AskYesNo(&owner, "Overwrite?"));
    Answer(QMessageBox::Ok);
    prompts.Warn(&owner, "Top Key Text should not be a blank!");
    Answer(QMessageBox::Ok);
    prompts.ReportError(&owner, "Cannot save");
    QVERIFY2(failures_.isEmpty(), qPrintable(failures_.join("; ")));
    const QString question = QString::number(QMessageBox::Question);
    const QString yesNoCancel =
        QString::number(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, 16);
    const QString yesNo = QString::number(QMessageBox::Yes | QMessageBox::No, 16);
    const QString ok = QString::number(QMessageBox::Ok, 16);
    QCOMPARE(seen_,
             (QStringList{
                 "VOK Wizard|Save?|" + question + "|" + yesNoCancel,
                 "VOK Wizard|Save?|" + question + "|" + yesNoCancel,
                 "VOK Wizard|Save?|" + question + "|" + yesNoCancel,
                 "VOK Wizard|Save?|" + question + "|" + yesNoCancel,
                 "VOK Wizard|Overwrite?|" + question + "|" + yesNo,
                 "VOK Wizard|Overwrite?|" + question + "|" + yesNo,
                 "VOK Wizard|Overwrite?|" + question + "|" + yesNo,
                 "VOK Wizard|Top Key Text should not be a blank!|" +
                     QString::number(QMessageBox::Warning) + "|" + ok,
                 "VOK Wizard|Cannot save|" + QString::number(QMessageBox::Critical) + "|" + ok,
             }));
}

void QtPromptsTest::fileDialogsStartWhereAskedAndGiveThePath() {
    TempDir dir;
    WriteFile(dir / "old.rcp", "x");
    QtEditorPrompts prompts;
    QWidget owner;
    // Save: an existing name is taken without Qt's own overwrite question.
    OnModal<QFileDialog>(context_, failures_, [this, &dir](QFileDialog& dialog) {
        seen_ << dialog.windowTitle() << dialog.nameFilters().join(";;")
              << QString::number(dialog.directory() == QDir(PathText(dir.Path())));
        // The name is typed into the name field, as a user does: selecting
        // it races with the folder listing that the dialog runs on a thread
        // of its own, and loses when the name field has the focus.
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        if (name == nullptr) {
            failures_ << "the save dialog has no name field";
            dialog.reject();
            return;
        }
        name->setText("old.rcp");
        static_cast<QDialog&>(dialog).accept(); // as the Save or Open button does
    });
    const auto saved = prompts.PickFileToSave(
        &owner, {"Save Recipe File As", {"Recipe Files(*.rcp)"}, dir.Path(), {}});
    QVERIFY2(failures_.isEmpty(), qPrintable(failures_.join("; ")));
    QCOMPARE(saved.value_or("(none)"), dir / "old.rcp");
    // Open: the proposed name in the name field, a name not there yet allowed.
    OnModal<QFileDialog>(context_, failures_, [this](QFileDialog& dialog) {
        seen_ << dialog.windowTitle() << dialog.selectedNameFilter()
              << QFileInfo(dialog.selectedFiles().value(0)).fileName();
        static_cast<QDialog&>(dialog).accept(); // as the Save or Open button does
    });
    const auto opened = prompts.PickFileToOpen(
        &owner,
        {"Select Recipe File", {"Recipe Files (*.rcp)", "All Files (*.*)"}, dir.Path(), "new.rcp"});
    QCOMPARE(opened, std::optional(dir / "new.rcp"));
    // Cancelled: nothing.
    OnModal<QFileDialog>(context_, failures_, [](QFileDialog& dialog) { dialog.reject(); });
    QVERIFY(!prompts.PickFileToOpen(&owner, {"Select Recipe File", {}, dir.Path(), {}}));
    QVERIFY2(failures_.isEmpty(), qPrintable(failures_.join("; ")));
    QCOMPARE(seen_, (QStringList{"Save Recipe File As", "Recipe Files(*.rcp)", "1",
                                 "Select Recipe File", "Recipe Files (*.rcp)", "new.rcp"}));
}

QTEST_MAIN(QtPromptsTest)
#include "QtPromptsTest.moc"
