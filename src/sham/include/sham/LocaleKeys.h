#pragma once

#include <cstddef>
#include <string_view>

namespace sham {

// What the value generators read from a locale's "faker" object. The locale
// data lint holds the shipped files against this table, so the data and the
// generators stay in step.

// The keys, one constant each; the generators read them by these names.
namespace keys {
inline constexpr std::string_view addressCity = "address.city";
inline constexpr std::string_view addressStreetName = "address.street_name";
inline constexpr std::string_view addressSecondaryAddress = "address.secondary_address";
inline constexpr std::string_view addressStreetAddress = "address.street_address";
inline constexpr std::string_view addressBuildingNumber = "address.building_number";
inline constexpr std::string_view addressPostcode = "address.postcode";
inline constexpr std::string_view addressPostcodeByState = "address.postcode_by_state";
inline constexpr std::string_view addressTimeZone = "address.time_zone";
inline constexpr std::string_view addressStreetSuffix = "address.street_suffix";
inline constexpr std::string_view addressCitySuffix = "address.city_suffix";
inline constexpr std::string_view addressCityPrefix = "address.city_prefix";
inline constexpr std::string_view addressStateAbbr = "address.state_abbr";
inline constexpr std::string_view addressState = "address.state";
inline constexpr std::string_view addressCounty = "address.county";
inline constexpr std::string_view addressCountry = "address.country";
inline constexpr std::string_view addressCountryCode = "address.country_code";
inline constexpr std::string_view phoneNumberFormats = "phone_number.formats";
inline constexpr std::string_view cellPhoneFormats = "cell_phone.formats";
inline constexpr std::string_view phoneNumberAreaCode = "phone_number.area_code";
inline constexpr std::string_view phoneNumberExchangeCode = "phone_number.exchange_code";
inline constexpr std::string_view bankName = "bank.name";
inline constexpr std::string_view bankSwiftBic = "bank.swiftBic";
inline constexpr std::string_view bankIbanDetailsBankCountryCode = "bank.ibanDetails.bankCountryCode";
inline constexpr std::string_view bankIbanDetailsIbanLetterCode = "bank.ibanDetails.ibanLetterCode";
inline constexpr std::string_view bankIbanDetailsIbanDigits = "bank.ibanDetails.ibanDigits";
inline constexpr std::string_view businessCreditCardNumbers = "business.credit_card_numbers";
inline constexpr std::string_view businessCreditCardTypes = "business.credit_card_types";
inline constexpr std::string_view businessCreditCardExpiryDates = "business.credit_card_expiry_dates";
inline constexpr std::string_view nameName = "name.name";
inline constexpr std::string_view nameFirstName = "name.first_name";
inline constexpr std::string_view nameLastName = "name.last_name";
inline constexpr std::string_view namePrefix = "name.prefix";
inline constexpr std::string_view nameSuffix = "name.suffix";
inline constexpr std::string_view nameTitleDescriptor = "name.title.descriptor";
inline constexpr std::string_view nameTitleLevel = "name.title.level";
inline constexpr std::string_view nameTitleJob = "name.title.job";
inline constexpr std::string_view companyName = "company.name";
inline constexpr std::string_view companySuffix = "company.suffix";
inline constexpr std::string_view companyBuzzwords = "company.buzzwords";
inline constexpr std::string_view companyBs = "company.bs";
inline constexpr std::string_view commerceColor = "commerce.color";
inline constexpr std::string_view commerceDepartment = "commerce.department";
inline constexpr std::string_view commerceProductNameAdjective = "commerce.product_name.adjective";
inline constexpr std::string_view commerceProductNameMaterial = "commerce.product_name.material";
inline constexpr std::string_view commerceProductNameProduct = "commerce.product_name.product";
inline constexpr std::string_view separator = "separator";
inline constexpr std::string_view appName = "app.name";
inline constexpr std::string_view appVersion = "app.version";
inline constexpr std::string_view appAuthor = "app.author";
inline constexpr std::string_view genderType = "gender.type";
inline constexpr std::string_view genderBinaryType = "gender.binary_type";
inline constexpr std::string_view internetDomainSuffix = "internet.domain_suffix";
inline constexpr std::string_view internetFreeEmail = "internet.free_email";
inline constexpr std::string_view internetHashtag = "internet.hashtag";
inline constexpr std::string_view loremWords = "lorem.words";
inline constexpr std::string_view carBrand = "car.brand";
inline constexpr std::string_view catName = "cat.name";
inline constexpr std::string_view catBreed = "cat.breed";
inline constexpr std::string_view catRegistry = "cat.registry";
inline constexpr std::string_view hamName = "ham.name";
inline constexpr std::string_view hobbitCharacter = "hobbit.character";
inline constexpr std::string_view hobbitThorinsCompany = "hobbit.thorins_company";
inline constexpr std::string_view hobbitQuote = "hobbit.quote";
inline constexpr std::string_view hobbitLocation = "hobbit.location";
inline constexpr std::string_view houseFurniture = "house.furniture";
inline constexpr std::string_view houseRoom = "house.room";
inline constexpr std::string_view programmingLanguageName = "programming_language.name";
inline constexpr std::string_view programmingLanguageCreator = "programming_language.creator";
inline constexpr std::string_view teamName = "team.name";
inline constexpr std::string_view teamCreature = "team.creature";
inline constexpr std::string_view vehicleManufacture = "vehicle.manufacture";
inline constexpr std::string_view vehicleMakes = "vehicle.makes";
inline constexpr std::string_view vehicleColors = "vehicle.colors";
inline constexpr std::string_view zeldaGame = "zelda.game";
}  // namespace keys

enum class KeyShape {
    text,           // a text, or a non-empty list of texts
    textLists,      // a non-empty list of non-empty lists of texts (no placeholders)
    textsPerState,  // an object: one text or list of texts per state abbreviation
};

// Fill characters the reading operation replaces: "#" (a digit), "?" (a
// capital letter). Any other "#" or "?" would reach the user unfilled.
enum class KeyFill { none, digits, letters, both };

// Extra form each value must have, where a caller depends on it.
enum class KeyContent {
    any,
    personName,         // letters, with "'" and "-" inside: it becomes part of a user name
    stateAbbreviation,  // two capital letters
    countryCode,        // two or three capital letters
    domain,             // lower-case host name labels joined by "."
    hashtag,            // "#" and then letters or digits
    isoDate,            // "yyyy-MM-dd", a real day
    cardNumber,         // digits, in groups joined by "-" or " "
};

struct LocaleKey {
    std::string_view key;
    std::string_view readBy;
    KeyShape shape;
    KeyFill fill;
    KeyContent content = KeyContent::any;
    std::size_t minimumCount = 1;
    std::size_t maximumCount = 0;  // 0: no bound
};

inline constexpr std::size_t themedMinimum = 15;
inline constexpr std::size_t themedMaximum = 40;

inline constexpr LocaleKey localeKeys[] = {
    {keys::addressCity, "Address.city", KeyShape::text, KeyFill::none},
    {keys::addressStreetName, "Address.streetName", KeyShape::text, KeyFill::none},
    {keys::addressSecondaryAddress, "Address.secondaryAddress", KeyShape::text, KeyFill::digits},
    {keys::addressStreetAddress, "Address.streetAddress", KeyShape::text, KeyFill::digits},
    {keys::addressBuildingNumber, "Address.buildingNumber", KeyShape::text, KeyFill::both},
    {keys::addressPostcode, "Address.postcode", KeyShape::text, KeyFill::both},
    {keys::addressPostcodeByState, "Address.postcode", KeyShape::textsPerState, KeyFill::both, KeyContent::any, 50},
    {keys::addressTimeZone, "Address.timeZone", KeyShape::text, KeyFill::none},
    {keys::addressStreetSuffix, "Address.streetSuffix", KeyShape::text, KeyFill::none},
    {keys::addressCitySuffix, "Address.citySuffix", KeyShape::text, KeyFill::none},
    {keys::addressCityPrefix, "Address.cityPrefix", KeyShape::text, KeyFill::none},
    {keys::addressStateAbbr, "Address.stateAbbreviation", KeyShape::text, KeyFill::none, KeyContent::stateAbbreviation,
     50},
    {keys::addressState, "Address.state, Team.state", KeyShape::text, KeyFill::none, KeyContent::any, 50},
    {keys::addressCounty, "Address.county", KeyShape::text, KeyFill::none},
    {keys::addressCountry, "Address.country", KeyShape::text, KeyFill::none, KeyContent::any, 100},
    {keys::addressCountryCode, "Address.countryCode", KeyShape::text, KeyFill::none, KeyContent::countryCode, 100},

    {keys::phoneNumberFormats, "PhoneNumber.phoneNumber", KeyShape::text, KeyFill::digits},
    {keys::cellPhoneFormats, "PhoneNumber.cellPhone", KeyShape::text, KeyFill::digits},
    {keys::phoneNumberAreaCode, "PhoneNumber.areaCode", KeyShape::text, KeyFill::none},
    {keys::phoneNumberExchangeCode, "PhoneNumber.exchangeCode", KeyShape::text, KeyFill::none},

    {keys::bankName, "Bank.name", KeyShape::text, KeyFill::none},
    {keys::bankSwiftBic, "Bank.swiftBic", KeyShape::text, KeyFill::none},
    {keys::bankIbanDetailsBankCountryCode, "Bank.iban", KeyShape::text, KeyFill::none},
    {keys::bankIbanDetailsIbanLetterCode, "Bank.iban, Bank.bban", KeyShape::text, KeyFill::letters},
    {keys::bankIbanDetailsIbanDigits, "Bank.iban, Bank.bban", KeyShape::text, KeyFill::digits},

    {keys::businessCreditCardNumbers, "Business.creditCardNumber", KeyShape::text, KeyFill::none,
     KeyContent::cardNumber},
    {keys::businessCreditCardTypes, "Business.creditCardType", KeyShape::text, KeyFill::none},
    {keys::businessCreditCardExpiryDates, "Business.creditCardExpiryDate", KeyShape::text, KeyFill::none,
     KeyContent::isoDate},

    {keys::nameName, "Name.name", KeyShape::text, KeyFill::none},
    {keys::nameFirstName, "Name.firstName, Internet.username", KeyShape::text, KeyFill::none, KeyContent::personName,
     150},
    {keys::nameLastName, "Name.lastName, Internet.username", KeyShape::text, KeyFill::none, KeyContent::personName,
     150},
    {keys::namePrefix, "Name.prefix", KeyShape::text, KeyFill::none},
    {keys::nameSuffix, "Name.suffix", KeyShape::text, KeyFill::none},
    {keys::nameTitleDescriptor, "Name.title", KeyShape::text, KeyFill::none},
    {keys::nameTitleLevel, "Name.title", KeyShape::text, KeyFill::none},
    {keys::nameTitleJob, "Name.title", KeyShape::text, KeyFill::none},

    {keys::companyName, "Company.name, Internet.domainWord", KeyShape::text, KeyFill::none},
    {keys::companySuffix, "Company.suffix", KeyShape::text, KeyFill::none},
    {keys::companyBuzzwords, "Company.catchPhrase", KeyShape::textLists, KeyFill::none},
    {keys::companyBs, "Company.bs", KeyShape::textLists, KeyFill::none},

    {keys::commerceColor, "Commerce.color", KeyShape::text, KeyFill::none},
    {keys::commerceDepartment, "Commerce.department", KeyShape::text, KeyFill::none, KeyContent::any, 3},
    {keys::commerceProductNameAdjective, "Commerce.productName", KeyShape::text, KeyFill::none},
    {keys::commerceProductNameMaterial, "Commerce.productName", KeyShape::text, KeyFill::none},
    {keys::commerceProductNameProduct, "Commerce.productName", KeyShape::text, KeyFill::none},
    {keys::separator, "Commerce.department", KeyShape::text, KeyFill::none},

    {keys::appName, "App.name", KeyShape::text, KeyFill::none},
    {keys::appVersion, "App.version", KeyShape::text, KeyFill::digits},
    {keys::appAuthor, "App.author", KeyShape::text, KeyFill::none},

    {keys::genderType, "Gender.type", KeyShape::text, KeyFill::none},
    {keys::genderBinaryType, "Gender.binaryType", KeyShape::text, KeyFill::none},

    {keys::internetDomainSuffix, "Internet.domainName, email, url", KeyShape::text, KeyFill::none, KeyContent::domain},
    {keys::internetFreeEmail, "Internet.freeEmail", KeyShape::text, KeyFill::none, KeyContent::domain},
    {keys::internetHashtag, "Internet.hashtag", KeyShape::text, KeyFill::none, KeyContent::hashtag},

    {keys::loremWords, "Lorem.word, words, sentence(s), paragraph(s)", KeyShape::text, KeyFill::none, KeyContent::any,
     150},

    {keys::carBrand, "Car.brand", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
    {keys::catName, "Cat.name", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
    {keys::catBreed, "Cat.breed", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
    {keys::catRegistry, "Cat.registry", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
    {keys::hamName, "Ham.name", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
    {keys::hobbitCharacter, "Hobbit.character", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum,
     themedMaximum},
    {keys::hobbitThorinsCompany, "Hobbit.thorinsCompany", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum,
     themedMaximum},
    {keys::hobbitQuote, "Hobbit.quote", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
    {keys::hobbitLocation, "Hobbit.location", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum,
     themedMaximum},
    {keys::houseFurniture, "House.furniture", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum,
     themedMaximum},
    {keys::houseRoom, "House.room", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
    {keys::programmingLanguageName, "ProgrammingLanguage.name", KeyShape::text, KeyFill::none, KeyContent::any,
     themedMinimum, themedMaximum},
    {keys::programmingLanguageCreator, "ProgrammingLanguage.creator", KeyShape::text, KeyFill::none, KeyContent::any,
     themedMinimum, themedMaximum},
    {keys::teamName, "Team.name", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
    {keys::teamCreature, "Team.creature", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
    {keys::vehicleManufacture, "Vehicle.manufacture", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum,
     themedMaximum},
    {keys::vehicleMakes, "Vehicle.make", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
    {keys::vehicleColors, "Vehicle.color", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum,
     themedMaximum},
    {keys::zeldaGame, "Zelda.game", KeyShape::text, KeyFill::none, KeyContent::any, themedMinimum, themedMaximum},
};

}  // namespace sham
