#include "platform/Clock.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace platform {

const Clock& systemClock() {
    static const SystemClock clock;
    return clock;
}

std::tm localTime(TimePoint at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm parts{};
    tzset();
    localtime_r(&seconds, &parts);
    return parts;
}

std::tm utcTime(TimePoint at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    return parts;
}

namespace {

bool isLeapYear(long long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(long long year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 1 && isLeapYear(year) ? 29 : kDays[month];
}

}  // namespace

TimePoint addingMonths(TimePoint at, int months) {
    const auto whole = std::chrono::floor<std::chrono::seconds>(at);
    std::tm parts = localTime(TimePoint(whole));
    const long long monthIndex = (parts.tm_year + 1900LL) * 12 + parts.tm_mon + months;
    const long long year = monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12;
    const int month = static_cast<int>(monthIndex - year * 12);
    parts.tm_year = static_cast<int>(year - 1900);
    parts.tm_mon = month;
    parts.tm_mday = std::min(parts.tm_mday, daysInMonth(year, month));
    parts.tm_isdst = -1;  // the target date's own offset
    const std::time_t seconds = std::mktime(&parts);
    return std::chrono::system_clock::from_time_t(seconds) + (at - whole);
}

std::string timestamp(TimePoint at) {
    const std::tm parts = localTime(at);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

}  // namespace platform
