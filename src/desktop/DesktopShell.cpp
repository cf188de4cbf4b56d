#include "desktop/DesktopShell.h"

#include "desktop_services/modPickFolder.h"

#include <QDir>
#include <QFileDialog>

namespace vok {

namespace {

QString PickFile(QWidget* owner, const OpenFileRequest& request) {
    QFileDialog dialog(owner, request.title, request.startFolder, request.filter);
    // Every dialog is an open dialog; the output's lets a new name be typed.
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!request.proposedName.isEmpty()) dialog.selectFile(request.proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

DesktopShell DesktopShell::Real() {
    return {OpenUrlWithDesktop, PickFolder, PickFile};
}

} // namespace vok
