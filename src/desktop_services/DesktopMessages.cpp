#include "desktop_services/DesktopMessages.h"

#include "desktop_services/modUtilityForm.h"

#include <QApplication>
#include <QMessageBox>

namespace vok {

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Exclamation:
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// The texts join their lines with CR LF; a box breaks lines at LF alone.
QString BoxText(std::string_view text) {
    QString result = ToQString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

QString BoxCaption(std::string_view caption) {
    return ToQString(caption.empty() ? kProgramTitle : caption);
}

} // namespace

void DesktopMessages::DisplayMessage(std::string_view text, MessageIcon icon,
                                     std::string_view caption, MessageKind) {
    QMessageBox box(BoxIcon(icon), BoxCaption(caption), BoxText(text), QMessageBox::Ok, owner_);
    box.exec();
}

bool DesktopMessages::DisplayQuestion(std::string_view text, MessageIcon icon,
                                      std::string_view caption) {
    QMessageBox box(BoxIcon(icon), BoxCaption(caption), BoxText(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    return box.exec() == QMessageBox::Yes;
}

void DesktopMessages::Beep() {
    QApplication::beep();
}

} // namespace vok
