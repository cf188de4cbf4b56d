// Tick counts and the date-and-time text of the error log and the job log.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace vok {

// Milliseconds of a steady clock; only differences mean anything.
int64_t TickCount();

// "12/7/2026 11:39:50 AM": month/day/year, then the 12-hour time with AM or PM.
std::string FormatDateTime(std::time_t when);

// Elapsed seconds in the form "##0.0": at least one digit before the point, one after.
std::string FormatElapsedSeconds(int64_t milliseconds);

} // namespace vok
