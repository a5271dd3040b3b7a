#pragma once

#include <chrono>
#include <string>
#include <string_view>

// Days as the user lives them: meals belong to the calendar day of the machine's time zone.
namespace Calendar {

// "YYYY-MM-DD" of the local day holding the time point.
std::string day(std::chrono::system_clock::time_point time);
// The local day that many days before the one holding the time point.
std::string dayBefore(std::chrono::system_clock::time_point time, int days);
// The local hour of the day, 0 to 23.
int hour(std::chrono::system_clock::time_point time);
// "YYYY-MM-DDTHH:MM:SSZ" in UTC.
std::string timestamp(std::chrono::system_clock::time_point time);
// A real calendar date written as "YYYY-MM-DD".
bool isDay(std::string_view text);

} // namespace Calendar
