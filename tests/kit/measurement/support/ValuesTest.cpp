#include "RulesTestSupport.h"
#include "kit/measurement/support/MSRPackedDictionary.h"
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

TEST(PackedDictionaryTest, UnpacksToAnEqualDictionary) {
    using platform::Value;
    const std::string longText(20000, 'x');
    const Value::Dictionary nested{{"inner", Value(Value::Array{Value(1), Value("two"), Value(Value::Dictionary{})})},
                                   {"", Value(nullptr)}};
    const Value::Dictionary cases[] = {
        {},
        {{"file_type", Value("pdf")}, {"app_version", Value("1.0")}, {"sequence", Value(std::int64_t{39999})}},
        {{"null", Value(nullptr)},
         {"false", Value(false)},
         {"true", Value(true)},
         {"min", Value(std::numeric_limits<std::int64_t>::min())},
         {"max", Value(std::numeric_limits<std::int64_t>::max())},
         {"double", Value(-0.125)},
         {"infinity", Value(std::numeric_limits<double>::infinity())},
         {"integral double", Value(3.0)},
         {"empty text", Value("")},
         {std::string("key\0with nul", 12), Value(std::string("text\0with nul\xff", 14))},
         {"long text", Value(longText)},
         {"data", Value(Value::Data{0, 1, 0x7f, 0x80, 0xff})},
         {"empty data", Value(Value::Data{})},
         {"date", Value(Value::Date(std::chrono::microseconds(1'700'000'000'123'456)))},
         {"date before 1970", Value(Value::Date(std::chrono::microseconds(-86'400'000'001)))},
         {"array", Value(Value::Array(300, Value("item")))},
         {"dictionary", Value(nested)}},
    };
    for (const auto& dictionary : cases) {
        SCOPED_TRACE(Value(dictionary).toJson());
        EXPECT_EQ(MSRPackedDictionary(dictionary).unpack(), dictionary);
    }
    // Integers and doubles stay apart, as the store tells them apart.
    const auto unpacked = MSRPackedDictionary({{"a", Value(3.0)}, {"b", Value(3)}}).unpack();
    EXPECT_TRUE(unpacked.at("a").isDouble());
    EXPECT_TRUE(unpacked.at("b").isInteger());
    EXPECT_TRUE(MSRPackedDictionary().unpack().empty());
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
