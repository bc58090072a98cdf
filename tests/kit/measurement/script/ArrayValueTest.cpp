#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

namespace script_test {
namespace {

constexpr ProgramCase arrayCases[] = {
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 5 "x") (16 (15 "a") "length"))", "n:6"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 5 "x") (15 "a"))", "[hole,hole,hole,hole,hole,s:x]"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 5 "x") (16 (15 "a") 2))", "undefined"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 5 "x") (0 "" (15 "a")))", "s:,,,,,x"},
    {R"((41 "a" "k") (3 "a" (7)) (3 "k" "") (43 (15 "a") 5 "x") (43 (15 "a") "name" 1)
        (55 "p" (15 "a") (46 (3 "k" (0 (0 (15 "k") (15 "p")) ";")))) (15 "k"))",
     "s:name;5;"},
    {R"((41 "a") (3 "a" (7 1 2 3 4 5)) (43 (15 "a") "length" 2) (0 "" (15 "a")))", "s:1,2"},
    {R"((41 "a") (3 "a" (7 1 2 3 4 5)) (43 (15 "a") "length" "3") (16 (15 "a") "length"))", "n:3"},
    {R"((43 (7 1 2 3 4 5) "length" -1))", "error:11"},
    {R"((43 (7 1 2 3 4 5) "length" 2.5))", "error:11"},
    {R"((43 (7 1) "length" "x"))", "error:11"},
    {R"((43 (7 1) "length" true))", "error:11"},
    {R"((41 "a") (3 "a" (7 1)) (43 (15 "a") "length" 3) (15 "a"))", "[n:1,hole,hole]"},
    {R"((28 (7)))", "false"},
    {R"((37 (7) 0))", "n:0"},
    {R"((37 (7 5) 0))", "n:5"},
    {R"((37 (7 1 2) 0))", "n:NaN"},
    {R"((0 "" (7 (44) (45) 1 (7 2 3))))", "s:,,1,2,3"},
    {R"((0 "" (7 (16 (46 (44)) 0))))", "error:5"},
    {R"((16 (7 "a" "b" "c") "2"))", "s:c"},
    {R"((16 (7 "a" "b" "c") " 2 "))", "s:c"},
    {R"((16 (7 "a" "b" "c") 2.0))", "s:c"},
    {R"((16 (7 "a" "b" "c") ""))", "s:a"},
    {R"((41 "a") (3 "a" (7 "a")) (43 (15 "a") 2.5 "v") (16 (15 "a") "length"))", "n:1"},
    {R"((41 "a") (3 "a" (7 "a")) (43 (15 "a") 2.5 "v") (16 (15 "a") "2.5"))", "s:v"},
    {R"((41 "a") (3 "a" (7 "a")) (43 (15 "a") -1 "v") (16 (15 "a") -1))", "s:v"},
    {R"((16 (7 1 2) "length"))", "n:2"},
    {R"((16 (7 1 2) 7))", "undefined"},
    {R"((16 (7 1 2) (16 (46 (44)) 0)))", "error:5"},
    // Index keys of 2^63 or more are never stored or found.
    {R"((16 (7 1) 1e19))", "undefined"},
    {R"((16 (7 1) 9223372036854775808))", "undefined"},
    {R"((43 (7) 1e19 1))", "error:11"},
    {R"((43 (7) 18446744073709551616 1))", "error:11"},
    // At most a million slots.
    {R"((43 (7) 1000000 1))", "error:11"},
    {R"((43 (7) "length" 1000001))", "error:11"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 999999 1) (16 (15 "a") "length"))", "n:1000000"},
    {R"((2 (7 1 2) "toString" (7)))", "s:1,2"},
    {R"((2 (7 1 2) "pop" (7)))", "n:2"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") "pop" (51 "" (7) (36 "own"))) (2 (15 "a") "pop" (7)))", "s:own"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") "pop" 5) (2 (15 "a") "pop" (7)))", "error:17"},
    // for-of sees holes as undefined; for-in skips them.
    {R"((41 "k") (3 "k" "") (41 "a") (3 "a" (7 1)) (43 (15 "a") 2 3)
        (66 "v" (15 "a") (46 (3 "k" (0 (0 (15 "k") (15 "v")) ";")))) (15 "k"))",
     "s:1;undefined;3;"},
};

class ArrayCases : public testing::TestWithParam<ProgramCase> {};

TEST_P(ArrayCases, RunsToItsResult) {
    EXPECT_EQ(runText(GetParam().program), GetParam().expected) << GetParam().program;
}

INSTANTIATE_TEST_SUITE_P(Arrays, ArrayCases, testing::ValuesIn(arrayCases));

TEST(ArrayValue, PropertyOperationsFollowTheIndexRules) {
    MSRPArrayValue array(ValueList{numberValue(0), numberValue(1), numberValue(2)});
    ScriptError error;
    MSRPNumberValue one(1);
    MSRPNumberValue huge(1e19);
    MSRPStringValue length(u"length");
    MSRPStringValue name(u"tag");
    EXPECT_TRUE(array.hasProperty(one, error));
    EXPECT_FALSE(array.hasProperty(huge, error));
    array.removeValueForProperty(one, error);
    EXPECT_EQ(array.count(), 3u);
    EXPECT_FALSE(array.hasProperty(one, error));
    EXPECT_EQ(describe(array.allElements()[1].get()), "undefined");
    array.removeValueForProperty(huge, error);
    array.setValue(numberValue(9), name, error);
    EXPECT_TRUE(array.hasProperty(name, error));
    EXPECT_FALSE(array.hasProperty(length, error));
    std::vector<std::u16string> names = array.allPropertyNames();
    EXPECT_EQ(names, (std::vector<std::u16string>{u"tag", u"0", u"2"}));
    ValueList middle = array.subarrayWithRange({1, 10});
    ASSERT_EQ(middle.size(), 2u);
    EXPECT_EQ(middle[0].get(), MSRPArrayValue::emptyValue());
    EXPECT_TRUE(array.subarrayWithRange({7, 1}).empty());
    array.setLength(1, error);
    EXPECT_EQ(array.count(), 1u);
    array.setLength(1e19, error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 11);
}

}  // namespace
}  // namespace script_test
