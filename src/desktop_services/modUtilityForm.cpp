#include "desktop_services/modUtilityForm.h"

#include "desktop_services/clsMRU.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalBlocker>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace vok {

namespace {

double LogicalDpi(const QWidget* widget) {
    const QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

} // namespace

int PixelsFromTwips(int twips, const QWidget* widget) {
    return static_cast<int>(std::lround(twips * LogicalDpi(widget) / 1440.0));
}

int TwipsFromPixels(int pixels, const QWidget* widget) {
    return static_cast<int>(std::lround(pixels * 1440.0 / LogicalDpi(widget)));
}

QRect PlaceBeside(const QRect& anchor, QSize size, const QRect& available) {
    // No larger than the screen.
    size = size.boundedTo(available.size());
    const int roomRight = available.right() - anchor.right();
    const int roomLeft = anchor.left() - available.left();
    // Beside the anchor where there is room, else against the roomier edge.
    int x = 0;
    if (roomRight >= size.width())
        x = anchor.right() + 1;
    else if (roomLeft >= size.width())
        x = anchor.left() - size.width();
    else
        x = roomRight >= roomLeft ? available.right() + 1 - size.width() : available.left();
    // Level with the anchor's top; on the screen even when the anchor is not.
    x = std::clamp(x, available.left(), available.right() + 1 - size.width());
    const int y = std::clamp(anchor.top(), available.top(), available.bottom() + 1 - size.height());
    return {QPoint(x, y), size};
}

void FillComboWithMRU(QComboBox& combo, const clsMRU& list) {
    {
        // One change notice for the whole refill, not one per entry.
        const QSignalBlocker quiet(combo);
        combo.clear();
        combo.clearEditText();
        const auto& entries = list.clnMRU();
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            combo.addItem(ToQString(*it));
    }
    if (combo.count() > 0) {
        combo.setCurrentIndex(0);
        emit combo.currentTextChanged(combo.currentText());
    } else {
        emit combo.currentTextChanged(QString());
    }
}

} // namespace vok
