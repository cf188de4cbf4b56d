// Help and the desktop's opener. The manual's pages lie in help/ beside the
// executable; a help topic opens its page in the desktop's browser.
#pragma once

#include <QUrl>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace vok {

// How a page or a file reaches the desktop; the real one is QDesktopServices.
using UrlOpener = std::function<bool(const QUrl&)>;

// Opens a URL with the desktop's opener (QDesktopServices).
bool OpenUrlWithDesktop(const QUrl& url);

// The URL of a page below the help folder; empty when the page is not there.
QUrl HelpPageUrl(std::string_view page);

// Opens the page of a help topic (the contents for kHelpContentsTopic); false
// when the topic has no page, the page is missing or the opener failed.
bool ShowHelp(int32_t topic, const UrlOpener& open = OpenUrlWithDesktop);

// Opens a page of the manual by its path below the help folder.
bool ShowHelpPage(std::string_view page, const UrlOpener& open = OpenUrlWithDesktop);

} // namespace vok
