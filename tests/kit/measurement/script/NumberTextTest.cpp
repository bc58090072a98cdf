#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

namespace script_test {
namespace {

TEST(NumberText, ReadsBackExactlyForRandomDoubles) {
    std::mt19937_64 random(20261210);
    std::uniform_real_distribution<double> ordinary(-1e6, 1e6);
    for (int round = 0; round < 100000; ++round) {
        double number = 0;
        switch (round % 3) {
        case 0:
            number = std::bit_cast<double>(random());  // any bit pattern
            break;
        case 1:
            number = ordinary(random);
            break;
        default:
            number = std::ldexp(ordinary(random), static_cast<int>(random() % 200) - 100);
            break;
        }
        if (!std::isfinite(number)) {
            continue;
        }
        std::u16string text = numberToString(number);
        ASSERT_LE(text.size(), 25u) << number;
        ASSERT_EQ(text.find(u','), std::u16string::npos);
        double back = stringToNumber(text);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(number == 0 ? 0.0 : number))
            << utf8FromUtf16(text);
    }
}

TEST(NumberText, LaysOutDecimalAndScientificForms) {
    struct Case {
        double number;
        const char16_t* text;
    };
    const Case cases[] = {
        {0.1, u"0.1"},
        {100, u"100"},
        {1e21, u"1e+21"},
        {1e-7, u"1e-7"},
        {1.5e-7, u"1.5e-7"},
        {123456.789, u"123456.789"},
        {-0.0, u"0"},
        {1e-6, u"0.000001"},
        {999999999999999868928.0, u"999999999999999900000"},
        {5e-324, u"5e-324"},
        {1.7976931348623157e308, u"1.7976931348623157e+308"},
        {-123.0, u"-123"},
        {0.30000000000000004, u"0.30000000000000004"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8FromUtf16(numberToString(c.number)), utf8FromUtf16(c.text));
    }
}

}  // namespace
}  // namespace script_test
