// Helpers the desktop's forms share: twips and pixels, text between Qt and
// the core, and filling a combo box from a recent-file list.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <string>
#include <string_view>

class QComboBox;
class QWidget;

namespace vok {

class clsMRU;

// Twips are 1/1440 of an inch; pixels follow the screen's logical resolution.
int PixelsFromTwips(int twips, const QWidget* widget);
int TwipsFromPixels(int pixels, const QWidget* widget);

// Where a window of `size` (its frame, in pixels) goes beside the window
// `anchor` (a frame rectangle): right of it when it fits on `available`
// (the screen's area for windows), else left of it, else against the edge
// of the side with more room. It always lies within `available`, shrunk to
// it when larger.
QRect PlaceBeside(const QRect& anchor, QSize size, const QRect& available);

inline QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ToStdString(const QString& text) {
    return text.toUtf8().toStdString();
}

// Fills the box with the list's entries, newest first, and selects the
// newest, which becomes the box's text; an empty list leaves the box empty.
void FillComboWithMRU(QComboBox& combo, const clsMRU& list);

} // namespace vok
