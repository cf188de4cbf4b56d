#include "editor/frmTableBuilder.h"

#include "base/modUtilityString.h"
#include "editor/RecipeText.h"
#include "editor/frmAddField.h"
#include "editor/frmExportBuilder.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QTabBar>
#include <algorithm>

namespace vok {

namespace {

std::string BoxText(const QLineEdit& box) {
    return std::string(Trim(box.text().toStdString()));
}

} // namespace

frmTableBuilder::frmTableBuilder(frmExportBuilder& editor) : QDialog(&editor), editor_(editor) {
    setObjectName("frmTableBuilder");
    setWindowTitle("Table Builder");

    SetCaptions();

    BuildTablePage();
    BuildLinesPage();
    tabPages.addTab(&pageTable, "Table");
    tabPages.addTab(&pageLines, "Lines");
    // Tab goes down the boxes and the buttons, as before the pages; Ctrl+Tab
    // or a click turns the page.
    tabPages.tabBar()->setFocusPolicy(Qt::NoFocus);
    setLayout(&outer_);
    outer_.addWidget(&tabPages, 0, 0, 1, 3);
    outer_.addWidget(&cmdOk, 1, 1);
    outer_.addWidget(&cmdcancel, 1, 2);
    outer_.setColumnStretch(0, 1);
    outer_.setSizeConstraint(QLayout::SetFixedSize);

    for (QLineEdit* box : {&txtTableNumber, &txtReadStartLine, &txtReadStartLineOffset,
                           &txtReadEndLine, &txtReadEndLineOffset, &txtPageHeaderLines})
        box->installEventFilter(this);
    for (int k = 0; k < kGroups; ++k)
        for (QLineEdit* box : {&txtGroupParsing[k], &txtGroupWriteColumn[k]})
            box->installEventFilter(this);
    SetTabOrder({&txtTableNumber, &txtReadStartLine, &txtReadStartLineOffset, &txtReadEndLine,
                 &txtReadEndLineOffset, &cmdAddColumn, &cmdOk, &cmdcancel});
    connect(&cmdAddColumn, &QPushButton::clicked, this, [this] { cmdAddColumn_Click(); });
    connect(&cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(&cmdcancel, &QPushButton::clicked, this, [this] { reject(); });

    // 2. The next table number.
    txtTableNumber.setText(QString::number(static_cast<int64_t>(editor_.TableCounter) + 1));
    RefreshCaption();
    // 3. Typing since the last save is carried over.
    editor_.ExportSpecs = editor_.EditorText();
    // 4. A new table starts with no fields.
    ParsingString.clear();
    FieldCount = 0;
    ShowFieldCount();

    // 1. Top edges together, right edges aligned with the editor's.
    adjustSize();
    const QRect outer = editor_.frameGeometry();
    const int decoration = outer.width() - editor_.width();
    move(outer.left() + outer.width() - (width() + decoration), outer.top());
    txtTableNumber.setFocus();
}

frmTableBuilder::~frmTableBuilder() = default;

void frmTableBuilder::SetCaptions() {
    lblTableNumber.setText("Table Number");
    txtTableNumber.setToolTip("Table Object Number");

    frameTop.setTitle("Top Boundry");
    lblReadStartLine.setText("Text Near Top of Table");
    txtReadStartLine.setText("KEY TEXT AT TOP");
    txtReadStartLine.setToolTip("Enter a key text at or near the top of table");
    lblReadStartLineOffset.setText("Line Offset");
    txtReadStartLineOffset.setText("0");
    txtReadStartLineOffset.setToolTip("Enter a number (negative or positive)");

    frameBottom.setTitle("Bottom Boundry");
    lblReadEndLine.setText("Text Near Bottom of Table");
    txtReadEndLine.setText("KEY TEXT AT BOTTOM");
    txtReadEndLine.setToolTip("Enter a key text at or near the bottom of table");
    lblReadEndLineOffset.setText("Line Offset");
    txtReadEndLineOffset.setText("0");
    txtReadEndLineOffset.setToolTip("Enter a number (negative or positive)");

    lblColumnFields.setText("Column Fields");
    cmdAddColumn.setText("Add Column Field...");
    cmdOk.setText("OK");
    cmdOk.setToolTip("Click to generate table specs");
    cmdOk.setDefault(true);
    cmdcancel.setText("Cancel");
    cmdcancel.setToolTip("Click to close without saving table specs");
}

void frmTableBuilder::BuildTablePage() {
    // Key texts get room for a report line's worth of text, numbers less.
    const int wide = fontMetrics().horizontalAdvance(QString(34, 'M'));
    const int narrow = fontMetrics().horizontalAdvance(QStringLiteral("-00000000"));
    txtReadStartLine.setMinimumWidth(wide);
    txtReadEndLine.setMinimumWidth(wide);
    for (QLineEdit* box : {&txtTableNumber, &txtReadStartLineOffset, &txtReadEndLineOffset})
        box->setFixedWidth(narrow);
    // The boxes of both frames line up.
    int labelWidth = 0;
    for (QLabel* label : {&lblReadStartLine, &lblReadEndLine})
        labelWidth = std::max(labelWidth, label->sizeHint().width());
    for (QLabel* label :
         {&lblReadStartLine, &lblReadStartLineOffset, &lblReadEndLine, &lblReadEndLineOffset})
        label->setMinimumWidth(labelWidth);

    frameTop.setLayout(&topLayout_);
    topLayout_.addWidget(&lblReadStartLine, 0, 0);
    topLayout_.addWidget(&txtReadStartLine, 0, 1);
    topLayout_.addWidget(&lblReadStartLineOffset, 1, 0);
    topLayout_.addWidget(&txtReadStartLineOffset, 1, 1, Qt::AlignLeft);
    frameBottom.setLayout(&bottomLayout_);
    bottomLayout_.addWidget(&lblReadEndLine, 0, 0);
    bottomLayout_.addWidget(&txtReadEndLine, 0, 1);
    bottomLayout_.addWidget(&lblReadEndLineOffset, 1, 0);
    bottomLayout_.addWidget(&txtReadEndLineOffset, 1, 1, Qt::AlignLeft);

    pageTable.setLayout(&layout_);
    layout_.addWidget(&lblTableNumber, 0, 0);
    layout_.addWidget(&txtTableNumber, 0, 1, Qt::AlignLeft);
    layout_.addWidget(&frameTop, 1, 0, 1, 4);
    layout_.addWidget(&frameBottom, 2, 0, 1, 4);
    layout_.addWidget(&lblColumnFields, 3, 0);
    layout_.addWidget(&lblFields, 3, 1, Qt::AlignLeft);
    layout_.addWidget(&cmdAddColumn, 3, 2, 1, 2, Qt::AlignRight);
    layout_.setColumnStretch(1, 1);
}

void frmTableBuilder::BuildLinesPage() {
    lblSkipLines.setText("Leave out lines holding any of these texts (one a line):");
    txtSkipLines.setToolTip("A line of the table that holds one of these texts anywhere (as a key "
                            "text is matched) is left out, such as SUB-TOTAL");
    txtSkipLines.setTabChangesFocus(true);
    txtSkipLines.setFixedHeight(fontMetrics().lineSpacing() * 4 + 8);
    chkSkipBlankLines.setText("Leave out blank lines");
    chkSkipBlankLines.setToolTip("A line holding only blanks, tabs or a form feed makes no row");
    lblPageHeaderLines.setText("Page header lines");
    txtPageHeaderLines.setToolTip("A line beginning with a form feed starts a page header of this "
                                  "many lines (itself included), left out; 1 to 999, or empty");
    txtPageHeaderLines.setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("-00000000")));
    frameGroups.setTitle("Group lines (their values go onto every row after them)");
    lblGroupLine.setText("Text on the group line");
    lblGroupParsing.setText("Template of its fields");
    lblGroupWriteColumn.setText("First column");
    frameGroups.setLayout(&groupsLayout_);
    groupsLayout_.addWidget(&lblGroupLine, 0, 0);
    groupsLayout_.addWidget(&lblGroupParsing, 0, 1);
    groupsLayout_.addWidget(&lblGroupWriteColumn, 0, 2);
    for (int k = 0; k < kGroups; ++k) {
        txtGroupLine[k].setToolTip("A line holding this text is a group line: left out, its "
                                   "fields carried onto the rows after it");
        txtGroupParsing[k].setToolTip("Marks the group line's fields with runs of \"-\", as a "
                                      "fixed template does (no \"=\")");
        txtGroupWriteColumn[k].setToolTip("The sheet column of the group's first field (A to ZZ); "
                                          "in CSV the groups follow the row's own fields");
        txtGroupWriteColumn[k].setFixedWidth(txtPageHeaderLines.width());
        // A template lines up with the report's characters: a fixed-width font.
        txtGroupParsing[k].setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        txtGroupParsing[k].setMinimumWidth(fontMetrics().horizontalAdvance(QString(24, 'M')));
        groupsLayout_.addWidget(&txtGroupLine[k], k + 1, 0);
        groupsLayout_.addWidget(&txtGroupParsing[k], k + 1, 1);
        groupsLayout_.addWidget(&txtGroupWriteColumn[k], k + 1, 2);
    }
    lblLinesHint.setText("Page headers, lines with a skip text, blank lines and group lines make "
                         "no row. Leave a box empty when the table needs no such rule.");
    lblLinesHint.setWordWrap(true);
    pageLines.setLayout(&linesLayout_);
    linesLayout_.addWidget(&lblSkipLines, 0, 0, 1, 2);
    linesLayout_.addWidget(&txtSkipLines, 1, 0, 1, 2);
    linesLayout_.addWidget(&chkSkipBlankLines, 2, 0, 1, 2);
    linesLayout_.addWidget(&lblPageHeaderLines, 3, 0);
    linesLayout_.addWidget(&txtPageHeaderLines, 3, 1, Qt::AlignLeft);
    linesLayout_.addWidget(&frameGroups, 4, 0, 1, 2);
    linesLayout_.addWidget(&lblLinesHint, 5, 0, 1, 2);
    linesLayout_.setColumnStretch(1, 1);
}

EditorPrompts& frmTableBuilder::Prompts() {
    return editor_.Prompts();
}

void frmTableBuilder::ShowFieldCount() {
    lblFields.setText(QString::number(FieldCount));
}

void frmTableBuilder::RefreshCaption() {
    setWindowTitle("Add Table " + txtTableNumber.text());
}

bool frmTableBuilder::CheckBox(QLineEdit& box) {
    bool sound = true;
    auto setBack = [&](const char* warning, const QString& value) {
        Prompts().Warn(this, warning);
        box.setText(value);
        sound = false;
    };
    int32_t number = 0;
    if (&box == &txtTableNumber) {
        // A recipe's sections are found by their decimal number alone.
        if (!ParseTableNumber(box.text().toStdString(), number))
            setBack("Table Number must be a number larger than 0",
                    QString::number(static_cast<int64_t>(editor_.TableCounter) + 1));
        RefreshCaption();
    } else if (&box == &txtReadStartLine) {
        if (BoxText(box).empty()) setBack("Top Key Text should not be a blank!", "KEY TEXT AT TOP");
    } else if (&box == &txtReadEndLine) {
        if (BoxText(box).empty())
            setBack("Bottom Key Text should not be a blank!", "KEY TEXT AT BOTTOM");
    } else if (&box == &txtReadStartLineOffset) {
        // The conversion reads offsets as whole numbers.
        if (!ParseLineOffset(box.text().toStdString(), number))
            setBack("Top Line offset must be a number", "0");
    } else if (&box == &txtReadEndLineOffset) {
        if (!ParseLineOffset(box.text().toStdString(), number))
            setBack("Bottom Line offset must be a number", "0");
    } else if (&box == &txtPageHeaderLines) {
        if (!BoxText(box).empty() && !ParsePageHeaderLines(box.text().toStdString(), number))
            setBack("Page header lines must be a whole number from 1 to 999", "");
    }
    for (int k = 0; k < kGroups; ++k) {
        if (&box == &txtGroupWriteColumn[k] && !BoxText(box).empty() &&
            !IsGroupColumn(box.text().toStdString()))
            setBack("The first column of a group must be a column (A to ZZ)", "");
        if (&box == &txtGroupParsing[k] && !BoxText(box).empty() &&
            !IsGroupTemplate(box.text().toStdString()))
            setBack("A group's template marks its fields with \"-\"; \"=\" is not allowed", "");
    }
    return sound;
}

bool frmTableBuilder::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A box loses the focus also while a warning or menu is up, and
        // to Cancel, which needs no sound values.
        const bool leftTheBox = reason != Qt::ActiveWindowFocusReason &&
                                reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason;
        if (leftTheBox && QApplication::focusWidget() != &cmdcancel) {
            if (auto* box = qobject_cast<QLineEdit*>(watched)) CheckBox(*box);
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool frmTableBuilder::TakeLines(TableSectionValues& values) {
    for (const QString& line : txtSkipLines.toPlainText().split('\n')) {
        const std::string text(Trim(line.toStdString()));
        if (!text.empty()) values.skipLines.push_back(text);
    }
    values.skipBlankLines = chkSkipBlankLines.isChecked();
    ParsePageHeaderLines(txtPageHeaderLines.text().toStdString(), values.pageHeaderLines);
    for (int k = 0; k < kGroups; ++k) {
        // A template keeps its leading blanks, as "Parsing" does.
        const std::string parsing = txtGroupParsing[k].text().toStdString();
        TableSectionValues::Group group{BoxText(txtGroupLine[k]), std::string(TrimRight(parsing)),
                                        BoxText(txtGroupWriteColumn[k])};
        if (group.text.empty() && Trim(group.parsing).empty() && group.writeColumn.empty())
            continue;
        if (group.text.empty() || Trim(group.parsing).empty() || group.writeColumn.empty()) {
            tabPages.setCurrentWidget(&pageLines);
            Prompts().Warn(this, "A group line needs its text, its template and its first column");
            return false;
        }
        values.groups.push_back(std::move(group));
    }
    return true;
}

void frmTableBuilder::cmdAddColumn_Click() {
    frmAddField field(*this);
    field.exec();
}

void frmTableBuilder::cmdOk_Click() {
    // Enter in a box presses OK while the focus is still in the box: its
    // check has not run yet.
    for (QLineEdit* box : {&txtTableNumber, &txtReadStartLine, &txtReadStartLineOffset,
                           &txtReadEndLine, &txtReadEndLineOffset, &txtPageHeaderLines})
        if (!CheckBox(*box)) return;
    for (int k = 0; k < kGroups; ++k)
        if (!CheckBox(txtGroupParsing[k]) || !CheckBox(txtGroupWriteColumn[k])) return;
    TableSectionValues values;
    if (!TakeLines(values)) return;
    ParseTableNumber(txtTableNumber.text().toStdString(), values.tableNumber);
    values.readStartLine = BoxText(txtReadStartLine);
    ParseLineOffset(txtReadStartLineOffset.text().toStdString(), values.readStartLineOffset);
    values.readEndLine = BoxText(txtReadEndLine);
    ParseLineOffset(txtReadEndLineOffset.text().toStdString(), values.readEndLineOffset);
    values.parsing = FinishedTemplate(ParsingString, FieldCount);
    editor_.ExportSpecs += TableSectionText(values);
    editor_.SetEditorText(editor_.ExportSpecs);
    // The count follows the number typed, even when it skips numbers.
    editor_.TableCounter = values.tableNumber;
    accept();
}

} // namespace vok
