#include "desktop/frmMain.h"

#include "base/HelpTopics.h"
#include "base/Messages.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityFileSystemObject.h"
#include "desktop/frmVOKOptions.h"
#include "desktop_services/modUtilityForm.h"
#include "editor/frmExportBuilder.h"
#include "job/ConversionJob.h"
#include "pdf/PdfReport.h"
#include "recipe/ProfileFile.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedLayout>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

namespace vok {

namespace {

constexpr int kListSize = 20;

// Qt name filters of the three open-file dialogs. "All Files" shows every
// file, also those without an extension.
const QString kInputFilter = QStringLiteral("Reports (*.txt *.prn *.pdf);;All Files (*)");
const QString kRecipeFilter = QStringLiteral("Recipe Files (*.rcp);;All Files (*)");
const QString kOutputFilter =
    QStringLiteral("Excel Files (*.xls *.xlsx);;Comma Delimited (*.csv);;"
                   "SQLite Databases (*.sqlite *.db);;All Files (*)");

std::filesystem::path BoxPath(const QComboBox& box) {
    return PathFromSwitchSyntax(ToStdString(box.currentText()));
}

// A button with a picture at its left, in place of picture boxes over the
// buttons' left edges; the picture is part of the button, so it acts like it.
// The blanks that open the captions only made room for the picture,
// which the button now places itself.
QPushButton* Button(const char* name, const QString& caption, QStyle::StandardPixmap picture,
                    const QString& tip = {}) {
    auto* button = new QPushButton(caption.trimmed());
    button->setObjectName(QLatin1String(name));
    if (picture != QStyle::SP_CustomBase)
        button->setIcon(QApplication::style()->standardIcon(picture));
    if (!tip.isEmpty()) button->setToolTip(tip);
    button->setAutoDefault(false);
    return button;
}

// A help button: a small "?" beside the step it explains.
QPushButton* HelpButton(const char* name, const QString& tip = {}) {
    QPushButton* button = Button(name, QStringLiteral("?"), QStyle::SP_CustomBase, tip);
    button->setAccessibleName(QStringLiteral("Help"));
    QFont bold = button->font();
    bold.setBold(true);
    button->setFont(bold);
    const int side = button->sizeHint().height();
    button->setFixedWidth(side);
    return button;
}

QComboBox* PathBox(const char* name) {
    auto* box = new QComboBox;
    box->setObjectName(QLatin1String(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(2);
    // At the window's minimum width a pattern job's row is full; the box gives way.
    box->setMinimumWidth(PixelsFromTwips(750, box));
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return box;
}

QLabel* Label(const char* name, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    return label;
}

// Hidden controls keep their room, so that the steps do not jump.
template <typename Widget> Widget* KeepRoomWhenHidden(Widget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
    return widget;
}

// A path box and its buttons on one line: the box ends a little before the
// first button, the buttons stand close together, the help button last. The
// check boxes of a pattern job stand there too, where the buttons for a single
// file are hidden, so the form keeps its height whatever the input is.
QHBoxLayout* PathRow(QWidget* owner, QComboBox* box, std::initializer_list<QWidget*> buttons) {
    auto* row = new QHBoxLayout;
    row->setSpacing(PixelsFromTwips(50, owner));
    if (box) {
        row->addWidget(box, 1);
        row->addSpacing(PixelsFromTwips(120, owner) - row->spacing());
    } else {
        row->addStretch(1);
    }
    for (QWidget* button : buttons)
        row->addWidget(button);
    return row;
}

// A step frame. Its caption is a label at its top that wraps when the window
// is narrow, where a frame's own title would be cut off.
QGroupBox* Frame(const char* name, const QString& caption) {
    auto* frame = new QGroupBox;
    frame->setObjectName(QLatin1String(name));
    frame->setAccessibleName(caption);
    auto* label = new QLabel(caption);
    label->setObjectName(QLatin1String(name) + QStringLiteral("Caption"));
    label->setWordWrap(true);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(PixelsFromTwips(75, frame), PixelsFromTwips(45, frame),
                               PixelsFromTwips(75, frame), PixelsFromTwips(75, frame));
    layout->setSpacing(PixelsFromTwips(60, frame));
    layout->addWidget(label);
    return frame;
}

// The inside of a step frame, under its caption.
template <typename Layout> Layout* Inside(QGroupBox* frame) {
    auto* layout = new Layout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(PixelsFromTwips(60, frame));
    static_cast<QVBoxLayout*>(frame->layout())->addLayout(layout);
    return layout;
}

} // namespace

frmMain::frmMain(ProgramSettings& program, Messages& messages, DesktopShell shell, QWidget* parent)
    : QWidget(parent), program_(program), messages_(messages), shell_(std::move(shell)),
      runner_(messages) {
    setObjectName(QStringLiteral("frmMain"));
    BuildControls();
    BuildToolBarAndMenus();
    runner_.onStatus = [this](StatusTarget target, const std::string& text) {
        if (showStatus) showStatus(target, ToQString(text));
    };
    runner_.onFileFinished = [this](const std::filesystem::path& input,
                                    const std::filesystem::path& output,
                                    const FileOutcome& outcome) {
        gInputFile_ = input;
        gOutputFile_ = output;
        // A file whose output named no known type leaves the lists alone.
        if (outcome.outputTypeKnown) UpdateMRUs();
    };
    runner_.onFinished = [this](const JobResult& result) { JobFinished(result); };
}

frmMain::~frmMain() {
    std::error_code ec;
    for (const std::filesystem::path& text : rebuiltTexts_) std::filesystem::remove(text, ec);
}

void frmMain::BuildControls() {
    auto* form = new QVBoxLayout(this);
    const int margin = PixelsFromTwips(105, this);
    form->setContentsMargins(margin, margin / 2, margin, margin / 2);
    form->setSpacing(PixelsFromTwips(60, this));

    // The three steps, top to bottom.
    form->addWidget(BuildInputFrame());
    form->addWidget(BuildMethodFrame());
    form->addWidget(BuildOutputFrame());
    form->addStretch(1);

    // Controls whose changes reach across the steps.
    connect(cbInputFile_, &QComboBox::editTextChanged, this,
            [this] { UpdateInputDependentControls(); });
    connect(cbInputFile_, &QComboBox::currentTextChanged, this,
            [this] { UpdateInputDependentControls(); });
    connect(cbSaveToOriginalFolder_, &QCheckBox::toggled, this,
            [this] { UpdateInputDependentControls(); });
    connect(rbUseRecipe_[0], &QRadioButton::toggled, this, [this] { MethodChanged(); });
    MethodChanged();
    UpdateInputDependentControls();
}

// The input step: the input path with its browse, edit and help buttons.
QGroupBox* frmMain::BuildInputFrame() {
    QGroupBox* step1 = Frame("frameGUI1", QStringLiteral("STEP 1: Specify the input file(s)"));
    cbInputFile_ = PathBox("cbInputFile");
    auto* cmdInputBrowse = Button("cmdInputBrowse", QStringLiteral("   File.."),
                                  QStyle::SP_FileIcon, QStringLiteral("Select Input File"));
    auto* cmdSelectInputFolder =
        Button("cmdSelectInputFolder", QStringLiteral("        Folder.."), QStyle::SP_DirIcon,
               QStringLiteral("Select whole folder of files to process"));
    cmdEditInput_ = Button("cmdEditInput", QStringLiteral("Edit Input File"), QStyle::SP_CustomBase,
                           QStringLiteral("Edit input file"));
    auto* cmdHelpInputFile = HelpButton("cmdHelpInputFile");
    cbDoSubfolders_ = new QCheckBox(QStringLiteral("Do Subfolders"));
    cbDoSubfolders_->setObjectName(QStringLiteral("cbDoSubfolders"));
    auto* step1Layout = Inside<QVBoxLayout>(step1);
    step1Layout->addWidget(Label(
        "Label1",
        QStringLiteral("Input File(s) For example: c:\\input\\test.txt or c:\\bills\\*.txt")));
    step1Layout->addLayout(PathRow(
        this, cbInputFile_,
        {cmdSelectInputFolder, cmdInputBrowse, cmdEditInput_, cbDoSubfolders_, cmdHelpInputFile}));

    connect(cmdInputBrowse, &QPushButton::clicked, this, [this] {
        BrowseForFile(*cbInputFile_, QStringLiteral("Select Text File to Convert"), kInputFilter,
                      gInputFile_, true);
    });
    connect(cmdSelectInputFolder, &QPushButton::clicked, this, [this] { SelectInputFolder(); });
    connect(cmdEditInput_, &QPushButton::clicked, this, [this] { EditInputFile(); });
    connect(cmdHelpInputFile, &QPushButton::clicked, this, [this] { ShowHelpTopic(14); });
    return step1;
}

// The method step: recipe or marked-up file, each with its own inner frame.
QGroupBox* frmMain::BuildMethodFrame() {
    QGroupBox* step2 = Frame(
        "frameGUI0", QStringLiteral("STEP 2: Specify conversion method.  Please select how you "
                                    "want to convert the file."));
    rbUseRecipe_[0] = new QRadioButton(QStringLiteral("Use a Recipe File"));
    rbUseRecipe_[0]->setObjectName(QStringLiteral("rbUseRecipe0"));
    rbUseRecipe_[1] = new QRadioButton(QStringLiteral("Use a Marked up text file"));
    rbUseRecipe_[1]->setObjectName(QStringLiteral("rbUseRecipe1"));
    auto* methods = new QButtonGroup(this);
    methods->addButton(rbUseRecipe_[0], 0);
    methods->addButton(rbUseRecipe_[1], 1);
    rbUseRecipe_[1]->setChecked(true);
    auto* cmdHelpConversionMethod =
        HelpButton("cmdHelpConversionMethod", QStringLiteral("Press for help"));

    frameInnerGUI_[0] =
        Frame("frameInnerGUI0", QStringLiteral("STEP 2B: Create or edit a recipe file."));
    cbRecipeFile_ = PathBox("cbRecipeFile");
    auto* cmdRecipeBrowse =
        Button("cmdRecipeBrowse", QStringLiteral("   File.."), QStyle::SP_FileIcon);
    auto* cmdEditRecipe =
        Button("cmdEditRecipe", QStringLiteral("Edit Recipe"), QStyle::SP_CustomBase);
    auto* cmdHelpRecipeFile = HelpButton("cmdHelpRecipeFile");
    auto* inner0 = Inside<QVBoxLayout>(frameInnerGUI_[0]);
    inner0->addWidget(Label("Label3", QStringLiteral("Recipe File (*.rcp)")));
    inner0->addLayout(
        PathRow(this, cbRecipeFile_, {cmdRecipeBrowse, cmdEditRecipe, cmdHelpRecipeFile}));

    frameInnerGUI_[1] = Frame("frameInnerGUI1", QStringLiteral("STEP 2B: Mark up the input file"));
    auto* cmdHelpMarkup = HelpButton("cmdHelpMarkup", QStringLiteral("Press for help"));
    auto* inner1 = Inside<QHBoxLayout>(frameInnerGUI_[1]);
    inner1->addWidget(Label("Label4", QStringLiteral("Mark up the input file(s) by editiing.")), 1);
    inner1->addWidget(cmdHelpMarkup);

    auto* step2Layout = Inside<QVBoxLayout>(step2);
    auto* methodRow = new QHBoxLayout;
    methodRow->addWidget(rbUseRecipe_[0]);
    methodRow->addSpacing(PixelsFromTwips(300, this));
    methodRow->addWidget(rbUseRecipe_[1]);
    methodRow->addStretch(1);
    methodRow->addWidget(cmdHelpConversionMethod);
    step2Layout->addLayout(methodRow);
    // The two inner frames share one place and one height, so the form does
    // not jump when the method changes.
    innerGUI_ = new QStackedLayout;
    innerGUI_->addWidget(frameInnerGUI_[0]);
    innerGUI_->addWidget(frameInnerGUI_[1]);
    step2Layout->addLayout(innerGUI_);

    connect(cmdRecipeBrowse, &QPushButton::clicked, this, [this] {
        BrowseForFile(*cbRecipeFile_, QStringLiteral("Select Recipe File"), kRecipeFilter,
                      gRecipeFile_, true);
    });
    connect(cmdEditRecipe, &QPushButton::clicked, this, [this] { EditRecipe(); });
    connect(cmdHelpConversionMethod, &QPushButton::clicked, this, [this] { ShowHelpTopic(15); });
    connect(cmdHelpRecipeFile, &QPushButton::clicked, this, [this] { ShowHelpTopic(13); });
    connect(cmdHelpMarkup, &QPushButton::clicked, this, [this] { ShowHelpTopic(12); });
    return step2;
}

// The output step: the output path, its buttons and the note on file kinds.
QGroupBox* frmMain::BuildOutputFrame() {
    QGroupBox* step3 = Frame("frameGUI2", QStringLiteral("STEP 3: Specify the output file(s)"));
    cbOutputFile_ = KeepRoomWhenHidden(PathBox("cbOutputFile"));
    cmdOutputBrowse_ = Button("cmdOutputBrowse", QStringLiteral("   File.."), QStyle::SP_FileIcon,
                              QStringLiteral("Select Output File"));
    cmdSelectOutputFolder_ =
        Button("cmdSelectOutputFolder", QStringLiteral("        Folder.."), QStyle::SP_DirIcon);
    cmdEditOutput_ = Button("cmdEditOutput", QStringLiteral("Edit Output"), QStyle::SP_CustomBase,
                            QStringLiteral("Edit output file"));
    auto* cmdHelpOutputFile = HelpButton("cmdHelpOutputFile", QStringLiteral("Press for help"));
    cbSaveToOriginalFolder_ = new QCheckBox(QStringLiteral("Save to &Original folder"));
    cbSaveToOriginalFolder_->setObjectName(QStringLiteral("cbSaveToOriginalFolder"));
    auto* step3Layout = Inside<QVBoxLayout>(step3);
    step3Layout->addWidget(
        Label("Label2",
              QStringLiteral("Output File(s)  For example: c:\\output\\.csv or c:\\excel\\*.xls")));
    QLabel* label5 = Label("Label5", QStringLiteral("NOTE: To generate a CSV file use a file name "
                                                    "with the *.CSV extension, to create an XLS, "
                                                    "use *.XLS, to fill a SQLite database, use "
                                                    "*.DB or *.SQLITE"));
    label5->setWordWrap(true);
    step3Layout->addWidget(label5);
    step3Layout->addLayout(PathRow(this, cbOutputFile_,
                                   {cmdSelectOutputFolder_, cmdOutputBrowse_, cmdEditOutput_,
                                    cbSaveToOriginalFolder_, cmdHelpOutputFile}));

    connect(cmdOutputBrowse_, &QPushButton::clicked, this, [this] {
        BrowseForFile(*cbOutputFile_, QStringLiteral("Select Output File"), kOutputFilter,
                      gOutputFile_, false);
    });
    connect(cmdSelectOutputFolder_, &QPushButton::clicked, this, [this] { SelectOutputFolder(); });
    connect(cmdEditOutput_, &QPushButton::clicked, this, [this] { LaunchBoxPath(*cbOutputFile_); });
    connect(cmdHelpOutputFile, &QPushButton::clicked, this, [this] { ShowHelpTopic(16); });
    return step3;
}

void frmMain::BuildToolBarAndMenus() {
    QStyle* style = QApplication::style();
    tbMain_ = new QToolBar(QStringLiteral("tbMain"), this);
    tbMain_->setObjectName(QStringLiteral("tbMain"));
    tbMain_->setMovable(false);
    tbMain_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tbMain_->setIconSize(QSize(16, 16));

    keyConvert_ =
        tbMain_->addAction(style->standardIcon(QStyle::SP_MediaPlay), QStringLiteral("Convert"));
    keyConvert_->setObjectName(QStringLiteral("keyConvert"));
    keyConvert_->setToolTip(QStringLiteral("Begin Conversion (F5)"));
    // F5 works wherever the focus is in the window.
    keyConvert_->setShortcut(QKeySequence(Qt::Key_F5));
    keyConvert_->setShortcutContext(Qt::WindowShortcut);
    keyPause_ =
        tbMain_->addAction(style->standardIcon(QStyle::SP_MediaPause), QStringLiteral("&Pause"));
    keyPause_->setObjectName(QStringLiteral("keyPause"));
    keyPause_->setToolTip(QStringLiteral("Pause conversion process"));
    keyPause_->setEnabled(false);
    keyOptions_ = tbMain_->addAction(style->standardIcon(QStyle::SP_FileDialogDetailedView),
                                     QStringLiteral("Options"));
    keyOptions_->setObjectName(QStringLiteral("KeyOptions"));
    keyOptions_->setToolTip(QString());
    // The toolbar lives in the main window; the keys must work here too.
    addAction(keyConvert_);
    addAction(keyPause_);
    connect(keyConvert_, &QAction::triggered, this, [this] { BeginProcessing(); });
    connect(keyPause_, &QAction::triggered, this, [this] { ConversionJobPause(); });
    connect(keyOptions_, &QAction::triggered, this, [this] { ConfigureVOKOptions(); });

    auto* file = new QMenu(QStringLiteral("&File"), this);
    file->setObjectName(QStringLiteral("mnuFile"));
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("mnuFileExit"));
    connect(exit, &QAction::triggered, this, [this] {
        if (exitRequested) exitRequested();
    });

    auto* edit = new QMenu(QStringLiteral("&Edit"), this);
    edit->setObjectName(QStringLiteral("mnuEdit"));
    QAction* editor = edit->addAction(QStringLiteral("&Recipe Editor..."));
    editor->setObjectName(QStringLiteral("frmEditRecipe"));
    connect(editor, &QAction::triggered, this, [this] { EditRecipe(); });

    auto* help = new QMenu(QStringLiteral("&Help"), this);
    help->setObjectName(QStringLiteral("mnuHelpMenu"));
    auto item = [&](const char* name, const QString& caption, auto&& action) {
        QAction* a = help->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, action);
        return a;
    };
    item("mnuHelpHowToUse", QStringLiteral("&How to Use..."),
         [this] { ShowHelpTopic(kHelpHowToUseTopic); });
    QAction* contents = item("mnuHelp", QStringLiteral("Help &Contents"),
                             [this] { ShowHelpTopic(kHelpContentsTopic); });
    contents->setShortcut(QKeySequence(Qt::Key_F1));
    contents->setShortcutContext(Qt::WindowShortcut);
    addAction(contents);
    item("mnuHelpWeb", QStringLiteral("&Web Help (most up to date)"),
         [this] { ShowManualPage(kHelpContentsPage); });
    help->addSeparator()->setObjectName(QStringLiteral("mnuHelpsep1"));
    item("mnuHelpProductHomePage", QStringLiteral("&Product Home Page"),
         [this] { ShowManualPage(kHelpHomePage); });
    item("mnuHelpProductUpdates", QStringLiteral("Product &Updates"),
         [this] { ShowManualPage(kHelpRevisionHistoryPage); });
    item("mnuHollinHomePage", QStringLiteral("&Hollin Home Page"),
         [this] { ShowManualPage(kHelpAboutPage); });

    menus_ = {file, edit, help};
}

void frmMain::InitializeForm() {
    program_.ReadSettings(messages_);
    rbUseRecipe_[program_.Settings.UseRecipeFile ? 0 : 1]->setChecked(true);
    // The lists exist also when config.ini is missing: they start empty and
    // are saved when the window closes.
    const std::filesystem::path& config = program_.gConfigFile;
    mruInputFile.Setup(kListSize, config, "mruInputFile");
    FillComboWithMRU(*cbInputFile_, mruInputFile);
    mruOutputFile.Setup(kListSize, config, "mruOutputFile");
    FillComboWithMRU(*cbOutputFile_, mruOutputFile);
    mruRecipeFile.Setup(kListSize, config, "mruRecipeFile");
    FillComboWithMRU(*cbRecipeFile_, mruRecipeFile);
    UpdateInputDependentControls();
}

void frmMain::MethodChanged() {
    // The stacked layout shows the one and hides the other.
    innerGUI_->setCurrentWidget(frameInnerGUI_[rbUseRecipe_[0]->isChecked() ? 0 : 1]);
}

void frmMain::UpdateInputDependentControls() {
    const bool pattern = cbInputFile_->currentText().contains(QLatin1Char('*'));
    if (pattern) {
        cbDoSubfolders_->show();
        cbSaveToOriginalFolder_->show();
        cmdEditInput_->hide();
        cmdOutputBrowse_->hide();
        cmdEditOutput_->hide();
        const bool original = cbSaveToOriginalFolder_->isChecked();
        cmdSelectOutputFolder_->setHidden(original);
        cbOutputFile_->setHidden(original);
    } else {
        cbDoSubfolders_->hide();
        cbSaveToOriginalFolder_->hide();
        cbSaveToOriginalFolder_->setChecked(false);
        cmdSelectOutputFolder_->hide();
        cmdEditInput_->show();
        cmdOutputBrowse_->show();
        cmdEditOutput_->show();
        cbOutputFile_->show();
    }
}

bool frmMain::BeginProcessing() {
    if (runner_.Running()) return false;
    // The form's state into the job's options; the log and verbose flags stay.
    jobTexts_ = {cbInputFile_->currentText(), cbOutputFile_->currentText(),
                 cbRecipeFile_->currentText()};
    options_.sInputFile = BoxPath(*cbInputFile_);
    options_.sOutputFile = BoxPath(*cbOutputFile_);
    options_.sRecipeFile = BoxPath(*cbRecipeFile_);
    options_.bUseRecipe = rbUseRecipe_[0]->isChecked();
    options_.bDoSubfolders = cbDoSubfolders_->isChecked();
    options_.bSaveInOriginalFolder = cbSaveToOriginalFolder_->isChecked();
    const FormSettings& s = program_.Settings;
    options_.bShowExcel = s.bShowExcel;
    options_.lTabSize = s.lTabSize;
    options_.bClearOutputFileBeforeProcessing = s.bClearOutputFileBeforeProcessing;
    options_.sSheetTarget = s.sSheetTarget;
    gRecipeFile_ = options_.sRecipeFile;

    keyPause_->setEnabled(true);
    keyConvert_->setEnabled(false);
    lastResult_.reset();
    runner_.Start(program_, options_);
    return true;
}

void frmMain::ConversionJobPause() {
    runner_.Pause();
}

void frmMain::StopJobAndWait() {
    if (!runner_.Running()) return;
    runner_.StopWithoutAsking();
    runner_.WaitUntilFinished();
}

void frmMain::JobFinished(const JobResult& result) {
    lastResult_ = result;
    if (result.bWarnedAboutTabsInFile) program_.Settings.bWarnedAboutTabsInFile = true;
    // A job that met problems or was stopped says so beside "Conversion Complete".
    QStringList notes;
    if (result.stopped) notes << QStringLiteral("stopped");
    if (result.failuresShown > 0)
        notes << (result.failuresShown == 1
                      ? QStringLiteral("1 problem message shown")
                      : QStringLiteral("%1 problem messages shown").arg(result.failuresShown));
    if (!notes.isEmpty() && showStatus)
        showStatus(
            StatusTarget::Progress,
            QStringLiteral("Conversion Complete (%1)").arg(notes.join(QStringLiteral(", "))));
    keyPause_->setEnabled(false);
    keyConvert_->setEnabled(true);
}

void frmMain::UpdateMRUs() {
    const std::array<std::pair<QComboBox*, clsMRU*>, 3> lists{{{cbInputFile_, &mruInputFile},
                                                               {cbOutputFile_, &mruOutputFile},
                                                               {cbRecipeFile_, &mruRecipeFile}}};
    for (size_t i = 0; i < lists.size(); ++i) {
        auto [box, list] = lists[i];
        // The box keeps its text: what the user typed since the job started,
        // or a path the list could not take.
        const QString typed = box->currentText();
        list->AddUniqueItemToCollection(ToStdString(jobTexts_[i]));
        FillComboWithMRU(*box, *list);
        if (box->currentText() != typed) box->setEditText(typed);
    }
}

void frmMain::ConfigureVOKOptions() {
    frmVOKOptions dialog(program_.Settings, messages_, this);
    dialog.exec();
}

void frmMain::EditRecipe() {
    if (!editor_) {
        RecipeEditorHost host{program_.ProgramFolder,
                              [this] { return BoxPath(*cbRecipeFile_); },
                              [this] { return mapToGlobal(QPoint(0, 0)); },
                              [this](int topic) { ShowHelpTopic(topic); },
                              [this] { return BoxPath(*cbInputFile_); },
                              [this] { return program_.Settings.lTabSize; }};
        editor_ = std::make_unique<frmExportBuilder>(std::move(host), this);
    }
    editor_->LoadRecipeIntoEditor(BoxPath(*cbRecipeFile_));
    editor_->exec();
    // A new recipe that was never saved has no name; the box keeps its own.
    if (!editor_->sLastRecipeFileName.empty())
        cbRecipeFile_->setEditText(QString::fromStdString(editor_->sLastRecipeFileName.native()));
}

void frmMain::SaveIniFile(ProfileFile& config) {
    program_.Settings.UseRecipeFile = !rbUseRecipe_[1]->isChecked();
    program_.WriteSettings(config);
    mruInputFile.ShutDown(config);
    mruOutputFile.ShutDown(config);
    mruRecipeFile.ShutDown(config);
}

void frmMain::ShowHelpTopic(int32_t topic) {
    if (ShowHelp(topic, shell_.openUrl)) return;
    const std::optional<std::string_view> page = HelpPageOfTopic(topic);
    messages_.Show("The help page " + (HelpFolder() / page.value_or("")).string() +
                       " cannot be opened.",
                   MessageIcon::Information);
}

void frmMain::ShowManualPage(std::string_view page) {
    if (ShowHelpPage(page, shell_.openUrl)) return;
    messages_.Show("The help page " + (HelpFolder() / page).string() + " cannot be opened.",
                   MessageIcon::Information);
}

void frmMain::OpenGivenFile(const std::filesystem::path& file) {
    const QString text = QString::fromStdString(file.native());
    const std::string extension = AsciiUpper(GetExtensionName(file));
    if (extension != "RCP" && extension != "T2X") {
        cbInputFile_->setEditText(text);
        return;
    }
    rbUseRecipe_[0]->setChecked(true);
    cbRecipeFile_->setEditText(text);
    EditRecipe();
}

void frmMain::LaunchBoxPath(const QComboBox& box) {
    ConversionJob::LaunchFile(messages_, BoxPath(box), [this](const std::filesystem::path& path) {
        return shell_.openUrl(QUrl::fromLocalFile(QString::fromStdString(path.native())));
    });
}

void frmMain::EditInputFile() {
    const std::filesystem::path input = BoxPath(*cbInputFile_);
    if (!StartsAsPdf(input)) {
        LaunchBoxPath(*cbInputFile_);
        return;
    }
    // An editor shows a PDF's bytes; the user wants the lines vok reads.
    const ReportSource source = ReportSourceOf(input, {});
    for (const ReportNote& note : source.notes)
        messages_.Show(note.text, note.failure ? MessageIcon::Exclamation : MessageIcon::Information);
    if (!source.problem.empty()) {
        messages_.Show(source.problem, MessageIcon::Critical);
        return;
    }
    std::string error;
    const std::filesystem::path text = KeepRebuiltText(source, input, error);
    if (text.empty()) {
        messages_.Show("Cannot write the text of " + input.string() + ": " + error,
                       MessageIcon::Critical);
        return;
    }
    rebuiltTexts_.push_back(text);
    if (!shell_.openUrl(QUrl::fromLocalFile(QString::fromStdString(text.native()))))
        messages_.Show("Cannot open " + text.string() + ".", MessageIcon::Exclamation);
}

void frmMain::BrowseForFile(QComboBox& box, const QString& title, const QString& filter,
                            const std::filesystem::path& currentJobPath, bool mustExist) {
    OpenFileRequest request{title, filter, {}, {}, mustExist};
    const std::filesystem::path folder = FolderOfPath(BoxPath(box));
    if (!box.currentText().isEmpty() && !folder.empty()) {
        request.startFolder = QString::fromStdString(folder.native());
    } else {
        request.startFolder = QString::fromStdString(program_.ProgramFolder.native());
        request.proposedName = QString::fromStdString(currentJobPath.native());
    }
    const QString chosen = shell_.pickFile(this, request);
    if (!chosen.isEmpty()) box.setEditText(chosen);
}

void frmMain::SelectInputFolder() {
    const QString folder =
        shell_.pickFolder(this, QString::fromStdString(BoxPath(*cbInputFile_).native()));
    if (folder.isEmpty()) return;
    cbInputFile_->setEditText(folder + QStringLiteral("\\") + QStringLiteral("*.TXT"));
}

void frmMain::SelectOutputFolder() {
    const QString previous = cbOutputFile_->currentText();
    const QString folder =
        shell_.pickFolder(this, QString::fromStdString(BoxPath(*cbOutputFile_).native()));
    if (folder.isEmpty()) return;
    const std::string extension =
        previous.isEmpty() ? std::string() : GetExtensionName(BoxPath(*cbOutputFile_));
    cbOutputFile_->setEditText(folder + QStringLiteral("\\*.") + ToQString(extension));
}

} // namespace vok
