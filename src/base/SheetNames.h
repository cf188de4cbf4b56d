// The rules for workbook sheet names, shared by the workbook engines and by
// the job, which checks a sheet target before it loads any engine.
#pragma once

#include <string>
#include <string_view>

namespace vok {

// Sheet names compare without regard to case, accented letters included.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// Why `name` cannot name any sheet; "" when it can. 1 to 31 characters, none
// of : \ / ? * [ ], no apostrophe first or last, and not "History".
std::string SheetNameFormProblem(std::string_view name);

} // namespace vok
