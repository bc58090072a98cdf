#include "kit/measurement/messages/MSRQueryString.h"

#include <gtest/gtest.h>

#include <random>

namespace kit::measurement {
namespace {

TEST(MSRQueryStringTest, EncodesEveryByteOutsideTheUnreservedSet) {
    struct Row {
        std::string text;
        std::string encoded;
    };
    const Row rows[] = {
        {"", ""},
        {"AZaz09-._~", "AZaz09-._~"},
        {"a&b=c+d", "a%26b%3Dc%2Bd"},
        {"100% #1 /?", "100%25%20%231%20%2F%3F"},
        {"\xC3\xA9", "%C3%A9"},
        {std::string("\0\x7F", 2), "%00%7F"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(msr_percentEncodedQueryComponent(row.text), row.encoded);
    }
    EXPECT_EQ(msr_queryString(MSRQueryDictionary{}), "");
    EXPECT_EQ(msr_queryString(MSRQueryDictionary{{"k&=", "v+1"}, {"a", ""}}), "a=&k%26%3D=v%2B1");
    EXPECT_EQ(msr_queryString(std::vector<std::pair<std::string, std::string>>{{"z", "1"}, {"a", "2"}}), "z=1&a=2");
}

TEST(MSRQueryStringTest, UnescapesArguments) {
    struct Row {
        std::string argument;
        std::optional<std::string> text;
    };
    const Row rows[] = {
        {"", ""},
        {"a+b%20c", "a b c"},
        {"%2B%2b", "++"},
        {"%C3%A9", "\xC3\xA9"},
        {"%", std::nullopt},
        {"%4", std::nullopt},
        {"%G1", std::nullopt},
        {"%FF", std::nullopt},        // not UTF-8 once decoded
        {"%ED%A0%80", std::nullopt},  // a surrogate
        {"\xFF", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.argument);
        EXPECT_EQ(msr_stringByUnescapingFromURLArgument(row.argument), row.text);
    }
}

TEST(MSRQueryStringTest, ParsesArgumentsKeepingTheFirstOfARepeatedKey) {
    struct Row {
        std::string arguments;
        MSRQueryDictionary dictionary;
    };
    const Row rows[] = {
        {"a=1&a=2&b", {{"a", "1"}, {"b", ""}}},
        {"", {}},
        {"&&", {}},
        {"=", {{"", ""}}},
        {"k=v=w", {{"k", "v=w"}}},
        {"x=%zz&%=1", {{"x", ""}, {"", "1"}}},
        {"a+b=c%26d", {{"a b", "c&d"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        EXPECT_EQ(msr_dictionaryWithHttpArgumentsString(row.arguments), row.dictionary);
    }
}

std::string randomText(std::mt19937& random) {
    static constexpr char32_t awkward[] = {U'&', U'=', U'+', U'%', U'#', U' ', U'?', U'/'};
    std::string text;
    const int length = std::uniform_int_distribution<int>(0, 8)(random);
    for (int index = 0; index < length; ++index) {
        char32_t point = 0;
        switch (std::uniform_int_distribution<int>(0, 3)(random)) {
        case 0:
            point = awkward[std::uniform_int_distribution<std::size_t>(0, std::size(awkward) - 1)(random)];
            break;
        case 1:
            point = std::uniform_int_distribution<char32_t>(0, 0x7F)(random);
            break;
        default:
            point = std::uniform_int_distribution<char32_t>(0x80, 0x10FFFF)(random);
            if (point >= 0xD800 && point <= 0xDFFF) {
                point = 0xFFFD;
            }
        }
        if (point < 0x80) {
            text += static_cast<char>(point);
        } else if (point < 0x800) {
            text += static_cast<char>(0xC0 | (point >> 6));
            text += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            text += static_cast<char>(0xE0 | (point >> 12));
            text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (point >> 18));
            text += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (point & 0x3F));
        }
    }
    return text;
}

TEST(MSRQueryStringTest, RandomDictionariesRoundTrip) {
    std::mt19937 random(20261210);
    for (int round = 0; round < 10'000; ++round) {
        MSRQueryDictionary dictionary;
        const int count = std::uniform_int_distribution<int>(0, 5)(random);
        for (int entry = 0; entry < count; ++entry) {
            dictionary[randomText(random)] = randomText(random);
        }
        const std::string query = msr_queryString(dictionary);
        ASSERT_EQ(msr_dictionaryWithHttpArgumentsString(query), dictionary) << query;
    }
}

}  // namespace
}  // namespace kit::measurement
