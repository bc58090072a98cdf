#include "ScriptTestSupport.h"
#include "kit/measurement/script/MSRPMethodEvaluators.h"

#include <gtest/gtest.h>
#include <unicode/utypes.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace script_test {
namespace {

constexpr ProgramCase stringMethodCases[] = {
    // charAt
    {R"((2 "abc" "charAt" (7 -1)))", "s:"},
    {R"((2 "abc" "charAt" (7 3)))", "s:"},
    {R"((2 "abc" "charAt" (7 1.9)))", "s:b"},
    {R"((2 "abc" "charAt" (7)))", "s:a"},
    {R"((2 "abc" "charAt" (7 1e300)))", "s:"},
    {R"((2 "abc" "charAt" (7 -1e300)))", "s:"},
    {R"((2 "abc" "charAt" (7 NaN)))", "s:a"},
    {R"((2 "abc" "charAt" (7 1 2)))", "error:9"},
    // concat
    {R"((2 "a" "concat" (7 "b" 1 (44) (7 2 3))))", "s:ab1undefined2,3"},
    {R"((2 "a" "concat" (7)))", "s:a"},
    // hasOwnProperty
    {R"((2 "ab" "hasOwnProperty" (7 "length")))", "true"},
    {R"((2 "" "hasOwnProperty" (7 0)))", "false"},
    {R"((2 "ab" "hasOwnProperty" (7 1.5)))", "false"},
    {R"((2 "ab" "hasOwnProperty" (7 1)))", "true"},
    {R"((2 "ab" "hasOwnProperty" (7 "1")))", "true"},
    {R"((2 "ab" "hasOwnProperty" (7 "x")))", "false"},
    {R"((2 "ab" "hasOwnProperty" (7 -1)))", "false"},
    {R"((2 "ab" "hasOwnProperty" (7)))", "error:9"},
    // indexOf
    {R"((2 "abcb" "indexOf" (7 "b" 2)))", "n:3"},
    {R"((2 "abcb" "indexOf" (7 "b" 10)))", "n:-1"},
    {R"((2 "abcb" "indexOf" (7 "b" -5)))", "n:1"},
    {R"((2 "abcb" "indexOf" (7 "")))", "n:-1"},
    {R"((2 "abcb" "indexOf" (7)))", "n:-1"},
    {R"((2 "xundefined" "indexOf" (7)))", "n:1"},
    {R"((2 "abcb" "indexOf" (7 "b" 1 2)))", "error:9"},
    // lastIndexOf
    {R"((2 "abcb" "lastIndexOf" (7 "b")))", "n:3"},
    {R"((2 "abcb" "lastIndexOf" (7 "b" 2)))", "n:1"},
    {R"((2 "abcb" "lastIndexOf" (7 "b" -5)))", "n:-1"},
    {R"((2 "bab" "lastIndexOf" (7 "b" -5)))", "n:0"},
    {R"((2 "abcb" "lastIndexOf" (7 "b" NaN)))", "n:3"},
    {R"((2 "abcb" "lastIndexOf" (7 "cb" 2)))", "n:2"},
    {R"((2 "abcb" "lastIndexOf" (7 "")))", "n:-1"},
    // match and search
    {R"((2 "ab12cd34" "match" (7 "[0-9]+")))", "[s:12]"},
    {R"((2 "ab12cd34" "match" (7 "x")))", "null"},
    {R"((2 "ab12cd34" "match" (7 "")))", "[s:]"},
    {R"((2 "ab12cd34" "match" (7)))", "[s:]"},
    {R"((2 "ab12cd34" "search" (7 "[0-9]+")))", "n:2"},
    {R"((2 "ab12cd34" "search" (7 "")))", "n:0"},
    {R"((2 "ab12cd34" "search" (7 "x")))", "n:-1"},
    {R"((2 "is undefined" "search" (7)))", "n:3"},
    {R"((2 "ab" "match" (7 "a" "b")))", "error:9"},
    // replace
    {R"((2 "a-b-c" "replace" (7 "-" "+")))", "s:a+b-c"},
    {R"((2 "a-b-c" "replace" (7 "x" "+")))", "s:a-b-c"},
    {R"((2 "a-b-c" "replace" (7 "" "+")))", "s:+a-b-c"},
    {R"((2 "xay" "replace" (7 "a")))", "s:xundefinedy"},
    {R"((2 "x.y" "replace" (7 "." "[$&]")))", "s:x[$&]y"},
    {R"((2 "a-b-c" "replace" (7 "-" (51 "" (7 "s" "p" "w") (36 (0 (0 (15 "s") (15 "p")) (15 "w")))))))",
     "s:a-1a-b-cb-c"},
    {R"((41 "n") (3 "n" 0) (2 "abc" "replace" (7 "x" (51 "" (7) (3 "n" 1)))) (15 "n"))", "n:0"},
    {R"((2 "abc" "replace" (7 "b" (51 "" (7) (3 "zz" 1)))))", "error:2"},
    // slice and substring
    {R"((2 "abcdef" "slice" (7 -3)))", "s:def"},
    {R"((2 "abcdef" "slice" (7 4 2)))", "s:"},
    {R"((2 "abcdef" "slice" (7 1 -1)))", "s:bcde"},
    {R"((2 "abcdef" "slice" (7 -1e300 1e300)))", "s:abcdef"},
    {R"((2 "abcdef" "substring" (7 4 2)))", "s:cd"},
    {R"((2 "abcdef" "substring" (7 -1 2)))", "s:ab"},
    {R"((2 "abcdef" "substring" (7 4)))", "s:ef"},
    {R"((2 "abcdef" "substring" (7 NaN 1e300)))", "s:abcdef"},
    // split
    {R"((2 "a,b,,c" "split" (7 ",")))", "[s:a,s:b,s:,s:c]"},
    {R"((2 "a,b,,c" "split" (7 "," 2)))", "[s:a,s:b]"},
    {R"((2 "a,b,,c" "split" (7 "," 0)))", "[]"},
    {R"((2 "a,b,,c" "split" (7 "," -1)))", "[s:a,s:b,s:,s:c]"},
    {R"((2 "a,b,,c" "split" (7 "," NaN)))", "[]"},
    {R"((2 "a,b,,c" "split" (7 "," 4294967297)))", "[s:a]"},
    {R"((2 "a,b" "split" (7 ",b")))", "[s:a,s:]"},
    {R"((2 "abc" "split" (7 "")))", "[s:a,s:b,s:c]"},
    {R"((2 "abc" "split" (7 "" 2)))", "[s:a,s:b]"},
    {R"((2 "" "split" (7 ",")))", "[s:]"},
    {R"((2 "abc" "split" (7)))", "[s:abc]"},
    {R"((2 "aundefinedb" "split" (7 (44))))", "[s:a,s:b]"},
    // case, toString, trim
    {R"((2 "AbC" "toLowerCase" (7)))", "s:abc"},
    {R"((2 "AbC" "toUpperCase" (7)))", "s:ABC"},
    {R"((2 "straße" "toUpperCase" (7)))", "s:STRASSE"},
    {R"((16 (2 "ß" "toUpperCase" (7)) "length"))", "n:2"},
    {R"((2 "AbC" "toLowerCase" (7 1)))", "error:9"},
    {R"((2 "abc" "toString" (7)))", "s:abc"},
    {R"((2 "abc" "toString" (7 1)))", "error:9"},
    {R"((2 " \n\u0009 a b \u00a0\u2028\u3000" "trim" (7)))", "s:a b"},
    {R"((2 " \n " "trim" (7)))", "s:"},
    {R"((2 "x" "trim" (7 1)))", "error:9"},
    // Code units, canonical order and strict equality.
    {R"((16 "😀" "length"))", "n:2"},
    {R"((16 (2 "😀" "charAt" (7 0)) "length"))", "n:1"},
    {R"((20 (2 "😀" "charAt" (7 1)) (2 "😀" "slice" (7 1))))", "true"},
    {R"((20 (2 "😀" "charAt" (7 0)) (2 "😀" "charAt" (7 1))))", "false"},
    {R"((16 (2 "😀" "split" (7 "")) "length"))", "n:2"},
    {R"((24 "\u00e9" "e\u0301"))", "true"},
    {R"((19 "\u00e9" "e\u0301"))", "true"},
    {R"((20 "\u00e9" "e\u0301"))", "false"},
    // Names outside the table; argument errors pass through.
    {R"((2 "abc" "nope" (7)))", "error:17"},
    {R"((2 "abc" "length" (7)))", "error:17"},
    {R"((2 "abc" "trim" (7 (3 "zz" 1))))", "error:2"},
};

class StringMethodCases : public testing::TestWithParam<ProgramCase> {};

TEST_P(StringMethodCases, RunsToItsResult) {
    EXPECT_EQ(runText(GetParam().program), GetParam().expected) << GetParam().program;
}

INSTANTIATE_TEST_SUITE_P(StringMethods, StringMethodCases, testing::ValuesIn(stringMethodCases));

TEST(StringMethods, TheTableHoldsTheSeventeenMethods) {
    std::vector<std::u16string> names = MSRPStringCommandEvaluator::sharedInstance().allSupportedCommands();
    std::sort(names.begin(), names.end());
    const std::vector<std::u16string> expected = {u"charAt",
                                                  u"concat",
                                                  u"hasOwnProperty",
                                                  u"indexOf",
                                                  u"lastIndexOf",
                                                  u"match",
                                                  u"replace",
                                                  u"search",
                                                  u"slice",
                                                  u"split",
                                                  u"substring",
                                                  u"toLocaleLowerCase",
                                                  u"toLocaleUpperCase",
                                                  u"toLowerCase",
                                                  u"toString",
                                                  u"toUpperCase",
                                                  u"trim"};
    EXPECT_EQ(names, expected);
}

// Sets the locale variables for one test and puts them back afterwards.
class LocaleEnvironment {
public:
    LocaleEnvironment(const char* lcAll, const char* lcCtype, const char* lang) {
        for (const char* name : names) {
            const char* value = std::getenv(name);
            saved_.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
        set("LC_ALL", lcAll);
        set("LC_CTYPE", lcCtype);
        set("LANG", lang);
    }
    ~LocaleEnvironment() {
        for (std::size_t position = 0; position < saved_.size(); ++position) {
            set(names[position], saved_[position] ? saved_[position]->c_str() : nullptr);
        }
    }

private:
    static void set(const char* name, const char* value) {
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    static constexpr const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::vector<std::optional<std::string>> saved_;
};

TEST(StringMethods, TheLocaleComesFromTheEnvironment) {
    const struct {
        const char* lcAll;
        const char* lcCtype;
        const char* lang;
        const char* locale;
    } cases[] = {
        {nullptr, nullptr, "tr_TR.UTF-8", "tr_TR"},
        {nullptr, nullptr, "de_DE.UTF-8@euro", "de_DE"},
        {"", "", "az_AZ", "az_AZ"},
        {"tr_TR.UTF-8", "C", "C", "tr_TR"},
        {nullptr, "tr_TR", "C", "tr_TR"},
        {nullptr, nullptr, "C", ""},
        {nullptr, nullptr, "POSIX", ""},
        {"C.UTF-8", "tr_TR", nullptr, ""},
        {nullptr, nullptr, nullptr, ""},
    };
    for (const auto& c : cases) {
        LocaleEnvironment environment(c.lcAll, c.lcCtype, c.lang);
        EXPECT_EQ(currentCaseLocale(), c.locale) << (c.lang ? c.lang : "(none)");
    }
}

TEST(StringMethods, LocaleCaseFollowsTheCurrentLocale) {
    {
        LocaleEnvironment environment(nullptr, nullptr, "tr_TR.UTF-8");
        EXPECT_EQ(runText(R"((2 "i" "toLocaleUpperCase" (7)))"), "s:\u0130");
        EXPECT_EQ(runText(R"((2 "i" "toUpperCase" (7)))"), "s:I");
        EXPECT_EQ(runText(R"((2 "I" "toLocaleLowerCase" (7)))"), "s:\u0131");
        EXPECT_EQ(runText(R"((2 "I" "toLowerCase" (7)))"), "s:i");
    }
    {
        LocaleEnvironment environment(nullptr, nullptr, "C");
        EXPECT_EQ(runText(R"((2 "i" "toLocaleUpperCase" (7)))"), "s:I");
        EXPECT_EQ(runText(R"((2 "i" "toUpperCase" (7)))"), "s:I");
        EXPECT_EQ(runText(R"((2 "I" "toLocaleLowerCase" (7)))"), "s:i");
    }
}

void expectRegexError(std::string_view program, UErrorCode status) {
    MSRPRuntime runtime;
    Outcome outcome = run(runtime, program);
    ASSERT_TRUE(outcome.error) << program;
    EXPECT_EQ(outcome.error->domain(), "ICURegex") << program;
    EXPECT_EQ(outcome.error->code(), static_cast<int>(status)) << program;
    EXPECT_EQ(describe(outcome.value.get()), "undefined") << program;
}

TEST(StringMethods, BadPatternsEndWithTheRegexError) {
    expectRegexError(R"((2 "a(b" "match" (7 "(")))", U_REGEX_MISMATCHED_PAREN);
    expectRegexError(R"((2 "a(b" "search" (7 "(")))", U_REGEX_MISMATCHED_PAREN);
}

TEST(StringMethods, CatastrophicBacktrackingEndsWithTheTimeOut) {
    std::string subject(40, 'a');
    subject += 'b';
    expectRegexError(R"((2 ")" + subject + R"(" "match" (7 "(a+)+$")))", U_REGEX_TIME_OUT);
    expectRegexError(R"((2 ")" + subject + R"(" "search" (7 "(a+)+$")))", U_REGEX_TIME_OUT);
}

TEST(StringMethods, DeepBacktrackingEndsWithTheStackOverflow) {
    MSRPRuntime runtime;
    runtime.globalScope().addValue(makeRef<MSRPStringValue>(std::u16string(200000, u'a')), u"s");
    Outcome outcome = run(runtime, R"((2 (15 "s") "search" (7 "(a|b)*c")))");
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain(), "ICURegex");
    EXPECT_EQ(outcome.error->code(), static_cast<int>(U_REGEX_STACK_OVERFLOW));
}

// A string of `count` units in the global scope as "s".
void declareString(MSRPRuntime& runtime, std::size_t count, char16_t unit) {
    runtime.globalScope().addValue(makeRef<MSRPStringValue>(std::u16string(count, unit)), u"s");
}

TEST(StringMethods, GrowthStopsAtTheLimits) {
    const struct {
        std::size_t length;
        char16_t unit;
        const char* program;
        const char* expected;
    } cases[] = {
        {std::size_t{1} << 19, u'x', R"((2 (15 "s") "concat" (7 (15 "s") "x")))", "error:18"},
        {(std::size_t{1} << 19) + 1, u'\u00df', R"((2 (15 "s") "toUpperCase" (7)))", "error:18"},
        {(std::size_t{1} << 19) + 1, u'\u00df', R"((2 (15 "s") "toLocaleUpperCase" (7)))", "error:18"},
        {std::size_t{1} << 20, u'x', R"((2 (15 "s") "replace" (7 "x" "yy")))", "error:18"},
        {std::size_t{1} << 20, u'x', R"((2 (15 "s") "replace" (7 "x" "y")))", "n:1048576"},
        {std::size_t{1} << 20, u'x', R"((2 (15 "s") "split" (7 "")))", "error:11"},
        {1000001, u',', R"((2 (15 "s") "split" (7 ",")))", "error:11"},
        {999999, u',', R"((16 (2 (15 "s") "split" (7 ",")) "length"))", "n:1000000"},
    };
    for (const auto& c : cases) {
        MSRPRuntime runtime;
        declareString(runtime, c.length, c.unit);
        std::string program = c.program;
        if (std::string_view(c.expected) == "n:1048576") {
            program = "(16 " + program + " \"length\")";
        }
        EXPECT_EQ(run(runtime, program).text(), c.expected) << c.program;
    }
}

TEST(StringMethods, SplittingInALoopEndsWithTheMeter) {
    MSRPRuntime runtime;
    declareString(runtime, 500000, u'x');
    Outcome outcome = run(runtime, R"((42 true 0 false (46 (2 (15 "s") "split" (7 "")))))");
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code(), static_cast<int>(ScriptErrorCode::limitReached));
    EXPECT_LT(runtime.getInstructionCount(), 10000);
}

}  // namespace
}  // namespace script_test
