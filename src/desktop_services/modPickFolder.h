// The folder chooser of the conversion form's Folder buttons.
#pragma once

#include <QString>

class QWidget;

namespace vok {

// Asks for a folder in a dialog titled "Browse For Folder" that starts in the
// initial folder (or, when that is no folder, in the folder holding it).
// Returns the folder without a trailing separator, or "" when cancelled.
QString PickFolder(QWidget* owner, const QString& initialFolder);

// The folder without one trailing separator; the root keeps its own.
QString DropOneTrailingSeparator(const QString& folder);

} // namespace vok
