// The conversion form: the three steps (input, conversion method, output)
// with their pickers, Edit and help buttons, the toolbar with Convert, Pause
// and Options, and the menus. It keeps the user's settings and the three
// recent-file lists, and starts the jobs, which run on a worker thread.
#pragma once

#include "base/JobObserver.h"
#include "desktop/DesktopShell.h"
#include "desktop_services/JobRunner.h"
#include "desktop_services/clsMRU.h"
#include "job/ProgramSettings.h"
#include "job/clsConversionOptions.h"

#include <QList>
#include <QString>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QStackedLayout;
class QToolBar;

namespace vok {

class Messages;
class ProfileFile;
class frmExportBuilder;

class frmMain : public QWidget {
public:
    frmMain(ProgramSettings& program, Messages& messages, DesktopShell shell,
            QWidget* parent = nullptr);
    ~frmMain() override;

    // The main window's status bars and caption ("" gives back the window's own).
    std::function<void(StatusTarget, const QString&)> showStatus;
    // The File menu's Exit: the main window closes.
    std::function<void()> exitRequested;

    // Reads the settings and the recent lists and sets the controls for them.
    void InitializeForm();

    QToolBar* ToolBar() const { return tbMain_; }
    // The form's menus, which the main window shows while the form is shown.
    const QList<QMenu*>& Menus() const { return menus_; }

    // Copies the form's state into the job's options and starts the job;
    // false when one is running already.
    bool BeginProcessing();
    // Asks a running export to stop; it asks the user whether to terminate.
    void ConversionJobPause();
    bool JobRunning() const { return runner_.Running(); } // for the tests
    // The window is closing: stops a running job without asking and waits,
    // showing what the job still says, until its output is closed or saved.
    void StopJobAndWait();
    // What the last job did, once it has ended; the tests read it.
    const std::optional<JobResult>& LastResult() const { return lastResult_; }

    // Shows and hides the controls that depend on the input being a pattern.
    void UpdateInputDependentControls();
    // The paths of the job go to the recent lists and the boxes are refilled.
    void UpdateMRUs();
    // Shows the options dialog, which edits the form's settings.
    void ConfigureVOKOptions();
    // Shows the recipe editor with the recipe box's file; the box then names
    // the recipe the editor worked on.
    void EditRecipe();
    // A file the program was started with (the menu entry, a file manager): a
    // recipe or export-specs file goes into step 2 with the recipe method and
    // opens in the recipe editor; any other file is the report of step 1.
    void OpenGivenFile(const std::filesystem::path& file);
    // The recipe editor, made at its first opening and kept for the program's life.
    // Only the tests ask for it.
    frmExportBuilder* RecipeEditor() const { return editor_.get(); }

    // Writes the settings of [General] and the three lists into the file in memory.
    void SaveIniFile(ProfileFile& config);

    FormSettings& Settings() { return program_.Settings; }
    const clsConversionOptions& Options() const { return options_; }
    clsMRU mruInputFile;
    clsMRU mruOutputFile;
    clsMRU mruRecipeFile;

private:
    void BuildControls();
    QGroupBox* BuildInputFrame();
    QGroupBox* BuildMethodFrame();
    QGroupBox* BuildOutputFrame();
    void BuildToolBarAndMenus();
    void ShowHelpTopic(int32_t topic);
    void ShowManualPage(std::string_view page);
    void LaunchBoxPath(const QComboBox& box);
    // Opens the input file; a PDF report as the text vok reads from it.
    void EditInputFile();
    void BrowseForFile(QComboBox& box, const QString& title, const QString& filter,
                       const std::filesystem::path& currentJobPath, bool mustExist);
    void SelectInputFolder();
    void SelectOutputFolder();
    void MethodChanged();
    void JobFinished(const JobResult& result);

    ProgramSettings& program_;
    Messages& messages_;
    // Texts rebuilt from PDF reports for "Edit Input File", removed with the form.
    std::vector<std::filesystem::path> rebuiltTexts_;
    DesktopShell shell_;
    clsConversionOptions options_; // the options of the jobs, kept from one to the next
    JobRunner runner_;
    std::unique_ptr<frmExportBuilder> editor_;
    std::optional<JobResult> lastResult_;
    // The texts of the boxes when the running job started: its recent paths.
    std::array<QString, 3> jobTexts_;
    // The paths of the last file converted, proposed when a box is empty.
    std::filesystem::path gInputFile_, gOutputFile_, gRecipeFile_;

    QToolBar* tbMain_ = nullptr;
    QAction* keyConvert_ = nullptr;
    QAction* keyPause_ = nullptr;
    QAction* keyOptions_ = nullptr;
    QList<QMenu*> menus_;

    QComboBox* cbInputFile_ = nullptr;
    QComboBox* cbRecipeFile_ = nullptr;
    QComboBox* cbOutputFile_ = nullptr;
    QCheckBox* cbDoSubfolders_ = nullptr;
    QCheckBox* cbSaveToOriginalFolder_ = nullptr;
    QPushButton* cmdEditInput_ = nullptr;
    QPushButton* cmdOutputBrowse_ = nullptr;
    QPushButton* cmdSelectOutputFolder_ = nullptr;
    QPushButton* cmdEditOutput_ = nullptr;
    QRadioButton* rbUseRecipe_[2] = {nullptr, nullptr};
    QGroupBox* frameInnerGUI_[2] = {nullptr, nullptr};
    QStackedLayout* innerGUI_ = nullptr; // shows one of the two inner frames
};

} // namespace vok
