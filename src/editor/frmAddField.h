// The field builder: adds one field of a given width, filled with "-" (a
// single column) or "=" (columns derived from the report's text), to the
// table builder's template.
#pragma once

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstdint>

namespace vok {

class frmTableBuilder;

class frmAddField : public QDialog {
    Q_OBJECT

public:
    explicit frmAddField(frmTableBuilder& builder);
    ~frmAddField() override;

    // 1 for a single-column field, 0 for a multi-column field.
    int32_t FieldType = 1;
    // The field's width in characters.
    int32_t FieldWidth = 10;

    QRadioButton obSingleDataField;
    QRadioButton obMultiDataField;
    QLabel lblFieldWidth;
    QLineEdit txtFieldWidth;
    QLabel lblCharacters;
    QPushButton cmdOK;
    QPushButton cmdCancel;

private:
    void cmdOK_Click();

    frmTableBuilder& builder_;
    QGridLayout layout_;
};

} // namespace vok
