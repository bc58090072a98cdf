// The 91 column value types: raw values, lookup, the two value functions,
// number texts and the expiry date.

#include "stubforge/core/ColumnDataType.h"

#include "sham/Faker.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <regex>

namespace stubforge {
namespace {

constexpr std::array<std::string_view, 91> kGoldenRawValues = {
    "Address - Building Number",
    "Address - City",
    "Address - City Prefix",
    "Address - City Suffix",
    "Address - County",
    "Address - Country",
    "Address - Country Code",
    "Address - Postcode",
    "Address - Secondary Address",
    "Address - Street Address",
    "Address - Street Name",
    "Address - Street Suffix",
    "Address - State",
    "Address - State Abbreviation",
    "Address - Time Zone",
    "Address - Latitude",
    "Address - Longitude",
    "App - Name",
    "App - Version",
    "App - Author",
    "Bank - BBAN",
    "Bank - IBAN",
    "Bank - Name",
    "Bank - Swift",
    "Business - Credit Card Number",
    "Business - Credit Card Expiry Date",
    "Business - Credit Card Type",
    "Cat - Name",
    "Cat - Breed",
    "Cat - Registry",
    "Commerce - Color",
    "Commerce - Department",
    "Commerce - Product Name",
    "Commerce - Price",
    "Company - Name",
    "Company - Suffix",
    "Company - Catch Phrase",
    "Company - BS",
    "Company - Logo URL",
    "Gender - Type",
    "Gender - Binary Type",
    "Hobbit - Character",
    "Hobbit - Location",
    "Hobbit - Quote",
    "Hobbit - Thorins Company",
    "Ham - Name",
    "House - Furniture",
    "House - Room",
    "Internet - Username",
    "Internet - Domain Name",
    "Internet - Domain Word",
    "Internet - Domain Suffix",
    "Internet - Email",
    "Internet - Free Email",
    "Internet - Safe Email",
    "Internet - Password",
    "Internet - IPv4 Address",
    "Internet - IPv6 Address",
    "Internet - URL",
    "Internet - Image",
    "Internet - Template Image",
    "Internet - Hash Tag",
    "Lorem - Word",
    "Lorem - Words",
    "Lorem - Character",
    "Lorem - Characters",
    "Lorem - Sentence",
    "Lorem - Sentences",
    "Lorem - Paragraph",
    "Lorem - Paragraphs",
    "Name - Name",
    "Name - First Name",
    "Name - Last Name",
    "Name - Prefix",
    "Name - Suffix",
    "Name - Title",
    "Phone number - Phone number",
    "Phone number - Cell phone",
    "Phone number - Area code",
    "Phone number - Exchange code",
    "Phone number - Subscriber number",
    "Phone number - Number extension",
    "Programming Language - Name",
    "Programming Language - Creator",
    "Team - Name",
    "Team - Creature",
    "Team - State",
    "Vehicle - Brand",
    "Vehicle - Color",
    "Vehicle - Make",
    "Vehicle - Manufacture",
};

TEST(ColumnDataTypeTest, RawValuesFollowTheGoldenListAndLookBack) {
    const auto cases = allCases<CSVColumnDataType>();
    ASSERT_EQ(cases.size(), kGoldenRawValues.size());
    for (std::size_t index = 0; index < cases.size(); ++index) {
        EXPECT_EQ(static_cast<std::size_t>(cases[index]), index);
        EXPECT_EQ(rawValue(cases[index]), kGoldenRawValues[index]) << index;
        EXPECT_EQ(fromRawValue<CSVColumnDataType>(kGoldenRawValues[index]), cases[index]) << kGoldenRawValues[index];
        EXPECT_EQ(id(cases[index]), cases[index]);
    }
}

TEST(ColumnDataTypeTest, NamedCasesAndExactLookup) {
    struct Case {
        std::string_view text;
        std::optional<CSVColumnDataType> expected;
    };
    const Case cases[] = {
        {"Address - Street Address", CSVColumnDataType::streetAddress},
        {"Phone number - Phone number", CSVColumnDataType::phoneNumber},
        {"Commerce - Price", CSVColumnDataType::commercePrice},
        {"Vehicle - Brand", CSVColumnDataType::carBrand},
        {"Vehicle - Manufacture", CSVColumnDataType::carManufacture},
        {"Phone Number - Phone Number", std::nullopt},
        {"address - city", std::nullopt},
        {"Address - City ", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(fromRawValue<CSVColumnDataType>(item.text), item.expected) << '"' << item.text << '"';
    }
}

std::string withoutCSVSeparators(std::string text) {
    std::replace(text.begin(), text.end(), ',', ' ');
    std::replace(text.begin(), text.end(), ';', ' ');
    return text;
}

// Both functions make the same draw; the CSV one only cleans the text.
TEST(ColumnDataTypeTest, EveryCaseGivesTextThroughBothFunctions) {
    platform::SeededRandom jsonRandom(7);
    platform::SeededRandom csvRandom(7);
    sham::Faker jsonFaker("en", testing::shippedLocales(), jsonRandom);
    sham::Faker csvFaker("en", testing::shippedLocales(), csvRandom);
    bool sawSeparator = false;
    for (int draw = 0; draw < 25; ++draw) {
        for (const CSVColumnDataType type : allCases<CSVColumnDataType>()) {
            const std::string json = fakeJSONValue(type, jsonFaker);
            const std::string csv = fakeCSVValue(type, csvFaker);
            ASSERT_FALSE(json.empty()) << rawValue(type);
            EXPECT_EQ(csv, withoutCSVSeparators(json)) << rawValue(type);
            sawSeparator = sawSeparator || json.find_first_of(",;") != std::string::npos;
        }
    }
    // Departments and catch phrases hold commas, so the cleaning was used.
    EXPECT_TRUE(sawSeparator);
}

TEST(ColumnDataTypeTest, ValueShapes) {
    platform::SeededRandom random(11);
    sham::Faker faker("en", testing::shippedLocales(), random);
    const std::regex sentence("[A-Z][a-z]*( [a-z]+){3}\\.");
    const std::regex threeSentences("[A-Z][a-z]*( [a-z]+){3}\\.( [A-Z][a-z]*( [a-z]+){3}\\.){2}");
    const std::regex price("\\d{1,2}\\.\\d{1,2}");
    const std::regex expiry("\\d{4}-\\d\\d-\\d\\dT00:00:00Z");
    for (int draw = 0; draw < 200; ++draw) {
        EXPECT_TRUE(std::regex_match(fakeJSONValue(CSVColumnDataType::loremSentence, faker), sentence));
        EXPECT_TRUE(std::regex_match(fakeJSONValue(CSVColumnDataType::loremSentences, faker), threeSentences));
        EXPECT_TRUE(std::regex_match(fakeJSONValue(CSVColumnDataType::loremParagraph, faker), threeSentences));
        const std::string paragraphs = fakeCSVValue(CSVColumnDataType::loremParagraphs, faker);
        EXPECT_EQ(std::count(paragraphs.begin(), paragraphs.end(), '\n'), 2) << paragraphs;
        EXPECT_TRUE(std::regex_match(fakeJSONValue(CSVColumnDataType::commercePrice, faker), price));
        EXPECT_TRUE(std::regex_match(fakeJSONValue(CSVColumnDataType::creditCardExpiryDate, faker), expiry));
        const double latitude = std::stod(fakeJSONValue(CSVColumnDataType::latitude, faker));
        EXPECT_TRUE(latitude >= -90 && latitude < 90) << latitude;
        const double longitude = std::stod(fakeJSONValue(CSVColumnDataType::longitude, faker));
        EXPECT_TRUE(longitude >= -180 && longitude < 180) << longitude;
    }
}

TEST(NumberTextTest, ShortestRoundTripWithAPoint) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {12.0, "12.0"},
        {7.5, "7.5"},
        {floorToCents(42.1789), "42.17"},
        {floorToCents(7.5), "7.5"},
        {floorToCents(100.0), "100.0"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {-89.25, "-89.25"},
        {0.1 + 0.2, "0.30000000000000004"},
        {0.0001, "0.0001"},
        {0.00001234, "1.234e-05"},
        {1e-7, "1e-07"},
        {-3.5e-300, "-3.5e-300"},
        {5e-324, "5e-324"},
        {1e16, "10000000000000000.0"},
        {1e17, "1e+17"},
        {179.99999999999997, "179.99999999999997"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(numberText(item.value), item.text);
        // strtod, unlike stod, reads subnormal values without complaint.
        EXPECT_EQ(std::strtod(numberText(item.value).c_str(), nullptr), item.value) << item.text;
    }
}

TEST(NumberTextTest, PricesAreFlooredToCents) {
    struct Case {
        double value;
        double expected;
    };
    const Case cases[] = {
        {42.1789, 42.17},
        {7.5, 7.5},
        {99.999, 99.99},
        {0.004, 0.0},
        // Already whole cents stay as they are, though value * 100 lands
        // just below the whole number.
        {0.29, 0.29},
        {0.57, 0.57},
        {1.13, 1.13},
        {4.35, 4.35},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(floorToCents(item.value), item.expected) << item.value;
    }
    for (int cents = 0; cents < 10000; ++cents) {
        const double price = cents / 100.0;
        ASSERT_EQ(floorToCents(price), price) << cents;
    }
}

TEST(ExpiryDateTest, DaysAreReadAsUTCMidnight) {
    struct Case {
        const char* text;
        const char* iso;  // nullptr: no date
    };
    const Case cases[] = {
        {"2027-01-31", "2027-01-31T00:00:00Z"},
        {"2028-02-29", "2028-02-29T00:00:00Z"},
        {"2027-02-29", nullptr},
        {"2027-13-01", nullptr},
        {"2027-1-31", nullptr},
        {"2027/01/31", nullptr},
        {"2027-01-31 ", nullptr},
        {"", nullptr},
    };
    for (const auto& item : cases) {
        const auto date = utcMidnight(item.text);
        if (item.iso == nullptr) {
            EXPECT_FALSE(date) << item.text;
        } else {
            ASSERT_TRUE(date) << item.text;
            EXPECT_EQ(platform::iso8601(*date), item.iso);
        }
    }
}

std::vector<std::string> expiryValues(const char* zone) {
    platform::testing::ScopedEnvironment timeZone("TZ", zone);
    ::tzset();
    platform::SeededRandom random(5);
    sham::Faker faker("en", testing::shippedLocales(), random);
    std::vector<std::string> values;
    for (int draw = 0; draw < 40; ++draw) {
        values.push_back(fakeJSONValue(CSVColumnDataType::creditCardExpiryDate, faker));
    }
    return values;
}

TEST(ExpiryDateTest, TheValueDoesNotDependOnTheTimeZone) {
    const auto tokyo = expiryValues("Asia/Tokyo");
    const auto losAngeles = expiryValues("America/Los_Angeles");
    ::tzset();
    EXPECT_EQ(tokyo, losAngeles);
    for (const std::string& value : tokyo) {
        EXPECT_TRUE(value.ends_with("T00:00:00Z")) << value;
    }
}

}  // namespace
}  // namespace stubforge
