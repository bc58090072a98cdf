#include "platform/Decimal.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

namespace platform {
namespace {

TEST(DecimalTest, ParsesTheFixedGrammarIntoCanonicalText) {
    struct Row {
        const char* text;
        const char* canonical;  // nullptr: refused
    };
    const Row rows[] = {
        {".5", "0.5"},
        {"-.5", "-0.5"},
        {"+1.50", "1.5"},
        {"007", "7"},
        {"5.", "5"},
        {"-0", "0"},
        {"0.000", "0"},
        {"1200", "1200"},
        {"0.00012", "0.00012"},
        {"12345678901234567890123456789012345678", "12345678901234567890123456789012345678"},
        // Past 38 significant digits the rest is dropped.
        {"1234567890123456789012345678901234567891", "1234567890123456789012345678901234567800"},
        {"1e5", nullptr},
        {"1,5", nullptr},
        {"", nullptr},
        {".", nullptr},
        {"-", nullptr},
        {"1.2.3", nullptr},
        {" 1", nullptr},
        {"abc", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto decimal = Decimal::parse(row.text);
        ASSERT_EQ(decimal.has_value(), row.canonical != nullptr);
        if (decimal) {
            EXPECT_EQ(decimal->toString(), row.canonical);
        }
    }
}

TEST(DecimalTest, ExponentStaysWithinItsRange) {
    EXPECT_TRUE(Decimal::parse("1" + std::string(127, '0')));
    EXPECT_FALSE(Decimal::parse("1" + std::string(128, '0')));
    EXPECT_TRUE(Decimal::parse("0." + std::string(127, '0') + "1"));
    EXPECT_FALSE(Decimal::parse("0." + std::string(128, '0') + "1"));
    // Zeros alone are zero however many there are.
    EXPECT_EQ(Decimal::parse(std::string(5000, '0'))->toString(), "0");
}

TEST(DecimalTest, ComparesExactly) {
    const auto d = [](const char* text) { return *Decimal::parse(text); };
    EXPECT_LT(d("0.1"), d("0.10000000000000000001"));
    EXPECT_EQ(d("1.0"), d("1"));
    EXPECT_LT(d("-2"), d("-1.5"));
    EXPECT_LT(d("-0.001"), d("0"));
    EXPECT_GT(d("100"), d("99.999"));
    EXPECT_LT(d("0.5"), d("5"));
    EXPECT_EQ(Decimal::fromInt64(3), d("3.000"));
    EXPECT_EQ(Decimal::fromInt64(-1200), d("-1200"));
    EXPECT_EQ(Decimal::fromInt64(std::numeric_limits<std::int64_t>::min()).toString(), "-9223372036854775808");
    EXPECT_EQ(Decimal::fromInt64(0), Decimal());
    EXPECT_EQ(d("-0.5").negated(), d("0.5"));
    EXPECT_DOUBLE_EQ(d("-0.25").toDouble(), -0.25);
}

TEST(DecimalTest, ScalesAndRoundsToWholeIntegers) {
    struct Row {
        const char* text;
        int power;
        std::optional<std::int64_t> towardZero;
        std::optional<std::int64_t> halfAway;
    };
    constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();
    constexpr auto int64Min = std::numeric_limits<std::int64_t>::min();
    const Row rows[] = {
        {"9.99", 6, 9990000, 9990000},
        {"0.0000015", 6, 1, 2},
        {"-0.0000015", 6, -1, -2},
        {"0.0000014", 6, 1, 1},
        {"0.04", 0, 0, 0},
        {"0.5", 0, 0, 1},
        {"-0.5", 0, 0, -1},
        {"9223372036854.775807", 6, int64Max, int64Max},
        {"-9223372036854.775808", 6, int64Min, int64Min},
        // One past either end, and far past, never wraps.
        {"9223372036854.775808", 6, std::nullopt, std::nullopt},
        {"9223372036854.7758075", 6, int64Max, std::nullopt},
        {"-9223372036854.775809", 6, std::nullopt, std::nullopt},
        {"100000000000000000000000000000", 6, std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto scaled = Decimal::parse(row.text)->scaledByPowerOfTen(row.power);
        ASSERT_TRUE(scaled.has_value());
        EXPECT_EQ(scaled->toInt64(Decimal::Rounding::towardZero), row.towardZero);
        EXPECT_EQ(scaled->toInt64(Decimal::Rounding::halfAwayFromZero), row.halfAway);
    }
    EXPECT_FALSE(Decimal::parse("1")->scaledByPowerOfTen(Decimal::kMaxExponent + 1).has_value());
    EXPECT_TRUE(Decimal().scaledByPowerOfTen(1000).has_value());
}

TEST(DecimalTest, ReadsDoublesAsTheirShortestText) {
    struct Row {
        double value;
        const char* canonical;  // nullptr: refused
    };
    const Row rows[] = {
        {9.99, "9.99"},
        {-0.1, "-0.1"},
        {1e20, "100000000000000000000"},
        {123456.789, "123456.789"},
        {0.0, "0"},
        {1e300, nullptr},
        {std::numeric_limits<double>::quiet_NaN(), nullptr},
        {std::numeric_limits<double>::infinity(), nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        const auto decimal = Decimal::fromDouble(row.value);
        if (row.canonical == nullptr) {
            EXPECT_FALSE(decimal.has_value());
        } else {
            ASSERT_TRUE(decimal.has_value());
            EXPECT_EQ(decimal->toString(), row.canonical);
        }
    }
}

}  // namespace
}  // namespace platform
