#include "FacadeTestSupport.h"
#include "kit/core/ClassRegistry.h"

#include "TestSupport.h"
#include "kit/core/CoreTexts.h"
#include "platform/Paths.h"
#include "platform/concurrency/NotificationCenter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <thread>

namespace kit::measurement {
namespace {

using platform::Value;
using testing::FacadeTest;

// --- Held until start

TEST_F(FacadeTest, APauseForQueuedWorkEndsOnceTheSerialQueueTookItIn) {
    start();
    testing::Journal order;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    MSRAnalytics::queueOperationWithBlockThenWait([&order, released] {
        released.wait();
        order.add("paused for");
    });
    MSRAnalytics::queueOperationWithBlock([&order] { order.add("later"); });
    release.set_value();
    // The test's clock stands still: only the serial queue ends the pause.
    EXPECT_TRUE(testing::eventually([&order] { return order.entries().size() == 2; }));
    EXPECT_EQ(order.entries(), (std::vector<std::string>{"paused for", "later"}));

    // A second pause ends the same way.
    MSRAnalytics::queueOperationWithBlockThenWait([&order] { order.add("paused for again"); });
    MSRAnalytics::queueOperationWithBlock([&order] { order.add("later again"); });
    EXPECT_TRUE(testing::eventually([&order] { return order.entries().size() == 4; }));
    EXPECT_EQ(order.entries().back(), "later again");
}

TEST_F(FacadeTest, CallsBeforeStartArriveAfterTheControllerInOrder) {
    MSRAnalytics::queueOperationWithBlock([this] { journal_.add("block 1"); });
    MSRAnalytics::setUserData({{"email_address", Value("someone@example.com")}});
    MSRAnalytics::resetAnalyticsData();
    MSRAnalytics::queueOperationWithBlock([this] { journal_.add("block 2"); });
    settle();
    EXPECT_TRUE(journal_.entries().empty());

    start();
    EXPECT_EQ(journal_.entries(), (std::vector<std::string>{"created", "block 1", "setUserData",
                                                            "reset:0123456789ABCDEF0123456789ABCDEF", "block 2"}));
}

TEST_F(FacadeTest, ASecondStartRunsOnlyItsPreChecks) {
    start();
    codes();
    MSRAnalytics::startWithAppID("1:123:ios:cd", "fa", startOptions());
    settle();
    EXPECT_EQ(factory_->starts().size(), 1u);
    EXPECT_TRUE(codes().empty());  // no app-ID change is noticed
    EXPECT_EQ(MSRPersistedConfig::sharedInstance()->appIDFromLMP(), "1:123:ios:ab");
    kit::classRegistry().registerClass("HLOADatabase", std::make_shared<int>(0));
    MSRAnalytics::startWithAppID("1:123:ios:cd", "fa", startOptions());
    EXPECT_EQ(codes(), std::vector<std::int64_t>{25029});  // the pre-checks still run
}

TEST_F(FacadeTest, AnotherOriginDefersAndAChangedAppIDIsStored) {
    MSRAnalytics::startWithAppID("1:123:ios:ab", "app", startOptions());
    settle();
    EXPECT_TRUE(contains(codes(), 25026));
    EXPECT_TRUE(factory_->starts().empty());

    MSRPersistedConfig::sharedInstance()->setAppIDFromLMP("1:123:ios:old");
    start();
    EXPECT_TRUE(contains(codes(), 25020));
    EXPECT_EQ(MSRPersistedConfig::sharedInstance()->appIDFromLMP(), "1:123:ios:ab");
    EXPECT_EQ(factory_->starts().size(), 1u);
}

TEST_F(FacadeTest, AnOlderLibraryStopsTheStart) {
    kit::classRegistry().registerClass("HLOADatabase", std::make_shared<int>(0));
    start();
    EXPECT_TRUE(contains(codes(), 25029));
    EXPECT_TRUE(factory_->starts().empty());
}

struct SafelistRow {
    const char* label;
    std::optional<Value> safelist;
    std::optional<std::vector<std::string>> expected;
    std::optional<std::int64_t> code;
};

void PrintTo(const SafelistRow& row, std::ostream* out) { *out << row.label; }

class SafelistTest : public FacadeTest, public ::testing::WithParamInterface<SafelistRow> {};

TEST_P(SafelistTest, TheSafelistPassesWholeOrNotAtAll) {
    auto options = startOptions();
    if (GetParam().safelist) {
        options.emplace(std::string(kMSRStartOptionSafelistedEvents), *GetParam().safelist);
    }
    start(options);
    ASSERT_EQ(factory_->starts().size(), 1u);
    EXPECT_EQ(factory_->starts()[0].safelistedEvents, GetParam().expected);
    if (GetParam().code) {
        EXPECT_TRUE(contains(codes(), *GetParam().code));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SafelistTest,
                         ::testing::Values(SafelistRow{"none", std::nullopt, std::nullopt, std::nullopt},
                                           SafelistRow{"valid", Value(Value::Array{Value("_vs"), Value("_e")}),
                                                       std::vector<std::string>{"_vs", "_e"}, std::nullopt},
                                           SafelistRow{"number", Value(Value::Array{Value("_vs"), Value(5)}),
                                                       std::nullopt, 25035},
                                           SafelistRow{"notArray", Value("_vs"), std::nullopt, 25034}),
                         [](const auto& test) { return std::string(test.param.label); });

// --- Public entry

TEST_F(FacadeTest, BeforeConfigureTheEntriesLogAndQueueNothing) {
    start();
    codes();
    const std::vector<std::uint8_t> hashed(32, 1);
    HLOAnalytics::logEventWithName("generate_click", {{"file_type", Value("pdf")}});
    HLOAnalytics::setUserPropertyString("x", "favourite");
    HLOAnalytics::initiateOnDeviceConversionMeasurementWithEmailAddress("someone@example.com");
    HLOAnalytics::initiateOnDeviceConversionMeasurementWithPhoneNumber("+15550100");
    HLOAnalytics::initiateOnDeviceConversionMeasurementWithHashedEmailAddress(hashed);
    HLOAnalytics::initiateOnDeviceConversionMeasurementWithHashedPhoneNumber(hashed);
    settle();
    EXPECT_EQ(codes(), (std::vector<std::int64_t>{25018, 25019, 25051, 25052, 25053, 25054}));
    EXPECT_TRUE(entryPoints_->calls().empty());
    EXPECT_TRUE(controller_->userData().empty());
}

class ConfiguredTest : public FacadeTest {
protected:
    ConfiguredTest() {
        kit::HLOOptions options("1:123:ios:ab", "sender");
        kit::HLOApp::configureWithOptions(&options);  // starts the engine through "HLOAnalytics"
        settle();
        codes();
    }
};

TEST_F(ConfiguredTest, TheConfigurationStartsTheEngineAndEventsArriveAsTheApp) {
    EXPECT_EQ(factory_->starts().size(), 1u);
    HLOAnalytics::logEventWithName("generate_click", {{"file_type", Value("pdf")}});
    const auto calls = entryPoints_->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, "event");
    EXPECT_EQ(calls[0].origin, "app");
    EXPECT_EQ(calls[0].name, "generate_click");
}

TEST_F(ConfiguredTest, HashedValuesAreCheckedAndHexDecoded) {
    std::string hex;
    Value::Data decoded;
    for (int index = 0; index < 32; ++index) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", index * 7);
        hex += pair;
        decoded.push_back(static_cast<std::uint8_t>(index * 7));
    }
    struct Row {
        const char* label;
        Value::Data input;
        Value::Data sent;
        bool warns;
    };
    const Value::Data exact(32, 0xAB);
    const Value::Data short31(31, 0xCD);
    const Row rows[] = {
        {"32 bytes", exact, exact, false},
        {"31 bytes", short31, short31, true},
        {"64 hex digits", Value::Data(hex.begin(), hex.end()), decoded, true},
        {"empty", {}, {}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::size_t before = controller_->userData().size();
        HLOAnalytics::initiateOnDeviceConversionMeasurementWithHashedEmailAddress(row.input);
        settle();
        const auto userData = controller_->userData();
        ASSERT_EQ(userData.size(), before + 1);
        EXPECT_EQ(userData.back(), (Value::Dictionary{{"hashed_email_address", Value(row.sent)}}));
        EXPECT_EQ(contains(codes(), 25056), row.warns);
    }
    HLOAnalytics::initiateOnDeviceConversionMeasurementWithEmailAddress("");
    settle();
    EXPECT_EQ(controller_->userData().back(), (Value::Dictionary{{"email_address", Value("")}}));
}

TEST_F(ConfiguredTest, SetConsentIsStoredAsThirdParty) {
    HLOAnalytics::setConsent({{"ad_storage", Value("denied")}, {"analytics_storage", Value("granted")}});
    EXPECT_EQ(MSRAnalytics::consentSettings3P(),
              (MSRConsentDictionary{{"ad_storage", Value("denied")}, {"analytics_storage", Value("granted")}}));
    EXPECT_EQ(MSRAnalytics::consentSettings1P(), std::nullopt);
    EXPECT_EQ(MSRAnalytics::persistedConsentSource(), 10);
}

TEST(HexDecodingTest, PairsGiveTheirLeadingHexDigits) {
    const auto decode = [](std::string_view text) {
        return HLOAnalytics::dataFromHexCharacters(
            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    };
    EXPECT_EQ(decode("00ffA0"), (std::vector<std::uint8_t>{0x00, 0xff, 0xa0}));
    EXPECT_EQ(decode("4gg4"), (std::vector<std::uint8_t>{0x04, 0x00}));
    EXPECT_EQ(decode("abc"), (std::vector<std::uint8_t>{0xab}));
    EXPECT_TRUE(decode("").empty());
}

// --- Suite and consent

std::string readSuiteWithPlistutil() {
    const auto path = platform::paths::settingsFolder() / (std::string(kMSRAnalyticsSuiteName) + ".plist");
    const auto xml = path.string() + ".xml";
    const std::string command = "plistutil -i '" + path.string() + "' -o '" + xml + "' -f xml";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return platform::testing::readFile(xml);
}

TEST_F(FacadeTest, ConsentIsPersistedUnderTheKeyOfItsSource) {
    struct Row {
        std::int64_t source;
        std::string_view key;
    };
    const Row rows[] = {{5, kMSRConsentSettingsTCFKey}, {10, kMSRConsentSettings3PKey}, {20, kMSRConsentSettings3PKey},
                        {21, kMSRConsentSettingsKey},   {30, kMSRConsentSettingsKey},   {40, kMSRConsentSettingsKey},
                        {100, kMSRConsentSettingsKey}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source);
        MSRAnalytics::clearConsent();
        MSRAnalytics::persistConsentSettings({{"ad_storage", Value("granted")}}, row.source);
        MSRAnalytics::suite().synchronize();
        const std::string xml = readSuiteWithPlistutil();
        EXPECT_NE(xml.find("<key>" + std::string(row.key) + "</key>"), std::string::npos) << xml;
        EXPECT_NE(xml.find("<key>consent_source</key>\n\t<integer>" + std::to_string(row.source) + "</integer>"),
                  std::string::npos)
            << xml;
        for (const std::string_view other :
             {kMSRConsentSettingsTCFKey, kMSRConsentSettings3PKey, kMSRConsentSettingsKey}) {
            if (other != row.key) {
                EXPECT_EQ(xml.find("<key>" + std::string(other) + "</key>"), std::string::npos) << other;
            }
        }
    }
}

TEST_F(FacadeTest, LoadingPersistedConsentCapsTheSourceByWhatIsStored) {
    EXPECT_EQ(MSRAnalytics::persistedConsentSource(), 100);
    MSRAnalytics::loadPersistedConsentSettings();
    EXPECT_EQ(MSRConsentSettingsUtil::consentSource(), 100);

    MSRAnalytics::suite().setObject(Value(MSRConsentDictionary{{"ad_storage", Value("denied")}}),
                                    kMSRConsentSettings3PKey);
    MSRAnalytics::suite().setObject(Value(30), kMSRConsentSourceKey);
    MSRAnalytics::loadPersistedConsentSettings();
    EXPECT_EQ(MSRConsentSettingsUtil::consentSource(), 20);
    EXPECT_TRUE(MSRConsentSettingsUtil::isAdStorageDenied());
}

TEST_F(FacadeTest, ResetRetryCountBelowOneRemovesTheKey) {
    EXPECT_EQ(MSRAnalytics::resetRetryCount(), 0);
    MSRAnalytics::setResetRetryCount(3);
    EXPECT_EQ(MSRAnalytics::resetRetryCount(), 3);
    MSRAnalytics::setResetRetryCount(0);
    EXPECT_EQ(MSRAnalytics::suite().objectForKey(kMSRResetRetryCountKey), std::nullopt);
}

TEST_F(FacadeTest, AFailedResetKeepsEveryKeyForTheNextStart) {
    controller_->resetSucceeds = false;
    start();
    MSRAnalytics::setResetRetryCount(1);
    MSRAnalytics::resetAnalyticsData();
    settle();
    EXPECT_TRUE(contains(codes(), 25037));
    EXPECT_EQ(MSRAnalytics::resetRetryCount(), 2);
    EXPECT_TRUE(MSRAnalytics::needFirstOpenAfterReset());
    EXPECT_EQ(MSRAnalytics::appInstanceIDAfterReset(), identity_->nextRandomID);
}

TEST_F(FacadeTest, ASuccessfulResetClearsItsBookkeeping) {
    start();
    MSRAnalytics::resetAnalyticsData();
    settle();
    EXPECT_EQ(MSRAnalytics::suite().objectForKey(kMSRResetRetryCountKey), std::nullopt);
    EXPECT_EQ(MSRAnalytics::appInstanceIDAfterReset(), std::nullopt);
    EXPECT_TRUE(MSRAnalytics::needFirstOpenAfterReset());
    EXPECT_EQ(MSRAnalytics::loadTimestamp(),
              std::chrono::duration<double>(clock_.now().time_since_epoch()).count() - 1.0);
}

TEST_F(FacadeTest, ResetWithoutANewIdentifierStops) {
    identity_->nextRandomID.clear();
    start();
    MSRAnalytics::resetAnalyticsData();
    settle();
    EXPECT_TRUE(contains(codes(), 25039));
    EXPECT_EQ(MSRAnalytics::resetRetryCount(), 1);
    const auto entries = journal_.entries();
    EXPECT_EQ(
        std::count_if(entries.begin(), entries.end(), [](const auto& entry) { return entry.starts_with("reset"); }), 0);
}

// --- Enablement and session

TEST_F(FacadeTest, WhileDeactivatedEnableChangesNothingAndDisableTurnsOff) {
    controller_->enabledAtStart = false;
    start(startOptions(true, true));
    MSRAnalytics::setAnalyticsEnabled(true, true);
    settle();
    EXPECT_FALSE(MSRAnalytics::isAnalyticsEnabled());
    EXPECT_EQ(MSRPersistedConfig::sharedInstance()->measurementEnabledState(), 1);  // written first, as ordered
    EXPECT_EQ(journal_.entries(), std::vector<std::string>{"created"});

    MSRAnalytics::setAnalyticsEnabled(false);
    settle();
    EXPECT_FALSE(MSRAnalytics::isAnalyticsEnabled());
    EXPECT_EQ(journal_.entries(), (std::vector<std::string>{"created", "setEnabled:0"}));
}

TEST_F(FacadeTest, TheConfigurationSwitchIsFollowedAndANonNumberLogged) {
    controller_->enabledAtStart = false;
    const int configuration = 0;
    MSRAnalytics::startWithAppID("1:123:ios:ab", "fa", startOptions(), &configuration);
    settle();
    const std::string name(kit::core_texts::kAnalyticsConfigurationSetEnabledNotification);
    auto& center = platform::NotificationCenter::defaultCenter();
    center.post(name, &configuration, Value(Value::Dictionary{{name, Value(true)}}));
    settle();
    EXPECT_TRUE(MSRAnalytics::isAnalyticsEnabled());
    codes();
    center.post(name, &configuration, Value(Value::Dictionary{{name, Value("yes")}}));
    center.post(name, &configuration, Value());
    settle();
    EXPECT_EQ(codes(), (std::vector<std::int64_t>{25000, 25000}));
    EXPECT_TRUE(MSRAnalytics::isAnalyticsEnabled());
}

TEST_F(FacadeTest, SessionIDBeforeStartAnswersUninitializedOnAPoolThread) {
    std::promise<std::tuple<std::int64_t, std::optional<platform::Error>, std::thread::id, bool>> answer;
    MSRAnalytics::sessionIDWithCompletion([&](std::int64_t sessionID, std::optional<platform::Error> error) {
        answer.set_value(
            {sessionID, std::move(error), std::this_thread::get_id(), MSRAnalytics::isCurrentQueueSerialQueue()});
    });
    auto [sessionID, error, thread, onSerialQueue] = answer.get_future().get();
    EXPECT_EQ(sessionID, 0);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 13);
    EXPECT_STREQ(error->what(), "Analytics uninitialized");
    EXPECT_NE(thread, std::this_thread::get_id());
    EXPECT_FALSE(onSerialQueue);

    MSRAnalytics::sessionIDWithCompletion(nullptr);
    EXPECT_TRUE(contains(codes(), 25050));
}

TEST_F(FacadeTest, TheSerialQueueKnowsItself) {
    EXPECT_FALSE(MSRAnalytics::isCurrentQueueSerialQueue());
    bool inside = false;
    MSRAnalytics::queue().sync([&] { inside = MSRAnalytics::isCurrentQueueSerialQueue(); });
    EXPECT_TRUE(inside);
}

}  // namespace
}  // namespace kit::measurement
