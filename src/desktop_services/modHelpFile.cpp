#include "desktop_services/modHelpFile.h"

#include "base/HelpTopics.h"
#include "base/modUtilityFile.h"

#include <QDesktopServices>
#include <QString>

namespace vok {

bool OpenUrlWithDesktop(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

QUrl HelpPageUrl(std::string_view page) {
    const std::filesystem::path file = HelpFolder() / page;
    if (!FileExists(file)) return {};
    return QUrl::fromLocalFile(QString::fromStdString(file.native()));
}

bool ShowHelpPage(std::string_view page, const UrlOpener& open) {
    const QUrl url = HelpPageUrl(page);
    return url.isValid() && open(url);
}

bool ShowHelp(int32_t topic, const UrlOpener& open) {
    const std::optional<std::string_view> page = HelpPageOfTopic(topic);
    return page && ShowHelpPage(*page, open);
}

} // namespace vok
