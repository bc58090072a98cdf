// Campaign links, the stored launch link, the tagging preview switch and
// the deferred deep link against a loopback server.

#include "FacadeTestSupport.h"
#include "LoopbackHttpServer.h"
#include "RoutingServices.h"

#include "kit/core/Endpoints.h"
#include "kit/core/Logger.h"
#include "kit/measurement/controller/MSRDeepLinks.h"
#include "kit/measurement/messages/MSRQueryString.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRScheduler.h"

#include <gtest/gtest.h>

namespace kit::measurement {
namespace {

using platform::Value;

constexpr std::string_view kDeviceID = "5E1F0A2B-0000-4000-8000-00000000C0DE";

class DeepLinksTest : public testing::FacadeTest {
protected:
    DeepLinksTest() {
        MeasurementServices::install(routing_);
        environment_.resettableDeviceID = [this]() -> std::optional<std::string> {
            std::lock_guard lock(mutex_);
            return deviceID_;
        };
        environment_.trackingConsentStatus = [this] {
            std::lock_guard lock(mutex_);
            return trackingStatus_;
        };
        environment_.appID = [] { return std::string("com.example.stub&forge"); };
        environment_.limitedAdTracking = [] { return std::optional<bool>(false); };
        environment_.isFAS = [] { return false; };
        environment_.appMeasurementLibraryVersion = [] { return std::int64_t{110900}; };
        environment_.infoDictionary = {{std::string(kMSRDeferredDeepLinkInfoKey), Value(true)}};
    }
    ~DeepLinksTest() override {
        deepLinks_.reset();
        scheduler_->workerQueue().sync([] {});
    }

    std::shared_ptr<MSRDeepLinks> deepLinks() {
        if (!deepLinks_) {
            MSRDeepLinks::Dependencies dependencies;
            dependencies.controller = controller_;
            dependencies.scheduler = scheduler_;
            dependencies.persistedConfig = MSRPersistedConfig::sharedInstance();
            dependencies.userDefaults = MSRUserDefaults::sharedUserDefaults();
            dependencies.clock = &clock_;
            dependencies.environment = environment_;
            deepLinks_ = MSRDeepLinks::create(std::move(dependencies));
        }
        return deepLinks_;
    }
    void setIdentity(std::optional<std::string> deviceID, std::int64_t trackingStatus) {
        std::lock_guard lock(mutex_);
        deviceID_ = std::move(deviceID);
        trackingStatus_ = trackingStatus;
    }
    // Runs on the worker queue and waits for it.
    void onWorkerQueue(const std::function<void()>& block) {
        scheduler_->dispatchSyncOnWorkerQueueBlockID("test", block);
    }
    std::vector<std::int64_t> codes() { return routing_->drainCodes(); }

    std::shared_ptr<testing::RoutingServices> routing_ = std::make_shared<testing::RoutingServices>();
    std::shared_ptr<MSRScheduler> scheduler_ = std::make_shared<MSRScheduler>(kMSRWorkerQueueLabel);
    MSRDeepLinkEnvironment environment_;
    std::shared_ptr<MSRDeepLinks> deepLinks_;
    std::mutex mutex_;
    std::optional<std::string> deviceID_ = std::string(kDeviceID);  // guarded by mutex_
    std::int64_t trackingStatus_ = 3;                               // guarded by mutex_
};

// --- Campaign links

struct CampaignRow {
    const char* label;
    std::string url;
    bool allowClickIDs;
    Value::Dictionary extras;
    std::optional<std::string> eventName;  // none: no event
    Value::Dictionary eventParameters;     // besides "_o"
    std::optional<std::int64_t> code;      // a monitor code that must appear
};

class CampaignURLTest : public DeepLinksTest, public ::testing::WithParamInterface<CampaignRow> {};

TEST_P(CampaignURLTest, ALinkBecomesItsCampaignEvent) {
    const CampaignRow& row = GetParam();
    if (!row.allowClickIDs) {
        setIdentity(std::nullopt, 2);
    }
    const std::string url = row.url;
    const Value::Dictionary extras = row.extras;
    onWorkerQueue([&] { deepLinks()->handleOpenURLOnWorkerQueue(url, std::nullopt, 5000, extras); });

    const auto events = controller_->internalEvents();
    if (!row.eventName) {
        EXPECT_TRUE(events.empty());
    } else {
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].name(), *row.eventName);
        EXPECT_EQ(events[0].origin(), "auto");
        Value::Dictionary parameters;
        for (const auto& [key, value] : events[0].parameters()) {
            if (key != "_o") {
                parameters.emplace(key, value.plainValue());
            }
        }
        EXPECT_EQ(parameters, row.eventParameters);
    }
    if (row.code) {
        const auto logged = codes();
        EXPECT_NE(std::find(logged.begin(), logged.end(), *row.code), logged.end());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, CampaignURLTest,
    ::testing::Values(
        CampaignRow{"sourceAndMedium",
                    "stubforge://open?utm_source=mail&utm_medium=email",
                    true,
                    {},
                    "_cmp",
                    {{"source", Value("mail")}, {"medium", Value("email")}},
                    std::nullopt},
        CampaignRow{"cp1Alone", "stubforge://open?cp1=x", true, {}, std::nullopt, {}, 23001},
        CampaignRow{"anidAlone", "stubforge://open?anid=x", true, {}, std::nullopt, {}, 23001},
        CampaignRow{"noQuery", "stubforge://open", true, {}, std::nullopt, {}, 23000},
        CampaignRow{"unknownKeysDropped",
                    "stubforge://open?utm_campaign=spring&colour=red",
                    true,
                    {},
                    "_cmp",
                    {{"campaign", Value("spring")}},
                    std::nullopt},
        CampaignRow{"emptyValuesDropped",
                    "stubforge://open?utm_source=mail&utm_term=",
                    true,
                    {},
                    "_cmp",
                    {{"source", Value("mail")}},
                    std::nullopt},
        CampaignRow{"clickIDsAllowed",
                    "stubforge://open?lclid=L&pclid=P&srsltid=S&lbraid=B",
                    true,
                    {},
                    "_cmp",
                    {{"lclid", Value("L")}, {"pclid", Value("P")}, {"srsltid", Value("S")}, {"lbraid", Value("B")}},
                    std::nullopt},
        CampaignRow{"clickIDsDropped",
                    "stubforge://open?lclid=L&pclid=P&srsltid=S&lbraid=B",
                    false,
                    {},
                    "_cmp",
                    {{"lbraid", Value("B")}},
                    std::nullopt},
        CampaignRow{"carriedOver",
                    "stubforge://open?utm_source=mail",
                    true,
                    {{"_cc", Value(1)}, {"cis", Value("ddp")}, {"skipped", Value(Value::Array{})}},
                    "_cmpx",
                    {{"source", Value("mail")}, {"_cis", Value("ddp")}, {"_cc", Value(1)}},
                    std::nullopt},
        CampaignRow{"queryWinsOverExtras",
                    "stubforge://open?utm_source=mail",
                    true,
                    {{"utm_source", Value("extra")}, {"_cc", Value(2)}},
                    "_cmp",
                    {{"source", Value("mail")}, {"_cc", Value(2)}},
                    std::nullopt}),
    [](const auto& test) { return std::string(test.param.label); });

TEST_F(DeepLinksTest, LbraidAlsoBecomesAUserPropertyAtTheEventTime) {
    setIdentity(std::nullopt, 2);
    onWorkerQueue([&] { deepLinks()->handleOpenURLOnWorkerQueue("x://y?lbraid=B&lclid=L", std::nullopt, 5000, {}); });
    const auto attributes = controller_->attributes();
    ASSERT_EQ(attributes.size(), 1u);
    EXPECT_EQ(attributes[0].first, "database");
    EXPECT_EQ(attributes[0].second.name(), "_lbraid");
    EXPECT_EQ(attributes[0].second.origin(), "auto");
    EXPECT_EQ(attributes[0].second.value(), MSRValue::initWithString("B"));
    EXPECT_EQ(attributes[0].second.lastSetTimestamp(), 5000);
}

TEST_F(DeepLinksTest, TheEventTimeIsNeverBeforeFirstOpen) {
    MSRPersistedConfig::sharedInstance()->setFirstOpenTimestampMilliseconds(7'000'000);
    onWorkerQueue([&] {
        deepLinks()->handleOpenURLOnWorkerQueue("x://y?utm_source=a", std::int64_t{1234}, 5000, {});
        deepLinks()->handleOpenURLOnWorkerQueue("x://y?utm_source=b", std::nullopt, 9000, {});
    });
    const auto events = controller_->internalEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].timestamp(), 7000);
    EXPECT_EQ(events[0].parameters().at("click_timestamp"), MSRValue::initWithInt64(1234));
    EXPECT_EQ(events[1].timestamp(), 9000);
}

TEST_F(DeepLinksTest, LinksAfterLaunchAreRefusedOnTheWorkerQueueAndHandledFromElsewhere) {
    deepLinks()->handleNonFirstOpenEventURL("x://y?utm_source=a", 5000);
    deepLinks()->handleNonFirstOpenEventURL("", 5000);
    onWorkerQueue([&] { deepLinks()->handleNonFirstOpenEventURL("x://y?utm_source=b", 5000); });
    onWorkerQueue([] {});
    const auto events = controller_->internalEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].parameters().at("source"), MSRValue::initWithString("a"));
    const auto logged = codes();
    EXPECT_NE(std::find(logged.begin(), logged.end(), 23163), logged.end());
}

// --- Tagging preview and stored links

struct TaggingRow {
    const char* label;
    std::string url;
    std::optional<std::string> previewKey;  // the header afterwards; none: no headers
};

class TaggingSwitchTest : public DeepLinksTest, public ::testing::WithParamInterface<TaggingRow> {};

TEST_P(TaggingSwitchTest, TheLaunchURLSetsThePreviewHeaders) {
    // Every row starts from headers set by an earlier link.
    MSRDeepLinks::handleSSTDebugModeWithURL("stubforge://open?sst_debug_enable=1&sst_preview_key=earlier");
    MSRDeepLinks::handleSSTDebugModeWithURL(GetParam().url);
    std::optional<Value::Dictionary> expected;
    if (GetParam().previewKey) {
        expected = Value::Dictionary{{"X-Sst-Server-Preview", Value(*GetParam().previewKey)}};
    }
    EXPECT_EQ(MSRDeepLinks::SSTPreviewHeaders(), expected);
    MSRDeepLinks::installFacts();
    EXPECT_EQ(currentControllerFacts().SSTPreviewHeaders(), expected);
    resetControllerFacts();
}

INSTANTIATE_TEST_SUITE_P(
    Links, TaggingSwitchTest,
    ::testing::Values(TaggingRow{"keyGiven", "x://y?sst_debug_enable=1&sst_preview_key=abc%20def", "abc def"},
                      TaggingRow{"onWithoutKey", "x://y?sst_debug_enable=1", std::nullopt},
                      TaggingRow{"off", "x://y?sst_debug_enable=0&sst_preview_key=abc", std::nullopt},
                      TaggingRow{"otherValue", "x://y?sst_debug_enable=yes&sst_preview_key=abc", "earlier"},
                      TaggingRow{"noSwitch", "x://y?sst_preview_key=abc", "earlier"},
                      TaggingRow{"noQuery", "x://y", "earlier"}, TaggingRow{"notAURL", "not a url", "earlier"},
                      TaggingRow{"lineBreakInKey", "x://y?sst_debug_enable=1&sst_preview_key=a%0D%0AX-Admin:%201",
                                 std::nullopt},
                      TaggingRow{"nulInKey", "x://y?sst_debug_enable=1&sst_preview_key=a%00b", std::nullopt}),
    [](const auto& test) { return std::string(test.param.label); });

TEST_F(DeepLinksTest, TheStoredLinkExpiresEitherWay) {
    auto defaults = MSRUserDefaults::sharedUserDefaults();
    EXPECT_FALSE(MSRHasStoredDeepLink(*defaults));
    EXPECT_FALSE(MSRIsStoredDeepLinkExpired(*defaults, 100, clock_));  // nothing stored

    MSRStoreDeepLink(*defaults, "x://y?utm_source=a", clock_);
    EXPECT_TRUE(MSRHasStoredDeepLink(*defaults));
    const auto stored = clock_.now();
    const struct {
        std::chrono::seconds offset;
        bool expired;
    } rows[] = {{std::chrono::seconds(100), false},
                {std::chrono::seconds(101), true},
                {std::chrono::seconds(-100), false},
                {std::chrono::seconds(-101), true}};
    for (const auto& row : rows) {
        const platform::FixedClock at(stored + row.offset);
        EXPECT_EQ(MSRIsStoredDeepLinkExpired(*defaults, 100, at), row.expired) << row.offset.count();
    }

    const auto config = MSRRemoteConfig::defaultInstance();
    EXPECT_FALSE(MSRClearStoredDeepLinkIfExpired(*defaults, *config,
                                                 platform::FixedClock(stored + std::chrono::seconds(604800))));
    EXPECT_TRUE(MSRHasStoredDeepLink(*defaults));
    EXPECT_TRUE(MSRClearStoredDeepLinkIfExpired(*defaults, *config,
                                                platform::FixedClock(stored - std::chrono::seconds(604801))));
    EXPECT_FALSE(MSRHasStoredDeepLink(*defaults));
}

TEST_F(DeepLinksTest, PreviousHourStart) {
    EXPECT_EQ(MSRPreviousHourStartMilliseconds(7200001), 3600000);
    EXPECT_EQ(MSRPreviousHourStartMilliseconds(7200000), 3600000);
    EXPECT_EQ(MSRPreviousHourStartMilliseconds(3599999), -3600000);
}

TEST_F(DeepLinksTest, TheLaunchLinkIsStoredAndAnActivityWinsOverTheURL) {
    auto defaults = MSRUserDefaults::sharedUserDefaults();
    const Value::Dictionary withURL{
        {std::string(kMSRLaunchURLKey), Value("stubforge://open?utm_source=a&sst_debug_enable=1&sst_preview_key=k")}};
    MSRDeepLinks::handleStoredURLAfterAppLaunchWithNotification(withURL, *defaults, clock_);
    EXPECT_EQ(defaults->stringForKey(kMSRStoredDeepLinkKey),
              "stubforge://open?utm_source=a&sst_debug_enable=1&sst_preview_key=k");
    EXPECT_EQ(MSRDeepLinks::SSTPreviewHeaders(), (Value::Dictionary{{"X-Sst-Server-Preview", Value("k")}}));

    Value::Dictionary both = withURL;
    both[std::string(kMSRLaunchUserActivityDictionaryKey)] = Value(
        Value::Dictionary{{std::string(kMSRLaunchUserActivityKey),
                           Value(Value::Dictionary{{"activityType", Value("NSUserActivityTypeBrowsingWeb")},
                                                   {"webpageURL", Value("https://example.com/p?utm_source=web")}})}});
    MSRDeepLinks::handleStoredURLAfterAppLaunchWithNotification(both, *defaults, clock_);
    EXPECT_EQ(defaults->stringForKey(kMSRStoredDeepLinkKey), "https://example.com/p?utm_source=web");
}

// --- The deferred deep link

class DeferredDeepLinkTest : public DeepLinksTest {
protected:
    DeferredDeepLinkTest() {
        kit::Endpoints endpoints;
        endpoints.deepLinkHost = server_.baseUrl();
        kit::Endpoints::setCurrent(endpoints);
    }

    // One request through the gate; waits for its reply to be handled.
    void launch() {
        auto links = deepLinks();
        const auto replies = [this] {
            const auto entries = journal_.entries();
            return std::count(entries.begin(), entries.end(), "pending:0");
        };
        const auto before = replies();
        bool sent = false;
        onWorkerQueue([&] {
            if (links->shouldAllowRequestDeferredDeepLink()) {
                links->requestDeferredDeepLink();
                sent = true;
            }
        });
        if (sent) {
            ASSERT_TRUE(testing::eventually([&] { return replies() > before; }));
            onWorkerQueue([] {});
            mainQueue_->sync([] {});
        }
    }
    std::optional<Value> retrievalComplete() {
        return MSRPersistedConfig::sharedInstance()->deferredDeepLinkRetrievalComplete();
    }

    platform::testing::LoopbackHttpServer server_;
};

TEST_F(DeferredDeepLinkTest, TheQueryCarriesTheFactsInOrderWithEachValueEncoded) {
    server_.script(std::string(kMSRDeferredDeepLinkPath), {{200, {}, "{}"}});
    launch();
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    std::vector<std::pair<std::string, std::string>> expected = {{"sdk_version", "110900"},
                                                                 {"rdid", std::string(kDeviceID)},
                                                                 {"id_type", "idfa"},
                                                                 {"bundleid", "com.example.stub&forge"},
                                                                 {"retry", "0"}};
    if (const std::string signals = MSRConsentSettingsUtil::consentSignals(); !signals.empty()) {
        expected.emplace_back("gcs", signals);
    }
    expected.emplace_back("dma", MSRRemoteConfig::defaultInstance()->isDMARegion() ? "1" : "0");
    EXPECT_EQ(requests[0].query, msr_queryString(expected));
    EXPECT_EQ(msr_dictionaryWithHttpArgumentsString(requests[0].query).at("bundleid"), "com.example.stub&forge");
    EXPECT_EQ(retrievalComplete(), Value(std::int64_t{0}));
}

TEST_F(DeferredDeepLinkTest, ALinkInTheReplyIsOfferedToTheAppWhichCannotTakeIt) {
    server_.script(std::string(kMSRDeferredDeepLinkPath),
                   {{200, {}, R"({"deeplink":"stubforge://promo?utm_source=ddl","lclid":"L1","timestamp":12})"}});
    launch();
    const auto logged = codes();
    const auto success = std::find(logged.begin(), logged.end(), 23200);
    ASSERT_NE(success, logged.end());
    EXPECT_NE(std::find(success, logged.end(), 23204), logged.end());
    EXPECT_EQ(retrievalComplete(), Value(std::int64_t{0}));
    // A link was handed over: no fresh upload schedule.
    const auto entries = journal_.entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "updateSchedule"), 0);
}

TEST_F(DeferredDeepLinkTest, NotModifiedWithoutABodyCompletesWithoutALink) {
    server_.script(std::string(kMSRDeferredDeepLinkPath), {{304, {}, ""}});
    launch();
    EXPECT_EQ(retrievalComplete(), Value(std::int64_t{0}));
    const auto entries = journal_.entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "updateSchedule"), 1);
    // Complete: the next launch asks nothing.
    launch();
    EXPECT_EQ(server_.requests().size(), 1u);
}

TEST_F(DeferredDeepLinkTest, FailuresCountUpUntilTheLimitEndsTheRetries) {
    server_.script(std::string(kMSRDeferredDeepLinkPath), {{500, {}, "busy"}});
    for (int attempt = 1; attempt <= 5; ++attempt) {
        launch();
        EXPECT_EQ(MSRPersistedConfig::sharedInstance()->deferredDeepLinkRetryCount(), attempt);
        EXPECT_FALSE(retrievalComplete());
    }
    launch();  // the sixth start
    EXPECT_EQ(server_.requests().size(), 5u);
    EXPECT_EQ(retrievalComplete(), Value(std::int64_t{1}));
    // Each request carried its retry count.
    EXPECT_EQ(msr_dictionaryWithHttpArgumentsString(server_.requests()[4].query).at("retry"), "4");
}

// Without a server: a short-lived loopback server may miss its own stop.
TEST_F(DeepLinksTest, WithoutADeviceIDOrTheInfoKeyTheGateStaysClosed) {
    environment_.limitedAdTracking = [] { return std::optional<bool>(); };
    bool allowed = true;
    onWorkerQueue([&] { allowed = deepLinks()->shouldAllowRequestDeferredDeepLink(); });
    EXPECT_FALSE(allowed);
    deepLinks_.reset();
    environment_.limitedAdTracking = [] { return std::optional<bool>(false); };
    environment_.infoDictionary.clear();
    onWorkerQueue([&] { allowed = deepLinks()->shouldAllowRequestDeferredDeepLink(); });
    EXPECT_FALSE(allowed);
    EXPECT_FALSE(MSRPersistedConfig::sharedInstance()->deferredDeepLinkRetrievalComplete());
    const auto logged = codes();
    EXPECT_NE(std::find(logged.begin(), logged.end(), 23196), logged.end());
}

TEST_F(DeferredDeepLinkTest, AReplyWithoutClickIDsHasNoEmptyCampaignExtras) {
    const struct {
        Value::Dictionary reply;
        Value::Dictionary extras;
    } rows[] = {
        {{{"deeplink", Value("x://y")}}, {{"cis", Value("ddp")}}},
        {{{"deeplink", Value("x://y")}, {"lbraid", Value("B")}}, {{"cis", Value("ddp")}, {"lbraid", Value("B")}}},
        {{{"deeplink", Value("x://y")}, {"lclid", Value("L")}, {"lbraid", Value("")}},
         {{"cis", Value("ddp")}, {"lclid", Value("L")}}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(MSRDeepLinks::campaignExtrasFromDeferredDeepLinkInfo(row.reply), row.extras);
    }
    server_.script(std::string(kMSRDeferredDeepLinkPath), {{200, {}, R"({"deeplink":"stubforge://promo"})"}});
    launch();
    const auto logged = codes();
    EXPECT_NE(std::find(logged.begin(), logged.end(), 23204), logged.end());
}

TEST_F(DeepLinksTest, RepliesThatAreNotLinksGiveNothing) {
    const std::string rows[] = {"", "not json", "[]", "{}", R"({"deeplink":5})", R"({"deeplink":"no scheme"})"};
    for (const std::string& body : rows) {
        const std::vector<std::uint8_t> data(body.begin(), body.end());
        EXPECT_FALSE(MSRDeepLinks::deepLinkInfoFromResponseData(data)) << body;
    }
    const std::string good = R"({"deeplink":"x://y","timestamp":3})";
    EXPECT_TRUE(MSRDeepLinks::deepLinkInfoFromResponseData(std::vector<std::uint8_t>(good.begin(), good.end())));
}

}  // namespace
}  // namespace kit::measurement
