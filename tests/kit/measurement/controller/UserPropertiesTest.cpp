// User properties through the controller: the per-origin and public limits,
// the user ID and its reset marker, the switch, the readers, the
// personalised-ads decision and the session ID query.
#include "EngineTestSupport.h"
#include "Process.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <future>

namespace kit::measurement::testing {
namespace {

using platform::Value;
using namespace std::chrono_literals;

bool contains(const std::vector<std::int64_t>& codes, std::int64_t code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

MSRUserAttribute attribute(std::string_view origin, std::string_view name, MSRValue value, double timestamp = 1.7e9) {
    auto made = MSRUserAttribute::initWithOrigin(origin, name, std::move(value), timestamp);
    EXPECT_TRUE(made) << name;
    return std::move(*made);
}

MSRUserAttribute textAttribute(std::string_view origin, std::string_view name, std::string value) {
    return attribute(origin, name, MSRValue::initWithString(std::move(value)));
}

class UserPropertiesTest : public EngineTest {
protected:
    // Debug lines with contexts reach the monitor's observer only in debug mode.
    UserPropertiesTest() { services().monitor().setDebugModeEnabled(true); }

    bool store(const MSRUserAttribute& property) {
        bool stored = false;
        onWorkerQueue([&] { stored = controller().storeUserPropertyOnWorkerQueue(property); });
        return stored;
    }

    // "name=value" of every stored property, by name, read with sqlite3.
    std::string storedProperties() {
        const auto path = controller().database()->databasePath();
        return platform::testing::runCommand("sqlite3 -separator = " + platform::testing::shellQuote(path.string()) +
                                             " 'SELECT name, value FROM user_attributes ORDER BY name'")
            .output;
    }

    // Every code logged since the last call, once the monitor has written them.
    std::vector<std::int64_t> codes() {
        services().monitor().waitUntilIdle();
        return services().drainCodes();
    }

    std::vector<InternalEvent> errorEvents() {
        auto events = services().drainEvents();
        std::erase_if(events, [](const InternalEvent& event) { return event.name != "_err"; });
        return events;
    }
};

// --- Limits

struct LimitRow {
    std::string_view label;
    std::string_view origin;
    std::string_view prefix;
    std::int64_t limit;
};

void PrintTo(const LimitRow& row, std::ostream* out) { *out << row.label; }

class UserPropertyLimitTest : public UserPropertiesTest, public ::testing::WithParamInterface<LimitRow> {};

TEST_P(UserPropertyLimitTest, ANewNameOverTheLimitIsRefusedWhileUpdatesGoOn) {
    const auto& row = GetParam();
    makeController();
    // The public limit comes from the remote settings; the internal one is fixed.
    controller().remoteConfigInstance()->cacheValue(Value(std::int64_t{3}),
                                                    "measurement.upload.max_public_user_properties");
    for (std::int64_t index = 0; index < row.limit; ++index) {
        ASSERT_TRUE(store(textAttribute(row.origin, std::string(row.prefix) + std::to_string(index), "v")));
    }
    codes();
    services().drainEvents();

    EXPECT_FALSE(store(textAttribute(row.origin, std::string(row.prefix) + "over", "v")));
    EXPECT_TRUE(contains(codes(), 23084));
    const auto errors = errorEvents();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].origin, "auto");
    EXPECT_EQ(errors[0].parameters.at("_err"), MSRValue::initWithInt64(9));

    EXPECT_TRUE(store(textAttribute(row.origin, std::string(row.prefix) + "0", "changed")));
    const std::string stored = storedProperties();
    EXPECT_NE(stored.find(std::string(row.prefix) + "0=changed\n"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("over"), std::string::npos) << stored;
}

INSTANTIATE_TEST_SUITE_P(Rows, UserPropertyLimitTest,
                         ::testing::Values(LimitRow{"internalOfOneOrigin", "auto", "_internal", 25},
                                           LimitRow{"public", "app", "public", 3}),
                         [](const auto& test) { return std::string(test.param.label); });

TEST_F(UserPropertiesTest, TheInternalLimitCountsOnlyTheSameOrigin) {
    makeController();
    for (int index = 0; index < 25; ++index) {
        ASSERT_TRUE(store(textAttribute("auto", "_a" + std::to_string(index), "v")));
    }
    EXPECT_TRUE(store(textAttribute("fcm", "_other", "v")));
}

// --- The user ID and the reset marker

struct UserIDRow {
    std::string_view label;
    std::string_view secondUserID;
    bool markerKept;
};

void PrintTo(const UserIDRow& row, std::ostream* out) { *out << row.label; }

class UserIDTest : public UserPropertiesTest, public ::testing::WithParamInterface<UserIDRow> {};

TEST_P(UserIDTest, ANewUserIDDropsTheResetMarker) {
    makeController();
    ASSERT_TRUE(store(textAttribute("app", "_id", "first")));
    ASSERT_TRUE(store(attribute("auto", "_lair", MSRValue::initWithInt64(1))));
    ASSERT_TRUE(store(textAttribute("app", "_id", std::string(GetParam().secondUserID))));
    const std::string stored = storedProperties();
    EXPECT_NE(stored.find("_id=" + std::string(GetParam().secondUserID) + "\n"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("_lair=1\n") != std::string::npos, GetParam().markerKept) << stored;
}

INSTANTIATE_TEST_SUITE_P(Rows, UserIDTest,
                         ::testing::Values(UserIDRow{"sameValue", "first", true},
                                           UserIDRow{"newValue", "second", false}),
                         [](const auto& test) { return std::string(test.param.label); });

TEST_F(UserPropertiesTest, TheResetMarkerIsSetOnlyForAKnownUser) {
    makeController();
    onWorkerQueue([&] { controller().setLastAdvertisingIDResetUserPropertyOnWorkerQueue(); });
    EXPECT_EQ(storedProperties(), "");

    ASSERT_TRUE(store(textAttribute("app", "_id", "someone")));
    onWorkerQueue([&] {
        controller().identity()->setShouldSetLastAdvertisingIDResetUserProperty(true);
        controller().setLastAdvertisingIDResetUserPropertyOnWorkerQueue();
    });
    EXPECT_EQ(storedProperties(), "_id=someone\n_lair=1\n");
    EXPECT_FALSE(controller().identity()->shouldSetLastAdvertisingIDResetUserProperty());
}

// --- The switch

TEST_F(UserPropertiesTest, WithCollectionOffSetAndRemoveOnlyLog) {
    makeController();
    ASSERT_TRUE(store(textAttribute("app", "favourite", "blue")));
    controller().setEnabled(false);
    onWorkerQueue([] {});
    codes();

    controller().setUserAttribute(textAttribute("app", "favourite", "green"));
    controller().setUserAttribute(textAttribute("app", "other", "x"));
    controller().removeUserAttribute(textAttribute("app", "favourite", "blue"));
    onWorkerQueue([] {});

    const auto logged = codes();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), 23081), 2);
    EXPECT_TRUE(contains(logged, 23076));
    EXPECT_EQ(storedProperties(), "favourite=blue\n");
}

TEST_F(UserPropertiesTest, SetAndRemoveFromAnyThreadReachTheStore) {
    makeController();
    controller().setUserAttribute(textAttribute("app", "favourite", "green"));
    controller().setUserAttribute(attribute("app", "count", MSRValue::initWithInt64(4)));
    onWorkerQueue([] {});
    EXPECT_EQ(storedProperties(), "count=4\nfavourite=green\n");
    controller().removeUserAttribute(textAttribute("app", "favourite", "green"));
    onWorkerQueue([] {});
    EXPECT_EQ(storedProperties(), "count=4\n");
    const auto removed = codes();
    EXPECT_TRUE(contains(removed, 23078)) << ::testing::PrintToString(removed);
}

// --- Readers

TEST_F(UserPropertiesTest, ReadersAnswerOnTheGlobalQueueWithEachValueKind) {
    makeController();
    ASSERT_TRUE(store(textAttribute("app", "text", "abc")));
    ASSERT_TRUE(store(attribute("app", "whole", MSRValue::initWithInt64(7))));
    ASSERT_TRUE(store(attribute("app", "fraction", MSRValue::initWithDouble(2.5))));
    ASSERT_TRUE(store(attribute("auto", "_internal", MSRValue::initWithInt64(1))));

    for (const bool includingInternal : {false, true}) {
        std::promise<std::pair<Value::Dictionary, bool>> answered;
        controller().userPropertiesIncludingInternal(includingInternal, [&](Value::Dictionary properties) {
            answered.set_value({std::move(properties), controller().scheduler().workerQueue().isCurrent()});
        });
        auto future = answered.get_future();
        ASSERT_EQ(future.wait_for(60s), std::future_status::ready);
        const auto [properties, onWorkerQueue] = future.get();
        EXPECT_FALSE(onWorkerQueue);
        Value::Dictionary expected{{"text", Value("abc")}, {"whole", Value(std::int64_t{7})}, {"fraction", Value(2.5)}};
        if (includingInternal) {
            expected["_internal"] = Value(std::int64_t{1});
        }
        EXPECT_EQ(properties, expected) << includingInternal;
    }

    std::promise<std::optional<MSRUserAttribute>> one;
    controller().userAttributeWithName("whole", [&](std::optional<MSRUserAttribute> found) { one.set_value(found); });
    auto found = one.get_future();
    ASSERT_EQ(found.wait_for(60s), std::future_status::ready);
    const auto property = found.get();
    ASSERT_TRUE(property);
    EXPECT_EQ(property->value(), MSRValue::initWithInt64(7));
}

TEST_F(UserPropertiesTest, MaxUserPropertiesIsTwentyFiveForAnyOrigin) {
    makeController();
    for (const std::string_view origin : {"app", "auto", "fcm"}) {
        std::promise<std::int64_t> answered;
        controller().maxUserPropertiesForOrigin(origin, [&](std::int64_t count) { answered.set_value(count); });
        auto future = answered.get_future();
        ASSERT_EQ(future.wait_for(60s), std::future_status::ready);
        EXPECT_EQ(future.get(), 25) << origin;
    }
    controller().maxUserPropertiesForOrigin("", [](std::int64_t) { ADD_FAILURE(); });
    controller().maxUserPropertiesForOrigin("app", nullptr);
    const auto logged = codes();
    EXPECT_TRUE(contains(logged, 23093));
    EXPECT_TRUE(contains(logged, 23094));
}

// --- Personalised ads: the first source that answers decides

struct AdPersonalizationRow {
    std::string_view label;
    std::optional<Value> allowPersonalizedAds;
    std::optional<MSRConsentDictionary> consentSettings;
    std::optional<Value> plistFlag;
    std::optional<MSRConsentDictionary> defaultSettings;
    std::optional<bool> disabled;
};

void PrintTo(const AdPersonalizationRow& row, std::ostream* out) { *out << row.label; }

class AdPersonalizationTest : public EngineTest, public ::testing::WithParamInterface<AdPersonalizationRow> {};

TEST_P(AdPersonalizationTest, Decides) {
    const auto& row = GetParam();
    Value::Dictionary info{{"CFBundleIdentifier", Value("org.stubforge.Stubforge")}};
    if (row.plistFlag) {
        info["LUMEN_ANALYTICS_DEFAULT_ALLOW_AD_PERSONALIZATION_SIGNALS"] = *row.plistFlag;
    }
    environment().infoDictionary = Value(std::move(info));
    if (row.allowPersonalizedAds) {
        MSRPersistedConfig::sharedInstance()->setAllowPersonalizedAds(*row.allowPersonalizedAds);
    }
    if (row.consentSettings) {
        MSRConsentSettingsUtil::setConsentSettings(*row.consentSettings);
    }
    if (row.defaultSettings) {
        MSRConsentSettingsUtil::setDefaultSettings(*row.defaultSettings);
    }
    // Not started, so the start's own consent updates stay out of it.
    makeController({.appID = "", .isAnalyticsCollectionEnabled = false, .safelistedEvents = {}});
    EXPECT_EQ(controller().shouldDisableAdPersonalization(), row.disabled);
}

const MSRConsentDictionary kDenied{{"ad_personalization", Value("denied")}};
const MSRConsentDictionary kGranted{{"ad_personalization", Value("granted")}};

INSTANTIATE_TEST_SUITE_P(
    Rows, AdPersonalizationTest,
    ::testing::Values(
        AdPersonalizationRow{"nothing", {}, {}, {}, {}, std::nullopt},
        AdPersonalizationRow{"persistedAllowWinsOverConsent", Value(true), kDenied, Value(false), kDenied, false},
        AdPersonalizationRow{"persistedDisallow", Value(false), kGranted, {}, {}, true},
        AdPersonalizationRow{"consentDenied", {}, kDenied, Value(true), kGranted, true},
        AdPersonalizationRow{"consentGranted", {}, kGranted, Value(false), kDenied, false},
        AdPersonalizationRow{"plistNo", {}, {}, Value(false), kGranted, true},
        AdPersonalizationRow{"plistZero", {}, {}, Value(std::int64_t{0}), {}, true},
        AdPersonalizationRow{"plistYes", {}, {}, Value(true), kDenied, false},
        AdPersonalizationRow{"plistText", {}, {}, Value("NO"), kDenied, false},
        AdPersonalizationRow{
            "defaultDeniedAnyCase", {}, {}, {}, MSRConsentDictionary{{"ad_personalization", Value("DeNied")}}, true},
        AdPersonalizationRow{"defaultGranted", {}, {}, {}, kGranted, false},
        AdPersonalizationRow{
            "defaultOther", {}, {}, {}, MSRConsentDictionary{{"ad_personalization", Value("maybe")}}, std::nullopt}),
    [](const auto& test) { return std::string(test.param.label); });

TEST_F(UserPropertiesTest, AdNetworkRegistrationFollowsAPlistNumberOnly) {
    const std::vector<std::pair<std::optional<Value>, bool>> rows{
        {std::nullopt, true}, {Value(false), false}, {Value(true), true}, {Value("NO"), true}};
    for (const auto& [flag, allowed] : rows) {
        Value::Dictionary info;
        if (flag) {
            info["LUMEN_ANALYTICS_REGISTRATION_WITH_AD_NETWORK_ENABLED"] = *flag;
        }
        MSRMeasurementEnvironment environment;
        environment.infoDictionary = Value(std::move(info));
        environment.network = std::shared_ptr<LMUNetwork>();
        environment.clock = &clock();
        const auto controller = MSRMeasurement::initWithAppID(
            {.appID = std::string(kAppID), .isAnalyticsCollectionEnabled = false, .safelistedEvents = {}},
            std::move(environment));
        EXPECT_EQ(controller->shouldAllowAdNetworkRegistration(), allowed);
        controller->scheduler().dispatchSyncOnWorkerQueueBlockID("test", [] {});
    }
}

// --- Session ID

struct SessionIDAnswer {
    std::int64_t sessionID = -1;
    std::optional<std::string> error;
    bool onWorkerQueue = false;
};

class SessionIDTest : public UserPropertiesTest {
protected:
    SessionIDAnswer ask(MSRMeasurement& target) {
        std::promise<SessionIDAnswer> answered;
        target.sessionIDWithCompletion([&](std::int64_t sessionID, std::optional<platform::Error> error) {
            answered.set_value({sessionID,
                                error ? std::optional<std::string>(std::string(error->what())) : std::nullopt,
                                target.scheduler().workerQueue().isCurrent()});
        });
        auto future = answered.get_future();
        EXPECT_EQ(future.wait_for(60s), std::future_status::ready);
        return future.get();
    }
};

TEST_F(SessionIDTest, TheFourAnswersOfALiveController) {
    makeController();
    // A fresh reporter has no session yet.
    auto answer = ask(controller());
    EXPECT_EQ(answer.error, "Session expired");
    EXPECT_TRUE(answer.onWorkerQueue);

    onWorkerQueue([&] { controller().sessionReporter()->updatePropertiesForNewSessionStart(); });
    answer = ask(controller());
    EXPECT_EQ(answer.error, "Session ID not found");

    ASSERT_TRUE(store(attribute("auto", "_sid", MSRValue::initWithInt64(1'700'000'123))));
    answer = ask(controller());
    EXPECT_EQ(answer.error, std::nullopt);
    EXPECT_EQ(answer.sessionID, 1'700'000'123);

    controller().setEnabled(false);
    answer = ask(controller());
    EXPECT_EQ(answer.error, "Analytics disabled");
}

TEST_F(SessionIDTest, AControllerGoneBeforeTheBlockRunsSaysSo) {
    MSRMeasurementEnvironment environment;
    environment.network = std::shared_ptr<LMUNetwork>();
    environment.clock = &clock();
    auto owned =
        MSRMeasurement::initWithAppID({.appID = std::string(kAppID), .safelistedEvents = {}}, std::move(environment));
    std::weak_ptr<MSRMeasurement> weak = owned;

    // The worker queue is held while the query waits behind the hold; the
    // controller is then dropped on another thread, whose destruction of the
    // queue runs what is left once the hold ends.
    std::promise<void> release;
    owned->scheduler().scheduleOnWorkerQueueBlockID("hold", [opened = release.get_future().share()] { opened.wait(); });
    std::promise<SessionIDAnswer> answered;
    owned->sessionIDWithCompletion([&](std::int64_t sessionID, std::optional<platform::Error> error) {
        answered.set_value(
            {sessionID, error ? std::optional<std::string>(std::string(error->what())) : std::nullopt, false});
    });
    std::thread dropper([owned = std::move(owned)]() mutable { owned.reset(); });
    while (!weak.expired()) {
        std::this_thread::yield();
    }
    release.set_value();
    dropper.join();
    auto future = answered.get_future();
    ASSERT_EQ(future.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(future.get().error, "Analytics deallocated");
}

}  // namespace
}  // namespace kit::measurement::testing
