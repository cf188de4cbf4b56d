// The user manual's pages and the help topics that open them. The manual is a
// folder of HTML pages that belongs to the program, not to the settings:
// where it lies follows the program's layout, whatever VOK_HOME says. The command line ("/?")
// and the desktop's help buttons both look pages up here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vok {

// The topic that opens the manual's contents page.
inline constexpr int32_t kHelpContentsTopic = -1234;
// The how-to-use page: the menu item "&How to Use..." and "/?".
inline constexpr int32_t kHelpHowToUseTopic = 22;

// Pages below the help folder: the manual's contents, and the pages the
// desktop's web menu items open.
inline constexpr std::string_view kHelpContentsPage = "vok-wizard.htm";
inline constexpr std::string_view kHelpHomePage = "home.htm";
inline constexpr std::string_view kHelpRevisionHistoryPage = "revision_history.htm";
inline constexpr std::string_view kHelpAboutPage = "about.htm";

// The page of a help topic, below the help folder; nothing for an unknown
// topic. The contents topic gives the contents page.
std::optional<std::string_view> HelpPageOfTopic(int32_t topic);

// The manual's folder: help/ beside the executable, or share/vok/help/ of
// an installation.
std::filesystem::path HelpFolder();

// The full path of a topic's page; empty for an unknown topic.
std::filesystem::path HelpPageFile(int32_t topic);

// A "file://" URL for an absolute path, with every byte outside the
// unreserved characters and "/" percent-encoded.
std::string FileUrl(const std::filesystem::path& path);

} // namespace vok
