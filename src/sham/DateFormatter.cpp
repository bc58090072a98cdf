#include "sham/DateFormatter.h"

#include "platform/Format.h"

#include <chrono>
#include <ctime>

namespace sham {

namespace {

bool readDigits(std::string_view text, int& value) {
    value = 0;
    for (const char character : text) {
        if (character < '0' || character > '9') {
            return false;
        }
        value = value * 10 + (character - '0');
    }
    return true;
}

// The day a "yyyy-MM-dd" text names, when it names a real one.
std::optional<std::chrono::year_month_day> parseDay(std::string_view text) {
    int year = 0;
    int month = 0;
    int day = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !readDigits(text.substr(0, 4), year) ||
        !readDigits(text.substr(5, 2), month) || !readDigits(text.substr(8, 2), day)) {
        return std::nullopt;
    }
    const std::chrono::year_month_day civil{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                            std::chrono::day(static_cast<unsigned>(day))};
    if (!civil.ok()) {
        return std::nullopt;
    }
    return civil;
}

}  // namespace

std::optional<platform::TimePoint> DateFormatter::utcDate(std::string_view text) const {
    const auto civil = parseDay(text);
    if (!civil) {
        return std::nullopt;
    }
    return std::chrono::time_point_cast<platform::TimePoint::duration>(std::chrono::sys_days(*civil));
}

std::optional<platform::TimePoint> DateFormatter::date(std::string_view text) const {
    const auto civil = parseDay(text);
    if (!civil) {
        return std::nullopt;
    }
    const int year = static_cast<int>(civil->year());
    const int month = static_cast<int>(static_cast<unsigned>(civil->month()));
    const int day = static_cast<int>(static_cast<unsigned>(civil->day()));
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&parts);
    if (seconds == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return std::chrono::system_clock::from_time_t(seconds);
}

std::string DateFormatter::string(platform::TimePoint at) const { return platform::format::pattern(at, dateFormat); }

}  // namespace sham
