#include "ConfigurationTestSupport.h"
#include "kit/core/MainBundle.h"
#include "kit/core/ClassRegistry.h"
#include "kit/core/heartbeat/HLOHeartbeatLogger.h"

#include "platform/UserDefaults.h"
#include "platform/concurrency/NotificationCenter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <barrier>
#include <thread>

namespace kit {
namespace {

namespace texts = core_texts;
using platform::Value;
using testing::ConfigurationTest;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::raisedBy;

// Records the notifications of one name.
class NotificationRecorder {
public:
    explicit NotificationRecorder(std::string_view name)
        : token_(platform::NotificationCenter::defaultCenter().addObserver(
              std::string(name), nullptr, [this](const platform::Notification& notification) {
                  std::lock_guard lock(mutex_);
                  received_.push_back(notification);
              })) {}
    ~NotificationRecorder() { platform::NotificationCenter::defaultCenter().removeObserver(token_); }
    std::vector<platform::Notification> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    std::mutex mutex_;
    std::vector<platform::Notification> received_;
    platform::NotificationCenter::Token token_;
};

// The measurement engine's start entry, counting its calls.
class FakeAnalytics final : public HLOAnalyticsStarting {
public:
    void startWithConfiguration(HLOAnalyticsConfiguration* configuration, const HLOOptions& options) override {
        std::lock_guard lock(mutex_);
        starts.push_back({configuration, options.lumenAppID().value_or("")});
    }
    struct Start {
        HLOAnalyticsConfiguration* configuration;
        std::string appID;
    };
    std::vector<Start> startsSoFar() {
        std::lock_guard lock(mutex_);
        return starts;
    }

private:
    std::mutex mutex_;
    std::vector<Start> starts;
};

TEST_F(ConfigurationTest, TheOptionsFileDecidesHowConfigureEnds) {
    const std::string missingFile = std::string(
                                        "`HaloApp.configure()` could not find a valid LumenService-Info.plist "
                                        "in your project. Please download one from ") +
                                    kConsoleURL + ".";
    const std::string failed(texts::kConfigurationFails);
    const std::string hexTail40 = "1:123:ios:" + std::string(40, 'f');
    auto withAppID = [](std::string appID) {
        auto options = validOptions();
        options["LUMEN_APP_ID"] = Value(std::move(appID));
        return Value(options).toXmlPlist();
    };
    auto foreignBundle = validOptions();
    foreignBundle["BUNDLE_ID"] = Value("com.example.other");
    const struct {
        const char* name;
        std::optional<std::string> file;
        std::vector<std::string> codes;
        std::optional<std::string> raise;  // none: configured
        bool defaultRecorded;
    } rows[] = {
        {"valid", Value(validOptions()).toXmlPlist(), {"I-COR000001"}, std::nullopt, true},
        {"none", std::nullopt, {"I-COR000012", "I-COR000011"}, missingFile, false},
        {"not a dictionary", Value(Value::Array{Value("x")}).toXmlPlist(), {"I-COR000011"}, missingFile, false},
        {"not a plist", std::string("{ garbage"), {"I-COR000011"}, missingFile, false},
        {"bundle ID not ours", Value(foreignBundle).toXmlPlist(), {"I-COR000001", "I-COR000008"}, std::nullopt, true},
        {"android app ID", withAppID("1:123:android:ab"), {"I-COR000001", "I-COR000009"}, failed, true},
        {"letters after the version", withAppID("1a:123:ios:ff"), {"I-COR000001", "I-COR000009"}, failed, true},
        {"empty app ID", withAppID(""), {"I-COR000001", "I-COR000009"}, failed, true},
        {"unknown version", withAppID("7:x"), {"I-COR000001", "I-COR000010"}, std::nullopt, true},
        {"40-digit hex tail", withAppID(hexTail40), {"I-COR000001"}, std::nullopt, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HLOApp::resetApps();
        writeOptionsFile(row.file);
        drainLines();
        NotificationRecorder ready(texts::kAppReadyToConfigureSDKNotification);
        const auto raised = raisedBy([] { HLOApp::configure(); });
        EXPECT_EQ(drainCodes(), row.codes);
        if (row.raise) {
            ASSERT_TRUE(raised);
            EXPECT_EQ(raised->name, "com.halo.core");
            EXPECT_EQ(raised->reason, *row.raise);
            EXPECT_TRUE(ready.received().empty());
        } else {
            ASSERT_FALSE(raised) << raised->reason;
            ASSERT_EQ(ready.received().size(), 1U);
            const auto notification = ready.received()[0];
            EXPECT_EQ(notification.sender, HLOApp::notificationSender());
            const auto appID = HLOOptions::defaultOptions()->lumenAppID().value_or("");
            EXPECT_EQ(notification.userInfo, Value(Value::Dictionary{{"HLOAppNameKey", Value("__HLOAPP_DEFAULT")},
                                                                     {"HLOAppIsDefaultAppKey", Value(true)},
                                                                     {"HLOLumenAppIDKey", Value(appID)}}));
            ASSERT_TRUE(HLOApp::allApps());
            EXPECT_EQ(HLOApp::allApps()->size(), 1U);
        }
        EXPECT_EQ(HLOApp::isDefaultAppConfigured(), row.defaultRecorded);
    }
}

TEST_F(ConfigurationTest, ASecondConfigureRaises) {
    writeOptions(validOptions());
    HLOApp::configure();
    const auto raised = raisedBy([] { HLOApp::configure(); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->reason, "Default app has already been configured.");
    const auto options = optionsWithAppID(kValidAppID);
    HLOApp::configureWithName("second", &options);
    const auto again = raisedBy([&] { HLOApp::configureWithName("second", &options); });
    ASSERT_TRUE(again);
    EXPECT_EQ(again->reason, "App named second has already been configured.");
}

TEST_F(ConfigurationTest, AppNamesAreLettersDigitsUnderscoresAndHyphens) {
    const auto options = optionsWithAppID(kValidAppID);
    const struct {
        const char* name;
        std::optional<std::string_view> raise;
    } rows[] = {
        {"with blank", texts::kBadNameCharacters},
        {"dot.ted", texts::kBadNameCharacters},
        {"slash/ed", texts::kBadNameCharacters},
        {"", texts::kEmptyName},
        {"Az_09-x", std::nullopt},
        {"Ünïcödé_名前_٣", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto raised = raisedBy([&] { HLOApp::configureWithName(row.name, &options); });
        if (row.raise) {
            ASSERT_TRUE(raised);
            EXPECT_EQ(raised->reason, *row.raise);
        } else {
            EXPECT_FALSE(raised);
            ASSERT_NE(HLOApp::appNamed(row.name), nullptr);
            EXPECT_FALSE(HLOApp::appNamed(row.name)->isDefaultApp());
        }
    }
    EXPECT_TRUE(raisedBy([] { HLOApp::configureWithOptions(nullptr); }));
}

TEST_F(ConfigurationTest, OptionsOfAnAppAreLockedCopies) {
    auto options = optionsWithAppID(kValidAppID);
    options.setAPIKey("key");
    HLOApp::configureWithOptions(&options);
    options.setAPIKey("changed");  // the caller's object stays editable
    auto copy = HLOApp::defaultApp()->options();
    EXPECT_EQ(copy.APIKey(), "key");
    EXPECT_EQ(copy.bundleID(), kBundleIdentifier);
    const auto raised = raisedBy([&] { copy.setAPIKey("x"); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->reason, texts::kOptionsLocked);
    EXPECT_EQ(HLOOptions::libraryVersionID(), "110900000");
}

TEST_F(ConfigurationTest, SettingDataCollectionOffWritesOnlyTheAppsKeyAndPosts) {
    writeOptions(validOptions());
    HLOApp::configure();
    NotificationRecorder enabled(texts::kAnalyticsConfigurationSetEnabledNotification);
    const auto app = HLOApp::defaultApp();
    EXPECT_TRUE(app->isDataCollectionDefaultEnabled());
    app->setDataCollectionDefaultEnabled(false);
    EXPECT_FALSE(app->isDataCollectionDefaultEnabled());
    auto& defaults = kit::standardDefaults();
    EXPECT_EQ(defaults.object("/lumen/halo/global_data_collection_enabled:__HLOAPP_DEFAULT"), Value(false));
    EXPECT_EQ(defaults.object("/lumen/measurement/measurement_enabled_state"), std::nullopt);
    ASSERT_EQ(enabled.received().size(), 1U);
    EXPECT_EQ(enabled.received()[0].sender, &HLOConfiguration::sharedInstance().analyticsConfiguration());
    EXPECT_EQ(enabled.received()[0].userInfo,
              Value(Value::Dictionary{{"HLOAnalyticsConfigurationSetEnabledNotification", Value(false)}}));

    // Persisting is the other road: it writes the state.
    HLOAnalyticsConfiguration::sharedInstance().setAnalyticsCollectionEnabled(false);
    EXPECT_EQ(defaults.object("/lumen/measurement/measurement_enabled_state"), Value(2));
    // With nothing explicit, measurement follows the app's switch.
    EXPECT_FALSE(HLOOptions::defaultOptions()->isMeasurementEnabled());
}

TEST_F(ConfigurationTest, SettingsThatCannotBeSavedAreLoggedNotRaised) {
    writeOptions(validOptions());
    HLOApp::configure();
    const auto app = HLOApp::defaultApp();
    ASSERT_NE(app, nullptr);
    // A folder where the settings' lock file should be: no write can take
    // the lock, whoever runs the test.
    const auto settingsFile = kit::standardDefaults().filePath();
    const std::filesystem::path lock = settingsFile.string() + ".lock";
    std::filesystem::remove(lock);
    std::filesystem::create_directories(lock);
    drainLines();

    struct Case {
        const char* call;
        std::function<void()> run;
        std::string key;
    };
    const Case cases[] = {
        {"persisting analytics collection",
         [] { HLOAnalyticsConfiguration::sharedInstance().setAnalyticsCollectionEnabled(false); },
         "/lumen/measurement/measurement_enabled_state"},
        {"data collection default", [&] { app->setDataCollectionDefaultEnabled(false); },
         "/lumen/halo/global_data_collection_enabled:__HLOAPP_DEFAULT"},
        {"deleting the app", [&] { app->deleteApp([](bool success) { EXPECT_TRUE(success); }); },
         "/lumen/halo/global_data_collection_enabled:__HLOAPP_DEFAULT"},
    };
    for (const Case& entry : cases) {
        SCOPED_TRACE(entry.call);
        EXPECT_NO_THROW(entry.run());
        auto lines = drainLines();
        std::erase_if(lines, [](const std::string& line) { return line.find("[I-COR000041]") == std::string::npos; });
        ASSERT_EQ(lines.size(), 1U);
        EXPECT_THAT(lines[0], ::testing::StartsWith("11.9.0 - [HaloCore][I-COR000041] Could not save the setting " +
                                                    entry.key + "; the change holds until the program ends."));
    }
    EXPECT_EQ(HLOApp::defaultApp(), nullptr);
}

TEST_F(ConfigurationTest, TheEngineStartsOnceForTheDefaultAppOnly) {
    const auto analytics = std::make_shared<FakeAnalytics>();
    kit::classRegistry().registerClass<HLOAnalyticsStarting>("HLOAnalytics", analytics);
    const auto named = optionsWithAppID("1:9:ios:9");
    HLOApp::configureWithName("named", &named);
    EXPECT_TRUE(analytics->startsSoFar().empty());
    writeOptions(validOptions());
    HLOApp::configure();
    EXPECT_TRUE(raisedBy([] { HLOApp::configure(); }));
    const auto starts = analytics->startsSoFar();
    ASSERT_EQ(starts.size(), 1U);
    EXPECT_EQ(starts[0].configuration, &HLOConfiguration::sharedInstance().analyticsConfiguration());
    EXPECT_EQ(starts[0].appID, kValidAppID);
}

TEST_F(ConfigurationTest, ConcurrentConfigurationMakesEachAppOnceAndStartsTheEngineOnce) {
    const auto analytics = std::make_shared<FakeAnalytics>();
    kit::classRegistry().registerClass<HLOAnalyticsStarting>("HLOAnalytics", analytics);
    const auto options = optionsWithAppID(kValidAppID);
    constexpr int kThreads = 32;
    std::atomic<int> successes = 0;
    std::atomic<int> raises = 0;
    std::barrier start(kThreads);
    std::vector<std::thread> threads;
    for (int index = 0; index < kThreads; ++index) {
        threads.emplace_back([&, index] {
            start.arrive_and_wait();
            for (int round = 0; round < 2; ++round) {
                for (const std::string& name : {"app_" + std::to_string(index), std::string("__HLOAPP_DEFAULT")}) {
                    if (raisedBy([&] { HLOApp::configureWithName(name, &options); })) {
                        ++raises;
                    } else {
                        ++successes;
                    }
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(successes.load(), kThreads + 1);
    EXPECT_EQ(raises.load(), kThreads * 4 - (kThreads + 1));
    ASSERT_TRUE(HLOApp::allApps());
    EXPECT_EQ(HLOApp::allApps()->size(), static_cast<std::size_t>(kThreads + 1));
    EXPECT_EQ(analytics->startsSoFar().size(), 1U);
    EXPECT_TRUE(HLOApp::defaultApp()->isDefaultApp());
}

TEST_F(ConfigurationTest, ErrorsCarryTheirCodesAndRecoverySuggestions) {
    const auto missing = HLOApp::errorForMissingOptions();
    EXPECT_EQ(missing.domain(), "com.halo.core");
    EXPECT_EQ(missing.code(), -100);
    EXPECT_STREQ(missing.what(), "Unable to parse LumenService-Info.plist in order to configure services.");
    EXPECT_EQ(*missing.userInfo().find("NSLocalizedRecoverySuggestion")->asString(),
              "Check formatting and location of LumenService-Info.plist.");
    const auto invalid = HLOApp::errorForInvalidAppID();
    EXPECT_EQ(invalid.code(), -101);
    EXPECT_STREQ(invalid.what(), "Unable to validate Lumen App ID");
    EXPECT_EQ(*invalid.userInfo().find("NSLocalizedRecoverySuggestion")->asString(),
              "Check formatting and location of LumenService-Info.plist or LumenAppID set in the customized "
              "options.");
}

TEST_F(ConfigurationTest, LookupsOfMissingAppsLogAndAnswerNothing) {
    EXPECT_EQ(HLOApp::defaultApp(), nullptr);
    EXPECT_EQ(HLOApp::appNamed("nobody"), nullptr);
    EXPECT_EQ(HLOApp::allApps(), std::nullopt);
    const auto lines = drainLines();
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[0],
              "11.9.0 - [HaloCore][I-COR000003] The default Halo app has not yet been configured. Add "
              "`HaloApp.configure()` to your application initialization. This can be done in in the App Delegate's "
              "application(_:didFinishLaunchingWithOptions:)` (or the `@main` struct's initializer in SwiftUI). Read "
              "more: http://127.0.0.1:9/guide");
    EXPECT_EQ(lines[1], "11.9.0 - [HaloCore][I-COR000004] App with name nobody does not exist.");
    EXPECT_EQ(lines[2], "11.9.0 - [HaloCore][I-COR000005] No app has been configured yet.");
}

TEST_F(ConfigurationTest, TheLoggerLevelTakesThreeToSeven) {
    auto& configuration = HLOConfiguration::sharedInstance();
    configuration.setLoggerLevel(LMULoggerLevelWarning);
    EXPECT_EQ(configuration.loggerLevel(), LMULoggerLevelWarning);
    for (const long level : {2L, 8L}) {
        const auto raised = raisedBy([&] { configuration.setLoggerLevel(level); });
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->reason, "Invalid logger level, " + std::to_string(level));
    }
    EXPECT_EQ(configuration.loggerLevel(), LMULoggerLevelWarning);
}

TEST_F(ConfigurationTest, BecomingActiveLogsAHeartbeatWhileDataCollectionIsOn) {
    writeOptions(validOptions());
    HLOApp::configure();
    const auto app = HLOApp::defaultApp();
    platform::NotificationCenter::defaultCenter().post(std::string(texts::kApplicationDidBecomeActiveNotification));
    EXPECT_EQ(app->heartbeatLogger()->heartbeatCodeForToday(), 2);
    app->setDataCollectionDefaultEnabled(false);
    platform::NotificationCenter::defaultCenter().post(std::string(texts::kApplicationDidBecomeActiveNotification));
    EXPECT_EQ(app->heartbeatLogger()->headerValue(), std::nullopt);
}

// The Info.plist holds switches of its own.
class InfoSwitchesTest : public ConfigurationTest {
protected:
    InfoSwitchesTest()
        : ConfigurationTest({{"HALO_ANALYTICS_COLLECTION_ENABLED", Value(false)},
                             {"HALO_ANALYTICS_COLLECTION_DEACTIVATED", Value(true)}}) {}
};

TEST_F(InfoSwitchesTest, TheInfoPlistComesFirstAndDeactivatedWins) {
    HLOOptions options(kValidAppID, "sender");
    EXPECT_EQ(options.analyticsOptionsDictionary(),
              (Value::Dictionary{{"HALO_ANALYTICS_COLLECTION_DEACTIVATED", Value(true)},
                                 {"HALO_ANALYTICS_COLLECTION_ENABLED", Value(false)}}));
    auto dictionary = validOptions();
    dictionary["HALO_ANALYTICS_COLLECTION_ENABLED"] = Value(true);
    dictionary["HALO_ANALYTICS_COLLECTION_DEACTIVATED"] = Value(false);
    dictionary["IS_MEASUREMENT_ENABLED"] = Value(true);
    const HLOOptions fromFile(dictionary);
    const auto analytics = fromFile.analyticsOptionsDictionary();
    EXPECT_EQ(analytics.at("HALO_ANALYTICS_COLLECTION_ENABLED"), Value(false));
    EXPECT_EQ(analytics.at("HALO_ANALYTICS_COLLECTION_DEACTIVATED"), Value(true));
    EXPECT_EQ(analytics.at("IS_MEASUREMENT_ENABLED"), Value(true));
    EXPECT_TRUE(fromFile.isAnalyticsCollectionDeactivated());
    EXPECT_FALSE(fromFile.isAnalyticsCollectionEnabled());
    EXPECT_FALSE(fromFile.isMeasurementEnabled());
    EXPECT_TRUE(fromFile.isAnalyticsCollectionExplicitlySet());
}

TEST_F(ConfigurationTest, SwitchesOfTheOptionsApplyWhenTheInfoPlistHasNone) {
    auto dictionary = validOptions();
    dictionary["IS_MEASUREMENT_ENABLED"] = Value(true);
    const HLOOptions measurementOnly(dictionary);
    EXPECT_TRUE(measurementOnly.isMeasurementEnabled());
    EXPECT_TRUE(measurementOnly.isAnalyticsCollectionEnabled());
    EXPECT_TRUE(measurementOnly.isAnalyticsCollectionExplicitlySet());
    dictionary["HALO_ANALYTICS_COLLECTION_ENABLED"] = Value(false);
    EXPECT_FALSE(HLOOptions(dictionary).isAnalyticsCollectionEnabled());
    const HLOOptions none(validOptions());
    EXPECT_FALSE(none.isAnalyticsCollectionExplicitlySet());
    EXPECT_FALSE(none.isMeasurementEnabled());  // no default app yet
}

}  // namespace
}  // namespace kit
