// The options dialog: the four settings the conversion form keeps (showing the
// spreadsheet, the tab size, clearing the sheet, the target sheet), on three
// tabs. Apply writes them into the form's settings and closes; Cancel changes
// nothing. The form saves them to config.ini when it closes.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QTabWidget;

namespace vok {

class Messages;
struct FormSettings;

class frmVOKOptions : public QDialog {
public:
    // `frmMother` holds the settings the dialog edits.
    frmVOKOptions(FormSettings& frmMother, Messages& messages, QWidget* parent = nullptr);

    // Apply: false, after saying why, when the tab size is no whole number
    // from 1 to 64; the dialog then stays open.
    bool Apply();

private:
    FormSettings& frmMother_;
    Messages& messages_;
    QTabWidget* tsDisplay_ = nullptr;
    QCheckBox* cbShowExcel_ = nullptr;
    QLineEdit* txtTabSize_ = nullptr;
    QLineEdit* txtSheetTarget_ = nullptr;
    QCheckBox* cbClearOutputFileBeforeProcessing_ = nullptr;
};

// The tab size typed in the dialog: a whole number from 1 to 64, or nothing.
bool ParseTabSize(const QString& text, int32_t& value);

} // namespace vok
