// What the forms ask of the desktop besides their own widgets: the file and
// folder dialogs and the opener of files, folders and pages. The program uses
// the real ones; tests put their own in, so that no dialog waits for a hand.
#pragma once

#include "desktop_services/modHelpFile.h"

#include <QString>
#include <functional>

class QWidget;

namespace vok {

// An open-file dialog as the conversion form asks for it.
struct OpenFileRequest {
    QString title;
    QString filter;      // Qt name filters, ";;" between them; the first is selected
    QString startFolder; // where the dialog opens
    QString proposedName;
    bool mustExist = true; // false: a new name may be typed (the output)
};

struct DesktopShell {
    UrlOpener openUrl;
    // The chosen folder without a trailing separator, or "" when cancelled.
    std::function<QString(QWidget* owner, const QString& initialFolder)> pickFolder;
    // The chosen file, or "" when cancelled.
    std::function<QString(QWidget* owner, const OpenFileRequest& request)> pickFile;

    // QDesktopServices, "Browse For Folder" and QFileDialog.
    static DesktopShell Real();
};

} // namespace vok
