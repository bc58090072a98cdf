// The reader's own grapheme splitting and UTF-8 checks, held against ICU's
// plain character break iterator and converter.

#include "Characters.h"
#include "CsvTestSupport.h"

#include "platform/Random.h"

#include <gtest/gtest.h>
#include <unicode/ubrk.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace csv::detail {
namespace {

// Code points that exercise every grapheme rule: line ends and controls,
// combining and spacing marks, joiners, emoji with modifiers, regional
// indicators, Hangul jamo, prepended marks, and plain text.
constexpr char32_t kAlphabet[] = {
    U'a',    U'Z',   U'0',   U',',   U'"',   U' ',   U'\t',   U'\r',   U'\n',   0x01,
    0x7F,    0x00E9, 0x0301, 0x0308, 0x200D, 0x200C, 0x1F469, 0x1F4BB, 0x1F3FD, 0x1F1EB,
    0x1F1F7, 0x1100, 0x1161, 0x11A8, 0xAC00, 0x0600, 0x0915,  0x094D,  0x0903,  0xFEFF,
    0x037E,  0x00A0, 0x2028, 0x0085, 0x65E5, 0xFE0F, 0x20E3,  0x0E33,  0x1F44D, 0x2764,
};

std::string randomText(platform::RandomSource& random, std::size_t maximumLength) {
    std::string text;
    const std::size_t length = random.below(maximumLength + 1);
    for (std::size_t index = 0; index < length; ++index) {
        const char32_t codePoint = kAlphabet[random.below(std::size(kAlphabet))];
        char bytes[4];
        std::int32_t size = 0;
        U8_APPEND_UNSAFE(bytes, size, codePoint);
        text.append(bytes, static_cast<std::size_t>(size));
    }
    return text;
}

std::vector<std::size_t> icuBoundaries(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status);
    UBreakIterator* iterator = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    ubrk_setUText(iterator, utext, &status);
    if (U_FAILURE(status)) {
        throw std::runtime_error(u_errorName(status));
    }
    std::vector<std::size_t> boundaries;
    for (std::int32_t end = ubrk_next(iterator); end != UBRK_DONE; end = ubrk_next(iterator)) {
        boundaries.push_back(static_cast<std::size_t>(end));
    }
    ubrk_close(iterator);
    utext_close(utext);
    return boundaries;
}

std::vector<std::size_t> scannerBoundaries(std::string_view text, std::size_t windowBytes) {
    GraphemeScanner scanner(text, GraphemeScanner::Validation::checked, windowBytes);
    std::vector<std::size_t> boundaries;
    while (!scanner.next().empty()) {
        boundaries.push_back(scanner.offset());
    }
    return boundaries;
}

TEST(GraphemeScanner, SplitsAsICUDoesThroughAnyWindow) {
    platform::SeededRandom random(20260101);
    constexpr std::size_t kWindowBytes = 24;
    for (int round = 0; round < 5000; ++round) {
        const std::string text = randomText(random, 40);
        const std::vector<std::size_t> expected = icuBoundaries(text);
        ASSERT_EQ(scannerBoundaries(text, std::size_t{1} << 30), expected) << ::testing::PrintToString(text);
        std::size_t longest = 0;
        for (std::size_t index = 0, start = 0; index < expected.size(); start = expected[index++]) {
            longest = std::max(longest, expected[index] - start);
        }
        // A window holds any cluster that leaves room for the code point
        // after it.
        if (longest + 4 <= kWindowBytes) {
            ASSERT_EQ(scannerBoundaries(text, kWindowBytes), expected) << ::testing::PrintToString(text);
        }
    }
}

TEST(GraphemeScanner, ChecksUTF8OnlyOfWhatItReads) {
    GraphemeScanner scanner("ab\nc\xFF");
    EXPECT_EQ(scanner.next(), "a");
    EXPECT_EQ(scanner.next(), "b");
    EXPECT_EQ(scanner.next(), "\n");
    EXPECT_EQ(scanner.next(), "c");
    EXPECT_THROW(scanner.next(), CSVParseError);
}

TEST(ValidUTF8Length, AgreesWithICU) {
    platform::SeededRandom random(7);
    // Lead and trail bytes of every kind, so most strings are near-misses.
    constexpr unsigned char kBytes[] = {'a',  0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                        0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF, '\n', 0xE2};
    for (int round = 0; round < 50000; ++round) {
        std::string bytes;
        const std::size_t length = random.below(12);
        for (std::size_t index = 0; index < length; ++index) {
            bytes.push_back(static_cast<char>(kBytes[random.below(std::size(kBytes))]));
        }
        UErrorCode status = U_ZERO_ERROR;
        std::int32_t needed = 0;
        u_strFromUTF8(nullptr, 0, &needed, bytes.data(), static_cast<std::int32_t>(bytes.size()), &status);
        const bool icuAccepts = status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
        const std::size_t valid = validUTF8Length(bytes);
        ASSERT_EQ(valid == bytes.size(), icuAccepts) << ::testing::PrintToString(bytes);
        // The prefix it vouches for is itself well-formed.
        status = U_ZERO_ERROR;
        u_strFromUTF8(nullptr, 0, &needed, bytes.data(), static_cast<std::int32_t>(valid), &status);
        ASSERT_TRUE(status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status)) << ::testing::PrintToString(bytes);
    }
}

TEST(ValidUTF8Length, LongTextWithOneBadByte) {
    std::string text(1000, 'x');
    text += "\xC3\xA9";
    text += std::string(100, 'y');
    EXPECT_EQ(validUTF8Length(text), text.size());
    text[1003] = '\xC3';
    EXPECT_EQ(validUTF8Length(text), 1003u);
}

struct DelimiterCase {
    const char* name;
    std::string character;
    CSVDelimiter::Case expectedCase;  // of CSVDelimiter(character)
};

void PrintTo(const DelimiterCase& delimiterCase, std::ostream* stream) { *stream << delimiterCase.name; }

const DelimiterCase kDelimiterCases[] = {
    {"Comma", ",", CSVDelimiter::Case::comma},
    {"Semicolon", ";", CSVDelimiter::Case::semicolon},
    {"Tab", "\t", CSVDelimiter::Case::tab},
    {"GreekQuestionMarkIsSemicolon", "\u037E", CSVDelimiter::Case::semicolon},
    {"Pipe", "|", CSVDelimiter::Case::character},
    {"AccentedLetter", "e\u0301", CSVDelimiter::Case::character},
    {"Space", " ", CSVDelimiter::Case::character},
};

class DelimiterConstruction : public ::testing::TestWithParam<DelimiterCase> {};

TEST_P(DelimiterConstruction, MapsCharacterToCase) {
    const DelimiterCase& delimiterCase = GetParam();
    const CSVDelimiter delimiter(delimiterCase.character);
    EXPECT_EQ(delimiter.kind(), delimiterCase.expectedCase);
    // Only the `character` case equals a delimiter made with character().
    EXPECT_EQ(delimiter == CSVDelimiter::character(delimiterCase.character),
              delimiterCase.expectedCase == CSVDelimiter::Case::character);
}

INSTANTIATE_TEST_SUITE_P(Csv, DelimiterConstruction, ::testing::ValuesIn(kDelimiterCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(CSVDelimiter, EqualityIsByCaseAndCanonicalCharacter) {
    EXPECT_EQ(CSVDelimiter(','), CSVDelimiter::comma());
    EXPECT_NE(CSVDelimiter::comma(), CSVDelimiter::character(","));
    EXPECT_EQ(CSVDelimiter::character("\u00E9"), CSVDelimiter::character("e\u0301"));
    EXPECT_NE(CSVDelimiter::character("e"), CSVDelimiter::character("e\u0301"));
    EXPECT_EQ(CSVDelimiter::tab().rawCharacter(), "\t");
}

TEST(CSVDelimiter, RefusesWhatCannotSeparateFields) {
    for (const char* character : {"", "ab", "\"", "\n", "\r", "\r\n", "\xFF", ",\u0301x"}) {
        EXPECT_THROW(CSVDelimiter{std::string_view(character)}, std::invalid_argument)
            << ::testing::PrintToString(std::string(character));
    }
}

}  // namespace
}  // namespace csv::detail
