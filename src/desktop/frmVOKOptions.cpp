#include "desktop/frmVOKOptions.h"

#include "base/Messages.h"
#include "base/TextAccess.h"
#include "desktop_services/modUtilityForm.h"
#include "job/ProgramSettings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vok {

namespace {

QGroupBox* Page(QTabWidget* tabs, const char* name, const QString& caption) {
    auto* page = new QWidget;
    auto* frame = new QGroupBox(caption, page);
    frame->setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(frame);
    tabs->addTab(page, caption);
    return frame;
}

QLabel* Explanation(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

} // namespace

bool ParseTabSize(const QString& text, int32_t& value) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 2) return false;
    for (const QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    const int size = t.toInt();
    if (size < kSmallestTabSize || size > kLargestTabSize) return false;
    value = size;
    return true;
}

frmVOKOptions::frmVOKOptions(FormSettings& frmMother, Messages& messages, QWidget* parent)
    : QDialog(parent), frmMother_(frmMother), messages_(messages) {
    setObjectName(QStringLiteral("frmVOKOptions"));
    setWindowTitle(QStringLiteral("VOK Wizard Options"));

    tsDisplay_ = new QTabWidget;
    tsDisplay_->setObjectName(QStringLiteral("tsDisplay"));

    QGroupBox* general = Page(tsDisplay_, "FrameArray0", QStringLiteral("General"));
    cbShowExcel_ = new QCheckBox(QStringLiteral("Show Excel Application while processing"));
    cbShowExcel_->setObjectName(QStringLiteral("cbShowExcel"));
    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(cbShowExcel_);
    generalLayout->addStretch(1);

    QGroupBox* input = Page(tsDisplay_, "FrameArray1", QStringLiteral("Input Text File"));
    txtTabSize_ = new QLineEdit(QStringLiteral("8"));
    txtTabSize_->setObjectName(QStringLiteral("txtTabSize"));
    txtTabSize_->setMaximumWidth(txtTabSize_->fontMetrics().horizontalAdvance(QLatin1Char('0')) *
                                 6);
    auto* tabRow = new QHBoxLayout;
    tabRow->addWidget(new QLabel(QStringLiteral("Tab Size:")));
    tabRow->addWidget(txtTabSize_);
    tabRow->addStretch(1);
    auto* inputLayout = new QVBoxLayout(input);
    inputLayout->addLayout(tabRow);
    inputLayout->addWidget(
        Explanation(QStringLiteral("When the text in the Input File contains tab characters you "
                                   "must speciy the tab stop size that was used when the file "
                                   "was created.")));
    inputLayout->addWidget(
        Explanation(QStringLiteral("Typical values are 2 to 16, with 8 used most commonly.")));
    inputLayout->addStretch(1);

    QGroupBox* output = Page(tsDisplay_, "FrameArray2", QStringLiteral("Output Excel File"));
    txtSheetTarget_ = new QLineEdit(QStringLiteral("1"));
    txtSheetTarget_->setObjectName(QStringLiteral("txtSheetTarget"));
    cbClearOutputFileBeforeProcessing_ =
        new QCheckBox(QStringLiteral("&Clear sheet contents before processing"));
    cbClearOutputFileBeforeProcessing_->setObjectName(
        QStringLiteral("cbClearOutputFileBeforeProcessing"));
    auto* outputLayout = new QVBoxLayout(output);
    outputLayout->addWidget(txtSheetTarget_);
    outputLayout->addWidget(Explanation(QStringLiteral(
        "Sheet by name or number.  e.g. \"Budget, Expense\" or \"2\"  for 2nd sheet.")));
    outputLayout->addWidget(cbClearOutputFileBeforeProcessing_);
    outputLayout->addStretch(1);

    auto* cmdApply = new QPushButton(QStringLiteral("&Apply"));
    cmdApply->setObjectName(QStringLiteral("cmdApply"));
    cmdApply->setDefault(true);
    auto* cmdCancel = new QPushButton(QStringLiteral("&Cancel"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdApply);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tsDisplay_);
    layout->addLayout(buttons);
    setMinimumWidth(PixelsFromTwips(6300, this));

    connect(cmdApply, &QPushButton::clicked, this, [this] {
        if (Apply()) accept();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    // Every opening starts from the form's current values, on the first tab.
    tsDisplay_->setCurrentIndex(0);
    txtTabSize_->setText(QString::number(frmMother_.lTabSize));
    cbShowExcel_->setChecked(frmMother_.bShowExcel);
    cbClearOutputFileBeforeProcessing_->setChecked(frmMother_.bClearOutputFileBeforeProcessing);
    txtSheetTarget_->setText(ToQString(frmMother_.sSheetTarget));
}

bool frmVOKOptions::Apply() {
    int32_t tabSize = 0;
    if (!ParseTabSize(txtTabSize_->text(), tabSize)) {
        messages_.Show("Tab Size must be a whole number from 1 to 64", MessageIcon::Exclamation);
        tsDisplay_->setCurrentIndex(1);
        txtTabSize_->setFocus();
        txtTabSize_->selectAll();
        return false;
    }
    frmMother_.lTabSize = tabSize;
    frmMother_.bShowExcel = cbShowExcel_->isChecked();
    frmMother_.bClearOutputFileBeforeProcessing = cbClearOutputFileBeforeProcessing_->isChecked();
    frmMother_.sSheetTarget = ToStdString(txtSheetTarget_->text());
    return true;
}

} // namespace vok
