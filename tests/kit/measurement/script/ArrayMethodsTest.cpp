#include "ScriptTestSupport.h"
#include "kit/measurement/script/MSRPMethodEvaluators.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace script_test {
namespace {

// (7 1 2 3 4 5) is written out where a five-element array is needed.
constexpr ProgramCase arrayMethodCases[] = {
    // concat
    {R"((2 (7 1 2) "concat" (7 3 (7 4 (44)) "x")))", "[n:1,n:2,n:3,n:4,undefined,s:x]"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 1 "y") (2 (7 0) "concat" (7 (15 "a"))))", "[n:0,hole,s:y]"},
    {R"((41 "a") (3 "a" (7 1)) (2 (15 "a") "concat" (7 (15 "a"))))", "[n:1,n:1]"},
    {R"((41 "a") (3 "a" (7 1)) (2 (15 "a") "concat" (7 2)) (15 "a"))", "[n:1]"},
    // every, some
    {R"((2 (7 1 2 3) "every" (7 (51 "" (7 "v") (36 (23 (15 "v") 5))))))", "true"},
    {R"((2 (7 1 2 3) "every" (7 (51 "" (7 "v") (36 (23 (15 "v") 2))))))", "false"},
    {R"((41 "n") (3 "n" 0) (2 (7 1 2 3) "every" (7 (51 "" (7 "v") (3 "n" (0 (15 "n") 1)) (36 (23 (15 "v") 2)))))
        (15 "n"))",
     "n:2"},
    {R"((2 (7) "every" (7 (51 "" (7)))))", "true"},
    {R"((2 (7 1 2 3) "some" (7 (51 "" (7 "v") (36 (20 (15 "v") 2))))))", "true"},
    {R"((2 (7 1 2 3) "some" (7 (51 "" (7 "v") (36 (20 (15 "v") 9))))))", "false"},
    {R"((2 (7 1) "every" (7 5)))", "error:10"},
    {R"((2 (7 1) "some" (7)))", "error:9"},
    // filter, map, forEach
    {R"((2 (7 1 2 3 4) "filter" (7 (51 "" (7 "v") (36 (18 (15 "v") 2))))))", "[n:3,n:4]"},
    {R"((2 (7 1 2 3) "map" (7 (51 "" (7 "v" "i") (36 (0 (15 "v") (15 "i")))))))", "[n:1,n:3,n:5]"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 2 5) (2 (15 "a") "map" (7 (51 "" (7 "v") (36 1)))))", "[hole,hole,n:1]"},
    {R"((2 (7 5 6) "map" (7 (51 "" (7 "v" "i" "a") (36 (16 (15 "a") "length"))))))", "[n:2,n:2]"},
    {R"((41 "k") (3 "k" "") (41 "a") (3 "a" (7)) (43 (15 "a") 2 "c") (43 (15 "a") 0 "a")
        (2 (15 "a") "forEach" (7 (51 "" (7 "v" "i") (3 "k" (0 (0 (15 "k") (15 "i")) (15 "v")))))) (15 "k"))",
     "s:0a2c"},
    {R"((2 (7 1) "forEach" (7 (51 "" (7)))))", "undefined"},
    {R"((2 (7 1) "map" (7 "f")))", "error:10"},
    {R"((2 (7 1) "filter" (7 (51 "" (7)) 1)))", "error:9"},
    // hasOwnProperty
    {R"((2 (7 1 2) "hasOwnProperty" (7 "length")))", "true"},
    {R"((2 (7 1 2) "hasOwnProperty" (7 1)))", "true"},
    {R"((2 (7 1 2) "hasOwnProperty" (7 " 1 ")))", "true"},
    {R"((2 (7 1 2) "hasOwnProperty" (7 5)))", "false"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 2 5) (2 (15 "a") "hasOwnProperty" (7 1)))", "false"},
    {R"((2 (7 1 2) "hasOwnProperty" (7)))", "error:9"},
    // indexOf
    {R"((2 (7 1 2 3 4 5) "indexOf" (7 4 -2)))", "n:3"},
    {R"((2 (7 1 2 3 4 5) "indexOf" (7 2 -2)))", "n:-1"},
    {R"((2 (7 1 2 3 4 5) "indexOf" (7 1 7)))", "n:-1"},
    {R"((2 (7 1 2 3 4 5) "indexOf" (7 1 -1e300)))", "n:0"},
    {R"((2 (7 1 2 3 4 5) "indexOf" (7 5 1e300)))", "n:-1"},
    {R"((2 (7 "1") "indexOf" (7 1)))", "n:-1"},
    {R"((2 (7 1 (44)) "indexOf" (7)))", "n:1"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 2 5) (2 (15 "a") "indexOf" (7 (44))))", "n:-1"},
    {R"((2 (7 1) "indexOf" (7 1 2 3)))", "error:9"},
    // join, toString
    {R"((2 (7 1 2) "join" (7)))", "s:1,2"},
    {R"((2 (7 1 2) "join" (7 (44))))", "s:12"},
    {R"((2 (7 1 2) "join" (7 (45))))", "s:12"},
    {R"((2 (7 1 (45) (44) (7 2 3)) "join" (7 ";")))", "s:1;;;2,3"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 5 "x") (2 (15 "a") "join" (7 "-")))", "s:-----x"},
    {R"((2 (7 1 2) "join" (7 1 2)))", "error:9"},
    {R"((2 (7 1 (7 2)) "toString" (7)))", "s:1,2"},
    {R"((2 (7) "toString" (7 1)))", "error:9"},
    // lastIndexOf
    {R"((2 (7 1 2 3 4 5) "lastIndexOf" (7 1 -10)))", "n:-1"},
    {R"((2 (7 1 2 1 2) "lastIndexOf" (7 2)))", "n:3"},
    {R"((2 (7 1 2 1 2) "lastIndexOf" (7 2 2)))", "n:1"},
    {R"((2 (7 1 2 1 2) "lastIndexOf" (7 1 -2)))", "n:2"},
    {R"((2 (7 1 2 1 2) "lastIndexOf" (7 2 NaN)))", "n:3"},
    {R"((2 (7 1 2 1 2) "lastIndexOf" (7 2 100)))", "n:3"},
    {R"((2 (7 1 2 1 2) "lastIndexOf" (7 1 -1e300)))", "n:-1"},
    {R"((2 (7) "lastIndexOf" (7 1)))", "n:-1"},
    // pop, push, shift, unshift
    {R"((41 "a") (3 "a" (7 1 2)) (2 (15 "a") "pop" (7)))", "n:2"},
    {R"((41 "a") (3 "a" (7 1 2)) (2 (15 "a") "pop" (7)) (15 "a"))", "[n:1]"},
    {R"((2 (7) "pop" (7)))", "undefined"},
    {R"((2 (7 1) "pop" (7 1)))", "error:9"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 1 1) (2 (15 "a") "shift" (7)))", "undefined"},
    {R"((41 "a") (3 "a" (7 1 2)) (2 (15 "a") "shift" (7)) (15 "a"))", "[n:2]"},
    {R"((2 (7) "shift" (7)))", "undefined"},
    {R"((41 "a") (3 "a" (7 1)) (2 (15 "a") "push" (7 2 3)))", "n:3"},
    {R"((41 "a") (3 "a" (7 1)) (2 (15 "a") "push" (7 2 3)) (15 "a"))", "[n:1,n:2,n:3]"},
    {R"((41 "a") (3 "a" (7 1)) (2 (15 "a") "unshift" (7 2 3)) (15 "a"))", "[n:2,n:3,n:1]"},
    {R"((2 (7 1) "unshift" (7)))", "n:1"},
    // reduce, reduceRight
    {R"((2 (7 1 2 3) "reduce" (7 (51 "" (7 "s" "v") (36 (0 (15 "s") (15 "v")))))))", "n:6"},
    {R"((2 (7 1 2 3) "reduce" (7 (51 "" (7 "s" "v") (36 (0 (15 "s") (15 "v")))) "x")))", "s:x123"},
    {R"((2 (7 1 2 3) "reduceRight" (7 (51 "" (7 "s" "v") (36 (0 (15 "s") (15 "v")))) "x")))", "s:x321"},
    {R"((2 (7 "a" "b") "reduce" (7 (51 "" (7 "s" "v" "i") (36 (0 (15 "s") (15 "i")))))))", "s:a1"},
    {R"((2 (7 "a" "b") "reduceRight" (7 (51 "" (7 "s" "v" "i") (36 (0 (15 "s") (15 "i")))))))", "s:b0"},
    {R"((2 (7) "reduce" (7 (51 "" (7) (3 "zz" 1)) 7)))", "n:7"},
    {R"((2 (7) "reduce" (7 (51 "" (7)))))", "error:8"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") "length" 3) (2 (15 "a") "reduceRight" (7 (51 "" (7)))))", "error:8"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 3 4) (2 (15 "a") "reduce" (7 (51 "" (7)))))", "n:4"},
    {R"((2 (7 1) "reduce" (7 1)))", "error:10"},
    {R"((2 (7 1) "reduce" (7)))", "error:9"},
    {R"((2 (7 1) "reduce" (7 (51 "" (7)) 1 2)))", "error:9"},
    // reverse
    {R"((2 (7 1 2 3) "reverse" (7)))", "[n:3,n:2,n:1]"},
    {R"((41 "a") (3 "a" (7 1 2)) (20 (2 (15 "a") "reverse" (7)) (15 "a")))", "true"},
    {R"((2 (7 1) "reverse" (7 1)))", "error:9"},
    // slice
    {R"((2 (7 1 2 3 4 5) "slice" (7 -2)))", "[n:4,n:5]"},
    {R"((2 (7 1 2 3 4 5) "slice" (7 3 1)))", "[]"},
    {R"((2 (7 1 2 3 4 5) "slice" (7 1 -1)))", "[n:2,n:3,n:4]"},
    {R"((2 (7 1 2 3) "slice" (7)))", "[n:1,n:2,n:3]"},
    {R"((2 (7 1 2 3) "slice" (7 -1e300 1e300)))", "[n:1,n:2,n:3]"},
    {R"((41 "a") (3 "a" (7 1)) (29 (2 (15 "a") "slice" (7)) (15 "a")))", "true"},
    {R"((2 (7 1) "slice" (7 1 2 3)))", "error:9"},
    // sort
    {R"((2 (7 10 9 1) "sort" (7)))", "[n:1,n:10,n:9]"},
    {R"((2 (7 "b" "B" "a") "sort" (7)))", "[s:B,s:a,s:b]"},
    {R"((41 "a") (3 "a" (7 (44) "b")) (43 (15 "a") 3 "a") (2 (15 "a") "sort" (7)))", "[s:a,s:b,undefined,hole]"},
    {R"((41 "a") (3 "a" (7 (44) 3)) (43 (15 "a") 3 1) (2 (15 "a") "sort" (7 (51 "" (7 "x" "y") (36 (37 (15 "x") (15 "y")))))))",
     "[n:1,n:3,undefined,hole]"},
    {R"((2 (7 1 3 2) "sort" (7 (51 "" (7 "x" "y") (36 (37 (15 "y") (15 "x")))))))", "[n:3,n:2,n:1]"},
    {R"((2 (7 2 1) "sort" (7 (51 "" (7 "x" "y") (36 NaN)))))", "[n:2,n:1]"},
    {R"((41 "a") (3 "a" (7 2 1)) (20 (2 (15 "a") "sort" (7)) (15 "a")))", "true"},
    {R"((2 (7 1) "sort" (7 5)))", "[n:1]"},
    {R"((2 (7 2 1) "sort" (7 5)))", "error:10"},
    {R"((2 (7 2 1) "sort" (7 1 2)))", "error:9"},
    // splice
    {R"((41 "a") (3 "a" (7 0 1 2 3)) (2 (15 "a") "splice" (7 1 2 "x")))", "[n:1,n:2]"},
    {R"((41 "a") (3 "a" (7 0 1 2 3)) (2 (15 "a") "splice" (7 1 2 "x")) (15 "a"))", "[n:0,s:x,n:3]"},
    {R"((41 "a") (3 "a" (7 0 1 2 3)) (2 (15 "a") "splice" (7 1)) (15 "a"))", "[n:0]"},
    {R"((41 "a") (3 "a" (7 0 1 2 3)) (2 (15 "a") "splice" (7 -1)))", "[n:3]"},
    {R"((41 "a") (3 "a" (7 0 1 2 3)) (2 (15 "a") "splice" (7)) (15 "a"))", "[n:0,n:1,n:2,n:3]"},
    {R"((2 (7 0 1 2 3) "splice" (7)))", "[]"},
    {R"((41 "a") (3 "a" (7 0 1)) (2 (15 "a") "splice" (7 1 -1e300 "x")) (15 "a"))", "[n:0,s:x,n:1]"},
    {R"((41 "a") (3 "a" (7 0 1)) (2 (15 "a") "splice" (7 1e300 5 "x")) (15 "a"))", "[n:0,n:1,s:x]"},
    {R"((41 "a") (3 "a" (7)) (43 (15 "a") 1 1) (2 (15 "a") "splice" (7 0 1)))", "[hole]"},
    // Names outside the table, and properties that shadow methods.
    {R"((2 (7 1) "nope" (7)))", "error:17"},
    {R"((41 "a") (3 "a" (7 1 2)) (43 (15 "a") "push" 3) (2 (15 "a") "push" (7 1)))", "error:17"},
    {R"((41 "a") (3 "a" (7 1 2)) (43 (15 "a") "join" (51 "" (7) (36 "own"))) (2 (15 "a") "join" (7)))", "s:own"},
    // Arguments are evaluated before the count is checked; their errors pass through.
    {R"((2 (7 1) "pop" (7 (3 "zz" 1))))", "error:2"},
};

class ArrayMethodCases : public testing::TestWithParam<ProgramCase> {};

TEST_P(ArrayMethodCases, RunsToItsResult) {
    EXPECT_EQ(runText(GetParam().program), GetParam().expected) << GetParam().program;
}

INSTANTIATE_TEST_SUITE_P(ArrayMethods, ArrayMethodCases, testing::ValuesIn(arrayMethodCases));

// A method that fails still answers what it has: the error and the value.
std::string errorAndValue(MSRPRuntime& runtime, std::string_view program) {
    Outcome outcome = run(runtime, program);
    return (outcome.error ? "error:" + std::to_string(outcome.error->code()) + " " : std::string()) +
           describe(outcome.value.get());
}

TEST(ArrayMethods, ResultsAfterAnErrorFollowTheMethod) {
    // The callback fails on its second call (reading a property of undefined).
    const ProgramCase cases[] = {
        {R"((2 (7 1 2 3) "every" (7 (51 "" (7 "v") (22 (20 (15 "v") 2) (46 (3 "zz" 1))) (36 true)))))", "error:2 true"},
        {R"((2 (7 1 2 3) "some" (7 (51 "" (7 "v") (22 (20 (15 "v") 2) (46 (3 "zz" 1))) (36 false)))))",
         "error:2 false"},
        {R"((2 (7 1 2 3) "filter" (7 (51 "" (7 "v") (22 (20 (15 "v") 2) (46 (3 "zz" 1))) (36 true)))))",
         "error:2 [n:1]"},
        {R"((2 (7 1 2 3) "map" (7 (51 "" (7 "v") (22 (20 (15 "v") 2) (46 (3 "zz" 1))) (36 (15 "v"))))))",
         "error:2 [n:1,hole,hole]"},
        {R"((2 (7 1 2 3) "reduce" (7 (51 "" (7 "s" "v") (22 (20 (15 "v") 3) (46 (3 "zz" 1))) (36 (15 "v"))))))",
         "error:2 undefined"},
        {R"((2 (7 3 1 2) "sort" (7 (51 "" (7 "x" "y") (3 "zz" 1)))))", "error:2 [n:3,n:1,n:2]"},
        {R"((2 (7 3 (16 (46 (44)) 0) 2) "sort" (7)))", "error:5 [n:3,stmt:44,n:2]"},
        {R"((2 (7 2 1) "sort" (7 "f")))", "error:10 [n:2,n:1]"},
        {R"((2 (7 1 2) "concat" (7 3 (3 "zz" 1))))", "error:2 undefined"},
    };
    for (const ProgramCase& c : cases) {
        MSRPRuntime runtime;
        EXPECT_EQ(errorAndValue(runtime, c.program), c.expected) << c.program;
    }
}

// The default sort orders by decomposed keys made once per element; they must
// order every pair as the canonical comparison does.
TEST(ArrayMethods, SortKeysOrderAsTheCanonicalComparison) {
    const std::u16string alphabet[] = {u"a",      u"e",      u"E",      u"\u00e9",       u"\u0301", u"\u0323",
                                       u"\u1e0d", u"\u1e0b", u"\uac00", u"\u1100",       u"\u1161", u"\U0001F600",
                                       u"\uffff", u"\u00c5", u"\u212b", u"\u0041\u030a", u"z"};
    std::mt19937 random(11);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 1);
    std::uniform_int_distribution<int> length(0, 4);
    auto draw = [&] {
        std::u16string text;
        for (int part = length(random); part > 0; --part) {
            text += alphabet[pick(random)];
        }
        return text;
    };
    for (int round = 0; round < 20000; ++round) {
        std::u16string first = draw();
        std::u16string second = draw();
        int byKeys = canonicalOrderKey(first).compare(canonicalOrderKey(second));
        byKeys = byKeys < 0 ? -1 : (byKeys > 0 ? 1 : 0);
        ASSERT_EQ(byKeys, compareStrings(first, second)) << utf8FromUtf16(first) << " / " << utf8FromUtf16(second);
    }
}

TEST(ArrayMethods, ConcatRefusesControlValues) {
    MSRPArrayValue array(ValueList{numberValue(1)});
    ScriptError error;
    array.concat(ValueRef(MSRPControlValue::breakValue()), error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), static_cast<int>(ScriptErrorCode::wrongArgumentKind));
    EXPECT_EQ(array.count(), 1u);
}

TEST(ArrayMethods, TheTableHoldsTheTwentyOneMethods) {
    std::vector<std::u16string> names = MSRPArrayCommandEvaluator::sharedInstance().allSupportedCommands();
    std::sort(names.begin(), names.end());
    const std::vector<std::u16string> expected = {
        u"concat",      u"every", u"filter", u"forEach", u"hasOwnProperty", u"indexOf",     u"join",
        u"lastIndexOf", u"map",   u"pop",    u"push",    u"reduce",         u"reduceRight", u"reverse",
        u"shift",       u"slice", u"some",   u"sort",    u"splice",         u"toString",    u"unshift"};
    EXPECT_EQ(names, expected);
}

// An array of `count` numbers count-1 … 0 in the global scope as "a".
Ref<MSRPArrayValue> declareNumbers(MSRPRuntime& runtime, std::size_t count) {
    ValueList slots;
    for (std::size_t position = 0; position < count; ++position) {
        slots.push_back(numberValue(static_cast<double>(count - 1 - position)));
    }
    auto array = makeRef<MSRPArrayValue>(std::move(slots));
    runtime.globalScope().addValue(array, u"a");
    return array;
}

std::vector<double> numbersOf(const MSRPArrayValue& array) {
    std::vector<double> numbers;
    for (const ValueRef& slot : array.slots()) {
        const auto* number = valueAs<MSRPNumberValue>(slot.get());
        numbers.push_back(number != nullptr ? number->value() : -1);
    }
    return numbers;
}

std::vector<double> sortedCopy(std::vector<double> numbers) {
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

TEST(ArrayMethods, AComparatorThatAnswersAtRandomKeepsTheElements) {
    MSRPRuntime runtime;
    Ref<MSRPArrayValue> array = declareNumbers(runtime, 2000);
    std::vector<double> before = numbersOf(*array);
    Outcome outcome = run(runtime, R"((41 "t") (3 "t" 1)
        (2 (15 "a") "sort" (7 (51 "" (7 "x" "y") (3 "t" (27 (15 "t"))) (36 (15 "t"))))))");
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(outcome.value.get(), array.get());
    EXPECT_EQ(sortedCopy(numbersOf(*array)), sortedCopy(before));
}

TEST(ArrayMethods, AComparatorThatEmptiesTheArrayLeavesItSorted) {
    MSRPRuntime runtime;
    Ref<MSRPArrayValue> array = declareNumbers(runtime, 2000);
    std::vector<double> before = numbersOf(*array);
    Outcome outcome = run(runtime, R"((2 (15 "a") "sort" (7 (51 "" (7 "x" "y")
        (43 (15 "a") "length" 0) (36 (37 (15 "x") (15 "y")))))))");
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(numbersOf(*array), sortedCopy(before));
}

TEST(ArrayMethods, AComparatorPastTheInstructionLimitKeepsTheElements) {
    MSRPRuntime runtime;
    Ref<MSRPArrayValue> array = declareNumbers(runtime, 20000);
    std::vector<double> before = numbersOf(*array);
    Outcome outcome = run(runtime, R"((2 (15 "a") "sort" (7 (51 "" (7 "x" "y")
        (15 "x") (15 "x") (15 "x") (15 "x") (15 "x") (15 "x") (36 (37 (15 "x") (15 "y")))))))");
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code(), static_cast<int>(ScriptErrorCode::limitReached));
    EXPECT_EQ(outcome.value.get(), array.get());
    EXPECT_EQ(sortedCopy(numbersOf(*array)), sortedCopy(before));
}

TEST(ArrayMethods, CallbacksThatChangeTheirArrayAreSafe) {
    const struct {
        const char* program;
        const char* result;
        std::size_t lengthAfter;
    } cases[] = {
        {R"((2 (15 "a") "forEach" (7 (51 "" (7 "v") (2 (15 "a") "push" (7 1))))))", "undefined", 20},
        {R"((2 (15 "a") "forEach" (7 (51 "" (7 "v") (2 (15 "a") "pop" (7))))))", "undefined", 5},
        {R"((2 (15 "a") "forEach" (7 (51 "" (7 "v") (2 (15 "a") "shift" (7))))))", "undefined", 5},
        {R"((2 (15 "a") "reduce" (7 (51 "" (7 "s" "v") (43 (15 "a") "length" 0) (36 (0 (15 "s") (15 "v")))))))", "n:17",
         0},
        {R"((2 (15 "a") "map" (7 (51 "" (7 "v") (43 (15 "a") "length" 1000000) (36 (15 "v"))))))",
         "[n:9,n:8,n:7,n:6,n:5,n:4,n:3,n:2,n:1,n:0]", 1000000},
        {R"((2 (15 "a") "filter" (7 (51 "" (7 "v") (43 (15 "a") "length" 1) (36 true)))))", "[n:9]", 1},
    };
    for (const auto& c : cases) {
        MSRPRuntime runtime;
        Ref<MSRPArrayValue> array = declareNumbers(runtime, 10);
        EXPECT_EQ(run(runtime, c.program).text(), c.result) << c.program;
        EXPECT_EQ(array->count(), c.lengthAfter) << c.program;
    }
}

TEST(ArrayMethods, GrowthStopsAtTheSlotLimit) {
    const char* const programs[] = {
        R"((2 (15 "a") "push" (7 1)))",   R"((2 (15 "a") "unshift" (7 1)))",    R"((2 (15 "a") "splice" (7 0 0 1)))",
        R"((2 (15 "a") "concat" (7 1)))", R"((2 (7 1) "concat" (7 (15 "a"))))",
    };
    for (const char* program : programs) {
        MSRPRuntime runtime;
        Outcome made = run(runtime, R"((41 "a") (3 "a" (7)) (43 (15 "a") "length" 1000000))");
        ASSERT_FALSE(made.error);
        EXPECT_EQ(run(runtime, program).text(), "error:11") << program;
        EXPECT_EQ(run(runtime, R"((16 (15 "a") "length"))").text(), "n:1000000") << program;
    }
    MSRPRuntime runtime;
    EXPECT_EQ(run(runtime, R"((41 "a") (3 "a" (7)) (43 (15 "a") "length" 999999) (2 (15 "a") "push" (7 1)))").text(),
              "n:1000000");
}

TEST(ArrayMethods, KeptCopiesCountAgainstTheLiveBudget) {
    const char* const programs[] = {
        R"((41 "k") (3 "k" (7)) (41 "a") (3 "a" (7)) (43 (15 "a") "length" 1000000)
           (42 true 0 false (46 (2 (15 "k") "push" (7 (2 (15 "a") "slice" (7)))))))",
        R"((41 "k") (3 "k" (7)) (41 "a") (3 "a" (7)) (43 (15 "a") "length" 1000000)
           (42 true 0 false (46 (2 (15 "k") "push" (7 (2 (15 "a") "map" (7 (51 "" (7)))))))))",
        R"((41 "k") (3 "k" (7)) (41 "a") (3 "a" (7)) (43 (15 "a") "length" 1000000)
           (42 true 0 false (46 (2 (15 "k") "push" (7 (2 (15 "a") "concat" (7)))))))",
    };
    for (const char* program : programs) {
        MSRPRuntime runtime;
        Outcome outcome = run(runtime, program);
        ASSERT_TRUE(outcome.error) << program;
        EXPECT_EQ(outcome.error->code(), static_cast<int>(ScriptErrorCode::limitReached)) << program;
        EXPECT_LT(runtime.getInstructionCount(), 1000) << program;
        // Three million-slot copies fit the budget beside the original; the
        // meter alone would have allowed dozens.
        runtime.resetInstructionCount();
        EXPECT_EQ(run(runtime, R"((16 (15 "k") "length"))").text(), "n:3") << program;
    }
}

TEST(ArrayMethods, NativeLoopsAreMetered) {
    MSRPRuntime runtime;
    Outcome outcome = run(runtime, R"((41 "a") (3 "a" (7)) (43 (15 "a") "length" 1000000)
        (42 true 0 false (46 (2 (15 "a") "indexOf" (7 7)))))");
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code(), static_cast<int>(ScriptErrorCode::limitReached));
    EXPECT_LT(runtime.getInstructionCount(), 10000);
}

}  // namespace
}  // namespace script_test
