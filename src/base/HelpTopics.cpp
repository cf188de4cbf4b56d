#include "base/HelpTopics.h"

#include "base/ProgramLayout.h"

#include <array>
#include <utility>

namespace vok {

namespace {

constexpr std::array<std::pair<int32_t, std::string_view>, 7> kTopics{{
    {12, "vok_wizard_users_manual/using_the_vok_wizard/filemarkingmethod.htm"},
    {13, "vok_wizard_users_manual/using_the_vok_wizard/recipefilemethod.htm"},
    {14, "vok_wizard_users_manual/how_do_i_use_it_/step1.htm"},
    {15, "vok_wizard_users_manual/how_do_i_use_it_/step2.htm"},
    {16, "vok_wizard_users_manual/how_do_i_use_it_/step3.htm"},
    {kHelpHowToUseTopic, "vok_wizard_users_manual/how_do_i_use_it_/howdoiuseit_.htm"},
    {kHelpContentsTopic, kHelpContentsPage},
}};

} // namespace

std::optional<std::string_view> HelpPageOfTopic(int32_t topic) {
    for (const auto& [number, page] : kTopics)
        if (number == topic) return page;
    return std::nullopt;
}

std::filesystem::path HelpFolder() {
    return ThisProgramLayout().helpFolder;
}

std::filesystem::path HelpPageFile(int32_t topic) {
    const std::optional<std::string_view> page = HelpPageOfTopic(topic);
    if (!page) return {};
    return HelpFolder() / *page;
}

std::string FileUrl(const std::filesystem::path& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path.native()) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
            byte == '~' || byte == '/') {
            url.push_back(c);
        } else {
            url.push_back('%');
            url.push_back(kHex[byte >> 4]);
            url.push_back(kHex[byte & 15]);
        }
    }
    return url;
}

} // namespace vok
