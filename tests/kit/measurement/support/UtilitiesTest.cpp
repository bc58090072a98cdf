#include "RulesTestSupport.h"
#include "kit/measurement/support/MSRStrings.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "platform/ErrorCodes.h"

#include <gtest/gtest.h>

namespace kit::measurement {
namespace {

using testing::RulesTest;

class UtilitiesTest : public RulesTest {};

TEST(MSRStringsTest, CountsAndCutsByCodePoint) {
    struct Row {
        std::string text;
        std::size_t codePoints;
        std::size_t utf16Units;
        std::string firstTwo;
    };
    const std::string emoji = "\xF0\x9F\x98\x80";
    const std::string replacement = "\xEF\xBF\xBD";
    const Row rows[] = {
        {"", 0, 0, ""},
        {"abc", 3, 3, "ab"},
        {"\xC3\xA9t\xC3\xA9", 3, 3, "\xC3\xA9t"},
        {emoji + emoji + "x", 3, 5, emoji + emoji},
        // Each maximal subpart of a bad sequence is one U+FFFD.
        {"\xE0\x80", 2, 2, replacement + replacement},
        {"\xF0\x9F\x98", 1, 1, replacement},
        {"\xED\xA0\x80", 3, 3, replacement + replacement},
        {"\xC0\xAF", 2, 2, replacement + replacement},
        {"a\xF4\x90\x80\x80", 5, 5, "a" + replacement},
        {"\xE2\x82", 1, 1, replacement},
        {"\xE2\x82"
         "a",
         2, 2, replacement + "a"},
        {"\xFF", 1, 1, replacement},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(msr_UTF32Length(row.text), row.codePoints);
        EXPECT_EQ(msr_UTF16Length(row.text), row.utf16Units);
        EXPECT_EQ(msr_substringToCodePoints(row.text, 2), row.firstTwo);
    }
}

TEST(MSRStringsTest, LettersAndIdentifierCharactersFollowTheGeneralCategories) {
    EXPECT_TRUE(msr_isLetter(U'a'));
    EXPECT_TRUE(msr_isLetter(U'\u00E9'));
    EXPECT_TRUE(msr_isLetter(U'\u4E2D'));
    EXPECT_FALSE(msr_isLetter(U'1'));
    EXPECT_FALSE(msr_isLetter(U'\u0301'));  // a combining mark
    EXPECT_FALSE(msr_isLetter(U'\U0001F600'));
    EXPECT_TRUE(msr_isIdentifierCharacter(U'_'));
    EXPECT_TRUE(msr_isIdentifierCharacter(U'\u0663'));   // Arabic-Indic three
    EXPECT_FALSE(msr_isIdentifierCharacter(U'\u00B2'));  // superscript two is No
    EXPECT_FALSE(msr_isIdentifierCharacter(U'-'));
}

TEST_F(UtilitiesTest, MapsHoldTheirEntries) {
    EXPECT_EQ(MSRInternalEventNameMap().size(), 32u);
    EXPECT_EQ(MSRInternalEventNameMap().at("session_start"), "_s");
    EXPECT_EQ(MSRInternalEventNameReverseMap().at("_cmp"), "la_campaign");
    EXPECT_EQ(MSRInternalEventNameReverseMap().at("_s"), "session_start");
    EXPECT_EQ(MSRInternalEventNameReverseMap().size(), 31u);
    EXPECT_EQ(MSRInternalParameterNameMap().size(), 54u);
    EXPECT_EQ(MSRInternalUserPropertyNameMap().size(), 10u);
    EXPECT_EQ(MSRFailureCodeNameMap().at(28), "ItemScopedCustomParameterLimitReached");
    EXPECT_FALSE(MSRFailureCodeNameMap().contains(24));
    EXPECT_TRUE(MSRIsEcommerceEventName("view_search_results"));
    EXPECT_FALSE(MSRIsEcommerceEventName("purchases"));
    EXPECT_TRUE(MSRIsItemParameterName("item_category5"));
    EXPECT_TRUE(MSRIsPurchaseEventName("_iap"));
}

TEST_F(UtilitiesTest, PublicNamesAndTheirLogs) {
    EXPECT_TRUE(MSRIsPublicName(platform::Value("name")));
    EXPECT_FALSE(MSRIsPublicName(platform::Value("_name")));
    EXPECT_TRUE(services().drainCodes().empty());
    EXPECT_FALSE(MSRIsPublicName(platform::Value("")));
    EXPECT_FALSE(MSRIsPublicName(platform::Value(std::int64_t{3})));
    EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{18003, 18002}));
}

TEST_F(UtilitiesTest, OnlyTheFirstFailureIsRecorded) {
    MSRParameters parameters;
    const std::string name(45, 'n');
    const MSRValue value = MSRValue::initWithString(name);
    MSRRecordParameterError(parameters, 4, name, 40, &value);
    MSRRecordParameterError(parameters, 3, "other", 40, nullptr);
    EXPECT_EQ(parameters.at("_err").int64Value(), 4);
    EXPECT_EQ(*parameters.at("_ev").stringValue(), std::string(40, 'n') + "...");
    EXPECT_EQ(parameters.at("_el").int64Value(), 45);

    MSRParameters withLength{{"_el", MSRValue::initWithInt64(9)}};
    MSRAddErrorNameAndLength(withLength, "x", 40, nullptr);
    EXPECT_FALSE(withLength.contains("_ev"));

    MSRParameters emojiName;
    std::string emoji;
    for (int i = 0; i < 41; ++i)
        emoji += "\xF0\x9F\x98\x80";
    MSRAddErrorNameAndLength(emojiName, emoji, 40, nullptr);
    EXPECT_EQ(msr_UTF32Length(*emojiName.at("_ev").stringValue()), 43u);
    EXPECT_FALSE(emojiName.contains("_el"));
}

TEST_F(UtilitiesTest, ErrorEventsGoOutWithOriginAuto) {
    MSRLogErrorEvent(0);
    EXPECT_TRUE(services().internalEvents.empty());
    const MSRValue shortValue = MSRValue::initWithString("abc");
    const MSRValue longValue = MSRValue::initWithString(std::string(50, 'v'));
    MSRLogErrorEventWithName(2, "bad name", 40, &shortValue);  // a short value is not passed for code 2
    MSRLogErrorEventWithName(2, "bad name", 40, &longValue);
    MSRLogErrorEventWithName(7, "prop", 40, &shortValue);
    ASSERT_EQ(services().internalEvents.size(), 3u);
    for (const auto& event : services().internalEvents) {
        EXPECT_EQ(event.origin, "auto");
        EXPECT_EQ(event.name, "_err");
    }
    EXPECT_FALSE(services().internalEvents[0].parameters.contains("_el"));
    EXPECT_EQ(services().internalEvents[1].parameters.at("_el").int64Value(), 50);
    EXPECT_EQ(services().internalEvents[2].parameters.at("_el").int64Value(), 3);
    EXPECT_EQ(services().internalEvents[2].parameters.at("_err").int64Value(), 7);
}

TEST_F(UtilitiesTest, DecimalsFromText) {
    struct Row {
        std::string text;
        const char* value;  // canonical text, nullptr when refused
        std::int64_t logCode;
    };
    const Row rows[] = {
        {".5", "0.5", 0},
        {"-.5", "-0.5", 0},
        {"+.25", "0.25", 0},
        {"12.", "12", 0},
        {"-0012.50", "-12.5", 0},
        {"abc", nullptr, 26001},
        {"", nullptr, 26001},
        {"1.2.3", nullptr, 26001},
        {"1e3", nullptr, 26001},
        {"\xD9\xA3", nullptr, 26001},  // a digit, but not an ASCII one
        {"1234567890123456789012345678901234567891", nullptr, 26003},
        {"1" + std::string(200, '0'), nullptr, 26002},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto decimal = MSRDecimalNumberFromString(row.text);
        ASSERT_EQ(decimal.has_value(), row.value != nullptr);
        if (decimal) {
            EXPECT_EQ(decimal->toString(), row.value);
        }
        EXPECT_EQ(services().drainCodes(),
                  row.logCode ? std::vector<std::int64_t>{row.logCode} : std::vector<std::int64_t>{});
    }
}

class FailingSource final : public platform::RandomSource {
public:
    std::uint64_t next() override {
        throw platform::Error(platform::RandomSourceError::unavailable, "No random bytes.");
    }
};

TEST_F(UtilitiesTest, RandomInt64FallsBackToZeroOnFailure) {
    FailingSource failing;
    EXPECT_EQ(MSRNumericUtil::randomInt64(failing), 0);
    EXPECT_EQ(services().drainCodes(), std::vector<std::int64_t>{26004});
    platform::SeededRandom first(7);
    platform::SeededRandom second(7);
    EXPECT_EQ(MSRNumericUtil::randomInt64(first), static_cast<std::int64_t>(second.next()));
    EXPECT_NE(MSRNumericUtil::randomInt64(), MSRNumericUtil::randomInt64());
}

}  // namespace
}  // namespace kit::measurement
