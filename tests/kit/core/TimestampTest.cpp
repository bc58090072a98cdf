#include "kit/core/Timestamp.h"
#include "platform/ProgrammerError.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace kit {
namespace {

TEST(TimestampTest, FromDates) {
    const struct {
        double seconds;
        std::int64_t wholeSeconds;
        std::int32_t nanoseconds;
    } rows[] = {
        {-1.5, -2, 500000000}, {1.25, 1, 250000000}, {0, 0, 0}, {-2, -2, 0}, {1700000000.5, 1700000000, 500000000},
    };
    for (const auto& row : rows) {
        const auto timestamp = HLOTimestamp::timestampWithDate(row.seconds);
        EXPECT_EQ(timestamp.seconds(), row.wholeSeconds) << row.seconds;
        EXPECT_EQ(timestamp.nanoseconds(), row.nanoseconds) << row.seconds;
        EXPECT_DOUBLE_EQ(timestamp.dateValue(), row.seconds);
    }
    const auto fromValueDate =
        HLOTimestamp::timestampWithDate(platform::Value::Date(std::chrono::microseconds(-1'500'000)));
    EXPECT_EQ(fromValueDate, HLOTimestamp(-2, 500000000));
}

TEST(TimestampTest, IsoText) {
    const struct {
        std::int64_t seconds;
        std::int32_t nanoseconds;
        const char* text;
    } rows[] = {
        {0, 5, "1970-01-01T00:00:00.000000005Z"},
        {HLOTimestamp::kMinimumSeconds, 0, "0001-01-01T00:00:00.000000000Z"},
        {HLOTimestamp::kMaximumSeconds, 999999999, "9999-12-31T23:59:59.999999999Z"},
        {-1, 0, "1969-12-31T23:59:59.000000000Z"},
        {951782400, 123456789, "2000-02-29T00:00:00.123456789Z"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HLOTimestamp(row.seconds, row.nanoseconds).ISO8601String(), row.text);
    }
}

TEST(TimestampTest, OnePastEitherEndRaises) {
    const struct {
        std::int64_t seconds;
        std::int32_t nanoseconds;
        const char* reason;
    } rows[] = {
        {HLOTimestamp::kMinimumSeconds - 1, 0, "Timestamp seconds out of range: -62135596801"},
        {HLOTimestamp::kMaximumSeconds + 1, 0, "Timestamp seconds out of range: 253402300800"},
        {0, -1, "Timestamp nanoseconds out of range: -1"},
        {0, 1000000000, "Timestamp nanoseconds out of range: 1000000000"},
    };
    for (const auto& row : rows) {
        try {
            (void)HLOTimestamp::timestampWithSeconds(row.seconds, row.nanoseconds);
            ADD_FAILURE() << "no raise for " << row.reason;
        } catch (const platform::ProgrammerError& error) {
            EXPECT_EQ(error.name(), "Invalid timestamp");
            EXPECT_STREQ(error.reason(), row.reason);
        }
    }
    EXPECT_THROW((void)HLOTimestamp::timestampWithDate(1e300), platform::ProgrammerError);
    EXPECT_THROW((void)HLOTimestamp::timestampWithDate(-1e300), platform::ProgrammerError);
}

TEST(TimestampTest, OrderEqualityHashAndDescription) {
    const HLOTimestamp early(5, 10);
    const HLOTimestamp later(5, 11);
    EXPECT_EQ(early.compare(later), std::strong_ordering::less);
    EXPECT_EQ(HLOTimestamp(6, 0).compare(later), std::strong_ordering::greater);
    EXPECT_TRUE(early.isEqualToTimestamp(HLOTimestamp(5, 10)));
    EXPECT_EQ(early.hash(), HLOTimestamp(5, 10).hash());
    EXPECT_EQ(HLOTimestamp(-2, 3).hash(), static_cast<std::size_t>(std::int64_t{-2} ^ (std::int64_t{-2} >> 32) ^ 3));
    EXPECT_EQ(early.description(), "<HLOTimestamp: seconds=5 nanoseconds=10>");
    const auto now = HLOTimestamp::timestamp();
    EXPECT_NEAR(now.dateValue(),
                std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(), 5.0);
}

}  // namespace
}  // namespace kit
