#include "editor/frmExportBuilder.h"

#include "base/AtomicFile.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityString.h"
#include "desktop_services/modUtilityForm.h"
#include "editor/RecipeText.h"
#include "editor/frmPreview.h"
#include "editor/frmTableBuilder.h"

#include <QFont>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTextCursor>
#include <algorithm>
#include <fmt/format.h>

namespace vok {

namespace {

const QString kSaveQuestion =
    QStringLiteral("You've edited the file, do you want to save your changes?");

// The window's size when it first opens, in twips: wide enough for the
// template line of a report as wide as a printed page.
constexpr int kInitialWidth = 12600;
constexpr int kInitialHeight = 7200;
// The smallest text box the resize rules leave, in twips.
constexpr int kSmallestTextWidth = 3000;
constexpr int kSmallestTextHeight = 1500;

} // namespace

frmExportBuilder::frmExportBuilder(RecipeEditorHost host, QWidget* parent)
    : frmExportBuilder(std::move(host), std::make_shared<QtEditorPrompts>(), parent) {}

frmExportBuilder::frmExportBuilder(RecipeEditorHost host, std::shared_ptr<EditorPrompts> prompts,
                                   QWidget* parent)
    : QDialog(parent), host_(std::move(host)), prompts_(std::move(prompts)) {
    setObjectName("frmExportBuilder");
    setWindowTitle("Recipe Editor");
    setSizeGripEnabled(true);

    StatusBar1.setParent(this);
    StatusBar1.setSizeGripEnabled(false);
    StatusBar1.addWidget(&statusPanel1, 1);
    // On the right, room for the window's size grip.
    statusPanel1.setContentsMargins(PixelsFromTwips(60, this), 0, PixelsFromTwips(300, this), 0);
    // The panel takes the bar's width whatever the name's length; LayOut
    // keeps the end of a long name, the file's own name, in sight.
    statusPanel1.setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    txtFileEditor.setParent(this);
    QFont courier("Courier");
    courier.setStyleHint(QFont::TypeWriter);
    courier.setFixedPitch(true);
    txtFileEditor.setFont(courier);
    txtFileEditor.setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(&txtFileEditor, &QPlainTextEdit::textChanged, this, [this] { bDirty = true; });

    frameButtons.setParent(this);
    frameButtons.setLayout(&buttonLayout_);
    buttonLayout_.setContentsMargins(0, 0, 0, 0);
    const std::pair<QPushButton*, const char*> buttons[] = {
        {&cmdSaveAs, "Save As..."},   {&cmdNew, "New..."},
        {&cmdSave, "&Save"},          {&cmdAddTable, "Add Table..."},
        {&cmdPreview, "&Preview..."}, {&cmdLoadFile, "Read File..."},
        {&cmdHelp, "Help..."},        {&cmdCancel, "Cancel"},
        {&cmdClose, "&Close"}};
    // Shown from top to bottom: making a recipe, then leaving the window.
    for (QPushButton* button :
         {&cmdNew, &cmdLoadFile, &cmdSave, &cmdSaveAs, &cmdAddTable, &cmdPreview})
        buttonLayout_.addWidget(button);
    buttonLayout_.addSpacing(PixelsFromTwips(200, this));
    for (QPushButton* button : {&cmdHelp, &cmdClose, &cmdCancel})
        buttonLayout_.addWidget(button);
    for (const auto& [button, text] : buttons) {
        button->setText(text);
        button->setAutoDefault(false);
    }
    // Tab leaves the text for the buttons: a tab character in a template
    // would shift every field after it.
    txtFileEditor.setTabChangesFocus(true);
    SetTabOrder({&txtFileEditor, &cmdNew, &cmdLoadFile, &cmdSave, &cmdSaveAs, &cmdAddTable,
                 &cmdPreview, &cmdHelp, &cmdClose, &cmdCancel});

    connect(&cmdNew, &QPushButton::clicked, this, [this] { cmdNew_Click(); });
    connect(&cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(&cmdSaveAs, &QPushButton::clicked, this, [this] { cmdSaveAs_Click(); });
    connect(&cmdAddTable, &QPushButton::clicked, this, [this] { cmdAddTable_Click(); });
    connect(&cmdPreview, &QPushButton::clicked, this, [this] { cmdPreview_Click(); });
    connect(&cmdLoadFile, &QPushButton::clicked, this, [this] { cmdLoadFile_Click(); });
    connect(&cmdHelp, &QPushButton::clicked, this, [this] { cmdHelp_Click(); });
    connect(&cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
    connect(&cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });

    const QSize frame = frameButtons.sizeHint();
    const int statusHeight = StatusBar1.sizeHint().height();
    setMinimumSize(frame.width() + PixelsFromTwips(kSmallestTextWidth + 300, this),
                   std::max(frame.height(), PixelsFromTwips(kSmallestTextHeight, this)) +
                       statusHeight + PixelsFromTwips(200, this));
    resize(std::max(minimumWidth(), PixelsFromTwips(kInitialWidth, this)),
           std::max(minimumHeight(), PixelsFromTwips(kInitialHeight, this)));
    LayOut();
}

frmExportBuilder::~frmExportBuilder() = default;

void frmExportBuilder::EnsureLoaded() {
    if (loaded_) return;
    loaded_ = true;
    // 1. Below and right of the conversion form.
    if (host_.formTopLeft) {
        const QPoint form = host_.formTopLeft();
        move(form.x() + PixelsFromTwips(200, this), form.y() + PixelsFromTwips(400, this));
    }
    // 2. The text of the previous use, unless there was none worth showing.
    if (Trim(ExportSpecs).empty() || TableCounter == 0) {
        StartNewRecipe();
    } else {
        SetEditorText(ExportSpecs);
    }
    // 3. The caption counts the tables; nothing is edited yet.
    RefreshCaption();
    bDirty = false;
}

void frmExportBuilder::LoadRecipeIntoEditor(const std::filesystem::path& sFileName) {
    EnsureLoaded();
    if (FileExists(sFileName)) {
        std::string text;
        RecipeFileForm form;
        std::string error;
        if (!ReadRecipeText(sFileName, text, form, error)) {
            // Taking the name would let a later save overwrite a file the
            // user never saw.
            prompts_->ReportError(this, QString::fromStdString(error));
            return;
        }
        ExportSpecs = std::move(text);
        fileForm_ = form;
        // The box shows the file as it is: its last line end, if it has one,
        // is the one line end after the text.
        SetEditorText(form.finalLineEnd ? ExportSpecs + std::string(kCrLf) : ExportSpecs);
        TableCounter = CountRecipeTables(sFileName);
        RefreshCaption();
        QTextCursor caret = txtFileEditor.textCursor();
        caret.setPosition(0);
        txtFileEditor.setTextCursor(caret);
        bDirty = false;
    }
    // A name of a file that does not exist yet is the name to save under.
    sLastRecipeFileName = sFileName;
    ShowFileName(sFileName);
}

void frmExportBuilder::StartNewRecipe() {
    ExportSpecs = std::string(kNewRecipeText);
    fileForm_ = RecipeFileForm{};
    // The new text holds no table: the table builder proposes table 1.
    TableCounter = 0;
    SetEditorText(ExportSpecs);
    RefreshCaption();
}

void frmExportBuilder::RefreshCaption() {
    setWindowTitle(QStringLiteral("Recipe Editor - Tables = %1").arg(TableCounter));
    // Selecting the last character scrolls the box to its end.
    const int length = txtFileEditor.document()->characterCount() - 1;
    if (length <= 0) return;
    QTextCursor last = txtFileEditor.textCursor();
    last.setPosition(length - 1);
    last.setPosition(length, QTextCursor::KeepAnchor);
    txtFileEditor.setTextCursor(last);
    txtFileEditor.ensureCursorVisible();
}

std::string frmExportBuilder::EditorText() const {
    return WithCrLf(txtFileEditor.toPlainText().toStdString());
}

void frmExportBuilder::SetEditorText(std::string_view text) {
    txtFileEditor.setPlainText(QString::fromStdString(WithLf(text)));
}

void frmExportBuilder::ShowFileName(const std::filesystem::path& path) {
    statusPanel1.setText(PathText(path));
    statusPanel1.setToolTip(statusPanel1.text());
    LayOut();
}

bool frmExportBuilder::SaveRecipe() {
    // A recipe without a name gets one first, rather than a write that cannot succeed.
    if (sLastRecipeFileName.empty()) return SaveRecipeAs();
    ExportSpecs = EditorText();
    if (!SaveRecipeText(sLastRecipeFileName)) return false;
    bDirty = false;
    return true;
}

bool frmExportBuilder::SaveRecipeText(const std::filesystem::path& path) {
    // The text box already ends with the line end it shows: a save adds one
    // only to a text whose last line has none.
    const std::string bytes = RecipeFileBytes(ExportSpecs, fileForm_);
    std::string error;
    if (ReplaceFileContents(path, bytes, error)) return true;
    prompts_->ReportError(this, QString::fromStdString(fmt::format(
                                    "Cannot save the recipe file {}: {}", path.string(), error)));
    return false;
}

bool frmExportBuilder::SaveRecipeAs() {
    FileDialogRequest request{"Save Recipe File As", {"Recipe Files(*.rcp)"}, {}, {}};
    request.folder =
        sLastRecipeFileName.empty() ? host_.programFolder : FolderOfPath(sLastRecipeFileName);
    const std::optional<std::filesystem::path> chosen = prompts_->PickFileToSave(this, request);
    if (!chosen) return false;
    if (FileExists(*chosen) &&
        !prompts_->AskYesNo(this, "Overwrite existing file: " + PathText(*chosen)))
        return false;
    ExportSpecs = EditorText();
    // A failed write keeps the earlier name: the recipe is not in the new file.
    if (!SaveRecipeText(*chosen)) return false;
    ShowFileName(*chosen);
    sLastRecipeFileName = *chosen;
    bDirty = false;
    return true;
}

std::optional<std::filesystem::path>
frmExportBuilder::PickRecipeFile(const std::filesystem::path& proposed) {
    FileDialogRequest request{
        "Select Recipe File", {"Recipe Files (*.rcp)", "All Files (*.*)"}, {}, {}};
    if (sLastRecipeFileName.empty()) {
        request.folder = host_.programFolder;
        request.fileName = proposed;
    } else {
        request.folder = FolderOfPath(sLastRecipeFileName);
    }
    return prompts_->PickFileToOpen(this, request);
}

bool frmExportBuilder::MayDiscardEdits() {
    if (!bDirty) return true;
    switch (prompts_->AskYesNoCancel(this, kSaveQuestion)) {
    case Answer::Yes:
        return SaveRecipe();
    case Answer::No:
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

void frmExportBuilder::cmdNew_Click() {
    if (!MayDiscardEdits()) return;
    StartNewRecipe();
}

void frmExportBuilder::cmdSave_Click() {
    SaveRecipe();
}

void frmExportBuilder::cmdSaveAs_Click() {
    SaveRecipeAs();
}

void frmExportBuilder::cmdAddTable_Click() {
    frmTableBuilder builder(*this);
    builder.exec();
    RefreshCaption();
}

void frmExportBuilder::cmdPreview_Click() {
    if (!preview_) {
        PreviewHost host{[this] { return EditorText(); }, host_.inputBoxPath, host_.tabSize,
                         prompts_};
        preview_ = std::make_unique<frmPreview>(std::move(host), this);
        connect(&txtFileEditor, &QPlainTextEdit::textChanged, preview_.get(),
                [this] { preview_->RecipeChanged(); });
    }
    if (!preview_->isVisible()) PlacePreview();
    preview_->ProposeReport();
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
    preview_->RefreshNow();
}

void frmExportBuilder::PlacePreview() {
    // Beside the editor, where it leaves the text in sight, and on the
    // editor's screen whole: its Browse... button and the grid's right columns
    // must be within reach.
    const QRect editor = frameGeometry();
    const QScreen* screen = QGuiApplication::screenAt(editor.center());
    if (!screen) screen = this->screen();
    if (!screen) return;
    // The preview's frame is not known before it is first shown: the editor's stands for it.
    const QRect inner = geometry();
    const QMargins frame(inner.left() - editor.left(), inner.top() - editor.top(),
                         editor.right() - inner.right(), editor.bottom() - inner.bottom());
    const QSize frameSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect placed =
        PlaceBeside(editor, preview_->size() + frameSize, screen->availableGeometry());
    preview_->resize(placed.size() - frameSize);
    preview_->move(placed.topLeft());
}

void frmExportBuilder::cmdLoadFile_Click() {
    if (!MayDiscardEdits()) return;
    const std::optional<std::filesystem::path> chosen =
        PickRecipeFile(host_.recipeBoxPath ? host_.recipeBoxPath() : std::filesystem::path());
    // Cancelled: the editor stays as it was.
    if (!chosen) return;
    LoadRecipeIntoEditor(*chosen);
}

void frmExportBuilder::cmdHelp_Click() {
    if (host_.showHelp) host_.showHelp(kRecipeHelpTopic);
}

void frmExportBuilder::cmdClose_Click() {
    // A save that did not happen keeps the window open with the text in it.
    if (bDirty && prompts_->AskYesNo(this, kSaveQuestion) && !SaveRecipe()) return;
    accept();
}

void frmExportBuilder::cmdCancel_Click() {
    // Cancel closes without asking; Esc and the title bar's close go through reject().
    QDialog::reject();
}

void frmExportBuilder::reject() {
    // Unsaved text is not dropped by a key pressed in passing: the Close
    // question first, with Cancel to go on editing.
    if (!MayDiscardEdits()) return;
    QDialog::reject();
}

void frmExportBuilder::done(int result) {
    // Unloaded: the next use runs the opening again; the members stay.
    loaded_ = false;
    // The preview follows this text; without it, it has nothing to follow.
    if (preview_) preview_->hide();
    QDialog::done(result);
}

void frmExportBuilder::showEvent(QShowEvent* event) {
    EnsureLoaded();
    QDialog::showEvent(event);
}

void frmExportBuilder::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOut();
}

void frmExportBuilder::LayOut() {
    // The buttons keep to the right edge, the text box takes the rest above
    // the status bar (distances in twips).
    const int statusHeight = StatusBar1.sizeHint().height();
    StatusBar1.setGeometry(0, height() - statusHeight, width(), statusHeight);
    const QMargins margins = statusPanel1.contentsMargins();
    const bool nameFits = statusPanel1.fontMetrics().horizontalAdvance(statusPanel1.text()) +
                              margins.left() + margins.right() <=
                          width() - PixelsFromTwips(100, this); // the bar's own margins
    statusPanel1.setAlignment(Qt::AlignVCenter | (nameFits ? Qt::AlignLeft : Qt::AlignRight));
    const QSize frame = frameButtons.sizeHint();
    const int margin = PixelsFromTwips(100, this);
    const int frameLeft = width() - frame.width() - margin;
    frameButtons.setGeometry(frameLeft, margin, frame.width(), frame.height());
    txtFileEditor.setGeometry(margin, margin, std::max(0, frameLeft - PixelsFromTwips(200, this)),
                              std::max(0, height() - statusHeight - PixelsFromTwips(200, this)));
}

} // namespace vok
