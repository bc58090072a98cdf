#include "platform/Clock.h"

#include <fmt/format.h>

#include <ctime>

namespace platform {

using namespace std::chrono;

const Clock& systemClock() {
    static const SystemClock& clock = *new SystemClock();
    return clock;
}

// libstdc++ 12 has no time-zone database (no std::chrono::current_zone), so
// local time comes from the C library, which follows TZ.
std::tm localTime(TimePoint at) {
    const std::time_t seconds = system_clock::to_time_t(at);
    std::tm parts{};
    tzset();
    localtime_r(&seconds, &parts);
    return parts;
}

std::tm utcTime(TimePoint at) {
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{floor<seconds>(at - day)};
    std::tm parts{};
    parts.tm_year = static_cast<int>(date.year()) - 1900;
    parts.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    parts.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    parts.tm_hour = static_cast<int>(time.hours().count());
    parts.tm_min = static_cast<int>(time.minutes().count());
    parts.tm_sec = static_cast<int>(time.seconds().count());
    parts.tm_wday = static_cast<int>(weekday(day).c_encoding());
    parts.tm_yday = static_cast<int>((day - sys_days(date.year() / January / 1)).count());
    return parts;
}

TimePoint addingMonths(TimePoint at, int months) {
    const auto whole = floor<seconds>(at);
    std::tm parts = localTime(TimePoint(whole));
    year_month_day date = year(parts.tm_year + 1900) / month(static_cast<unsigned>(parts.tm_mon + 1)) /
                          day(static_cast<unsigned>(parts.tm_mday));
    date += std::chrono::months(months);
    if (!date.ok()) {
        date = date.year() / date.month() / last;
    }
    parts.tm_year = static_cast<int>(date.year()) - 1900;
    parts.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    parts.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    parts.tm_isdst = -1;  // the target date's own offset
    const std::time_t seconds = std::mktime(&parts);
    return system_clock::from_time_t(seconds) + (at - whole);
}

std::string timestamp(TimePoint at) {
    const std::tm parts = localTime(at);
    return fmt::format("{:04}{:02}{:02}{:02}{:02}{:02}", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                       parts.tm_hour, parts.tm_min, parts.tm_sec);
}

std::string iso8601(sys_time<microseconds> at, IsoFraction fraction) {
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{at - day};
    std::string written = fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}", static_cast<int>(date.year()),
                                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                                      time.hours().count(), time.minutes().count(), time.seconds().count());
    if (fraction == IsoFraction::microsecondsWhenPresent && time.subseconds().count() != 0) {
        written += fmt::format(".{:06}", time.subseconds().count());
    }
    written += 'Z';
    return written;
}

std::string iso8601(TimePoint at) { return iso8601(floor<microseconds>(at), IsoFraction::none); }

}  // namespace platform
