#include "editor/frmAddField.h"

#include "desktop_services/modUtilityForm.h"
#include "editor/EditorPrompts.h"
#include "editor/RecipeText.h"
#include "editor/frmTableBuilder.h"

namespace vok {

frmAddField::frmAddField(frmTableBuilder& builder) : QDialog(&builder), builder_(builder) {
    setObjectName("frmAddField");
    setWindowTitle("Add Field (Column)");

    obSingleDataField.setText("Single Column Field  -------- ");
    obMultiDataField.setText("Multi-Column Field  =====");
    lblFieldWidth.setText("Field Width:");
    lblCharacters.setText("Characters");
    cmdOK.setText("OK");
    cmdOK.setDefault(true);
    cmdCancel.setText("Cancel");
    txtFieldWidth.setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("000000000")));

    setLayout(&layout_);
    layout_.addWidget(&obSingleDataField, 0, 0, 1, 4);
    layout_.addWidget(&obMultiDataField, 1, 0, 1, 4);
    layout_.addWidget(&lblFieldWidth, 2, 0);
    layout_.addWidget(&txtFieldWidth, 2, 1);
    layout_.addWidget(&lblCharacters, 2, 2, 1, 2);
    layout_.addWidget(&cmdOK, 3, 2);
    layout_.addWidget(&cmdCancel, 3, 3);
    layout_.setSizeConstraint(QLayout::SetFixedSize);

    connect(&cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(&cmdCancel, &QPushButton::clicked, this, [this] { reject(); });

    setWindowTitle(QStringLiteral("Add Column Field %1").arg(builder_.FieldCount + 1));
    FieldType = 1;
    obSingleDataField.setChecked(true);
    FieldWidth = 10;
    txtFieldWidth.setText("10");
    txtFieldWidth.selectAll();
    txtFieldWidth.setFocus();

    // Below the top of the table builder, left edges together.
    adjustSize();
    move(builder_.pos().x(), builder_.pos().y() + PixelsFromTwips(400, this));
}

frmAddField::~frmAddField() = default;

void frmAddField::cmdOK_Click() {
    int32_t width = 0;
    if (!ParseFieldWidth(txtFieldWidth.text().toStdString(), width)) {
        // The dialog stays open for another try.
        builder_.Prompts().Warn(this, "Field Width must be a whole number from 1 to 32,767");
        return;
    }
    FieldWidth = width;
    const bool single = obSingleDataField.isChecked();
    FieldType = single ? 1 : 0;
    AppendTemplateField(builder_.ParsingString, FieldWidth, single ? '-' : '=');
    // A width of 1 adds only a blank position, no field.
    if (FieldWidth > 1) {
        ++builder_.FieldCount;
        builder_.ShowFieldCount();
    }
    accept();
}

} // namespace vok
