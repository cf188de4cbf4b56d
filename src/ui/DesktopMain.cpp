#include "ui/DesktopMain.h"

#include "app/MainModule.h"
#include "app/ProgramSettings.h"
#include "base/modUtilityFile.h"
#include "ui/DesktopMessages.h"
#include "ui/DesktopShell.h"
#include "ui/frmMainMDI.h"
#include "ui/frmPleaseWait.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

namespace vok {

int DesktopMain(int argc, char** argv) {
    // A command line runs its job as vok itself does, without a window.
    if (argc > 1) return Main(std::vector<std::string>(argv + 1, argv + argc));

    // Without a display Qt would abort; say what is wrong instead.
    if (!HasDisplay()) {
        std::fprintf(stderr, "vok-desktop: there is no display to open the window on (DISPLAY "
                             "or WAYLAND_DISPLAY names none that answers).\n"
                             "Run vok with arguments to convert without a window; vok --help "
                             "lists them.\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VOK Wizard"));
    QApplication::setWindowIcon(
        QApplication::style()->standardIcon(QStyle::SP_FileDialogContentsView));

    ProgramSettings program(ProgramFolderPath());
    // The error log is reset first; config.ini exists before any setting is read.
    WriteErrorLogHeader(program.gErrorLogFile);
    if (!FileExists(program.gConfigFile)) CreateDefaultConfigFile(program.gConfigFile);

    frmPleaseWait startup;
    startup.lblHeader->setText(QStringLiteral("VOK Wizard"));
    startup.lblLine1->setText(QStringLiteral("Hollin, Inc."));
    // In the middle of the screen, over the main window while that opens.
    startup.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        startup.move(screen->availableGeometry().center() - startup.rect().center());
    startup.show();
    QApplication::processEvents();

    DesktopMessages messages;
    frmMainMDI window(program, messages, DesktopShell::Real());
    messages.SetOwner(&window);
    window.Load();
    window.show();
    startup.raise();
    QTimer::singleShot(250, &startup, &QWidget::hide);
    return QApplication::exec();
}

} // namespace vok
