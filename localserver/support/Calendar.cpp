#include "support/Calendar.h"

#include <array>
#include <ctime>

namespace {

std::string format(const std::tm &fields, const char *pattern)
{
    std::array<char, 32> text{};
    const auto length = std::strftime(text.data(), text.size(), pattern, &fields);
    return std::string(text.data(), length);
}

} // namespace

namespace Calendar {

std::string day(std::chrono::system_clock::time_point time)
{
    return dayBefore(time, 0);
}

std::string dayBefore(std::chrono::system_clock::time_point time, int days)
{
    const auto seconds = std::chrono::system_clock::to_time_t(time);
    std::tm fields{};
    localtime_r(&seconds, &fields);
    // Count back by calendar days, not by 24 hours, so that a change of daylight saving time
    // never skips or repeats a day.
    fields.tm_mday -= days;
    fields.tm_hour = 12;
    fields.tm_isdst = -1;
    std::mktime(&fields);
    return format(fields, "%Y-%m-%d");
}

int hour(std::chrono::system_clock::time_point time)
{
    const auto seconds = std::chrono::system_clock::to_time_t(time);
    std::tm fields{};
    localtime_r(&seconds, &fields);
    return fields.tm_hour;
}

std::string timestamp(std::chrono::system_clock::time_point time)
{
    const auto seconds = std::chrono::system_clock::to_time_t(time);
    std::tm fields{};
    gmtime_r(&seconds, &fields);
    return format(fields, "%Y-%m-%dT%H:%M:%SZ");
}

bool isDay(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (const std::size_t index : {0U, 1U, 2U, 3U, 5U, 6U, 8U, 9U})
        if (text[index] < '0' || text[index] > '9')
            return false;
    const std::chrono::year_month_day date{
        std::chrono::year{std::stoi(std::string(text.substr(0, 4)))},
        std::chrono::month{static_cast<unsigned>(std::stoi(std::string(text.substr(5, 2))))},
        std::chrono::day{static_cast<unsigned>(std::stoi(std::string(text.substr(8, 2))))}};
    return date.ok();
}

} // namespace Calendar
