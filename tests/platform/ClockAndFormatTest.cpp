#include "platform/Clock.h"
#include "platform/Format.h"

#include "TestSupport.h"

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
        {format::groupedInteger(1234567), "1,234,567"},
        {format::groupedInteger(-1000), "-1,000"},
        {format::groupedInteger(999), "999"},
        {format::groupedInteger(std::numeric_limits<long long>::min()), "-9,223,372,036,854,775,808"},
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
        {format::date(kMoment, DateStyle::none, DateStyle::shortStyle), "3:04 PM"},
        {format::pattern(kMoment, "yyyy-MM-dd"), "2026-01-05"},
        {format::pattern(kMoment, "MMMM yyyy"), "January 2026"},
        {format::pattern(kMoment, "EEE, d MMM yy 'at' HH:mm:ss a"), "Mon, 5 Jan 26 at 15:04:09 PM"},
        {format::pattern(kMoment - hours(15), "h:mm a"), "12:04 AM"},
        {format::pattern(kMoment, "yyyyMMddHHmmss"), "20260105150409"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(item.actual, item.expected);
    }
    testing::ScopedEnvironment tokyo("TZ", "Asia/Tokyo");
    EXPECT_EQ(format::patternUtc(kMoment, "yyyy-MM-dd HH"), "2026-01-05 15");
    EXPECT_EQ(format::pattern(kMoment, "yyyy-MM-dd HH"), "2026-01-06 00");
}

}  // namespace
}  // namespace platform
