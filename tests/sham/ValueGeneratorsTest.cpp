#include "TestSupport.h"

#include "sham/Faker.h"

#include "platform/Clock.h"
#include "platform/Random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <ctime>
#include <functional>
#include <limits>
#include <numbers>
#include <regex>
#include <set>
#include <string>

namespace sham::test {
namespace {

using namespace std::chrono_literals;

class ShamValues : public FixtureLocales {
protected:
    platform::SeededRandom random_{31};
    Faker faker_{"en", locales_, random_};

    // Runs `draw` many times and holds every result against `pattern`.
    template <typename Draw>
    void expectAll(std::string_view what, std::string_view pattern, Draw draw, int times = 300) {
        const std::regex shape{std::string(pattern)};
        for (int index = 0; index < times; ++index) {
            const std::string value = draw();
            ASSERT_TRUE(std::regex_match(value, shape)) << what << " gave \"" << value << "\"";
        }
    }
};

TEST_F(ShamValues, TextOperationsHaveTheirShapes) {
    auto& address = faker_.address();
    auto& internet = faker_.internet();
    const struct {
        std::string_view what;
        std::string_view pattern;
        std::function<std::string()> draw;
    } cases[] = {
        {"streetAddress", "[1-9][0-9] O'Hara Lane", [&] { return address.streetAddress(false); }},
        {"streetAddress+", "[1-9][0-9] O'Hara Lane Apt\\. [0-9]{3}", [&] { return address.streetAddress(true); }},
        {"buildingNumber", "[1-9][0-9]", [&] { return address.buildingNumber(); }},
        {"postcode", "[1-9][0-9]{4}", [&] { return address.postcode(); }},
        {"postcode CA", "9[0-9]{3}[A-Z]", [&] { return address.postcode("CA"); }},
        {"postcode NY", "1[0-9]{4}", [&] { return address.postcode("NY"); }},
        {"postcode ZZ", "", [&] { return address.postcode("ZZ"); }},
        {"city", "North Adaville", [&] { return address.city(); }},
        {"phoneNumber", "[1-9][0-9]{2}-[0-9]{3}-[0-9]{4}", [&] { return faker_.phoneNumber().phoneNumber(); }},
        {"cellPhone", "\\([0-9]{3}\\) [0-9]{3}-[0-9]{4}", [&] { return faker_.phoneNumber().cellPhone(); }},
        {"subscriberNumber", "[1-9][0-9]{3}", [&] { return faker_.phoneNumber().subscriberNumber(); }},
        {"numberExtension 1", "[1-9]", [&] { return faker_.phoneNumber().numberExtension(1); }},
        {"numberExtension 3", "[1-9][0-9]{2}", [&] { return faker_.phoneNumber().numberExtension(3); }},
        {"numberExtension huge", "[1-9][0-9]{1023}", [&] { return faker_.phoneNumber().numberExtension(INT_MAX); }},
        {"numberExtension 0", "", [&] { return faker_.phoneNumber().numberExtension(0); }},
        {"iban", "GB[0-9]{2}[A-Z]{2}[0-9]{4}", [&] { return faker_.bank().iban(); }},
        {"bban", "[A-Z]{2}[0-9]{4}", [&] { return faker_.bank().bban(); }},
        {"name", "Ada O'Hara", [&] { return faker_.name().name(); }},
        {"title", "Lead Data Analyst", [&] { return faker_.name().title(); }},
        {"productName", "Sleek Wooden Chair", [&] { return faker_.commerce().productName(); }},
        {"appVersion", "[1-9]\\.[0-9]{2}", [&] { return faker_.app().version(); }},
        {"appAuthor", "Ada O'Hara", [&] { return faker_.app().author(); }},
        {"logo", "https://[a-z.]+/fake-logos/logos/medium/color/([1-9]|1[0-3])\\.png",
         [&] { return faker_.company().logo(); }},
        {"catchPhrase", "[a-z]+ [a-z]+ [a-z]+", [&] { return faker_.company().catchPhrase(); }},
        {"username", "adaohara([0-9]{1,4})?", [&] { return internet.username(); }},
        {"username .", "ada\\.ohara(\\.[0-9]{1,4})?", [&] { return internet.username("."); }},
        {"domainWord", "bluesky", [&] { return internet.domainWord(true); }},
        {"domainWord raw", "blue-sky", [&] { return internet.domainWord(false); }},
        {"domainName", "bluesky\\.com", [&] { return internet.domainName(true); }},
        {"email", "adaohara([0-9]{1,4})?@bluesky\\.com", [&] { return internet.email(); }},
        {"freeEmail", "adaohara([0-9]{1,4})?@mailbox\\.test", [&] { return internet.freeEmail(); }},
        {"safeEmail", "adaohara([0-9]{1,4})?@example\\.(org|com|net)", [&] { return internet.safeEmail(); }},
        {"url", "https://bluesky\\.com/adaohara([0-9]{1,4})?", [&] { return internet.url(); }},
        {"password 8", "[a-z]{8}", [&] { return internet.password(8, 8); }},
        {"password 4-6", "[a-z]{4,6}", [&] { return internet.password(4, 6); }},
        {"password 5-2", "[a-z]{5}", [&] { return internet.password(5, 2); }},
        // Huge bounds stop at the maximum instead of wrapping or asking for gigabytes.
        {"password 1000-2000", "[a-z]{1000,1024}", [&] { return internet.password(1000, 2000); }},
        {"password max-max", "[a-z]{1024}", [&] { return internet.password(INT_MAX, INT_MAX); }},
        {"password min-max", "[a-z]{0,1024}", [&] { return internet.password(INT_MIN, INT_MAX); }},
        {"password 0-max", "[a-z]{0,1024}", [&] { return internet.password(0, INT_MAX); }},
        {"ipV4",
         "((25[0-4]|2[0-4][0-9]|1[0-9]{2}|[1-9][0-9]|[2-9])\\.){3}(25[0-4]|2[0-4][0-9]|1[0-9]{2}|[1-9][0-9]|[2-9])",
         [&] { return internet.ipV4Address(); }},
        {"ipV6", "([0-9A-F]{1,4}:){7}[0-9A-F]{1,4}", [&] { return internet.ipV6Address(); }},
        {"hashtag", "#sunny", [&] { return internet.hashtag(); }},
        {"loremWords 0", "", [&] { return faker_.lorem().words(0); }},
        {"loremWords 3", "(alpha|beta|gamma|delta)( (alpha|beta|gamma|delta)){2}",
         [&] { return faker_.lorem().words(3); }},
        {"loremCharacters 0", "", [&] { return faker_.lorem().characters(0); }},
        {"loremCharacters 10", "[a-z]{10}", [&] { return faker_.lorem().characters(10); }},
        {"loremCharacter", "[a-z]", [&] { return faker_.lorem().character(); }},
        {"loremSentence 0", "\\.", [&] { return faker_.lorem().sentence(0); }},
        {"loremSentence 4", "[A-Z][a-z]+( [a-z]+){3}\\.", [&] { return faker_.lorem().sentence(4); }},
        {"loremSentences 3", "[A-Z][a-z]+( [a-z]+){3}\\.( [A-Z][a-z]+( [a-z]+){3}\\.){2}",
         [&] { return faker_.lorem().sentences(3); }},
        {"loremParagraph 3", "[A-Z][a-z]+( [a-z]+){3}\\.( [A-Z][a-z]+( [a-z]+){3}\\.){2}",
         [&] { return faker_.lorem().paragraph(3); }},
        {"loremParagraphs 2",
         "([A-Z][a-z]+( [a-z]+){3}\\.( [A-Z][a-z]+( [a-z]+){3}\\.){2})\\n([A-Z][a-z]+( [a-z]+){3}\\.( [A-Z][a-z]+( "
         "[a-z]+){3}\\.){2})",
         [&] { return faker_.lorem().paragraphs(2); }},
        {"teamState", "North Dakota", [&] { return faker_.team().state(); }},
        {"teamName", "north dakota owls", [&] { return faker_.team().name(); }},
        {"templateImage", "https://[a-z.]+/100x50/ffffff/000000",
         [&] { return internet.templateImage(100, 50, "ffffff", "000000"); }},
        {"image", "https://[a-z.]+/320/200", [&] { return internet.image(320, 200); }},
    };
    for (const auto& [what, pattern, draw] : cases) {
        expectAll(what, pattern, draw);
    }
}

TEST_F(ShamValues, IpAddressesDrawEachPartIndependently) {
    std::set<std::string> firstOctets;
    int mixedV4 = 0;
    int mixedV6 = 0;
    for (int draw = 0; draw < 50; ++draw) {
        const std::string v4 = faker_.internet().ipV4Address();
        const std::string first = v4.substr(0, v4.find('.'));
        mixedV4 += v4 != first + "." + first + "." + first + "." + first;
        firstOctets.insert(first);
        const std::string v6 = faker_.internet().ipV6Address();
        const std::string group = v6.substr(0, v6.find(':'));
        mixedV6 += v6.find(group + ":" + group + ":" + group) == std::string::npos;
    }
    EXPECT_EQ(mixedV4, 50);
    EXPECT_EQ(mixedV6, 50);
    EXPECT_GT(firstOctets.size(), 30u);
}

TEST(ShamEmptyDomainWord, BecomesFiveRandomLetters) {
    TemporaryDirectory folder;
    folder.write("en.json", R"({"en": {"faker": {
        "company": {"name": [" Leading Blank", "&"]},
        "name": {"first_name": ["Ada"], "last_name": ["Lo"]},
        "internet": {"domain_suffix": ["com"]}}}})");
    const Config locales = localesIn(folder.path());
    platform::SeededRandom random(32);
    Faker faker("en", locales, random);
    const std::regex email("adalo([0-9]{1,4})?@[a-z]{5}\\.com");
    std::set<std::string> words;
    for (int draw = 0; draw < 200; ++draw) {
        const std::string word = faker.internet().domainWord(true);
        ASSERT_TRUE(std::regex_match(word, std::regex("[a-z]{5}"))) << word;
        words.insert(word);
        const std::string address = faker.internet().email();
        ASSERT_TRUE(std::regex_match(address, email)) << address;
    }
    EXPECT_GT(words.size(), 150u);
}

TEST_F(ShamValues, DepartmentsAreDistinctAndJoinedWithTheSeparator) {
    const std::regex one("Books|Garden|Toys|Music|Tools");
    const std::regex three("(\\w+), (\\w+) & (\\w+)");
    std::set<int> counts;
    for (int draw = 0; draw < 300; ++draw) {
        EXPECT_TRUE(std::regex_match(faker_.commerce().department(1, false), one));
        std::smatch parts;
        const std::string joined = faker_.commerce().department(3, true);
        ASSERT_TRUE(std::regex_match(joined, parts, three)) << joined;
        EXPECT_EQ(std::set<std::string>({parts[1], parts[2], parts[3]}).size(), 3u) << joined;
        const std::string any = faker_.commerce().department(3, false);
        counts.insert(
            static_cast<int>(std::count(any.begin(), any.end(), ',') + (any.find(" & ") != std::string::npos) + 1));
    }
    EXPECT_EQ(counts, (std::set<int>{1, 2, 3}));
    // More than the data holds ends with what there is.
    const std::string all = faker_.commerce().department(9, true);
    EXPECT_EQ(std::count(all.begin(), all.end(), ','), 3) << all;
    EXPECT_NE(all.find(" & "), std::string::npos) << all;
    EXPECT_EQ(faker_.commerce().department(0, true), "");
    EXPECT_EQ(faker_.commerce().department(0, false), "");
}

TEST(ShamDepartments, EndWhenTheDataRunsOut) {
    TemporaryDirectory folder;
    folder.write("en.json",
                 R"({"en": {"faker": {"separator": " and ", "commerce": {"department": ["Toys", "Toys"]}}}})");
    const Config locales = localesIn(folder.path());
    platform::SeededRandom random(33);
    Faker faker("en", locales, random);
    EXPECT_EQ(faker.commerce().department(3, true), "Toys");
    EXPECT_EQ(faker.commerce().distinctDepartments(5).size(), 1u);
}

TEST_F(ShamValues, PriceHasTwoDecimalsBelowOneHundred) {
    for (int draw = 0; draw < 5000; ++draw) {
        const double price = faker_.commerce().price();
        ASSERT_GE(price, 0.0);
        ASSERT_LT(price, 100.0);
        ASSERT_NEAR(price * 100.0, std::round(price * 100.0), 1e-6) << price;
    }
}

TEST_F(ShamValues, CoordinatesStayInRange) {
    auto& address = faker_.address();
    double lowestLatitude = 90;
    double highestLatitude = -90;
    for (int draw = 0; draw < 5000; ++draw) {
        const double latitude = address.latitude();
        const double longitude = address.longitude();
        ASSERT_GE(latitude, -90.0);
        ASSERT_LT(latitude, 90.0);
        ASSERT_GE(longitude, -180.0);
        ASSERT_LT(longitude, 180.0);
        lowestLatitude = std::min(lowestLatitude, latitude);
        highestLatitude = std::max(highestLatitude, latitude);
    }
    EXPECT_LT(lowestLatitude, -85.0);
    EXPECT_GT(highestLatitude, 85.0);

    const Coordinate centre = address.coordinate(0, 52.5, 13.4);
    EXPECT_EQ(centre.latitude, 52.5);
    EXPECT_EQ(centre.longitude, 13.4);
    for (int draw = 0; draw < 1000; ++draw) {
        const Coordinate point = address.coordinate(1000, 52.5, 13.4);
        const double north = (point.latitude - 52.5) * 111300.0;
        const double east = (point.longitude - 13.4) * 111300.0 * std::cos(52.5 * std::numbers::pi / 180.0);
        ASSERT_LE(std::hypot(north, east), 1000.0 + 1e-6);
    }
}

TEST_F(ShamValues, CardExpiryDateIsLocalMidnight) {
    const auto expiry = faker_.business().creditCardExpiryDate();
    ASSERT_TRUE(expiry.has_value());
    const std::tm parts = platform::localTime(*expiry);
    EXPECT_EQ(parts.tm_year + 1900, 2030);
    EXPECT_EQ(parts.tm_mon + 1, 1);
    EXPECT_EQ(parts.tm_mday, 31);
    EXPECT_EQ(parts.tm_hour, 0);
    EXPECT_EQ(parts.tm_min, 0);
    EXPECT_EQ(faker_.business().creditCardNumber(), "4000-0000-0000-0002");

    const DateFormatter formatter;
    for (const std::string_view bad : {"2030-02-30", "2030-1-31", "31/01/2030", "2030-01-31T00:00", "", "20x0-01-01"}) {
        EXPECT_FALSE(formatter.date(bad).has_value()) << bad;
    }
    EXPECT_EQ(formatter.string(*formatter.date("2024-02-29")), "2024-02-29");
}

TEST(ShamTeamState, CapitalisesEveryWord) {
    TemporaryDirectory folder;
    folder.write("en.json", R"({"en": {"faker": {"address": {"state": ["NEW yORK"]}}}})");
    const Config locales = localesIn(folder.path());
    platform::SeededRandom random(34);
    Faker faker("en", locales, random);
    EXPECT_EQ(faker.team().state(), "New York");
    // No list at all: the empty text.
    EXPECT_EQ(faker.team().name(), "");
    EXPECT_EQ(faker.cat().breed(), "");
}

TEST_F(ShamValues, ThemedListsAreFetched) {
    EXPECT_EQ(faker_.car().brand(), "Velora");
    EXPECT_EQ(faker_.cat().name(), "Pip");
    EXPECT_EQ(faker_.cat().breed(), "Tabby");
    EXPECT_EQ(faker_.cat().registry(), "Feline Guild");
    EXPECT_EQ(faker_.ham().name(), "Smoked");
    EXPECT_EQ(faker_.hobbit().character(), "Pippa");
    EXPECT_EQ(faker_.hobbit().thorinsCompany(), "Dain");
    EXPECT_EQ(faker_.hobbit().quote(), "Mind the step.");
    EXPECT_EQ(faker_.hobbit().location(), "Hilltop");
    EXPECT_EQ(faker_.house().furniture(), "sofa");
    EXPECT_EQ(faker_.house().room(), "attic");
    EXPECT_EQ(faker_.programmingLanguage().name(), "Quill");
    EXPECT_EQ(faker_.programmingLanguage().creator(), "Ada");
    EXPECT_EQ(faker_.team().creature(), "owls");
    EXPECT_EQ(faker_.vehicle().manufacture(), "Orbis");
    EXPECT_EQ(faker_.vehicle().make(), "Rover");
    EXPECT_EQ(faker_.vehicle().color(), "slate");
    EXPECT_EQ(faker_.zelda().game(), "Echoes");
    EXPECT_EQ(faker_.gender().type(), "Agender");
    EXPECT_EQ(faker_.gender().binaryType(), "Female");
    EXPECT_EQ(faker_.address().timeZone(), "Pacific/Auckland");
    EXPECT_EQ(faker_.address().countryCode(), "FD");
    EXPECT_EQ(faker_.bank().swiftBic(), "HTRUUS33");
}

TEST_F(ShamValues, RandomIntStaysInItsRange) {
    auto& number = faker_.number();
    const struct {
        std::int64_t min;
        std::int64_t max;
    } ranges[] = {
        {1, 2},
        {1, 20},
        {100000, 999999},
        {-5, 5},
        {INT64_MIN, INT64_MAX},
        {INT64_MIN, INT64_MIN + 1},
        {INT64_MAX - 1, INT64_MAX},
        {-1, INT64_MAX},
        {INT64_MIN, 0},
    };
    for (const auto& [min, max] : ranges) {
        for (int draw = 0; draw < 500; ++draw) {
            const std::int64_t value = number.randomInt(min, max);
            ASSERT_GE(value, min);
            ASSERT_LT(value, max);
        }
    }
    std::set<std::int64_t> small;
    for (int draw = 0; draw < 500; ++draw) {
        small.insert(number.randomInt(-2, 3));
    }
    EXPECT_EQ(small, (std::set<std::int64_t>{-2, -1, 0, 1, 2}));
    // No range: the lower bound.
    EXPECT_EQ(number.randomInt(5, 5), 5);
    EXPECT_EQ(number.randomInt(10, 3), 10);
    EXPECT_EQ(number.randomInt(INT64_MAX, INT64_MIN), INT64_MAX);
}

TEST_F(ShamValues, RandomRealsStayInTheirRanges) {
    auto& number = faker_.number();
    int trues = 0;
    for (int draw = 0; draw < 2000; ++draw) {
        const double real = number.randomDouble(-2.5, 7.5);
        ASSERT_GE(real, -2.5);
        ASSERT_LT(real, 7.5);
        const float single = number.randomFloat(1.0f, 2.0f);
        ASSERT_GE(single, 1.0f);
        ASSERT_LT(single, 2.0f);
        const double wide = number.randomDouble(-1.7e308, 1.7e308);
        ASSERT_TRUE(std::isfinite(wide));
        const double fromWord = number.randomDoubleFromUInt32(10.0, 20.0);
        ASSERT_GE(fromWord, 10.0);
        ASSERT_LE(fromWord, 20.0);
        trues += number.randomBool();
    }
    EXPECT_NEAR(trues, 1000, 150);
    EXPECT_EQ(number.randomDouble(3.0, 3.0), 3.0);
    EXPECT_EQ(number.randomFloat(3.0f, 3.0f), 3.0f);
}

// The range runs from min towards max in either order: min may occur, max
// never does.
TEST_F(ShamValues, RandomRealsAcceptBothOrders) {
    auto& number = faker_.number();
    const struct {
        double min;
        double max;
    } ranges[] = {
        {-2.5, 7.5},  {7.5, -2.5},       {1.0, 2.0},        {2.0, 1.0},          {0.0, 1e-30},
        {1e-30, 0.0}, {-1.7e38, 1.7e38}, {1.7e38, -1.7e38}, {-1.7e308, 1.7e308}, {1.7e308, -1.7e308},
    };
    auto expectWithin = [](auto value, auto min, auto max, std::string_view kind) {
        const auto low = std::min(min, max);
        const auto high = std::max(min, max);
        ASSERT_TRUE(std::isfinite(value)) << kind << " " << min << ".." << max;
        ASSERT_GE(value, low) << kind << " " << min << ".." << max;
        ASSERT_LE(value, high) << kind << " " << min << ".." << max;
        ASSERT_NE(value, max) << kind << " " << min << ".." << max;
    };
    for (const auto& [min, max] : ranges) {
        double lowest = std::max(min, max);
        double highest = std::min(min, max);
        for (int draw = 0; draw < 1000; ++draw) {
            const double real = number.randomDouble(min, max);
            expectWithin(real, min, max, "double");
            lowest = std::min(lowest, real);
            highest = std::max(highest, real);
            if (std::isfinite(static_cast<float>(min)) && std::isfinite(static_cast<float>(max))) {
                expectWithin(number.randomFloat(static_cast<float>(min), static_cast<float>(max)),
                             static_cast<float>(min), static_cast<float>(max), "float");
            }
        }
        // The draws spread over the range rather than sticking to one end.
        // (Halves keep the widest ranges finite.)
        EXPECT_GT(highest / 2 - lowest / 2, std::abs(max / 2 - min / 2) * 0.8) << min << ".." << max;
    }
    // Ends that are not numbers give no range.
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(number.randomDouble(1.0, infinity), 1.0);
    EXPECT_EQ(number.randomDouble(-infinity, 1.0), -infinity);
    EXPECT_TRUE(std::isnan(number.randomDouble(std::nan(""), 1.0)));
    EXPECT_EQ(number.randomDouble(1.0, std::nan("")), 1.0);
    EXPECT_EQ(number.randomFloat(2.0f, std::numeric_limits<float>::infinity()), 2.0f);
}

TEST(ShamDates, FollowTheClock) {
    const Config locales = localesIn(fixtureLocales());
    const platform::TimePoint now = std::chrono::sys_days(std::chrono::year(2025) / 3 / 15) + 10h + 123ms;
    const platform::FixedClock clock(now);
    platform::SeededRandom random(35);
    Faker faker("en", locales, random, clock);
    auto& date = faker.date();
    EXPECT_EQ(date.daysAgo(0), now);
    EXPECT_EQ(date.daysAhead(0), now);

    // Calendar days keep the wall-clock time across a daylight saving change.
    const std::tm today = platform::localTime(now);
    for (const int days : {1, 30, 100, 365}) {
        const std::tm earlier = platform::localTime(date.daysAgo(days));
        const std::tm later = platform::localTime(date.daysAhead(days));
        EXPECT_EQ(earlier.tm_hour, today.tm_hour) << days;
        EXPECT_EQ(later.tm_min, today.tm_min) << days;
        const auto gap = date.daysAhead(days) - date.daysAgo(days);
        const double gapDays = std::chrono::duration<double, std::ratio<86400>>(gap).count();
        EXPECT_NEAR(gapDays, 2.0 * days, 0.05) << days;
    }
    EXPECT_EQ(date.daysAgo(30).time_since_epoch() % 1s, now.time_since_epoch() % 1s);

    const auto eighteen = date.betweenYearsAgo(0, 0);
    EXPECT_EQ(eighteen, now);
    const std::tm sixtyFive = platform::localTime(now);
    for (int draw = 0; draw < 500; ++draw) {
        const std::tm born = platform::localTime(date.betweenYearsAgo(18, 65));
        const int age = sixtyFive.tm_year - born.tm_year;
        ASSERT_GE(age, 18);
        ASSERT_LE(age, 65);
    }
    const platform::TimePoint from = now - 1000h;
    for (int draw = 0; draw < 500; ++draw) {
        const auto forwards = date.between(from, now);
        ASSERT_GE(forwards, from);
        ASSERT_LE(forwards, now);
        const auto backwards = date.between(now, from);
        ASSERT_GE(backwards, from);
        ASSERT_LE(backwards, now);
    }
    // Far shifts stop at the ends of what a time point can hold.
    EXPECT_EQ(date.daysAhead(INT_MAX), platform::TimePoint::max());
    EXPECT_EQ(date.daysAgo(INT_MAX), platform::TimePoint::min());
}

}  // namespace
}  // namespace sham::test
