// The table builder: collects a table's number, the key texts at its top and
// bottom with their line offsets, and its fields (through the field
// builder) on its first page, the lines the table leaves out and its group
// lines on its second ("Lines"), and appends the table's section to the
// recipe in the editor.
//
// Each box is checked when the focus leaves it; a box that holds what no
// recipe can use is set back to a sound value with a warning.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

namespace vok {

class frmExportBuilder;
class EditorPrompts;
struct TableSectionValues;

class frmTableBuilder : public QDialog {
    Q_OBJECT

public:
    explicit frmTableBuilder(frmExportBuilder& editor);
    ~frmTableBuilder() override;

    // The template built so far by the field builder.
    std::string ParsingString;
    // Fields wider than one character added so far; shown in lblFields.
    int32_t FieldCount = 0;

    frmExportBuilder& Editor() { return editor_; }
    EditorPrompts& Prompts();
    // Shows FieldCount in lblFields.
    void ShowFieldCount();

    // Runs the check of a box as the focus leaves it; false when the box held
    // something unusable and was set back (after the warning).
    bool CheckBox(QLineEdit& box);

    // The pages, "Table" and "Lines": declared before the boxes they hold,
    // so that the boxes are gone before the pages.
    QTabWidget tabPages;
    QWidget pageTable;
    QWidget pageLines;
    QLabel lblTableNumber;
    QLineEdit txtTableNumber;
    QGroupBox frameTop;
    QLabel lblReadStartLine;
    QLineEdit txtReadStartLine;
    QLabel lblReadStartLineOffset;
    QLineEdit txtReadStartLineOffset;
    QGroupBox frameBottom;
    QLabel lblReadEndLine;
    QLineEdit txtReadEndLine;
    QLabel lblReadEndLineOffset;
    QLineEdit txtReadEndLineOffset;
    QLabel lblColumnFields;
    QLabel lblFields;
    QPushButton cmdAddColumn;
    QPushButton cmdOk;
    QPushButton cmdcancel;

    // The "Lines" page.
    static constexpr int kGroups = 3;
    QLabel lblSkipLines;
    QPlainTextEdit txtSkipLines; // one text a line
    QCheckBox chkSkipBlankLines;
    QLabel lblPageHeaderLines;
    QLineEdit txtPageHeaderLines;
    QGroupBox frameGroups;
    QLabel lblGroupLine, lblGroupParsing, lblGroupWriteColumn;
    std::array<QLineEdit, kGroups> txtGroupLine, txtGroupParsing, txtGroupWriteColumn;
    QLabel lblLinesHint;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cmdAddColumn_Click();
    void cmdOk_Click();
    void RefreshCaption();
    void SetCaptions();
    void BuildTablePage();
    void BuildLinesPage();
    // The Lines page into the section's values; false (after a warning) when
    // a group lacks its template or column.
    bool TakeLines(TableSectionValues& values);

    frmExportBuilder& editor_;
    QGridLayout topLayout_;
    QGridLayout bottomLayout_;
    QGridLayout layout_;
    QGridLayout linesLayout_;
    QGridLayout groupsLayout_;
    // The pages above OK and Cancel; no layout inside another, whose owner
    // would delete it a second time.
    QGridLayout outer_;
};

} // namespace vok
