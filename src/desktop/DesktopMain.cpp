#include "desktop/DesktopMain.h"

#include "base/ProgramLayout.h"
#include "base/modUtilityFile.h"
#include "cli/InterruptWatcher.h"
#include "cli/MainModule.h"
#include "desktop/DesktopShell.h"
#include "desktop/frmMain.h"
#include "desktop/frmMainMDI.h"
#include "desktop/frmPleaseWait.h"
#include "desktop_services/DesktopMessages.h"
#include "job/ProgramSettings.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

namespace vok {

std::optional<std::filesystem::path> FileToOpen(const std::vector<std::string>& args,
                                                const std::filesystem::path& currentFolder) {
    if (args.size() != 1 || args.front().empty() || args.front().front() == '-') return {};
    std::filesystem::path file(args.front());
    if (file.is_relative()) file = (currentFolder / file).lexically_normal();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return {};
    return file;
}

namespace {

// The window is the menu entry's program, with its icon: from the icon theme,
// or the program's own copy where no theme has it (a build folder).
void ShowAsTheMenuEntry() {
    QGuiApplication::setDesktopFileName(QStringLiteral("vok"));
    const QString icon = QString::fromStdString(ThisProgramLayout().iconFile.native());
    const QIcon fallback = QFile::exists(icon) ? QIcon(icon)
                                               : QApplication::style()->standardIcon(
                                                     QStyle::SP_FileDialogContentsView);
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vok"), fallback));
}

} // namespace

int DesktopMain(int argc, char** argv) {
    // A command line runs its job as vok itself does, without a window.
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::error_code ec;
    const std::optional<std::filesystem::path> given =
        FileToOpen(args, std::filesystem::current_path(ec));
    if (!args.empty() && !given) return Main(args);

    // Without a display Qt would abort; say what is wrong instead.
    if (!HasDisplay()) {
        std::fprintf(stderr, "vok-desktop: there is no display to open the window on (DISPLAY "
                             "or WAYLAND_DISPLAY names none that answers).\n"
                             "Run vok with arguments to convert without a window; vok --help "
                             "lists them.\n");
        return 1;
    }
    // A file-size limit is a write failure with its cause, not the end of the program.
    IgnoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VOK Wizard"));
    ShowAsTheMenuEntry();

    const ProgramFolders folders = ThisProgramFolders();
    ProgramSettings program(folders);
    // Without its folders the program could keep neither settings nor working files.
    if (std::string error; !MakeProgramFolders(folders, error)) {
        DesktopMessages().Show(error, MessageIcon::Critical);
        return 1;
    }
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
    // The file it was started with, once the window is up.
    if (given)
        QTimer::singleShot(300, &window, [&window, &given] { window.Form().OpenGivenFile(*given); });
    return QApplication::exec();
}

} // namespace vok
