#include "stubforge/core/ColumnDataType.h"

#include "sham/DateFormatter.h"
#include "sham/Faker.h"
#include "sham/LocaleKeys.h"

#include "platform/Clock.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>

namespace stubforge {

namespace {

using sham::Faker;
using Type = CSVColumnDataType;

// The engine's expiry reading takes the day as local midnight, which moves
// the printed value with the time zone; the day is read as UTC midnight here.
std::string expiryDate(Faker& faker) {
    const auto date = utcMidnight(faker.business().fetch(sham::keys::businessCreditCardExpiryDates));
    return date ? platform::iso8601(*date) : std::string();
}

std::string price(Faker& faker) { return numberText(floorToCents(faker.commerce().price())); }

}  // namespace

constexpr std::array<ColumnDataTypeCase, kColumnDataTypeCount> OptionTable<CSVColumnDataType>::cases{{
    {Type::buildingNumber, "Address - Building Number", [](Faker& f) { return f.address().buildingNumber(); }},
    {Type::city, "Address - City", [](Faker& f) { return f.address().city(); }},
    {Type::cityPrefix, "Address - City Prefix", [](Faker& f) { return f.address().cityPrefix(); }},
    {Type::citySuffix, "Address - City Suffix", [](Faker& f) { return f.address().citySuffix(); }},
    {Type::county, "Address - County", [](Faker& f) { return f.address().county(); }},
    {Type::country, "Address - Country", [](Faker& f) { return f.address().country(); }},
    {Type::countryCode, "Address - Country Code", [](Faker& f) { return f.address().countryCode(); }},
    {Type::postcode, "Address - Postcode", [](Faker& f) { return f.address().postcode(""); }},
    {Type::secondaryAddress, "Address - Secondary Address", [](Faker& f) { return f.address().secondaryAddress(); }},
    {Type::streetAddress, "Address - Street Address", [](Faker& f) { return f.address().streetAddress(false); }},
    {Type::streetName, "Address - Street Name", [](Faker& f) { return f.address().streetName(); }},
    {Type::streetSuffix, "Address - Street Suffix", [](Faker& f) { return f.address().streetSuffix(); }},
    {Type::state, "Address - State", [](Faker& f) { return f.address().state(); }},
    {Type::stateAbbreviation, "Address - State Abbreviation", [](Faker& f) { return f.address().stateAbbreviation(); }},
    {Type::timeZone, "Address - Time Zone", [](Faker& f) { return f.address().timeZone(); }},
    {Type::latitude, "Address - Latitude", [](Faker& f) { return numberText(f.address().latitude()); }},
    {Type::longitude, "Address - Longitude", [](Faker& f) { return numberText(f.address().longitude()); }},
    {Type::appName, "App - Name", [](Faker& f) { return f.app().name(); }},
    {Type::appVersion, "App - Version", [](Faker& f) { return f.app().version(); }},
    {Type::appAuthor, "App - Author", [](Faker& f) { return f.app().author(); }},
    {Type::bankBBAN, "Bank - BBAN", [](Faker& f) { return f.bank().bban(); }},
    {Type::bankIBAN, "Bank - IBAN", [](Faker& f) { return f.bank().iban(); }},
    {Type::bankName, "Bank - Name", [](Faker& f) { return f.bank().name(); }},
    {Type::bankSwift, "Bank - Swift", [](Faker& f) { return f.bank().swiftBic(); }},
    {Type::creditCardNumber, "Business - Credit Card Number", [](Faker& f) { return f.business().creditCardNumber(); }},
    {Type::creditCardExpiryDate, "Business - Credit Card Expiry Date", expiryDate},
    {Type::creditCardType, "Business - Credit Card Type", [](Faker& f) { return f.business().creditCardType(); }},
    {Type::catName, "Cat - Name", [](Faker& f) { return f.cat().name(); }},
    {Type::catBreed, "Cat - Breed", [](Faker& f) { return f.cat().breed(); }},
    {Type::catRegistry, "Cat - Registry", [](Faker& f) { return f.cat().registry(); }},
    {Type::commerceColor, "Commerce - Color", [](Faker& f) { return f.commerce().color(); }},
    {Type::commerceDepartment, "Commerce - Department", [](Faker& f) { return f.commerce().department(3, false); }},
    {Type::commerceProductName, "Commerce - Product Name", [](Faker& f) { return f.commerce().productName(); }},
    {Type::commercePrice, "Commerce - Price", price},
    {Type::companyName, "Company - Name", [](Faker& f) { return f.company().name(); }},
    {Type::companySuffix, "Company - Suffix", [](Faker& f) { return f.company().suffix(); }},
    {Type::companyCatchPhrase, "Company - Catch Phrase", [](Faker& f) { return f.company().catchPhrase(); }},
    {Type::companyBS, "Company - BS", [](Faker& f) { return f.company().bs(); }},
    {Type::companyLogoURL, "Company - Logo URL", [](Faker& f) { return f.company().logo(); }},
    {Type::gender, "Gender - Type", [](Faker& f) { return f.gender().type(); }},
    {Type::genderBinaryType, "Gender - Binary Type", [](Faker& f) { return f.gender().binaryType(); }},
    {Type::hobbitCharacter, "Hobbit - Character", [](Faker& f) { return f.hobbit().character(); }},
    {Type::hobbitLocation, "Hobbit - Location", [](Faker& f) { return f.hobbit().location(); }},
    {Type::hobbitQuote, "Hobbit - Quote", [](Faker& f) { return f.hobbit().quote(); }},
    {Type::hobbitThorinsCompany, "Hobbit - Thorins Company", [](Faker& f) { return f.hobbit().thorinsCompany(); }},
    {Type::hamName, "Ham - Name", [](Faker& f) { return f.ham().name(); }},
    {Type::furniture, "House - Furniture", [](Faker& f) { return f.house().furniture(); }},
    {Type::room, "House - Room", [](Faker& f) { return f.house().room(); }},
    {Type::username, "Internet - Username", [](Faker& f) { return f.internet().username(); }},
    {Type::domainName, "Internet - Domain Name", [](Faker& f) { return f.internet().domainName(true); }},
    {Type::domainWord, "Internet - Domain Word", [](Faker& f) { return f.internet().domainWord(true); }},
    {Type::domainSuffix, "Internet - Domain Suffix", [](Faker& f) { return f.internet().domainSuffix(); }},
    {Type::email, "Internet - Email", [](Faker& f) { return f.internet().email(); }},
    {Type::freeEmail, "Internet - Free Email", [](Faker& f) { return f.internet().freeEmail(); }},
    {Type::safeEmail, "Internet - Safe Email", [](Faker& f) { return f.internet().safeEmail(); }},
    {Type::password, "Internet - Password", [](Faker& f) { return f.internet().password(8, 16); }},
    {Type::ipv4Address, "Internet - IPv4 Address", [](Faker& f) { return f.internet().ipV4Address(); }},
    {Type::ipv6Address, "Internet - IPv6 Address", [](Faker& f) { return f.internet().ipV6Address(); }},
    {Type::url, "Internet - URL", [](Faker& f) { return f.internet().url(); }},
    {Type::image, "Internet - Image", [](Faker& f) { return f.internet().image(320, 200); }},
    {Type::templateImage, "Internet - Template Image",
     [](Faker& f) { return f.internet().templateImage(320, 200, "000000", "ffffff"); }},
    {Type::hashTag, "Internet - Hash Tag", [](Faker& f) { return f.internet().hashtag(); }},
    {Type::loremWord, "Lorem - Word", [](Faker& f) { return f.lorem().word(); }},
    {Type::loremWords, "Lorem - Words", [](Faker& f) { return f.lorem().words(3); }},
    {Type::loremCharacter, "Lorem - Character", [](Faker& f) { return f.lorem().character(); }},
    {Type::loremCharacters, "Lorem - Characters", [](Faker& f) { return f.lorem().characters(10); }},
    {Type::loremSentence, "Lorem - Sentence", [](Faker& f) { return f.lorem().sentence(4); }},
    {Type::loremSentences, "Lorem - Sentences", [](Faker& f) { return f.lorem().sentences(3); }},
    {Type::loremParagraph, "Lorem - Paragraph", [](Faker& f) { return f.lorem().paragraph(3); }},
    {Type::loremParagraphs, "Lorem - Paragraphs", [](Faker& f) { return f.lorem().paragraphs(3); }},
    {Type::name, "Name - Name", [](Faker& f) { return f.name().name(); }},
    {Type::firstName, "Name - First Name", [](Faker& f) { return f.name().firstName(); }},
    {Type::lastName, "Name - Last Name", [](Faker& f) { return f.name().lastName(); }},
    {Type::prefix, "Name - Prefix", [](Faker& f) { return f.name().prefix(); }},
    {Type::suffix, "Name - Suffix", [](Faker& f) { return f.name().suffix(); }},
    {Type::title, "Name - Title", [](Faker& f) { return f.name().title(); }},
    {Type::phoneNumber, "Phone number - Phone number", [](Faker& f) { return f.phoneNumber().phoneNumber(); }},
    {Type::cellPhone, "Phone number - Cell phone", [](Faker& f) { return f.phoneNumber().cellPhone(); }},
    {Type::areaCode, "Phone number - Area code", [](Faker& f) { return f.phoneNumber().areaCode(); }},
    {Type::exchangeCode, "Phone number - Exchange code", [](Faker& f) { return f.phoneNumber().exchangeCode(); }},
    {Type::subscriberNumber, "Phone number - Subscriber number",
     [](Faker& f) { return f.phoneNumber().subscriberNumber(); }},
    {Type::numberExtension, "Phone number - Number extension",
     [](Faker& f) { return f.phoneNumber().numberExtension(3); }},
    {Type::programmingLanguageName, "Programming Language - Name",
     [](Faker& f) { return f.programmingLanguage().name(); }},
    {Type::programmingLanguageCreator, "Programming Language - Creator",
     [](Faker& f) { return f.programmingLanguage().creator(); }},
    {Type::teamName, "Team - Name", [](Faker& f) { return f.team().name(); }},
    {Type::teamCreature, "Team - Creature", [](Faker& f) { return f.team().creature(); }},
    {Type::teamState, "Team - State", [](Faker& f) { return f.team().state(); }},
    {Type::carBrand, "Vehicle - Brand", [](Faker& f) { return f.car().brand(); }},
    {Type::carColor, "Vehicle - Color", [](Faker& f) { return f.vehicle().color(); }},
    {Type::carMake, "Vehicle - Make", [](Faker& f) { return f.vehicle().make(); }},
    {Type::carManufacture, "Vehicle - Manufacture", [](Faker& f) { return f.vehicle().manufacture(); }},
}};

namespace {

// rawValue and the draw look a case up by its position.
constexpr bool tableFollowsDeclarationOrder() {
    const auto& cases = OptionTable<CSVColumnDataType>::cases;
    for (std::size_t index = 0; index < cases.size(); ++index) {
        if (static_cast<std::size_t>(cases[index].value) != index) {
            return false;
        }
    }
    return cases.back().value == CSVColumnDataType::carManufacture;
}
static_assert(tableFollowsDeclarationOrder());

// Shortest round-trip digits of a finite, non-zero magnitude and the
// decimal exponent of its first digit: 42.17 gives "4217" and 1.
struct Digits {
    std::string digits;
    int exponent = 0;
};

Digits shortestDigits(double magnitude) {
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t exponentMark = text.find('e');
    Digits out;
    for (const char character : text.substr(0, exponentMark)) {
        if (character != '.') {
            out.digits += character;
        }
    }
    std::string_view exponent = text.substr(exponentMark + 1);
    if (!exponent.empty() && exponent.front() == '+') {
        exponent.remove_prefix(1);
    }
    std::from_chars(exponent.data(), exponent.data() + exponent.size(), out.exponent);
    return out;
}

}  // namespace

std::string fakeJSONValue(CSVColumnDataType type, sham::Faker& faker) {
    return OptionTable<CSVColumnDataType>::cases[static_cast<std::size_t>(type)].draw(faker);
}

std::string fakeCSVValue(CSVColumnDataType type, sham::Faker& faker) {
    std::string value = fakeJSONValue(type, faker);
    for (char& character : value) {
        if (character == ',' || character == ';') {
            character = ' ';
        }
    }
    return value;
}

std::string numberText(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    std::string text = std::signbit(value) ? "-" : "";
    const double magnitude = std::fabs(value);
    if (magnitude == 0) {
        return text + "0.0";
    }
    const Digits parts = shortestDigits(magnitude);
    const std::string& digits = parts.digits;
    constexpr double largestPlainMagnitude = 18014398509481984.0;  // 2^54
    if (parts.exponent < -4 || magnitude > largestPlainMagnitude) {
        text += digits.front();
        if (digits.size() > 1) {
            text += '.';
            text.append(digits, 1);
        }
        text += parts.exponent < 0 ? "e-" : "e+";
        const int exponent = std::abs(parts.exponent);
        if (exponent < 10) {
            text += '0';
        }
        text += std::to_string(exponent);
        return text;
    }
    if (parts.exponent < 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-parts.exponent - 1), '0');
        text += digits;
        return text;
    }
    const auto wholeDigits = static_cast<std::size_t>(parts.exponent) + 1;
    if (digits.size() <= wholeDigits) {
        text += digits;
        text.append(wholeDigits - digits.size(), '0');
        return text + ".0";
    }
    text.append(digits, 0, wholeDigits);
    text += '.';
    text.append(digits, wholeDigits);
    return text;
}

double floorToCents(double value) {
    if (!std::isfinite(value)) {
        return value;
    }
    // value * 100 can land just below a whole number (0.29 * 100 is
    // 28.999…), so the candidate is checked against the value itself.
    double cents = std::floor(value * 100.0);
    if ((cents + 1.0) / 100.0 <= value) {
        cents += 1.0;
    } else if (cents / 100.0 > value) {
        cents -= 1.0;
    }
    return cents / 100.0;
}

std::optional<platform::TimePoint> utcMidnight(std::string_view dayText) {
    return sham::DateFormatter().utcDate(dayText);
}

}  // namespace stubforge
