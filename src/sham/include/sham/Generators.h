#pragma once

#include "sham/Generator.h"

#include "platform/Clock.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sham {

// The value generators of a Faker, one per family of values. Every operation
// draws from the generator's random source and reads the locale data
// through its parser; a missing key contributes the empty text.

struct Coordinate {
    double latitude = 0;
    double longitude = 0;
};

class Address : public Generator {
public:
    using Generator::Generator;

    std::string city();
    std::string streetName();
    std::string secondaryAddress();
    std::string streetAddress(bool includeSecondary = false);
    std::string buildingNumber();
    // The general format for an empty abbreviation, else the state's own;
    // empty for an unknown state.
    std::string postcode(std::string_view stateAbbreviation = {});
    std::string timeZone();
    std::string streetSuffix();
    std::string citySuffix();
    std::string cityPrefix();
    std::string stateAbbreviation();
    std::string state();
    std::string county();
    std::string country();
    std::string countryCode();
    double latitude();   // [-90, 90)
    double longitude();  // [-180, 180)
    // A point uniformly within `radius` metres of the centre.
    Coordinate coordinate(double radius, double centreLatitude, double centreLongitude);
};

class PhoneNumber : public Generator {
public:
    using Generator::Generator;

    std::string phoneNumber();
    std::string cellPhone();
    std::string areaCode();
    std::string exchangeCode();
    std::string subscriberNumber();
    // Lengths past the maximum give the maximum: a stray huge length must not
    // ask for gigabytes.
    static constexpr int maximumExtensionLength = 1024;
    std::string numberExtension(int length);
};

class Bank : public Generator {
public:
    using Generator::Generator;

    std::string name();
    std::string swiftBic();
    std::string iban();
    std::string bban();
};

class Business : public Generator {
public:
    using Generator::Generator;

    std::string creditCardNumber();
    std::string creditCardType();
    // Nothing when the drawn text is not a "yyyy-MM-dd" day.
    std::optional<platform::TimePoint> creditCardExpiryDate();
};

class Name : public Generator {
public:
    using Generator::Generator;

    std::string name();
    std::string firstName();
    std::string lastName();
    std::string prefix();
    std::string suffix();
    std::string title();
};

class Company : public Generator {
public:
    using Generator::Generator;

    std::string name();
    std::string suffix();
    std::string catchPhrase();
    std::string bs();
    std::string logo();
};

class Commerce : public Generator {
public:
    using Generator::Generator;

    std::string color();
    // `maximum` departments when fixedAmount is set, else 1 to `maximum`;
    // fewer when the data holds fewer distinct ones.
    std::string department(int maximum, bool fixedAmount);
    std::string productName();
    double price();  // 0.00 to 99.99 in steps of 0.01

    std::vector<std::string> distinctDepartments(int count);
    std::string joinDepartments(std::span<const std::string> departments);
};

class App : public Generator {
public:
    using Generator::Generator;

    std::string name();
    std::string version();
    std::string author();
};

class Gender : public Generator {
public:
    using Generator::Generator;

    std::string type();
    std::string binaryType();
};

class Internet : public Generator {
public:
    using Generator::Generator;

    std::string username(std::string_view separator = {});
    // The first word of a company name; five random letters when it has none.
    std::string domainWord(bool alphaNumericOnly);
    std::string domainName(bool alphaNumericOnly);
    std::string domainSuffix();
    std::string email();
    std::string freeEmail();
    std::string safeEmail();
    // Never longer than `maximumPasswordLength`, whatever the bounds.
    static constexpr int maximumPasswordLength = 1024;
    std::string password(int minimumLength, int maximumLength);
    std::string ipV4Address();
    std::string ipV6Address();
    std::string url();
    std::string image(int width, int height);
    std::string templateImage(int width, int height, std::string_view firstColour, std::string_view secondColour);
    std::string hashtag();
};

class Lorem : public Generator {
public:
    using Generator::Generator;

    std::string word();
    std::string words(int amount);
    std::string character();
    std::string characters(int amount);
    std::string sentence(int wordsAmount);
    std::string sentences(int amount);
    std::string paragraph(int sentencesAmount);
    std::string paragraphs(int amount);

private:
    void appendWords(std::string& out, int amount);
    void appendSentences(std::string& out, int amount);
};

class Number : public Generator {
public:
    using Generator::Generator;

    // From min up to max - 1; min itself when max is not above min.
    std::int64_t randomInt(std::int64_t min, std::int64_t max);
    // From min towards max, not including max, in either order (for max
    // below min, a value in (max, min]); min when min equals max or either
    // end is not a finite number.
    double randomDouble(double min, double max);
    float randomFloat(float min, float max);
    // From min to max; a single-precision fraction, so max itself can come.
    double randomDoubleFromUInt32(double min, double max);
    bool randomBool();
    // 1, 2, 3, …; safe to call from several threads at once.
    std::int64_t increasingUniqueId();
    std::int64_t lastUsedId() const { return lastUsedId_.load(); }

private:
    std::atomic<std::int64_t> lastUsedId_{0};
};

class Date : public Generator {
public:
    Date(Parser& parser, platform::RandomSource& random, const platform::Clock& clock)
        : Generator(parser, random), clock_(&clock) {}

    platform::TimePoint daysAgo(int days);
    platform::TimePoint daysAhead(int days);
    platform::TimePoint between(platform::TimePoint from, platform::TimePoint to);
    platform::TimePoint betweenYearsAgo(int firstYears, int secondYears);

private:
    const platform::Clock* clock_;
};

class Car : public Generator {
public:
    using Generator::Generator;
    std::string brand();
};

class Cat : public Generator {
public:
    using Generator::Generator;
    std::string name();
    std::string breed();
    std::string registry();
};

class Ham : public Generator {
public:
    using Generator::Generator;
    std::string name();
};

class Hobbit : public Generator {
public:
    using Generator::Generator;
    std::string character();
    std::string thorinsCompany();
    std::string quote();
    std::string location();
};

class House : public Generator {
public:
    using Generator::Generator;
    std::string furniture();
    std::string room();
};

class ProgrammingLanguage : public Generator {
public:
    using Generator::Generator;
    std::string name();
    std::string creator();
};

class Team : public Generator {
public:
    using Generator::Generator;
    std::string name();
    std::string creature();
    // A state name with every word capitalised.
    std::string state();
};

class Vehicle : public Generator {
public:
    using Generator::Generator;
    std::string manufacture();
    std::string make();
    std::string color();
};

class Zelda : public Generator {
public:
    using Generator::Generator;
    std::string game();
};

}  // namespace sham
