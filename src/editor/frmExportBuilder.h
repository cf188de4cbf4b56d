// The recipe editor: a recipe file as plain text in a fixed-pitch font, with
// buttons to start a new recipe, read one, save it, and append table sections
// through the table builder. The conversion form keeps one editor for the
// program's life: its members keep their values between openings, so a
// second opening shows the text of the first.
//
// The editor does not check the recipe; it edits text, counts table sections
// and saves the text as it stands. Line ends inside the text are CR LF.
#pragma once

#include "editor/EditorPrompts.h"
#include "editor/RecipeText.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPoint>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vok {

class frmPreview;

// What the editor needs from the window that opens it.
struct RecipeEditorHost {
    std::filesystem::path programFolder;
    // The recipe box's path: the name "Read File..." proposes.
    std::function<std::filesystem::path()> recipeBoxPath;
    // The conversion form's top-left corner on the screen, in pixels.
    std::function<QPoint()> formTopLeft;
    std::function<void(int topic)> showHelp;
    // The conversion form's input file, which the preview proposes, and the
    // tab size of the options.
    std::function<std::filesystem::path()> inputBoxPath;
    std::function<int32_t()> tabSize;
};

// The help topic of the recipe method.
inline constexpr int kRecipeHelpTopic = 13;

class frmExportBuilder : public QDialog {
    Q_OBJECT

public:
    explicit frmExportBuilder(RecipeEditorHost host, QWidget* parent = nullptr);
    // Questions, warnings and file dialogs go to `prompts` (tests answer them).
    frmExportBuilder(RecipeEditorHost host, std::shared_ptr<EditorPrompts> prompts,
                     QWidget* parent = nullptr);
    ~frmExportBuilder() override;

    // Loads the recipe when the file exists; in every case the name becomes
    // the one the recipe is saved under. A file that exists but cannot be
    // read is reported and changes nothing.
    void LoadRecipeIntoEditor(const std::filesystem::path& sFileName);

    // The recipe text as last created, loaded, saved or taken over by the
    // table builder (CR LF line ends); the table builder appends to it.
    std::string ExportSpecs;
    // Table sections; shown in the caption, proposes the next table number.
    int32_t TableCounter = 0;
    // The text box changed since the last load, new or save.
    bool bDirty = false;
    // The recipe the editor works on; empty for a new, unnamed recipe.
    std::filesystem::path sLastRecipeFileName;

    // Caption "Recipe Editor - Tables = " and the count; scrolls to the end.
    void RefreshCaption();
    // True when the text was written. Without a file name, Save As.
    bool SaveRecipe();
    bool SaveRecipeAs();
    // The chosen recipe, or nothing when the dialog was cancelled.
    std::optional<std::filesystem::path> PickRecipeFile(const std::filesystem::path& proposed);
    // Writes ExportSpecs, replacing the file, in the form of the recipe file
    // last read (its line ends, last line end and encoding); a text without
    // a line end after its last line gets one unless that file had none. A
    // failure is reported with the file's name and the reason.
    bool SaveRecipeText(const std::filesystem::path& path);

    // The text box with CR LF line ends, and setting it from such a text.
    std::string EditorText() const;
    void SetEditorText(std::string_view text);

    EditorPrompts& Prompts() { return *prompts_; }
    const RecipeEditorHost& Host() const { return host_; }
    // The preview window, once Preview... opened it. For the tests, which look into it.
    frmPreview* PreviewWindow() const { return preview_.get(); }

    // The controls, in the window's layout order.
    QStatusBar StatusBar1;
    QLabel statusPanel1; // the status bar's first panel: the file name
    QPlainTextEdit txtFileEditor;
    QFrame frameButtons;
    QPushButton cmdSaveAs;
    QPushButton cmdNew;
    QPushButton cmdSave;
    QPushButton cmdAddTable;
    QPushButton cmdPreview;
    QPushButton cmdLoadFile;
    QPushButton cmdHelp;
    QPushButton cmdCancel;
    QPushButton cmdClose;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

public slots:
    void done(int result) override;
    // Esc and the title bar's close: with unsaved text, the Close question
    // (Yes saves, No drops, Cancel stays) before the window closes.
    void reject() override;

private:
    // Runs when the window is loaded for a use: placement, then the text of
    // the previous use or a new recipe.
    void EnsureLoaded();
    void StartNewRecipe();
    // Before the text is replaced: the Close question with Cancel. False
    // when the user cancelled, or chose to save and the save did not happen.
    bool MayDiscardEdits();
    void ShowFileName(const std::filesystem::path& path);
    // The preview beside the editor, within the editor's screen.
    void PlacePreview();
    void LayOut();

    void cmdNew_Click();
    void cmdSave_Click();
    void cmdSaveAs_Click();
    void cmdAddTable_Click();
    void cmdPreview_Click();
    void cmdLoadFile_Click();
    void cmdHelp_Click();
    void cmdClose_Click();
    void cmdCancel_Click();

    RecipeEditorHost host_;
    std::shared_ptr<EditorPrompts> prompts_;
    QVBoxLayout buttonLayout_;
    bool loaded_ = false;
    // How the recipe last read was written; a new recipe's for a new one.
    RecipeFileForm fileForm_;
    std::unique_ptr<frmPreview> preview_;
};

} // namespace vok
