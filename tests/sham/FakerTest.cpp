#include "TestSupport.h"

#include "sham/Faker.h"

#include "platform/Random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace sham::test {
namespace {

using ShamFaker = FixtureLocales;

// A spread of operations whose draws cover lists, fills, numbers and letters.
std::string drawSample(Faker& faker) {
    std::string sample;
    for (int round = 0; round < 20; ++round) {
        sample += faker.lorem().words(3) + "|";
        sample += faker.address().streetAddress(true) + "|";
        sample += faker.address().postcode("CA") + "|";
        sample += faker.internet().email() + "|";
        sample += faker.internet().ipV6Address() + "|";
        sample += faker.internet().password(8, 16) + "|";
        sample += faker.commerce().department(3, false) + "|";
        sample += std::to_string(faker.address().latitude()) + "|";
        sample += std::to_string(faker.number().randomInt(0, 1000000)) + "|";
        sample += std::to_string(faker.date()
                                     .between({}, platform::TimePoint{} + std::chrono::hours(100000))
                                     .time_since_epoch()
                                     .count()) +
                  "\n";
    }
    return sample;
}

TEST_F(ShamFaker, SameSeedSameValuesOtherwiseDifferent) {
    platform::SeededRandom firstSource(42);
    platform::SeededRandom secondSource(42);
    platform::SeededRandom otherSource(43);
    Faker first("en", locales_, firstSource);
    Faker second("en", locales_, secondSource);
    Faker other("en", locales_, otherSource);
    const std::string sample = drawSample(first);
    EXPECT_EQ(sample, drawSample(second));
    EXPECT_NE(sample, drawSample(other));

    Faker unseeded("en", locales_);
    Faker alsoUnseeded("en", locales_);
    EXPECT_NE(drawSample(unseeded), drawSample(alsoUnseeded));
}

TEST_F(ShamFaker, NumberAndDateKeepEnglishWhateverTheLocale) {
    platform::SeededRandom random(1);
    Faker faker("xx", locales_, random);
    EXPECT_EQ(faker.locale(), "xx");
    EXPECT_EQ(faker.parser().locale(), "xx");
    EXPECT_EQ(faker.number().parser().locale(), "en");
    EXPECT_EQ(faker.date().parser().locale(), "en");
    EXPECT_EQ(faker.name().firstName(), "Xena");
    EXPECT_EQ(faker.lorem().word(), "xeno");

    faker.setLocale("en");
    EXPECT_EQ(faker.locale(), "en");
    EXPECT_EQ(faker.name().firstName(), "Ada");
    EXPECT_EQ(faker.internet().username().substr(0, 8), "adaohara");
    faker.setLocale("xx");
    EXPECT_EQ(faker.number().parser().locale(), "en");
    EXPECT_EQ(faker.name().name(), "Xena O'Hara");
}

TEST_F(ShamFaker, MissingLocalePrintsOnceAndFallsBack) {
    platform::SeededRandom random(2);
    Faker faker("zz", locales_, random);
    EXPECT_EQ(log_.drainLines(), std::vector<std::string>{"JSON file for 'zz' locale was not found."});
    EXPECT_EQ(faker.address().city(), "North Adaville");
}

TEST(ShamFakerWithoutData, EveryOperationAnswersWithoutFailing) {
    TemporaryDirectory empty;
    platform::CaptureLogSink log;
    platform::SeededRandom random(3);
    Faker faker("en", localesIn(empty.path(), log), random);
    // The shared parser and the own parsers of Number and Date each say so,
    // one whole entry each, as the engine's own.
    const std::vector<platform::LogEntry> entries = log.drain();
    ASSERT_EQ(entries.size(), 3u);
    for (const platform::LogEntry& entry : entries) {
        EXPECT_EQ(entry.line, "JSON file for 'en' locale was not found.");
        EXPECT_EQ(entry.subsystem, "org.stubforge.sham");
        EXPECT_EQ(entry.category, "Parser");
    }
    EXPECT_EQ(faker.address().streetAddress(true), " ");
    EXPECT_EQ(faker.name().title(), "  ");
    EXPECT_EQ(faker.commerce().department(3, true), "");
    EXPECT_EQ(faker.commerce().productName(), "  ");
    EXPECT_EQ(faker.company().catchPhrase(), "");
    EXPECT_EQ(faker.lorem().sentence(2), " .");
    EXPECT_EQ(faker.bank().iban().size(), 2u);
    EXPECT_FALSE(faker.business().creditCardExpiryDate().has_value());
    EXPECT_EQ(faker.team().state(), "");
    const std::string email = faker.internet().email();
    EXPECT_TRUE(std::regex_match(email, std::regex("[0-9]{0,4}@[a-z]{5}\\."))) << email;
}

TEST_F(ShamFaker, UniqueIdsCountUpAcrossThreads) {
    platform::SeededRandom random(4);
    Faker faker("en", locales_, random);
    EXPECT_EQ(faker.number().increasingUniqueId(), 1);
    EXPECT_EQ(faker.number().increasingUniqueId(), 2);
    EXPECT_EQ(faker.number().increasingUniqueId(), 3);

    constexpr int threads = 8;
    constexpr int perThread = 5000;
    std::vector<std::vector<std::int64_t>> drawn(threads);
    {
        std::vector<std::jthread> workers;
        for (auto& ids : drawn) {
            workers.emplace_back([&faker, &ids] {
                for (int index = 0; index < perThread; ++index) {
                    ids.push_back(faker.number().increasingUniqueId());
                }
            });
        }
    }
    std::vector<std::int64_t> all;
    for (const auto& ids : drawn) {
        EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
        all.insert(all.end(), ids.begin(), ids.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    EXPECT_EQ(all.front(), 4);
    EXPECT_EQ(all.back(), 3 + threads * perThread);
    EXPECT_EQ(faker.number().lastUsedId(), 3 + threads * perThread);

    // A new engine counts from 1 again.
    Faker fresh("en", locales_, random);
    EXPECT_EQ(fresh.number().increasingUniqueId(), 1);
}

TEST_F(ShamFaker, MovedFakerKeepsWorking) {
    platform::SeededRandom random(5);
    Faker original("en", locales_, random);
    Faker moved(std::move(original));
    EXPECT_EQ(moved.name().firstName(), "Ada");
    EXPECT_EQ(moved.number().increasingUniqueId(), 1);
}

TEST(ShamFakerBundles, EachEngineReadsAndLogsThroughItsOwnSetting) {
    TemporaryDirectory first;
    TemporaryDirectory second;
    const std::string_view locales = "Sham_Sham.bundle/Resources/Locales/en.json";
    first.write(locales, R"({"en": {"faker": {"name": {"first_name": ["Ada"]}, "separator": " & "}}})");
    second.write(locales, R"({"en": {"faker": {"name": {"first_name": ["Bea"]}}}})");
    platform::CaptureLogSink firstLog;
    platform::CaptureLogSink secondLog;
    Config firstConfig = Config::inResources(first.path());
    firstConfig.log = &firstLog;
    Config secondConfig = Config::inResources(second.path());
    secondConfig.log = &secondLog;

    platform::SeededRandom random(6);
    Faker one("en", firstConfig, random);
    Faker two("zz", secondConfig, random);
    for (int draw = 0; draw < 10; ++draw) {
        EXPECT_EQ(one.name().firstName(), "Ada");
        EXPECT_EQ(two.name().firstName(), "Bea");
    }
    EXPECT_EQ(one.parser().fetch("separator"), " & ");
    EXPECT_EQ(two.parser().fetch("separator"), "");
    EXPECT_EQ(firstLog.drainLines(), std::vector<std::string>{});
    EXPECT_EQ(secondLog.drainLines(), std::vector<std::string>{"JSON file for 'zz' locale was not found."});

    // A bundle without the engine's resources finds nothing and says so.
    TemporaryDirectory bare;
    platform::CaptureLogSink bareLog;
    Config bareConfig = Config::inResources(bare.path());
    bareConfig.log = &bareLog;
    Faker none("en", bareConfig, random);
    EXPECT_EQ(none.name().firstName(), "");
    EXPECT_EQ(bareLog.drainLines().size(), 3u);
    EXPECT_EQ(one.name().firstName(), "Ada");
}

}  // namespace
}  // namespace sham::test
