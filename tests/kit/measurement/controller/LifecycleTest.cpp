#include "EventRoadTestSupport.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/controller/MSRDeepLinks.h"
#include "kit/measurement/controller/MSREnvironmentInfo.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/support/MSRDatabase.h"

namespace kit::measurement::testing {
namespace {

using platform::Value;

constexpr std::string_view kCampaignLink = "lumenapp://open?utm_source=news&utm_medium=mail&utm_campaign=spring";

class LifecycleTest : public EventRoadTest {
protected:
    LifecycleTest() {
        services().setAppActive(true);
        setFirstStart(true);
        MSRAnalytics::setLoadTimestamp(now());
    }
    ~LifecycleTest() override {
        if (hasController_) {
            settle();
        }
    }

    MSRMeasurement& start(MSRMeasurementStartOptions options = {}) {
        hasController_ = true;
        return makeController(std::move(options));
    }
    // A later launch: the clock moves past the session timeout first.
    MSRMeasurement& startAgain() {
        settle();
        clock().advance(std::chrono::hours(2));
        MSRAnalytics::setLoadTimestamp(now());
        return start();
    }

    std::string property(std::string_view name) {
        const auto found = rows("SELECT value FROM user_attributes WHERE name = '" + std::string(name) + "'");
        return found.empty() ? "(none)" : found.front();
    }
    std::vector<StoredEvent> named(std::string_view name) {
        std::vector<StoredEvent> found;
        for (StoredEvent& event : storedEvents()) {
            if (event.name == name) {
                found.push_back(std::move(event));
            }
        }
        return found;
    }
    static std::int64_t integer(const StoredEvent& event, std::string_view key) {
        const MSRValue* value = find(event.parameters, key);
        return value != nullptr && value->isInt64() ? value->int64Value() : -999;
    }
    static std::string text(const StoredEvent& event, std::string_view key) {
        const MSRValue* value = find(event.parameters, key);
        return value != nullptr && value->stringValue() != nullptr ? *value->stringValue() : "(none)";
    }
    std::vector<InternalEvent> internalEvents(std::string_view name) {
        std::vector<InternalEvent> found;
        for (InternalEvent& event : services().drainEvents()) {
            if (event.name == name) {
                found.push_back(std::move(event));
            }
        }
        return found;
    }

private:
    bool hasController_ = false;
};

TEST_F(LifecycleTest, AFirstStartReportsFirstOpenSessionEngagementThenTheStoredCampaign) {
    MSRStoreDeepLink(*MSRUserDefaults::sharedUserDefaults(), kCampaignLink, clock());
    const double launched = now();
    start();

    EXPECT_EQ(storedNames(), (std::vector<std::string>{"_f", "_s", "_e", "_cmp"}));
    EXPECT_EQ(property("_fi"), "1");
    const std::int64_t firstOpenMillis = static_cast<std::int64_t>(launched * 1000);
    EXPECT_EQ(property("_fot"), std::to_string(MSRMeasurement::timestampMillisRoundedUpToNextHour(firstOpenMillis)));
    EXPECT_EQ(MSRPersistedConfig::sharedInstance()->firstOpenTimestampMilliseconds(), firstOpenMillis);

    const auto firstOpen = named("_f");
    ASSERT_EQ(firstOpen.size(), 1u);
    EXPECT_EQ(integer(firstOpen[0], "_pfo"), 0);
    EXPECT_EQ(integer(firstOpen[0], "_uwa"), 0);
    const auto engagement = named("_e");
    ASSERT_EQ(engagement.size(), 1u);
    EXPECT_EQ(integer(engagement[0], "_et"), 1);
    const auto session = named("_s");
    ASSERT_EQ(session.size(), 1u);
    EXPECT_EQ(integer(session[0], "_sid"), static_cast<std::int64_t>(launched));
    EXPECT_EQ(integer(session[0], "_sno"), 1);

    const auto campaign = named("_cmp");
    ASSERT_EQ(campaign.size(), 1u);
    EXPECT_EQ(text(campaign[0], "source"), "news");
    EXPECT_EQ(text(campaign[0], "medium"), "mail");
    EXPECT_EQ(integer(campaign[0], "click_timestamp"), firstOpenMillis - 1);
    EXPECT_EQ(integer(campaign[0], "_cc"), MSRPreviousHourStartMilliseconds(firstOpenMillis));
    EXPECT_FALSE(MSRHasStoredDeepLink(*MSRUserDefaults::sharedUserDefaults()));
    EXPECT_FALSE(MSRPersistedConfig::sharedInstance()->loadTimestampValue().has_value());
}

TEST_F(LifecycleTest, TheFirstOpenTimeIsTheLoadTimeRoundedUpToTheNextHour) {
    MSRPersistedConfig::sharedInstance()->setLoadTimestampValue(Value(1'000'000.5));
    start();
    EXPECT_EQ(property("_fot"), "1000800000");
    EXPECT_EQ(MSRPersistedConfig::sharedInstance()->firstOpenTimestampMilliseconds(), 1'000'000'500);
}

TEST_F(LifecycleTest, ThePreviousFirstOpenCountAndTheVersionDecideFirstOpenAfterInstall) {
    struct Case {
        const char* label;
        std::optional<std::int64_t> previousCount;
        std::optional<std::string> storedVersion;
        std::int64_t firstOpenAfterInstall, previous, uninstalledWithAnalytics;
    };
    const Case cases[] = {
        {"earlier first opens", 2, "0.9", 1, 2, 0},
        {"first install", std::nullopt, std::nullopt, 1, 0, 0},
        {"same version", std::nullopt, "1.0", 1, 0, 0},
        {"another version before", std::nullopt, "0.9", 0, 0, 1},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        std::filesystem::remove_all(MSRMeasurementFilePath(environment().databaseName));
        const auto persisted = MSRPersistedConfig::sharedInstance();
        persisted->setPreviousFirstOpenCount(row.previousCount ? std::optional<Value>(Value(*row.previousCount))
                                                               : std::nullopt);
        persisted->setAppVersion(row.storedVersion);
        environment().appVersion = "1.0";
        start();
        EXPECT_EQ(property("_fi"), std::to_string(row.firstOpenAfterInstall));
        const auto firstOpen = named("_f");
        ASSERT_EQ(firstOpen.size(), 1u);
        EXPECT_EQ(integer(firstOpen[0], "_pfo"), row.previous);
        EXPECT_EQ(integer(firstOpen[0], "_uwa"), row.uninstalledWithAnalytics);
    }
}

TEST_F(LifecycleTest, ALaterStartSendsASessionStartButNoFirstOpen) {
    start();
    startAgain();
    const auto names = storedNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "_f"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "_s"), 2);
    EXPECT_EQ(names.back(), "_s");
    EXPECT_EQ(MSRPersistedConfig::sharedInstance()->previousFirstOpenCount(), Value(std::int64_t{1}));
}

TEST_F(LifecycleTest, OnlyAChangeFromAKnownVersionIsReportedAsAnUpdate) {
    environment().appVersion = "1.0";
    start();
    EXPECT_TRUE(internalEvents("_au").empty());
    EXPECT_EQ(MSRPersistedConfig::sharedInstance()->appVersion(), "1.0");
    EXPECT_EQ(MSRPersistedConfig::sharedInstance()->osVersion(),
              MSREnvironmentInfo::sharedInstance().deviceOSVersion());

    environment().appVersion = "2.0";
    MSRPersistedConfig::sharedInstance()->setOSVersion("0.1-old");
    startAgain();
    const auto events = services().drainEvents();
    std::vector<std::string> names;
    for (const InternalEvent& event : events) {
        names.push_back(event.name);
        if (event.name == "_au") {
            EXPECT_EQ(event.origin, "auto");
            EXPECT_EQ(*event.parameters.at("_pv").stringValue(), "1.0");
        }
        if (event.name == "_ou") {
            EXPECT_EQ(*event.parameters.at("_po").stringValue(), "0.1-old");
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"_au", "_ou"}));
    EXPECT_EQ(MSRPersistedConfig::sharedInstance()->appVersion(), "2.0");
}

TEST_F(LifecycleTest, AStoredLinkOlderThanTheCacheTimeIsReportedWithoutItsSources) {
    MSRStoreDeepLink(*MSRUserDefaults::sharedUserDefaults(), kCampaignLink, clock());
    clock().advance(std::chrono::hours(24 * 8));  // the default cache time is 7 days
    MSRAnalytics::setLoadTimestamp(now());
    start();
    const auto campaign = named("_cmpx");
    ASSERT_EQ(campaign.size(), 1u);
    EXPECT_EQ(text(campaign[0], "source"), "(not set)");
    EXPECT_EQ(text(campaign[0], "medium"), "(not set)");
    EXPECT_EQ(integer(campaign[0], "_cc"), 1);
    EXPECT_TRUE(named("_cmp").empty());
}

TEST_F(LifecycleTest, NonPersonalisedAdsFollowTheSettings) {
    struct Case {
        const char* label;
        std::optional<Value> plistFlag;
        std::optional<Value> allowPersonalizedAds;
        std::string npa;
    };
    const Case cases[] = {
        {"nothing decides", std::nullopt, std::nullopt, "(none)"},
        {"Info.plist NO", Value(false), std::nullopt, "1"},
        {"Info.plist YES", Value(true), std::nullopt, "0"},
        {"Info.plist text", Value("NO"), std::nullopt, "0"},
        {"persisted disallow beats the plist", Value(true), Value(false), "1"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        std::filesystem::remove_all(MSRMeasurementFilePath(environment().databaseName));
        // As a new launch finds it: no consent settings yet.
        MSRConsentSettingsUtil::clearAllSettings();
        Value::Dictionary info;
        if (row.plistFlag) {
            info.emplace(std::string(kMSRPlistDefaultAllowAdPersonalization), *row.plistFlag);
        }
        environment().infoDictionary = Value(info);
        MSRPersistedConfig::sharedInstance()->setAllowPersonalizedAds(row.allowPersonalizedAds);
        start();
        EXPECT_EQ(property("_npa"), row.npa);
    }
}

TEST_F(LifecycleTest, AStoredNonPersonalisedAdsPropertyGoesWhenNothingDecidesAnyMore) {
    environment().infoDictionary =
        Value(Value::Dictionary{{std::string(kMSRPlistDefaultAllowAdPersonalization), Value(false)}});
    start();
    EXPECT_EQ(property("_npa"), "1");
    MSRConsentSettingsUtil::clearAllSettings();
    environment().infoDictionary = Value(Value::Dictionary{});
    services().drainCodes();
    startAgain();
    EXPECT_EQ(property("_npa"), "(none)");
    const auto logged = services().drainCodes();
    EXPECT_NE(std::find(logged.begin(), logged.end(), 23180), logged.end());
}

TEST_F(LifecycleTest, AnUnreadableRunningVersionIsNoUpdate) {
    MSRPersistedConfig::sharedInstance()->setAppVersion("1.0");
    environment().appVersion = "";  // what an application without a version reports
    start();
    EXPECT_TRUE(internalEvents("_au").empty());
    EXPECT_EQ(MSRPersistedConfig::sharedInstance()->appVersion(), "1.0");
}

TEST_F(LifecycleTest, ALoadTimeWithoutAMillisecondFormStoresNoFirstOpen) {
    // Far past the 64-bit millisecond range: converted by saturation, never by a cast.
    MSRPersistedConfig::sharedInstance()->setLoadTimestampValue(Value(1e300));
    start();
    EXPECT_TRUE(named("_f").empty());
}

TEST(LifecycleHelpersTest, FirstOpenTimesRoundUpToTheNextWholeHour) {
    struct Case {
        std::int64_t milliseconds, rounded;
    };
    const Case cases[] = {
        {1'000'000'500, 1'000'800'000},
        {0, 3'600'000},
        {3'600'000, 7'200'000},                  // a whole hour still moves on
        {-1, 0},                                 // before 1970 rounds by floor
        {4'102'444'800'001, 4'102'448'400'000},  // past the 32-bit range
        {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max()},
    };
    for (const Case& row : cases) {
        EXPECT_EQ(MSRMeasurement::timestampMillisRoundedUpToNextHour(row.milliseconds), row.rounded)
            << row.milliseconds;
    }
}

TEST_F(LifecycleTest, TheOriginalVersionIsTheFirstOneStored) {
    struct Case {
        std::optional<std::string> stored;
        bool same;
    };
    environment().appVersion = "3.1";
    auto& controller = start();
    for (const Case& row : {Case{std::nullopt, true}, Case{"3.1", true}, Case{"3.0", false}}) {
        MSRPersistedConfig::sharedInstance()->setAppVersion(row.stored);
        EXPECT_EQ(controller.isVersionSameAsOriginalVersion(), row.same) << row.stored.value_or("(unset)");
    }
}

TEST_F(LifecycleTest, TheSessionTimeoutReachesTheSessionReporter) {
    auto& controller = start();
    controller.setSessionTimeoutInterval(120);
    settle();
    EXPECT_EQ(controller.sessionReporter()->timeoutSessionInterval(), 120);
}

TEST_F(LifecycleTest, AMissingSessionNumberIsTakenFromTheSessionStartCount) {
    auto& controller = start();
    onWorkerQueue([&] {
        auto aggregates = MSREventAggregates::initWithName("_s", 7, 0, 0, now());
        ASSERT_TRUE(aggregates);
        ASSERT_TRUE(controller.database()->updateEventAggregates(*aggregates));
        MSRPersistedConfig::sharedInstance()->setSessionNumber(0);
        controller.backfillSessionNumber();
        EXPECT_EQ(MSRPersistedConfig::sharedInstance()->sessionNumber(), 7);
        MSRPersistedConfig::sharedInstance()->setSessionNumber(3);
        controller.backfillSessionNumber();
        EXPECT_EQ(MSRPersistedConfig::sharedInstance()->sessionNumber(), 3);
    });
}

}  // namespace
}  // namespace kit::measurement::testing
