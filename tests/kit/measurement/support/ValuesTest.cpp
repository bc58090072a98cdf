#include "RulesTestSupport.h"
#include "kit/measurement/support/MSRRecords.h"
#include "kit/measurement/support/MSRValue.h"

#include <gtest/gtest.h>

#include <limits>

namespace kit::measurement {
namespace {

using testing::RulesTest;

class ValuesTest : public RulesTest {};

TEST_F(ValuesTest, ObjectsBecomeTypedValues) {
    struct Row {
        platform::Value object;
        bool allowArray;
        std::optional<MSRValue::Type> type;
        std::int64_t logCode;
    };
    const Row rows[] = {
        {platform::Value(std::int64_t{3}), false, MSRValue::Type::Int64, 0},
        {platform::Value(3.5), false, MSRValue::Type::Double, 0},
        {platform::Value(true), false, MSRValue::Type::Int64, 0},
        {platform::Value("a"), false, MSRValue::Type::String, 0},
        {platform::Value(platform::Value::Array{}), false, std::nullopt, 35001},
        {platform::Value(platform::Value::Array{}), true, MSRValue::Type::Array, 0},
        {platform::Value(), false, std::nullopt, 35000},
        {platform::Value(platform::Value::Dictionary{}), true, std::nullopt, 35001},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.object.toJson());
        const auto value = MSRValue::valueFromObject(row.object, row.allowArray);
        ASSERT_EQ(value.has_value(), row.type.has_value());
        if (value) {
            EXPECT_EQ(value->valueType(), *row.type);
        }
        const auto codes = services().drainCodes();
        EXPECT_EQ(codes, row.logCode ? std::vector<std::int64_t>{row.logCode} : std::vector<std::int64_t>{});
    }
    EXPECT_EQ(MSRValue::valueFromObject(platform::Value(true))->int64Value(), 1);
    EXPECT_EQ(MSRValue::valueFromObject(platform::Value(false))->int64Value(), 0);
}

TEST_F(ValuesTest, NumbersKeepTheirKind) {
    EXPECT_NE(MSRValue::initWithInt64(5), MSRValue::initWithDouble(5.0));
    EXPECT_EQ(MSRValue::initWithInt64(5).doubleValue(), 0.0);
    EXPECT_EQ(MSRValue::initWithDouble(5.0).int64Value(), 0);
    EXPECT_EQ(MSRValue::initWithString("a"), MSRValue::initWithString("a"));
    EXPECT_EQ(MSRValue::initWithString("a").hash(), MSRValue::initWithString("a").hash());
    EXPECT_EQ(MSRValue::initWithString("a").stringValue()->size(), 1u);
    EXPECT_EQ(MSRValue::initWithInt64(5).stringValue(), nullptr);
    EXPECT_EQ(MSRValue::initWithInt64(-7).description(), "-7");
}

TEST_F(ValuesTest, IndexesWrapAsStated) {
    auto metadata = MSRAppMetadata::initWithLastBundleIndex(2147483646, 2147483647, 1.0, 2.0);
    ASSERT_TRUE(metadata);
    metadata->increaseLastBundleIndex(3);
    EXPECT_EQ(metadata->lastBundleIndex(), 2);
    metadata->incrementLastDeliveryIndex();
    EXPECT_EQ(metadata->lastDeliveryIndex(), 0);
    EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{4001, 4002}));
    metadata->increaseLastBundleIndex(5);
    metadata->incrementLastDeliveryIndex();
    EXPECT_EQ(metadata->lastBundleIndex(), 7);
    EXPECT_EQ(metadata->lastDeliveryIndex(), 1);
    EXPECT_TRUE(services().drainCodes().empty());

    EXPECT_FALSE(MSRAppMetadata::initWithLastBundleIndex(-1, 0, 0));
    EXPECT_EQ(services().drainCodes(), std::vector<std::int64_t>{4000});
}

TEST_F(ValuesTest, DailyCountsMoveToANewDayAndSaturate) {
    MSRDailyCounts counts(10, 7, 7, 7, 7, 7, 7);
    counts.incrementCountsForCurrentDay(11, true, true, 5);
    EXPECT_EQ(counts.day(), 11u);
    EXPECT_EQ(counts.conversionsCount(), 1);
    EXPECT_EQ(counts.allEventsCount(), 5);
    EXPECT_EQ(counts.publicEventsCount(), 5);
    EXPECT_EQ(counts.errorEventsCount(), 0);
    EXPECT_EQ(counts.realtimeCount(), 0);
    EXPECT_EQ(counts.dcuRealtimeCount(), 0);

    counts.incrementErrorEventsCountForCurrentDay(11);
    EXPECT_EQ(counts.allEventsCount(), 6);
    EXPECT_EQ(counts.errorEventsCount(), 1);

    MSRDailyCounts zero(1, 0, 0, 0, 0, 0, 0);
    zero.decrementAllEventsCount();
    EXPECT_EQ(zero.allEventsCount(), 0);

    constexpr std::int32_t max = std::numeric_limits<std::int32_t>::max();
    MSRDailyCounts full(3, max, max, max, max, max, max);
    full.incrementCountsForCurrentDay(3, true, true, 5);
    full.incrementErrorEventsCountForCurrentDay(3);
    full.incrementRealtimeCountsForCurrentDay(3);
    full.incrementDCURealtimeCountsForCurrentDay(3);
    for (std::int32_t counter : {full.conversionsCount(), full.allEventsCount(), full.publicEventsCount(),
                                 full.errorEventsCount(), full.realtimeCount(), full.dcuRealtimeCount()}) {
        EXPECT_EQ(counter, max);
    }
}

}  // namespace
}  // namespace kit::measurement
