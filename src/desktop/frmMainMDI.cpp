#include "desktop/frmMainMDI.h"

#include "base/Messages.h"
#include "base/modUtilityString.h"
#include "desktop/frmMain.h"
#include "desktop_services/modUtilityForm.h"
#include "recipe/ProfileFile.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace vok {

namespace {

constexpr int kMinimumWidthTwips = 6030;
constexpr int kMinimumHeightTwips = 7000;
const char* const kSection = "frmMainMDI";

QLabel* Panel(const QString& text, bool stretches) {
    auto* panel = new QLabel(text);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    if (!text.isEmpty()) panel->setToolTip(text);
    // A long path is cut off in its panel rather than widening the window.
    if (stretches) {
        panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        panel->setMinimumWidth(0);
    }
    return panel;
}

} // namespace

frmMainMDI::frmMainMDI(ProgramSettings& program, Messages& messages, DesktopShell shell,
                       QWidget* parent)
    : QMainWindow(parent), program_(program), messages_(messages) {
    setObjectName(QStringLiteral("frmMainMDI"));
    caption_ = QStringLiteral("VOK Wizard - Document To CSV/XLS Conversion");
    setWindowTitle(caption_);

    // The window's own menu, shown only while no form is.
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFileMDI"));
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("mnuExit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    form_ = new frmMain(program_, messages_, std::move(shell));
    form_->showStatus = [this](StatusTarget target, const QString& text) {
        ShowStatus(target, text);
    };
    form_->exitRequested = [this] { close(); };

    // The current-file bar under the form, the main bar at the bottom.
    sbCurrentFile_ = new QStatusBar;
    sbCurrentFile_->setObjectName(QStringLiteral("sbCurrentFile"));
    sbCurrentFile_->setSizeGripEnabled(false);
    sbCurrentFilePanels_ = {Panel(QStringLiteral("Processing File:"), false),
                            Panel(QString(), false), Panel(QString(), true)};
    sbCurrentFile_->addWidget(sbCurrentFilePanels_[0]);
    sbCurrentFile_->addWidget(sbCurrentFilePanels_[1]);
    sbCurrentFile_->addWidget(sbCurrentFilePanels_[2], 1);
    sbCurrentFilePanels_[1]->hide(); // kept for its number; it shows nothing

    QStatusBar* sbMain = statusBar();
    sbMain->setObjectName(QStringLiteral("sbMain"));
    sbMainPanels_ = {Panel(QStringLiteral(" Progress:"), false),
                     Panel(QString(), false),
                     Panel(QString(), true),
                     Panel(QString(), false),
                     Panel(QStringLiteral("Total Time (Sec):"), false),
                     Panel(QString(), false)};
    sbMain->addWidget(sbMainPanels_[0]);
    sbMain->addWidget(sbMainPanels_[1]);
    sbMain->addWidget(sbMainPanels_[2], 1);
    sbMain->addPermanentWidget(sbMainPanels_[3]);
    sbMain->addPermanentWidget(sbMainPanels_[4]);
    sbMain->addPermanentWidget(sbMainPanels_[5]);
    sbMainPanels_[1]->hide();
    sbMainPanels_[3]->hide();
    sbMainPanels_[5]->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000.0")));
    for (size_t i = 0; i < sbMainPanels_.size(); ++i)
        sbMainPanels_[i]->setObjectName(QStringLiteral("sbMainPanel%1").arg(i + 1));
    for (size_t i = 0; i < sbCurrentFilePanels_.size(); ++i)
        sbCurrentFilePanels_[i]->setObjectName(QStringLiteral("sbCurrentFilePanel%1").arg(i + 1));

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Should the form not fit (large fonts), it scrolls rather than squeeze its controls.
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("formScrollArea"));
    scroll->setWidget(form_);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    layout->addWidget(scroll, 1);
    layout->addWidget(sbCurrentFile_);
    setCentralWidget(central);

    setMinimumSize(MinimumSizeInPixels());
    resize(PixelsFromTwips(11000, this), PixelsFromTwips(7000, this));
}

frmMainMDI::~frmMainMDI() = default;

QSize frmMainMDI::MinimumSizeInPixels() const {
    return {PixelsFromTwips(kMinimumWidthTwips, this), PixelsFromTwips(kMinimumHeightTwips, this)};
}

void frmMainMDI::Load() {
    ReadIniFile();
    form_->InitializeForm();
    // The form's toolbar and menus take the window's place while it is shown.
    // The window's own menus leave the bar: hidden, they would still claim
    // their Alt keys, and two claims on Alt+F open neither menu.
    addToolBar(form_->ToolBar());
    for (QAction* own : menuBar()->actions())
        menuBar()->removeAction(own);
    for (QMenu* menu : form_->Menus())
        menuBar()->addMenu(menu);
}

void frmMainMDI::ReadIniFile() {
    const ProfileFile config(program_.gConfigFile);
    // A value that is no number ends the reading; what was read so far stands.
    auto read = [&](const char* key, const char* fallback, int32_t& value) {
        return ParseWholeNumber(config.Get(kSection, key, fallback), value);
    };
    int32_t state = 0, left = 150, top = 150, width = 11000, height = 7000;
    if (!read("WindowState", "0", state)) return;
    if (state == 2) setWindowState(Qt::WindowMaximized);
    if (state == 1) setWindowState(Qt::WindowMinimized);
    if (!read("Left", "150", left) || !read("Top", "150", top)) return;
    QPoint position(PixelsFromTwips(left, this), PixelsFromTwips(top, this));
    // A placement from a screen that is no longer there would hide the window.
    const QScreen* screen = QGuiApplication::screenAt(position);
    if (!screen) position = {PixelsFromTwips(150, this), PixelsFromTwips(150, this)};
    move(position);
    if (!read("Width", "11000", width) || !read("Height", "7000", height)) return;
    resize(PixelsFromTwips(width, this), PixelsFromTwips(height, this));
}

void frmMainMDI::SaveIniFile(ProfileFile& config) const {
    const int32_t state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    config.Write(kSection, "WindowState", std::to_string(state));
    if (state != 0) return;
    config.Write(kSection, "Left", std::to_string(TwipsFromPixels(pos().x(), this)));
    config.Write(kSection, "Top", std::to_string(TwipsFromPixels(pos().y(), this)));
    config.Write(kSection, "Width", std::to_string(TwipsFromPixels(width(), this)));
    config.Write(kSection, "Height", std::to_string(TwipsFromPixels(height(), this)));
}

void frmMainMDI::ShowStatus(StatusTarget target, const QString& text) {
    switch (target) {
    case StatusTarget::Progress:
        sbMainPanels_[2]->setText(text);
        break;
    case StatusTarget::ElapsedTime:
        sbMainPanels_[5]->setText(text);
        break;
    case StatusTarget::CurrentFile:
        sbCurrentFilePanels_[2]->setText(text);
        break;
    case StatusTarget::Caption:
        setWindowTitle(text.isEmpty() ? caption_ : text);
        break;
    }
}

void frmMainMDI::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    // Closed again while the job is being stopped: the first close goes on.
    if (closing_) {
        event->ignore();
        return;
    }
    closing_ = true;
    form_->StopJobAndWait();
    // The placement, the settings and the three lists in one write.
    ProfileFile config(program_.gConfigFile);
    SaveIniFile(config);
    form_->SaveIniFile(config);
    std::string error;
    if (!config.Commit(error))
        messages_.Show("The settings could not be saved: " + error, MessageIcon::Critical);
    closed_ = true;
    event->accept();
}

} // namespace vok
