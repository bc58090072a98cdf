#include "TestSupport.h"

#include "sham/Generator.h"
#include "sham/Parser.h"

#include "platform/Random.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

namespace sham::test {
namespace {

class ShamGenerator : public FixtureLocales {
protected:
    platform::SeededRandom random_{21};
    Parser parser_{"en", random_, locales_};
    Generator generator_{parser_, random_};
};

struct FillCase {
    std::string_view operation;
    std::string_view input;
    std::string_view pattern;
    // Characters that must all show up at the given output position over
    // many draws.
    std::size_t position;
    std::string_view reachable;
};

TEST_F(ShamGenerator, FillsDigitsAndLetters) {
    const FillCase cases[] = {
        // A leading "#" never gives 0; every other one gives all ten digits.
        {"numerify", "###", "[1-9][0-9][0-9]", 0, "123456789"},
        {"numerify", "###", "[1-9][0-9][0-9]", 1, "0123456789"},
        {"numerify", "a#", "a[0-9]", 1, "0123456789"},
        {"numerify", "", "", 0, ""},
        {"numerify", "no fills?", "no fills\\?", 0, ""},
        {"letterify", "?\?-?", "[A-Z][A-Z]-[A-Z]", 0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        {"letterify", "#?", "#[A-Z]", 1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        {"bothify", "#?", "[1-9][A-Z]", 0, "123456789"},
        {"bothify", "?#", "[A-Z][0-9]", 1, "0123456789"},
    };
    for (const auto& [operation, input, pattern, position, reachable] : cases) {
        const std::regex shape{std::string(pattern)};
        std::set<char> seen;
        for (int draw = 0; draw < 2000; ++draw) {
            std::string output;
            if (operation == "numerify") {
                output = generator_.numerify(std::string(input));
            } else if (operation == "letterify") {
                output = generator_.letterify(std::string(input));
            } else {
                output = generator_.bothify(std::string(input));
            }
            ASSERT_TRUE(std::regex_match(output, shape)) << operation << "(" << input << ") = " << output;
            if (position < output.size()) {
                seen.insert(output[position]);
            }
        }
        if (!reachable.empty()) {
            EXPECT_EQ(std::string(seen.begin(), seen.end()), reachable) << operation << "(" << input << ")";
        }
    }
}

TEST(ShamAlphaNumerify, AlphaNumerifyKeepsAsciiLettersDigitsAndUnderscore) {
    const struct {
        std::string_view input;
        std::string_view expected;
    } cases[] = {
        {"O'Neil & Sons", "ONeilSons"},
        {"Blue-Sky", "BlueSky"},
        {"snake_case 42", "snake_case42"},
        {"caf\xc3\xa9", "caf"},
        {"", ""},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(Generator::alphaNumerify(input), expected) << input;
    }
}

TEST_F(ShamGenerator, JoinedRandomWordsTakesOneWordPerInnerList) {
    const std::regex catchPhrase("(adaptive|robust) hybrid (synergy|paradigm|matrix)");
    const std::regex bs("grow (markets|channels)");
    for (int draw = 0; draw < 200; ++draw) {
        EXPECT_TRUE(std::regex_match(generator_.joinedRandomWords("company.buzzwords"), catchPhrase));
        EXPECT_TRUE(std::regex_match(generator_.joinedRandomWords("company.bs"), bs));
    }
    EXPECT_EQ(generator_.joinedRandomWords("lorem.words"), "");
    EXPECT_EQ(generator_.joinedRandomWords("company"), "");
    EXPECT_EQ(generator_.joinedRandomWords("missing.words"), "");
}

TEST(ShamRandomLowercaseLetters, UsesAllTwentySixLetters) {
    platform::SeededRandom random(22);
    EXPECT_EQ(randomLowercaseLetters(random, 0), "");
    EXPECT_EQ(randomLowercaseLetters(random, -3), "");
    const std::string letters = randomLowercaseLetters(random, 5000);
    ASSERT_EQ(letters.size(), 5000u);
    const std::set<char> seen(letters.begin(), letters.end());
    EXPECT_EQ(std::string(seen.begin(), seen.end()), "abcdefghijklmnopqrstuvwxyz");
}

}  // namespace
}  // namespace sham::test
