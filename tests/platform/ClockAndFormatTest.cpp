#include "platform/Clock.h"
#include "platform/Format.h"

#include "TestSupport.h"

#include <unicode/locid.h>

#include <cmath>
#include <ctime>
#include <thread>
#include <tuple>
#include <vector>

namespace platform {
namespace {

using namespace std::chrono;

// 2026-01-05 15:04:09 UTC, a Monday.
const TimePoint kMoment = sys_days(year(2026) / January / 5) + hours(15) + minutes(4) + seconds(9);

TEST(ClockTest, TimestampFollowsTimeZone) {
    {
        testing::ScopedEnvironment zone("TZ", "UTC");
        EXPECT_EQ(timestamp(kMoment), "20260105150409");
    }
    {
        testing::ScopedEnvironment zone("TZ", "Asia/Tokyo");
        EXPECT_EQ(timestamp(kMoment), "20260106000409");
    }
    const FixedClock clock(kMoment);
    EXPECT_EQ(clock.now(), kMoment);
}

TEST(ClockTest, Iso8601InUtc) {
    using Micro = sys_time<microseconds>;
    const Micro moment = floor<microseconds>(kMoment);
    struct Case {
        std::string actual;
        const char* expected;
    };
    const Case cases[] = {
        {iso8601(kMoment), "2026-01-05T15:04:09Z"},
        {iso8601(kMoment + milliseconds(999) + nanoseconds(999)), "2026-01-05T15:04:09Z"},
        {iso8601(TimePoint()), "1970-01-01T00:00:00Z"},
        {iso8601(TimePoint() - nanoseconds(1)), "1969-12-31T23:59:59Z"},
        {iso8601(sys_days(year(2024) / February / 29) + hours(23) + minutes(59) + seconds(59)), "2024-02-29T23:59:59Z"},
        {iso8601(moment, IsoFraction::microsecondsWhenPresent), "2026-01-05T15:04:09Z"},
        {iso8601(moment + microseconds(250), IsoFraction::microsecondsWhenPresent), "2026-01-05T15:04:09.000250Z"},
        {iso8601(moment + microseconds(250), IsoFraction::none), "2026-01-05T15:04:09Z"},
        {iso8601(Micro() - microseconds(250'000), IsoFraction::microsecondsWhenPresent), "1969-12-31T23:59:59.750000Z"},
        {iso8601(Micro(sys_days(year(9999) / December / 31)), IsoFraction::none), "9999-12-31T00:00:00Z"},
        {iso8601(Micro(sys_days(year(1) / January / 1)), IsoFraction::none), "0001-01-01T00:00:00Z"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(item.actual, item.expected);
    }
    // The same text whatever the local zone.
    testing::ScopedEnvironment zone("TZ", "Pacific/Kiritimati");
    EXPECT_EQ(iso8601(kMoment), "2026-01-05T15:04:09Z");
}

TEST(ClockTest, UtcTimeBreaksDownTheDay) {
    testing::ScopedEnvironment zone("TZ", "Asia/Tokyo");
    for (const TimePoint at :
         {kMoment, TimePoint() - seconds(1), TimePoint(sys_days(year(2024) / December / 31)) + hours(5)}) {
        const std::time_t seconds = system_clock::to_time_t(at);
        std::tm expected{};
        gmtime_r(&seconds, &expected);
        const std::tm actual = utcTime(at);
        EXPECT_EQ(std::make_tuple(actual.tm_year, actual.tm_mon, actual.tm_mday, actual.tm_hour, actual.tm_min,
                                  actual.tm_sec, actual.tm_wday, actual.tm_yday),
                  std::make_tuple(expected.tm_year, expected.tm_mon, expected.tm_mday, expected.tm_hour,
                                  expected.tm_min, expected.tm_sec, expected.tm_wday, expected.tm_yday))
            << seconds;
    }
}

TEST(FormatTest, Numbers) {
    struct Case {
        std::string actual;
        const char* expected;
    };
    const Case cases[] = {
        {format::decimal(1234.5), "1,234.5"},
        {format::decimal(12.0, 1, 1), "12.0"},
        {format::decimal(-0.0004), "0"},
        {format::decimal(999999.9996), "1,000,000"},
        {format::decimal(0.125, 0, 2), "0.12"},
        {format::currency(1234.5), "$1,234.50"},
        {format::currency(-3), "-$3.00"},
        {format::currency(-0.001), "$0.00"},
        {format::currency(45210.5), "$45,210.50"},
        {format::currency(1234567.891), "$1,234,567.89"},
        {format::currency(std::numeric_limits<double>::infinity()), ""},
        {format::currency(12345.6, 0, 2), "$12,345.6"},
        {format::currency(12345, 0, 2), "$12,345"},
        {format::currency(12345.6, 0, 0), "$12,346"},
        {format::currency(12345.678, 0, 2), "$12,345.68"},
        {format::currency(12345.6, 2, 2), "$12,345.60"},
        {format::currency(-0.004, 0, 2), "$0"},
        {format::currency(-1234.5, 0, 2), "-$1,234.5"},
        {format::currency(std::nan(""), 0, 2), ""},
        // printf rounds the binary value: 2.675 is stored just below it.
        {format::decimal(2.675, 0, 2), "2.67"},
        {format::groupedInteger(1234567), "1,234,567"},
        {format::groupedInteger(-1000), "-1,000"},
        {format::groupedInteger(999), "999"},
        {format::groupedInteger(std::numeric_limits<long long>::min()), "-9,223,372,036,854,775,808"},
        // 1.005 is stored just below it; 0.375 is an exact tie and goes to even.
        {format::decimal(1.005, 0, 2), "1"},
        {format::decimal(0.375, 0, 2), "0.38"},
        {format::decimal(0.625, 0, 2), "0.62"},
        {format::decimal(1e20, 0, 0), "100,000,000,000,000,000,000"},
        {format::decimal(0.1, 0, 25), "0.1000000000000000055511151"},
        {format::decimal(1.5, 3, 1), "1.500"},
        {format::decimal(-2.5, -4, 0), "-2"},
        {format::decimal(std::nan("")), "NaN"},
        {format::decimal(-std::numeric_limits<double>::quiet_NaN()), "NaN"},
        {format::decimal(std::numeric_limits<double>::infinity()), "\u221E"},
        {format::decimal(-std::numeric_limits<double>::infinity()), "-\u221E"},
        {format::currency(std::numeric_limits<double>::max(), 0, 0).substr(0, 8), "$179,769"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(item.actual, item.expected);
    }
}

TEST(FormatTest, DatesInLocalTime) {
    testing::ScopedEnvironment zone("TZ", "UTC");
    using format::DateStyle;
    struct Case {
        std::string actual;
        const char* expected;
    };
    const Case cases[] = {
        {format::date(kMoment, DateStyle::shortStyle), "1/5/26"},
        {format::date(kMoment, DateStyle::medium), "Jan 5, 2026"},
        {format::date(kMoment, DateStyle::longStyle), "January 5, 2026"},
        {format::date(kMoment, DateStyle::full), "Monday, January 5, 2026"},
        {format::date(kMoment, DateStyle::longStyle, DateStyle::shortStyle), "January 5, 2026 at 3:04 PM"},
        {format::date(kMoment, DateStyle::shortStyle, DateStyle::shortStyle), "1/5/26, 3:04 PM"},
        {format::date(kMoment, DateStyle::medium, DateStyle::shortStyle), "Jan 5, 2026 at 3:04 PM"},
        {format::date(kMoment, DateStyle::full, DateStyle::medium), "Monday, January 5, 2026 at 3:04:09 PM"},
        {format::date(kMoment, DateStyle::none, DateStyle::shortStyle), "3:04 PM"},
        {format::pattern(kMoment, "yyyy-MM-dd"), "2026-01-05"},
        {format::pattern(kMoment, "MMMM yyyy"), "January 2026"},
        {format::pattern(kMoment, "EEE, d MMM yy 'at' HH:mm:ss a"), "Mon, 5 Jan 26 at 15:04:09 PM"},
        {format::pattern(kMoment - hours(15), "h:mm a"), "12:04 AM"},
        {format::pattern(kMoment, "yyyyMMddHHmmss"), "20260105150409"},
        {format::pattern(kMoment, "h 'o''clock' a"), "3 o'clock PM"},
        {format::pattern(kMoment, "h''mm"), "3'04"},
        {format::pattern(kMoment, "''''"), "''"},
        {format::pattern(kMoment, "'''yy'''"), "'yy'"},
        {format::pattern(kMoment, "'unclosed h"), "unclosed h"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(item.actual, item.expected);
    }
    testing::ScopedEnvironment tokyo("TZ", "Asia/Tokyo");
    EXPECT_EQ(format::patternUtc(kMoment, "yyyy-MM-dd HH"), "2026-01-05 15");
    EXPECT_EQ(format::pattern(kMoment, "yyyy-MM-dd HH"), "2026-01-06 00");
}

// ICU's default locale, which follows the user's, changes nothing.
TEST(FormatTest, IgnoresTheDefaultLocale) {
    testing::ScopedEnvironment zone("TZ", "UTC");
    const icu::Locale previous = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("de_DE"), status);
    ASSERT_TRUE(U_SUCCESS(status));
    EXPECT_EQ(format::decimal(1234.5), "1,234.5");
    EXPECT_EQ(format::currency(-1234.5), "-$1,234.50");
    EXPECT_EQ(format::date(kMoment, format::DateStyle::full, format::DateStyle::shortStyle),
              "Monday, January 5, 2026 at 3:04 PM");
    icu::Locale::setDefault(previous, status);
}

// Formatters kept per thread: threads formatting at once agree.
TEST(FormatTest, ThreadsFormatAlike) {
    testing::ScopedEnvironment zone("TZ", "UTC");
    const auto formatMany = [] {
        std::string all;
        for (int index = 0; index < 200; ++index) {
            all += format::pattern(kMoment + hours(index), "EEE d MMM h a") + format::currency(index * 1.25) +
                   format::decimal(index / 7.0, 0, index % 5);
        }
        return all;
    };
    const std::string expected = formatMany();
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (std::string& result : results) {
        threads.emplace_back([&result, &formatMany] { result = formatMany(); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::string& result : results) {
        EXPECT_EQ(result, expected);
    }
}

// A local wall-clock time in the current TZ.
TimePoint localWallTime(int y, int mo, int d, int h, int mi) {
    std::tm parts{};
    parts.tm_year = y - 1900;
    parts.tm_mon = mo - 1;
    parts.tm_mday = d;
    parts.tm_hour = h;
    parts.tm_min = mi;
    parts.tm_isdst = -1;
    return system_clock::from_time_t(std::mktime(&parts));
}

TEST(ClockTest, AddingMonthsKeepsWallClockAndClampsTheDay) {
    struct Case {
        const char* zone;
        int start[5];  // local year, month, day, hour, minute
        int months;
        const char* local;
        const char* utc;
    };
    const Case cases[] = {
        {"UTC", {2026, 3, 31, 10, 0}, -1, "2026-02-28 10:00:00", "2026-02-28 10"},
        {"UTC", {2024, 3, 31, 10, 0}, -1, "2024-02-29 10:00:00", "2024-02-29 10"},
        {"UTC", {2026, 1, 31, 23, 59}, 1, "2026-02-28 23:59:00", "2026-02-28 23"},
        {"UTC", {2026, 1, 15, 8, 0}, -3, "2025-10-15 08:00:00", "2025-10-15 08"},
        {"UTC", {2026, 5, 31, 8, 0}, -3, "2026-02-28 08:00:00", "2026-02-28 08"},
        {"UTC", {2026, 12, 31, 8, 0}, 2, "2027-02-28 08:00:00", "2027-02-28 08"},
        {"UTC", {2026, 5, 31, 8, 0}, -13, "2025-04-30 08:00:00", "2025-04-30 08"},
        {"UTC", {2000, 2, 29, 8, 0}, 12, "2001-02-28 08:00:00", "2001-02-28 08"},
        {"UTC", {2026, 6, 15, 8, 0}, 0, "2026-06-15 08:00:00", "2026-06-15 08"},
        // Across daylight saving the wall clock stays and the UTC offset moves.
        {"America/New_York", {2026, 4, 15, 12, 0}, -3, "2026-01-15 12:00:00", "2026-01-15 17"},
        {"America/New_York", {2026, 1, 15, 9, 30}, 6, "2026-07-15 09:30:00", "2026-07-15 13"},
        {"America/New_York", {2026, 3, 31, 0, 30}, -1, "2026-02-28 00:30:00", "2026-02-28 05"},
        {"Europe/Berlin", {2026, 10, 31, 1, 0}, -1, "2026-09-30 01:00:00", "2026-09-29 23"},
    };
    for (const auto& item : cases) {
        testing::ScopedEnvironment zone("TZ", item.zone);
        const auto& [y, mo, d, h, mi] = item.start;
        const TimePoint start = localWallTime(y, mo, d, h, mi);
        SCOPED_TRACE(std::string(item.zone) + " " + format::pattern(start, "yyyy-MM-dd HH:mm") + " " +
                     std::to_string(item.months));
        const TimePoint result = addingMonths(start, item.months);
        EXPECT_EQ(format::pattern(result, "yyyy-MM-dd HH:mm:ss"), item.local);
        EXPECT_EQ(format::patternUtc(result, "yyyy-MM-dd HH"), item.utc);
    }
    // Parts of a second are kept.
    testing::ScopedEnvironment zone("TZ", "UTC");
    EXPECT_EQ(addingMonths(kMoment + microseconds(250), -1) - addingMonths(kMoment, -1), microseconds(250));
}

}  // namespace
}  // namespace platform
