#pragma once

#include "stubforge/core/Options.h"

#include "platform/Clock.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sham {
class Faker;
}

namespace stubforge {

// The kind of fake value that fills one CSV column or JSON field. The cases
// follow the order of the pickers; their raw values, lookup, the list of all
// cases and the engine operation of each come from one table
// (OptionTable<CSVColumnDataType>::cases), so rawValue, fromRawValue and
// allCases work as for the other options.
enum class CSVColumnDataType : std::uint8_t {
    buildingNumber,
    city,
    cityPrefix,
    citySuffix,
    county,
    country,
    countryCode,
    postcode,
    secondaryAddress,
    streetAddress,
    streetName,
    streetSuffix,
    state,
    stateAbbreviation,
    timeZone,
    latitude,
    longitude,
    appName,
    appVersion,
    appAuthor,
    bankBBAN,
    bankIBAN,
    bankName,
    bankSwift,
    creditCardNumber,
    creditCardExpiryDate,
    creditCardType,
    catName,
    catBreed,
    catRegistry,
    commerceColor,
    commerceDepartment,
    commerceProductName,
    commercePrice,
    companyName,
    companySuffix,
    companyCatchPhrase,
    companyBS,
    companyLogoURL,
    gender,
    genderBinaryType,
    hobbitCharacter,
    hobbitLocation,
    hobbitQuote,
    hobbitThorinsCompany,
    hamName,
    furniture,
    room,
    username,
    domainName,
    domainWord,
    domainSuffix,
    email,
    freeEmail,
    safeEmail,
    password,
    ipv4Address,
    ipv6Address,
    url,
    image,
    templateImage,
    hashTag,
    loremWord,
    loremWords,
    loremCharacter,
    loremCharacters,
    loremSentence,
    loremSentences,
    loremParagraph,
    loremParagraphs,
    name,
    firstName,
    lastName,
    prefix,
    suffix,
    title,
    phoneNumber,
    cellPhone,
    areaCode,
    exchangeCode,
    subscriberNumber,
    numberExtension,
    programmingLanguageName,
    programmingLanguageCreator,
    teamName,
    teamCreature,
    teamState,
    carBrand,
    carColor,
    carMake,
    carManufacture,
};

inline constexpr std::size_t kColumnDataTypeCount = 91;

// One row of the value type table: the case, its raw value and the engine
// operation that draws one value of it as text.
struct ColumnDataTypeCase {
    CSVColumnDataType value;
    std::string_view rawValue;
    std::string (*draw)(sham::Faker& faker);
};

template <>
struct OptionTable<CSVColumnDataType> {
    // Defined, in declaration order, in ColumnDataType.cpp.
    static const std::array<ColumnDataTypeCase, kColumnDataTypeCount> cases;
};

// A value type's identity in lists is the case itself.
constexpr CSVColumnDataType id(CSVColumnDataType type) { return type; }

// One fake value of `type` drawn from `faker`, as text.
std::string fakeJSONValue(CSVColumnDataType type, sham::Faker& faker);

// The same value for a CSV cell: every "," and then every ";" becomes a
// space. Quoting is the CSV writer's business.
std::string fakeCSVValue(CSVColumnDataType type, sham::Faker& faker);

// The text of a number value: the shortest decimal that reads back to the
// same double, with "." and at least one digit after it (12.0, 7.5), in
// exponent form below 1e-4 and above 2^54 (1e-05); no locale applies.
std::string numberText(double value);

// The largest multiple of 0.01 (as the nearest double to cents / 100) not
// above `value`: 42.1789 gives 42.17, and 0.29 stays 0.29.
double floorToCents(double value);

// UTC midnight of a "yyyy-MM-dd" day, so the value does not depend on the
// machine's time zone; nothing unless the text names a real day exactly.
std::optional<platform::TimePoint> utcMidnight(std::string_view dayText);

}  // namespace stubforge
