#include "desktop_services/modPickFolder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace vok {

QString DropOneTrailingSeparator(const QString& folder) {
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) return folder.chopped(1);
    return folder;
}

QString PickFolder(QWidget* owner, const QString& initialFolder) {
    QString start = DropOneTrailingSeparator(initialFolder);
    // A file or pattern in the box: start in the folder that holds it.
    if (!start.isEmpty() && !QFileInfo(start).isDir()) start = QFileInfo(start).path();
    QFileDialog dialog(owner, QStringLiteral("Browse For Folder"), start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return DropOneTrailingSeparator(dialog.selectedFiles().constFirst());
}

} // namespace vok
