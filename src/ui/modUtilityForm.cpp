#include "ui/modUtilityForm.h"

#include "ui/clsMRU.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalBlocker>
#include <QWidget>
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
