#include "RulesTestSupport.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRFilterMatching.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

namespace kit::measurement {
namespace {

using testing::RulesTest;

class FilterMatchingTest : public RulesTest {};

struct NumberSpec {
    NumberSpec(std::optional<int> numberType, std::optional<std::string> exact = {},
               std::optional<std::string> lower = {}, std::optional<std::string> upper = {})
        : type(numberType), value(std::move(exact)), min(std::move(lower)), max(std::move(upper)) {}
    std::optional<int> type;
    std::optional<std::string> value, min, max;
};
struct StringSpec {
    std::optional<int> type;
    std::optional<std::string> expression;
    std::optional<bool> caseSensitive;
    std::vector<std::string> list;
};

MSRPBFilter numberFilter(const NumberSpec& spec, std::optional<bool> complement = {}) {
    MSRPBNumberFilter number;
    if (spec.type)
        NanoMessageSetInt32(number, 0, *spec.type);
    if (spec.value)
        NanoMessageSetString(number, 2, *spec.value);
    if (spec.min)
        NanoMessageSetString(number, 3, *spec.min);
    if (spec.max)
        NanoMessageSetString(number, 4, *spec.max);
    MSRPBFilter filter;
    NanoMessageSetMessage(filter, 1, number);
    if (complement)
        NanoMessageSetBool(filter, 2, *complement);
    return filter;
}

MSRPBFilter stringFilter(const StringSpec& spec, std::optional<bool> complement = {}) {
    MSRPBStringFilter text;
    if (spec.type)
        NanoMessageSetInt32(text, 0, *spec.type);
    if (spec.expression)
        NanoMessageSetString(text, 1, *spec.expression);
    if (spec.caseSensitive)
        NanoMessageSetBool(text, 2, *spec.caseSensitive);
    if (!spec.list.empty())
        NanoMessageSetArray(text, 3, spec.list);
    MSRPBFilter filter;
    NanoMessageSetMessage(filter, 0, text);
    if (complement)
        NanoMessageSetBool(filter, 2, *complement);
    return filter;
}

struct FilterRow {
    const char* label;
    MSRPBFilter filter;
    MSRValue value;
    std::optional<bool> outcome;
    std::int64_t logCode;  // a line among those logged; 0: none
};

MSRValue S(std::string text) { return MSRValue::initWithString(std::move(text)); }
MSRValue I(std::int64_t value) { return MSRValue::initWithInt64(value); }
MSRValue D(double value) { return MSRValue::initWithDouble(value); }

TEST_F(FilterMatchingTest, EdgeCasesWithAndWithoutComplement) {
    const std::vector<FilterRow> rows = {
        {"contains, other case", stringFilter({4, "Shoe", {}, {}}), S("RED SHOES"), true, 0},
        {"contains, case-sensitive", stringFilter({4, "Shoe", true, {}}), S("RED SHOES"), false, 0},
        {"begins with, folded", stringFilter({2, "stra\xC3\x9F", {}, {}}),
         S("STRA\xC3\x9F"
           "e"),
         true, 0},
        {"ends with", stringFilter({3, "ing", {}, {}}), S("Running"), true, 0},
        {"exact needs equal length", stringFilter({5, "abc", {}, {}}), S("ABCD"), false, 0},
        {"exact", stringFilter({5, "abc", {}, {}}), S("ABC"), true, 0},
        {"in list", stringFilter({6, {}, {}, {"red", "Blue"}}), S("blue"), true, 0},
        {"not in list", stringFilter({6, {}, {}, {"red"}}), S("green"), false, 0},
        {"regexp searches", stringFilter({1, "b+c", {}, {}}), S("aaBBcdd"), true, 0},
        {"regexp case-sensitive", stringFilter({1, "b+c", true, {}}), S("aaBBcdd"), false, 0},
        {"bad regexp", stringFilter({1, "(", {}, {}}), S("x"), std::nullopt, 9004},
        {"match type above 6", stringFilter({9, "x", {}, {}}), S("x"), false, 0},
        {"no match type", stringFilter({{}, "x", {}, {}}), S("x"), std::nullopt, 9000},
        {"match type 0", stringFilter({0, "x", {}, {}}), S("x"), std::nullopt, 9001},
        {"no expression", stringFilter({4, {}, {}, {}}), S("x"), std::nullopt, 9002},
        {"empty list", stringFilter({6, {}, {}, {}}), S("x"), std::nullopt, 9003},
        {"number value under a string filter", stringFilter({4, "1", {}, {}}), I(1), std::nullopt, 7003},
        {"between 1 and 5: 1", numberFilter({4, {}, "1", "5"}), I(1), true, 0},
        {"between 1 and 5: 5", numberFilter({4, {}, "1", "5"}), D(5.0), true, 0},
        {"between 1 and 5: 5.5", numberFilter({4, {}, "1", "5"}), D(5.5), false, 0},
        {"between as text", numberFilter({4, {}, "1", "5"}), S("5.5"), false, 0},
        {"int 3 less than 3", numberFilter({1, "3"}), I(3), false, 0},
        {"int 3 between 3 and 3", numberFilter({4, {}, "3", "3"}), I(3), true, 0},
        {"exact decimal", numberFilter({3, "0.1"}), S("0.10"), true, 0},
        {"greater, big int", numberFilter({2, "9223372036854775806"}), I(std::numeric_limits<std::int64_t>::max()),
         true, 0},
        {"double equal", numberFilter({3, "+.5"}), D(0.5), true, 0},
        {"double greater", numberFilter({2, "-1"}), D(-0.5), true, 0},
        {"NaN", numberFilter({1, "3"}), D(std::nan("")), std::nullopt, 7002},
        {"infinity", numberFilter({1, "3"}), D(INFINITY), std::nullopt, 7002},
        {"text not numeric", numberFilter({1, "3"}), S("three"), std::nullopt, 7001},
        {"array value", numberFilter({1, "3"}), MSRValue::initWithArray({}), std::nullopt, 0},
        {"no comparison type", numberFilter({{}, "3"}), I(1), std::nullopt, 8006},
        {"comparison type 0", numberFilter({0, "3"}), I(1), std::nullopt, 8007},
        {"comparison value not decimal", numberFilter({1, "3e2"}), I(1), std::nullopt, 8008},
        {"no min", numberFilter({4, {}, {}, "5"}), I(1), std::nullopt, 8009},
        {"no max", numberFilter({4, {}, "1", {}}), I(1), std::nullopt, 8010},
        {"comparison type above 4", numberFilter({5, "3"}), I(1), std::nullopt, 8011},
        {"value losing digits", numberFilter({1, "1234567890123456789012345678901234567891"}), I(1), std::nullopt,
         8015},
        {"neither filter", MSRPBFilter(), I(1), std::nullopt, 7000},
    };
    for (const FilterRow& row : rows) {
        for (const bool complement : {false, true}) {
            SCOPED_TRACE(std::string(row.label) + (complement ? " (complement)" : ""));
            MSRPBFilter filter = row.filter;
            if (complement)
                NanoMessageSetBool(filter, 2, true);
            services().drainLines();
            std::optional<bool> expected = row.outcome;
            if (complement && expected)
                expected = !*expected;
            EXPECT_EQ(MSRFilterOutcome(filter, row.value), expected);
            const auto codes = services().drainCodes();
            if (row.logCode == 0) {
                EXPECT_TRUE(codes.empty()) << codes.front();
            } else {
                EXPECT_NE(std::find(codes.begin(), codes.end(), row.logCode), codes.end());
            }
        }
    }
    // A complement flag that is present but false changes nothing.
    EXPECT_EQ(MSRFilterOutcome(stringFilter({5, "a", {}, {}}, false), S("a")), true);
}

TEST_F(FilterMatchingTest, CatastrophicExpressionEndsWithoutOutcome) {
    const auto start = std::chrono::steady_clock::now();
    const auto outcome = MSRFilterOutcome(stringFilter({1, "(a+)+$", true, {}}), S(std::string(30, 'a') + "b"));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(outcome.has_value());
    EXPECT_LT(elapsed, std::chrono::seconds(1));
    EXPECT_TRUE(services().logged(9006));
}

TEST_F(FilterMatchingTest, ComparisonValuesStopAtTheFirstBadOne) {
    MSRPBNumberFilter filter;
    NanoMessageSetInt32(filter, 0, 4);
    NanoMessageSetString(filter, 3, "x");
    NanoMessageSetString(filter, 4, "2");
    const auto values = MSRAudienceComparisonValues::fromNumberFilter(filter);
    EXPECT_FALSE(values.isValid);
    EXPECT_FALSE(values.minComparisonValue);
    EXPECT_EQ(values.maxComparisonValue->toString(), "2");
    EXPECT_FALSE(MSRMatchString(MSRPBStringFilter(), std::nullopt));
    EXPECT_TRUE(services().logged(9005));
}

}  // namespace
}  // namespace kit::measurement
