// The start-up window: the program's name and maker for a moment while the
// main window opens.
#pragma once

#include <QWidget>

class QLabel;

namespace vok {

class frmPleaseWait : public QWidget {
public:
    explicit frmPleaseWait(QWidget* parent = nullptr);

    QLabel* lblHeader = nullptr;
    QLabel* lblLine1 = nullptr;
    QLabel* lblLine2 = nullptr;
};

} // namespace vok
