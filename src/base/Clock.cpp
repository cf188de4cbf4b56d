#include "base/Clock.h"

#include <chrono>
#include <fmt/format.h>

namespace vok {

int64_t TickCount() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string FormatDateTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    int hour = local.tm_hour % 12;
    if (hour == 0) hour = 12;
    return fmt::format("{}/{}/{} {}:{:02}:{:02} {}", local.tm_mon + 1, local.tm_mday,
                       local.tm_year + 1900, hour, local.tm_min, local.tm_sec,
                       local.tm_hour < 12 ? "AM" : "PM");
}

std::string FormatElapsedSeconds(int64_t milliseconds) {
    // Rounded to tenths the way the display format rounds: halves away from zero.
    const int64_t tenths = (milliseconds >= 0 ? milliseconds + 50 : milliseconds - 50) / 100;
    const int64_t whole = tenths / 10;
    const int64_t frac = tenths % 10;
    if (tenths < 0) return fmt::format("-{}.{}", -whole, -frac);
    return fmt::format("{}.{}", whole, frac);
}

} // namespace vok
