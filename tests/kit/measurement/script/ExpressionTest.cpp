#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace script_test {
namespace {

constexpr ProgramCase expressionCases[] = {
    // Arithmetic.
    {"(0 1 2)", "n:3"},
    {R"((0 "1" 2))", "s:12"},
    {"(0 1 (45))", "n:1"},
    {"(0 1 (44))", "n:NaN"},
    {"(0 true 1)", "n:2"},
    {R"((0 (8) 1))", "s:[object Object]1"},
    {R"((0 (7 1 2) "x"))", "s:1,2x"},
    {R"((0 (51 "fn" (7)) 1))", "s:fn1"},
    {"(10 1 0)", "n:Infinity"},
    {"(10 -1 0)", "n:-Infinity"},
    {"(10 0 0)", "n:NaN"},
    {"(25 -7 2)", "n:-1"},
    {"(25 7 -2)", "n:1"},
    {"(25 7 0)", "n:NaN"},
    {"(25 7 Infinity)", "n:7"},
    {"(37 5 7)", "n:-2"},
    {"(26 3 4)", "n:12"},
    {"(27 3)", "n:-3"},
    {"(27 (45))", "n:0"},
    {R"((34 "same"))", "s:same"},
    {"(35 1 2)", "error:9"},
    {"(32 1 2)", "n:1"},
    {R"((41 "x") (3 "x" 0) (33 1 (3 "x" 5)) (15 "x"))", "n:5"},
    {R"((41 "x") (3 "x" 0) (0 1 2 (3 "x" 5)))", "error:9"},
    {R"((41 "x") (3 "x" 0) (13 (0 1 2 (3 "x" 5))) )", "error:9"},
    {R"((0 (16 (46 (44)) 0) 1))", "error:4"},
    {R"((0 (16 (46 (44)) 0) "x"))", "error:5"},
    {R"((37 (16 (46 (44)) 0) 1))", "error:4"},
    // Comparison.
    {"(12 (45) (44))", "true"},
    {"(12 (45) 0)", "false"},
    {R"((12 "1" 1))", "true"},
    {R"((12 true "1"))", "true"},
    {"(12 true 1)", "true"},
    {"(12 (8) (8))", "false"},
    {R"((41 "m") (3 "m" (8)) (12 (15 "m") (15 "m")))", "true"},
    {R"((12 (8) "[object Object]"))", "true"},
    {R"((12 (7 1 2) "1,2"))", "true"},
    {"(12 NaN NaN)", "false"},
    {"(12 0 -0)", "true"},
    {"(29 (45) (44))", "false"},
    {R"((12 (16 (46 (44)) 0) 1))", "error:4"},
    {R"((20 1 "1"))", "false"},
    {"(20 NaN NaN)", "false"},
    {"(20 0 -0)", "true"},
    {"(20 true true)", "true"},
    {R"((20 "a" "a"))", "true"},
    {"(20 (45) (45))", "true"},
    {"(20 (7) (7))", "false"},
    {R"((21 1 "1"))", "true"},
    {R"((23 "a" "b"))", "true"},
    {R"((23 "10" "9"))", "true"},
    {R"((23 "10" 9))", "false"},
    {"(23 1 NaN)", "false"},
    {"(24 NaN NaN)", "false"},
    {"(19 NaN 1)", "false"},
    {"(18 2 1)", "true"},
    {"(19 1 1)", "true"},
    {"(24 (45) 0)", "true"},
    {"(23 (44) 1)", "false"},
    {R"((24 "\u00e9" "e\u0301"))", "true"},
    {R"((19 "\u00e9" "e\u0301"))", "true"},
    {R"((20 "\u00e9" "e\u0301"))", "false"},
    {R"((23 "B" "a"))", "true"},
    {R"((41 "x") (3 "x" 0) (23 1 2 (3 "x" 5)))", "error:9"},
    {R"((41 "x") (3 "x" 0) (13 (23 1 (3 "x" 5) 3)) )", "error:9"},
    {R"((41 "x") (3 "x" 0) (22 (23 1 (3 "x" 5) 3) 1) (15 "x"))", "error:9"},
    // Logical.
    {R"((1 0 (3 "never" 1)))", "n:0"},
    {R"((1 1 "b"))", "s:b"},
    {R"((30 "" "x"))", "s:x"},
    {R"((30 "a" (3 "never" 1)))", "s:a"},
    {"(28 0)", "true"},
    {"(28 1 2)", "error:9"},
    {"(1 1)", "error:9"},
    // Bitwise.
    {"(59 3000000000 0)", "n:-1294967296"},
    {"(61 -1 0)", "n:4294967295"},
    {"(57 1 33)", "n:2"},
    {"(57 1 31)", "n:-2147483648"},
    {"(58 0.9)", "n:-1"},
    {"(56 NaN 5)", "n:0"},
    {"(62 5 3)", "n:6"},
    {"(60 -8 1)", "n:-4"},
    {"(61 -8 1)", "n:2147483644"},
    {"(59 1e20 0)", "n:1661992960"},
    {"(59 -1e20 0)", "n:-1661992960"},
    {"(59 1e300 0)", "n:0"},
    {"(59 Infinity 0)", "n:0"},
    {"(59 4294967297 0)", "n:1"},
    {"(58 1 2)", "error:9"},
};

class ExpressionCases : public testing::TestWithParam<ProgramCase> {};

TEST_P(ExpressionCases, RunsToItsResult) {
    EXPECT_EQ(runText(GetParam().program), GetParam().expected) << GetParam().program;
}

INSTANTIATE_TEST_SUITE_P(Expressions, ExpressionCases, testing::ValuesIn(expressionCases));

TEST(Conversions, AreDefinedForEveryDouble) {
    struct Case {
        double number;
        std::int32_t int32;
        std::uint32_t uint32;
        std::int64_t int64;
    };
    const Case cases[] = {
        {std::nan(""), 0, 0, 0},
        {1e300, 0, 0, INT64_MAX},
        {-1e300, 0, 0, INT64_MIN},
        {9223372036854775808.0, 0, 0, INT64_MAX},
        {-9223372036854775808.0, 0, 0, INT64_MIN},
        {-1.5, -1, 4294967295u, -1},
        {2147483648.0, -2147483648, 2147483648u, 2147483648},
        {4294967296.0 * 3 + 5, 5, 5, 12884901893},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toInt32Value(c.number), c.int32) << c.number;
        EXPECT_EQ(toUint32Value(c.number), c.uint32) << c.number;
        EXPECT_EQ(toInt64Saturated(c.number), c.int64) << c.number;
    }
    EXPECT_EQ(toIntegerValue(std::nan("")), 0);
    EXPECT_EQ(toIntegerValue(-2.7), -2);
    EXPECT_TRUE(std::isinf(toIntegerValue(-INFINITY)));
    EXPECT_TRUE(std::signbit(toIntegerValue(-0.0)));
}

}  // namespace
}  // namespace script_test
