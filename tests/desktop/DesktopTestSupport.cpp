#include "DesktopTestSupport.h"

#include "cli/MainModule.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

namespace vok::test {

void DesktopFixture::Open(const std::string& config) {
    if (config.empty())
        CreateDefaultConfigFile(program.gConfigFile);
    else
        WriteFile(program.gConfigFile, config);
    window = std::make_unique<frmMainMDI>(program, messages, shell.Shell());
    window->Load();
    window->show();
}

void DesktopFixture::Type(const char* box, const QString& text) {
    QComboBox* combo = Box(box);
    combo->lineEdit()->selectAll();
    QTest::keyClick(combo->lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(combo->lineEdit(), text);
}

QString DesktopFixture::Panel(const char* name) const {
    return Find<QLabel>(name)->text();
}

std::filesystem::path Example(std::string_view name) {
    return std::filesystem::path(VOK_EXAMPLES) / name;
}

} // namespace vok::test
