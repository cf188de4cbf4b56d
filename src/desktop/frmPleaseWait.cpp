#include "desktop/frmPleaseWait.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace vok {

frmPleaseWait::frmPleaseWait(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmPleaseWait"));
    setWindowTitle(QStringLiteral("VOK Wizard"));
    auto* frame = new QFrame;
    frame->setFrameShape(QFrame::Box);
    frame->setLineWidth(2);

    auto* picture = new QLabel;
    picture->setPixmap(
        QApplication::style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(48, 48));
    lblHeader = new QLabel(QStringLiteral("Please wait while updating."));
    lblHeader->setObjectName(QStringLiteral("lblHeader"));
    QFont header(QStringLiteral("Times New Roman"));
    header.setPointSize(18);
    header.setBold(true);
    lblHeader->setFont(header);
    lblLine1 = new QLabel;
    lblLine1->setObjectName(QStringLiteral("lblLine1"));
    lblLine2 = new QLabel;
    lblLine2->setObjectName(QStringLiteral("lblLine2"));

    auto* lines = new QVBoxLayout;
    lines->addWidget(lblHeader);
    lines->addWidget(lblLine1);
    lines->addWidget(lblLine2);
    auto* inner = new QHBoxLayout(frame);
    inner->setContentsMargins(24, 18, 32, 18);
    inner->setSpacing(18);
    inner->addWidget(picture, 0, Qt::AlignTop);
    inner->addLayout(lines);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
}

} // namespace vok
