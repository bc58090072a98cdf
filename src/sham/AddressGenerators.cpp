#include "sham/Generators.h"
#include "sham/LocaleKeys.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sham {

namespace {

constexpr double metresPerDegreeOfLatitude = 111300.0;

// The ISO 13616 check digits: with them, the account number followed by the
// country code and the check digits, letters read as 10 to 35, leaves 1
// modulo 97. Anything but letters and digits has no value and is passed over.
std::string ibanCheckDigits(std::string_view countryCode, std::string_view accountNumber) {
    int remainder = 0;
    const auto append = [&](char character) {
        if (character >= '0' && character <= '9') {
            remainder = (remainder * 10 + (character - '0')) % 97;
        } else if (character >= 'A' && character <= 'Z') {
            remainder = (remainder * 100 + (character - 'A' + 10)) % 97;
        } else if (character >= 'a' && character <= 'z') {
            remainder = (remainder * 100 + (character - 'a' + 10)) % 97;
        }
    };
    for (const std::string_view part : {accountNumber, countryCode, std::string_view("00")}) {
        std::for_each(part.begin(), part.end(), append);
    }
    const int check = 98 - remainder;
    return {static_cast<char>('0' + check / 10), static_cast<char>('0' + check % 10)};
}

}  // namespace

std::string Address::city() { return fetch(keys::addressCity); }
std::string Address::streetName() { return fetch(keys::addressStreetName); }
std::string Address::secondaryAddress() { return numerify(fetch(keys::addressSecondaryAddress)); }

std::string Address::streetAddress(bool includeSecondary) {
    std::string address = numerify(fetch(keys::addressStreetAddress));
    if (includeSecondary) {
        address += ' ';
        address += secondaryAddress();
    }
    return address;
}

std::string Address::buildingNumber() { return bothify(fetch(keys::addressBuildingNumber)); }

std::string Address::postcode(std::string_view stateAbbreviation) {
    if (stateAbbreviation.empty()) {
        return bothify(fetch(keys::addressPostcode));
    }
    std::string key(keys::addressPostcodeByState);
    key += '.';
    key += stateAbbreviation;
    return bothify(fetch(key));
}

std::string Address::timeZone() { return fetch(keys::addressTimeZone); }
std::string Address::streetSuffix() { return fetch(keys::addressStreetSuffix); }
std::string Address::citySuffix() { return fetch(keys::addressCitySuffix); }
std::string Address::cityPrefix() { return fetch(keys::addressCityPrefix); }
std::string Address::stateAbbreviation() { return fetch(keys::addressStateAbbr); }
std::string Address::state() { return fetch(keys::addressState); }
std::string Address::county() { return fetch(keys::addressCounty); }
std::string Address::country() { return fetch(keys::addressCountry); }
std::string Address::countryCode() { return fetch(keys::addressCountryCode); }

double Address::latitude() { return random().unit() * 180.0 - 90.0; }
double Address::longitude() { return random().unit() * 360.0 - 180.0; }

Coordinate Address::coordinate(double radius, double centreLatitude, double centreLongitude) {
    const double reach = radius / metresPerDegreeOfLatitude;
    const double u = random().unit();
    const double v = random().unit();
    const double distance = reach * std::sqrt(u);
    const double angle = 2.0 * std::numbers::pi * v;
    return Coordinate{
        centreLatitude + distance * std::sin(angle),
        centreLongitude + distance * std::cos(angle) / std::cos(centreLatitude * std::numbers::pi / 180.0),
    };
}

std::string PhoneNumber::phoneNumber() { return numerify(fetch(keys::phoneNumberFormats)); }
std::string PhoneNumber::cellPhone() { return numerify(fetch(keys::cellPhoneFormats)); }
std::string PhoneNumber::areaCode() { return fetch(keys::phoneNumberAreaCode); }
std::string PhoneNumber::exchangeCode() { return fetch(keys::phoneNumberExchangeCode); }
std::string PhoneNumber::subscriberNumber() { return numerify("####"); }

std::string PhoneNumber::numberExtension(int length) {
    return numerify(std::string(static_cast<std::size_t>(std::clamp(length, 0, maximumExtensionLength)), '#'));
}

std::string Bank::name() { return fetch(keys::bankName); }
std::string Bank::swiftBic() { return fetch(keys::bankSwiftBic); }

std::string Bank::iban() {
    const std::string countryCode = fetch(keys::bankIbanDetailsBankCountryCode);
    std::string accountNumber = letterify(fetch(keys::bankIbanDetailsIbanLetterCode));
    accountNumber += numerify(fetch(keys::bankIbanDetailsIbanDigits));
    return countryCode + ibanCheckDigits(countryCode, accountNumber) + accountNumber;
}

std::string Bank::bban() {
    std::string bban = letterify(fetch(keys::bankIbanDetailsIbanLetterCode));
    bban += numerify(fetch(keys::bankIbanDetailsIbanDigits));
    return bban;
}

std::string Business::creditCardNumber() { return fetch(keys::businessCreditCardNumbers); }
std::string Business::creditCardType() { return fetch(keys::businessCreditCardTypes); }

std::optional<platform::TimePoint> Business::creditCardExpiryDate() {
    return dateFormatter().date(fetch(keys::businessCreditCardExpiryDates));
}

}  // namespace sham
