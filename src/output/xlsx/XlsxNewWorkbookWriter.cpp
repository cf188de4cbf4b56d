#include "output/xlsx/XlsxNewWorkbookWriter.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <locale.h>
#include <xlsxwriter.h>

namespace vok {

namespace {

// libxlsxwriter prints its decimals (page margins, row heights) with printf:
// under a locale with a decimal comma, which the desktop's toolkit sets, the
// file would be damaged. The C locale holds for this thread while it writes.
class CLocaleScope {
public:
    CLocaleScope() : c_(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr))) {
        if (c_) previous_ = uselocale(c_);
    }
    ~CLocaleScope() {
        if (!c_) return;
        uselocale(previous_);
        freelocale(c_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t c_;
    locale_t previous_ = LC_GLOBAL_LOCALE;
};

} // namespace

bool XlsxNewWorkbookWriter::Write(const std::filesystem::path& path,
                                  const std::vector<std::string>& sheetNames, std::string& error) {
    CLocaleScope locale;
    lxw_workbook* workbook = workbook_new(path.c_str());
    if (!workbook) {
        error = "the workbook cannot be created";
        return false;
    }
    for (const std::string& name : sheetNames) {
        if (!workbook_add_worksheet(workbook, name.c_str())) {
            lxw_workbook_free(workbook);
            error = fmt::format("the sheet name \"{}\" is not allowed", name);
            return false;
        }
    }
    // Closing writes the package and frees the workbook. The library names
    // only its own error; the system's reason (a full disk) is what the user
    // can act on.
    errno = 0;
    lxw_error closed = workbook_close(workbook);
    const int cause = errno;
    if (closed != LXW_NO_ERROR) {
        std::string_view what = lxw_strerror(closed);
        while (!what.empty() && what.back() == '.')
            what.remove_suffix(1);
        error = cause != 0 ? fmt::format("{} ({})", what, std::strerror(cause)) : std::string(what);
        return false;
    }
    return true;
}

} // namespace vok
