// The table and field builders: the section text they append, templates and
// their fill characters, the checks as the focus leaves a box, and the
// editor's table count.
#include "EditorTestSupport.h"
#include "desktop_services/modUtilityForm.h"
#include "editor/EditorPrompts.h"
#include "editor/RecipeText.h"
#include "editor/frmAddField.h"
#include "editor/frmExportBuilder.h"
#include "editor/frmTableBuilder.h"

#include <QTest>

using namespace vok;
using namespace vok::test;

namespace {

const std::string kTwoTables =
    CrLf({"[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0", "", "[Table 1]",
          "ReadStartLine=A", "", "[Table 2]", "ReadStartLine=B"});

// Adds one field through the field builder, as a user does.
void AddField(EditorFixture& f, frmTableBuilder& builder, const QString& width, bool single) {
    OnModal<frmAddField>(f, [&f, width, single](frmAddField& field) {
        f.modalLog << field.windowTitle();
        QCOMPARE(field.txtFieldWidth.text(), QString("10"));
        QVERIFY(field.obSingleDataField.isChecked());
        (single ? field.obSingleDataField : field.obMultiDataField).click();
        field.txtFieldWidth.setText(width);
        field.cmdOK.click();
    });
    builder.cmdAddColumn.click();
}

// Leaves `from` for `to` as the user's Tab key does.
void MoveFocus(QLineEdit& from, QWidget& to) {
    from.setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(from.hasFocus());
    to.setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(to.hasFocus());
}

} // namespace

class TableBuilderTest : public QObject {
    Q_OBJECT

private slots:
    void aTableOfTwoFieldsAppendsItsSection();
    void widthsOfOneAddOnlyABlank();
    void withoutFieldsTheTemplateIsOneField();
    void aTableNumberThatIsNoNumberAboveZeroIsSetBack();
    void theOtherBoxesAreCheckedAsTheFocusLeavesThem();
    void theCountFollowsTheTypedTableNumber();
    void aFieldWidthMustBeAWholeNumberFrom1To32767();
    void cancelChangesNothing();
    void theDialogsOpenInPlaceAndTabFollowsTheKeysOrder();
    void theLinesPageWritesItsKeysOnlyWhenSet();
};

void TableBuilderTest::aTableOfTwoFieldsAppendsItsSection() {
    EditorFixture f;
    WriteFile(f.dir / "two.rcp", kTwoTables);
    f.editor.LoadRecipeIntoEditor(f.dir / "two.rcp");
    f.editor.show();
    Q_UNUSED(QTest::qWaitForWindowExposed(&f.editor));
    // Typing since the last save is carried over into the recipe text.
    f.editor.txtFileEditor.moveCursor(QTextCursor::End);
    f.editor.txtFileEditor.insertPlainText("; typed\n");
    const std::string before = f.editor.EditorText();
    OnModal<frmTableBuilder>(f, [&f](frmTableBuilder& builder) {
        f.modalLog << builder.windowTitle() << builder.txtTableNumber.text()
                   << builder.txtReadStartLine.text() << builder.txtReadStartLineOffset.text()
                   << builder.txtReadEndLine.text() << builder.txtReadEndLineOffset.text()
                   << builder.lblFields.text();
        builder.txtReadStartLine.setText("ASSETS");
        builder.txtReadStartLineOffset.setText("2");
        builder.txtReadEndLine.setText("TOTAL ASSETS");
        builder.txtReadEndLineOffset.setText("-1");
        AddField(f, builder, "5", true);
        AddField(f, builder, "4", false);
        f.modalLog << QString::fromStdString(builder.ParsingString) << builder.lblFields.text()
                   << QString::number(builder.FieldCount);
        builder.cmdOk.click();
    });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.modalLog,
             (QStringList{"Add Table 3", "3", "KEY TEXT AT TOP", "0", "KEY TEXT AT BOTTOM", "0",
                          "0", "Add Column Field 1", "Add Column Field 2", "---- === ", "2", "2"}));
    const std::string expected =
        before + CrLf({"", "[Table 3]", "ReadStartLine=ASSETS", "ReadStartLineOffset=2",
                       "ReadEndLine=TOTAL ASSETS", "ReadEndLineOffset=-1",
                       "Parsing=---- ====", "WriteColumn=A"});
    QCOMPARE(f.editor.ExportSpecs, expected);
    QCOMPARE(f.editor.EditorText(), expected);
    QCOMPARE(f.editor.TableCounter, 3);
    QCOMPARE(f.editor.windowTitle(), QString("Recipe Editor - Tables = 3"));
    QVERIFY(f.editor.bDirty);
    QVERIFY(f.prompts->shown.empty());
}

void TableBuilderTest::widthsOfOneAddOnlyABlank() {
    EditorFixture f;
    f.editor.LoadRecipeIntoEditor({});
    f.editor.show();
    OnModal<frmTableBuilder>(f, [&f](frmTableBuilder& builder) {
        AddField(f, builder, "3", true);
        AddField(f, builder, "1", true);
        AddField(f, builder, " 4 ", true);
        f.modalLog << QString::fromStdString(builder.ParsingString)
                   << QString::number(builder.FieldCount) << builder.lblFields.text();
        builder.cmdOk.click();
    });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.modalLog, (QStringList{"Add Column Field 1", "Add Column Field 2",
                                      "Add Column Field 2", "--  --- ", "2", "2"}));
    QVERIFY(f.editor.ExportSpecs.ends_with("\r\nParsing=--  ----\r\nWriteColumn=A\r\n"));
    QCOMPARE(f.editor.TableCounter, 1);
}

void TableBuilderTest::withoutFieldsTheTemplateIsOneField() {
    EditorFixture f;
    f.editor.LoadRecipeIntoEditor({});
    f.editor.show();
    // A width of 1 alone counts no field either.
    OnModal<frmTableBuilder>(f, [&f](frmTableBuilder& builder) {
        AddField(f, builder, "1", false);
        builder.cmdOk.click();
    });
    f.editor.cmdAddTable.click();
    OnModal<frmTableBuilder>(f, [](frmTableBuilder& builder) { builder.cmdOk.click(); });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.editor.ExportSpecs,
             std::string(kNewRecipeText) +
                 CrLf({"", "[Table 1]", "ReadStartLine=KEY TEXT AT TOP", "ReadStartLineOffset=0",
                       "ReadEndLine=KEY TEXT AT BOTTOM", "ReadEndLineOffset=0", "Parsing=-",
                       "WriteColumn=A", "", "[Table 2]", "ReadStartLine=KEY TEXT AT TOP",
                       "ReadStartLineOffset=0", "ReadEndLine=KEY TEXT AT BOTTOM",
                       "ReadEndLineOffset=0", "Parsing=-", "WriteColumn=A"}));
    QCOMPARE(f.editor.windowTitle(), QString("Recipe Editor - Tables = 2"));
}

void TableBuilderTest::aTableNumberThatIsNoNumberAboveZeroIsSetBack() {
    EditorFixture f;
    WriteFile(f.dir / "two.rcp", kTwoTables);
    f.editor.LoadRecipeIntoEditor(f.dir / "two.rcp");
    f.editor.show();
    OnModal<frmTableBuilder>(f, [&f](frmTableBuilder& builder) {
        for (const QString typed : {"0", "x", "-4", "2.5", "3abc", ""}) {
            builder.txtTableNumber.setFocus();
            QTRY_VERIFY(builder.txtTableNumber.hasFocus());
            builder.txtTableNumber.setText(typed);
            MoveFocus(builder.txtTableNumber, builder.txtReadStartLine);
            f.modalLog << builder.txtTableNumber.text() + "|" + builder.windowTitle();
        }
        // A sound number stays, and the caption follows it.
        builder.txtTableNumber.setText(" 12");
        MoveFocus(builder.txtTableNumber, builder.txtReadStartLine);
        f.modalLog << builder.txtTableNumber.text() + "|" + builder.windowTitle();
        // Enter in the box presses OK before the focus leaves it: checked all the same.
        builder.txtTableNumber.setFocus();
        QTRY_VERIFY(builder.txtTableNumber.hasFocus());
        builder.txtTableNumber.setText("0");
        QTest::keyClick(&builder.txtTableNumber, Qt::Key_Return);
        f.modalLog << QString(builder.isVisible() ? "open" : "closed") + "|" +
                          builder.txtTableNumber.text();
        builder.cmdcancel.click();
    });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.modalLog,
             (QStringList{"3|Add Table 3", "3|Add Table 3", "3|Add Table 3", "3|Add Table 3",
                          "3|Add Table 3", "3|Add Table 3", " 12|Add Table  12", "open|3"}));
    const QString warning = "Table Number must be a number larger than 0";
    QCOMPARE(f.prompts->Texts("warning"), QStringList(7, warning));
    QCOMPARE(f.editor.TableCounter, 2);
}

void TableBuilderTest::theOtherBoxesAreCheckedAsTheFocusLeavesThem() {
    EditorFixture f;
    f.editor.LoadRecipeIntoEditor({});
    f.editor.show();
    OnModal<frmTableBuilder>(f, [&f](frmTableBuilder& builder) {
        builder.txtReadStartLine.setText("   ");
        MoveFocus(builder.txtReadStartLine, builder.txtReadStartLineOffset);
        builder.txtReadStartLineOffset.setText("two");
        MoveFocus(builder.txtReadStartLineOffset, builder.txtReadEndLine);
        builder.txtReadEndLine.setText("");
        MoveFocus(builder.txtReadEndLine, builder.txtReadEndLineOffset);
        builder.txtReadEndLineOffset.setText("1.5");
        MoveFocus(builder.txtReadEndLineOffset, builder.txtTableNumber);
        f.modalLog << builder.txtReadStartLine.text() << builder.txtReadStartLineOffset.text()
                   << builder.txtReadEndLine.text() << builder.txtReadEndLineOffset.text();
        // Sound values pass without a word; leaving for Cancel checks nothing.
        builder.txtReadStartLine.setText(" TOTALS ");
        builder.txtReadStartLineOffset.setText(" +3 ");
        MoveFocus(builder.txtReadStartLineOffset, builder.txtReadEndLine);
        builder.txtReadEndLineOffset.setText("x");
        MoveFocus(builder.txtReadEndLineOffset, builder.cmdcancel);
        f.modalLog << builder.txtReadEndLineOffset.text();
        builder.txtReadEndLineOffset.setText("-2");
        builder.cmdOk.click();
    });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.modalLog, (QStringList{"KEY TEXT AT TOP", "0", "KEY TEXT AT BOTTOM", "0", "x"}));
    QCOMPARE(f.prompts->Texts("warning"),
             (QStringList{"Top Key Text should not be a blank!", "Top Line offset must be a number",
                          "Bottom Key Text should not be a blank!",
                          "Bottom Line offset must be a number"}));
    // Trimmed, and the offsets as the conversion reads them.
    QVERIFY(f.editor.ExportSpecs.ends_with(CrLf(
        {"[Table 1]", "ReadStartLine=TOTALS", "ReadStartLineOffset=3",
         "ReadEndLine=KEY TEXT AT BOTTOM", "ReadEndLineOffset=-2", "Parsing=-", "WriteColumn=A"})));
}

void TableBuilderTest::theCountFollowsTheTypedTableNumber() {
    EditorFixture f;
    WriteFile(f.dir / "two.rcp", kTwoTables);
    f.editor.LoadRecipeIntoEditor(f.dir / "two.rcp");
    f.editor.show();
    OnModal<frmTableBuilder>(f, [](frmTableBuilder& builder) {
        builder.txtTableNumber.setText("7");
        builder.cmdOk.click();
    });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.editor.TableCounter, 7);
    QCOMPARE(f.editor.windowTitle(), QString("Recipe Editor - Tables = 7"));
    QVERIFY(f.editor.ExportSpecs.find("\r\n[Table 7]\r\n") != std::string::npos);
    // The next builder proposes the number after it.
    OnModal<frmTableBuilder>(f, [&f](frmTableBuilder& builder) {
        f.modalLog << builder.windowTitle();
        builder.cmdcancel.click();
    });
    f.editor.cmdAddTable.click();
    QCOMPARE(f.modalLog, QStringList{"Add Table 8"});
}

void TableBuilderTest::aFieldWidthMustBeAWholeNumberFrom1To32767() {
    EditorFixture f;
    f.editor.LoadRecipeIntoEditor({});
    f.editor.show();
    OnModal<frmTableBuilder>(f, [&f](frmTableBuilder& builder) {
        OnModal<frmAddField>(f, [&f](frmAddField& field) {
            for (const QString typed : {"0", "-3", "x", "2.5", "32768", "99999999999", ""}) {
                field.txtFieldWidth.setText(typed);
                field.cmdOK.click();
                f.modalLog << QString(field.isVisible() ? "open" : "closed");
            }
            field.obMultiDataField.click();
            field.txtFieldWidth.setText("32767");
            field.cmdOK.click();
            f.modalLog << QString(field.isVisible() ? "open" : "closed")
                       << QString::number(field.FieldType) << QString::number(field.FieldWidth);
        });
        builder.cmdAddColumn.click();
        f.modalLog << QString::number(builder.ParsingString.size())
                   << QString::number(builder.FieldCount);
        builder.cmdcancel.click();
    });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.modalLog, (QStringList{"open", "open", "open", "open", "open", "open", "open",
                                      "closed", "0", "32767", "32767", "1"}));
    QCOMPARE(f.prompts->Texts("warning"),
             QStringList(7, "Field Width must be a whole number from 1 to 32,767"));
}

void TableBuilderTest::cancelChangesNothing() {
    EditorFixture f;
    WriteFile(f.dir / "two.rcp", kTwoTables);
    f.editor.LoadRecipeIntoEditor(f.dir / "two.rcp");
    f.editor.show();
    const std::string before = f.editor.EditorText();
    OnModal<frmTableBuilder>(f, [&f](frmTableBuilder& builder) {
        AddField(f, builder, "6", true);
        OnModal<frmAddField>(f, [](frmAddField& field) {
            field.txtFieldWidth.setText("9");
            field.cmdCancel.click();
        });
        builder.cmdAddColumn.click();
        f.modalLog << QString::fromStdString(builder.ParsingString);
        builder.cmdcancel.click();
    });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.modalLog, (QStringList{"Add Column Field 1", "----- "}));
    QCOMPARE(f.editor.EditorText(), before);
    QCOMPARE(f.editor.ExportSpecs, before); // the text box's, taken over at the opening
    QCOMPARE(f.editor.TableCounter, 2);
    QVERIFY(!f.editor.bDirty);
}

void TableBuilderTest::theDialogsOpenInPlaceAndTabFollowsTheKeysOrder() {
    EditorFixture f;
    f.editor.LoadRecipeIntoEditor({});
    f.editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.editor));
    OnModal<frmTableBuilder>(f, [&f](frmTableBuilder& builder) {
        const QRect editor = f.editor.frameGeometry();
        const QRect table = builder.frameGeometry();
        f.modalLog << QString::number(table.top() - editor.top())
                   << QString::number(table.right() - editor.right());
        // Tab goes down the boxes in the order of the recipe's keys.
        QTRY_VERIFY(builder.txtTableNumber.hasFocus());
        const QWidget* order[] = {&builder.txtReadStartLine, &builder.txtReadStartLineOffset,
                                  &builder.txtReadEndLine,   &builder.txtReadEndLineOffset,
                                  &builder.cmdAddColumn,     &builder.cmdOk,
                                  &builder.cmdcancel,        &builder.txtTableNumber};
        for (const QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        OnModal<frmAddField>(f, [&f, &builder](frmAddField& field) {
            f.modalLog << QString::number(field.pos().y() - builder.pos().y() -
                                          PixelsFromTwips(400, &field))
                       << QString::number(field.pos().x() - builder.pos().x());
            field.cmdCancel.click();
        });
        builder.cmdAddColumn.click();
        builder.cmdcancel.click();
    });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.modalLog, (QStringList{"0", "0", "0", "0"}));
}

void TableBuilderTest::theLinesPageWritesItsKeysOnlyWhenSet() {
    EditorFixture f;
    f.editor.LoadRecipeIntoEditor({});
    f.editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.editor));
    OnModal<frmTableBuilder>(f, [&f](frmTableBuilder& builder) {
        builder.tabPages.setCurrentWidget(&builder.pageLines);
        f.modalLog << builder.tabPages.tabText(1);
        // Unusable values are set back as the focus leaves their box.
        builder.txtPageHeaderLines.setText("0");
        MoveFocus(builder.txtPageHeaderLines, builder.txtGroupLine[0]);
        builder.txtGroupParsing[0].setText("  ==");
        MoveFocus(builder.txtGroupParsing[0], builder.txtGroupWriteColumn[0]);
        builder.txtGroupWriteColumn[0].setText("A1");
        MoveFocus(builder.txtGroupWriteColumn[0], builder.txtGroupLine[1]);
        f.modalLog << builder.txtPageHeaderLines.text() << builder.txtGroupParsing[0].text()
                   << builder.txtGroupWriteColumn[0].text();
        // A group without its template keeps the builder open.
        builder.txtGroupLine[0].setText("DEPT");
        builder.txtGroupWriteColumn[0].setText("e");
        builder.cmdOk.click();
        f.modalLog << QString(builder.isVisible() ? "open" : "closed");
        builder.txtSkipLines.setPlainText(" SUB-TOTAL \n\nPAGE");
        builder.chkSkipBlankLines.setChecked(true);
        builder.txtPageHeaderLines.setText(" 4 ");
        builder.txtGroupParsing[0].setText("     --- ----  ");
        builder.cmdOk.click();
    });
    f.editor.cmdAddTable.click();
    QVERIFY2(f.modalFailures.isEmpty(), qPrintable(f.modalFailures.join("; ")));
    QCOMPARE(f.modalLog, (QStringList{"Lines", "", "", "", "open"}));
    QCOMPARE(f.prompts->Texts("warning"),
             (QStringList{"Page header lines must be a whole number from 1 to 999",
                          "A group's template marks its fields with \"-\"; \"=\" is not allowed",
                          "The first column of a group must be a column (A to ZZ)",
                          "A group line needs its text, its template and its first column"}));
    // The template keeps its leading blanks; a table without the page's
    // values gets none of its keys (the other tests).
    QVERIFY(f.editor.ExportSpecs.ends_with(
        CrLf({"Parsing=-", "WriteColumn=A", "SkipLine1=SUB-TOTAL", "SkipLine2=PAGE",
              "SkipBlankLines=YES", "PageHeaderLines=4", "GroupLine1=DEPT",
              "GroupParsing1=     --- ----", "GroupWriteColumn1=e"})));
}

QTEST_MAIN(TableBuilderTest)
#include "TableBuilderTest.moc"
