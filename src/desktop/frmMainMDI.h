// The main window: the conversion form with its toolbar and menus, the two
// status bars, the caption, the minimum size and the placement kept in
// config.ini's [frmMainMDI] section. Closing it stops a running job (without
// asking), waits until its output is closed or saved, then saves the
// placement, the settings and the recent lists in one write.
#pragma once

#include "base/JobObserver.h"
#include "desktop/DesktopShell.h"
#include "job/ProgramSettings.h"

#include <QMainWindow>
#include <array>

class QLabel;
class QStatusBar;

namespace vok {

class Messages;
class ProfileFile;
class frmMain;

class frmMainMDI : public QMainWindow {
public:
    frmMainMDI(ProgramSettings& program, Messages& messages, DesktopShell shell,
               QWidget* parent = nullptr);
    ~frmMainMDI() override;

    // The load steps: the placement, then the conversion form with its
    // settings and lists.
    void Load();

    frmMain& Form() { return *form_; }

    // A status panel or the caption; "" as caption gives back the window's own.
    void ShowStatus(StatusTarget target, const QString& text);

    // The minimum size, from 6030 by 7000 twips.
    QSize MinimumSizeInPixels() const;

    // Writes the placement into the file in memory: the state, and the
    // position and size only for a normal window.
    void SaveIniFile(ProfileFile& config) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ReadIniFile();

    ProgramSettings& program_;
    Messages& messages_;
    frmMain* form_ = nullptr;
    QStatusBar* sbCurrentFile_ = nullptr;
    std::array<QLabel*, 6> sbMainPanels_{};
    std::array<QLabel*, 3> sbCurrentFilePanels_{};
    QString caption_;
    bool closing_ = false;
    bool closed_ = false;
};

} // namespace vok
