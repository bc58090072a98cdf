#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace script_test {
namespace {

constexpr ProgramCase valueCases[] = {
    // Number to string.
    {R"((0 "" 0.1))", "s:0.1"},
    {R"((0 "" 100))", "s:100"},
    {R"((0 "" 1e21))", "s:1e+21"},
    {R"((0 "" 1e-7))", "s:1e-7"},
    {R"((0 "" 1.5e-7))", "s:1.5e-7"},
    {R"((0 "" 123456.789))", "s:123456.789"},
    {R"((0 "" -0))", "s:0"},
    {R"((0 "" 0.000001))", "s:0.000001"},
    {R"((0 "" -2.5e-300))", "s:-2.5e-300"},
    {R"((0 "" 1e20))", "s:100000000000000000000"},
    {R"((0 "" (0 0.1 0.2)))", "s:0.30000000000000004"},
    {R"((0 "" NaN))", "s:NaN"},
    {R"((0 "" -Infinity))", "s:-Infinity"},
    // String to number.
    {R"((37 "  42  " 0))", "n:42"},
    {R"((37 "" 0))", "n:0"},
    {R"((37 "   " 0))", "n:0"},
    {R"((37 "4x" 0))", "n:NaN"},
    {R"((37 "Infinity" 0))", "n:Infinity"},
    {R"((37 "infinity" 0))", "n:NaN"},
    {R"((37 "-Infinity" 0))", "n:-Infinity"},
    {R"((37 "+Infinity" 0))", "n:NaN"},
    {R"((37 "inf" 0))", "n:NaN"},
    {R"((37 "nan" 0))", "n:NaN"},
    {R"((37 "0x10" 0))", "n:NaN"},
    {R"((37 "\u00a0\u2028 -1.5e3\u3000\n" 0))", "n:-1500"},
    {R"((37 "1e999" 0))", "n:Infinity"},
    {R"((37 "-1e999" 0))", "n:-Infinity"},
    {R"((37 "1e-999" 0))", "n:0"},
    {R"((37 "1e" 0))", "n:NaN"},
    {R"((37 "." 0))", "n:NaN"},
    {R"((37 "5." 0))", "n:5"},
    {R"((37 ".5" 0))", "n:0.5"},
    {R"((37 "+7" 0))", "n:7"},
    // Conversions of the other values.
    {R"((0 1 true))", "n:2"},
    {R"((0 1 (45)))", "n:1"},
    {R"((0 1 (44)))", "n:NaN"},
    {R"((0 "" (44)))", "s:undefined"},
    {R"((0 "" (45)))", "s:null"},
    {R"((28 (8)))", "false"},
    {R"((28 ""))", "true"},
    {R"((28 NaN))", "true"},
    {R"((28 -0))", "true"},
    // toString and method calls on the plain values.
    {R"((2 (8) "toString" (7)))", "s:[object Object]"},
    {R"((2 (16 (46 (44)) 0) "toString" (7)))", "error:5"},
    {R"((2 5 "toString" (7)))", "s:5"},
    {R"((2 5 "nothing" (7)))", "error:17"},
    {R"((2 (44) "toString" (7)))", "error:7"},
    {R"((2 (45) "toString" (7)))", "error:7"},
    {R"((2 (8 "a" 1) "a" (7)))", "error:17"},
    {R"((2 (8 "a" 1) "hasOwnProperty" (7 "a")))", "true"},
    {R"((2 (8 "a" 1) "hasOwnProperty" (7 "b")))", "false"},
    {R"((2 (8 "a" 1) "hasOwnProperty" (7 "a" "b")))", "error:9"},
    {R"((2 (8 "f" (51 "g" (7 "x") (36 (0 (15 "x") 1)))) "f" (7 41)))", "n:42"},
    {R"((2 (8 "toString" (51 "" (7) (36 "mine"))) "toString" (7)))", "s:mine"},
};

class ValueCases : public testing::TestWithParam<ProgramCase> {};

TEST_P(ValueCases, RunsToItsResult) {
    EXPECT_EQ(runText(GetParam().program), GetParam().expected) << GetParam().program;
}

INSTANTIATE_TEST_SUITE_P(Values, ValueCases, testing::ValuesIn(valueCases));

TEST(ValueEquality, FollowsTheStructuralRules) {
    MSRPRuntime runtime;
    ScriptError error;
    auto nan1 = numberValue(std::nan(""));
    auto nan2 = numberValue(std::nan(""));
    EXPECT_TRUE(nan1->isEqualToRuntimeValue(*nan2));

    MSRPScope& scope = runtime.globalScope();
    auto named1 = MSRPObjectManager::functionValueWithFunctionName(u"f", {}, {}, scope);
    auto named2 = MSRPObjectManager::functionValueWithFunctionName(u"f", {}, {}, scope);
    auto anonymous1 = MSRPObjectManager::functionValueWithFunctionName(u"", {}, {}, scope);
    auto anonymous2 = MSRPObjectManager::functionValueWithFunctionName(u"", {}, {}, scope);
    EXPECT_TRUE(named1->isEqualToRuntimeValue(*named2));
    EXPECT_FALSE(anonymous1->isEqualToRuntimeValue(*anonymous2));
    EXPECT_TRUE(anonymous1->isEqualToRuntimeValue(*anonymous1));

    Outcome a = run(runtime, R"((8 "a" 1))");
    Outcome b = run(runtime, R"((8 "a" 1))");
    Outcome c = run(runtime, R"((8 "a" 1 "b" 2))");
    EXPECT_TRUE(a.value->isEqualToRuntimeValue(*b.value));
    EXPECT_FALSE(a.value->isEqualToRuntimeValue(*c.value));
    EXPECT_FALSE(c.value->isEqualToRuntimeValue(*a.value));

    auto ret1 = MSRPControlValue::returnValueWithData(numberValue(1));
    auto ret2 = MSRPControlValue::returnValueWithData(numberValue(1));
    EXPECT_TRUE(ret1->isEqualToRuntimeValue(*ret2));
    EXPECT_FALSE(ret1->isEqualToRuntimeValue(*MSRPControlValue::breakValue()));
    EXPECT_EQ(MSRPControlValue::returnValueWithData(nullptr)->data().get(), MSRPUndefinedValue::sharedInstance());

    MSRPStatementValue s1(u"0", {numberValue(1), makeRef<MSRPStringValue>(u"x")});
    MSRPStatementValue s2(u"0", {numberValue(1), makeRef<MSRPStringValue>(u"x")});
    MSRPStatementValue s3(u"0", {numberValue(1)});
    EXPECT_TRUE(s1.isEqualToRuntimeValue(s2));
    EXPECT_FALSE(s1.isEqualToRuntimeValue(s3));
}

TEST(PropertyMap, KeepsImmutableNamesAndInsertionOrder) {
    MSRPPropertyMap map;
    map.setImmutableValue(numberValue(1), u"fixed");
    map.setValue(numberValue(2), u"fixed");
    map.removeValueForName(u"fixed");
    ScriptError error;
    EXPECT_EQ(map.valueForName(u"fixed")->doubleValueOrError(error), 1);
    // Enough names to switch to the hashed index, and removals in between.
    for (int name = 0; name < 20; ++name) {
        map.setValue(numberValue(name), utf16FromUtf8("k" + std::to_string(name)));
    }
    map.removeValueForName(u"k3");
    map.setValue(numberValue(99), u"k3");
    std::vector<std::u16string> names = map.allNames();
    ASSERT_EQ(names.size(), 21u);
    EXPECT_EQ(names.front(), u"fixed");
    EXPECT_EQ(names[3], u"k2");
    EXPECT_EQ(names[4], u"k4");
    EXPECT_EQ(names.back(), u"k3");
    EXPECT_EQ(map.valueForName(u"k19")->doubleValueOrError(error), 19);
    EXPECT_EQ(map.valueForName(u"missing").get(), MSRPUndefinedValue::sharedInstance());
    map.makeImmutable();
    map.setValue(numberValue(5), u"new");
    EXPECT_FALSE(map.hasName(u"new"));
}

TEST(ValueProtocol, BaseFormsFailWithTheirCodes) {
    MSRPStatementValue statement(u"1", {});
    ScriptError error;
    statement.stringValueOrError(error);
    EXPECT_EQ(error->code(), 5);
    error.reset();
    EXPECT_TRUE(std::isnan(statement.doubleValueOrError(error)));
    EXPECT_EQ(error->code(), 4);
    error.reset();
    EXPECT_FALSE(statement.booleanValueOrError(error));
    EXPECT_EQ(error->code(), 3);
    EXPECT_EQ(error->domain(), "com.lumen.lmp.measurement.script.ErrorDomain");
    EXPECT_EQ(std::string(error->what()), "");
}

}  // namespace
}  // namespace script_test
