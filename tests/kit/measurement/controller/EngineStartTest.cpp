#include "EventRoadTestSupport.h"
#include "kit/measurement/controller/HLOAnalyticsConnector.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRReportersController.h"
#include "kit/measurement/controller/MSRSearchAdReporter.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/support/MSRDatabase.h"

#include <algorithm>

namespace kit::measurement::testing {
namespace {

using EngineStartTest = EventRoadTest;

// Whether `expected` appears in `codes` in this order (other codes between).
bool inOrder(const std::vector<std::int64_t>& codes, const std::vector<std::int64_t>& expected) {
    auto next = codes.begin();
    for (const std::int64_t code : expected) {
        next = std::find(next, codes.end(), code);
        if (next == codes.end()) {
            return false;
        }
        ++next;
    }
    return true;
}

TEST_F(EngineStartTest, EnabledControllerOpensItsStore) {
    auto& controller = makeController();
    EXPECT_TRUE(controller.isEnabled());
    EXPECT_TRUE(controller.didInitializeComponents());
    ASSERT_NE(controller.database(), nullptr);
    EXPECT_TRUE(std::filesystem::exists(controller.database()->databasePath()));
}

TEST_F(EngineStartTest, EmptyAppIDMakesNoControllerAndLaterCallsDoNothing) {
    EXPECT_EQ(MSRMeasurement::initializeSharedInstance({.appID = "", .safelistedEvents = {}}), nullptr);
    EXPECT_EQ(MSRMeasurement::initializeSharedInstance({.appID = std::string(kAppID), .safelistedEvents = {}}),
              nullptr);
    EXPECT_FALSE(MSRMeasurement::hasSharedInstance());
    EXPECT_EQ(MSRMeasurement::initWithAppID({.appID = "", .safelistedEvents = {}}), nullptr);
    const auto logged = codes();
    EXPECT_TRUE(contains(logged, 23170));
    EXPECT_FALSE(contains(logged, 23007));  // no controller was begun
}

// Whether collection starts on: the start switches, then the persisted state.
struct EnablementCase {
    const char* label;
    bool switchOn;
    bool deactivated;
    std::int64_t persistedState;
    bool enabled;
};

TEST_F(EngineStartTest, TheStartSwitchesAndThePersistedStateDecideCollection) {
    const EnablementCase cases[] = {
        {"switch on", true, false, 0, true},
        {"switch off", false, false, 0, false},
        {"persisted 1 beats the switch off", false, false, 1, true},
        {"persisted 2 beats the switch on", true, false, 2, false},
        {"deactivated beats persisted 1", true, true, 1, false},
    };
    for (const EnablementCase& row : cases) {
        SCOPED_TRACE(row.label);
        MSRPersistedConfig::sharedInstance()->setMeasurementEnabledState(row.persistedState);
        auto& controller = makeController({.appID = std::string(kAppID),
                                           .isAnalyticsCollectionEnabled = row.switchOn,
                                           .isAnalyticsCollectionDeactivated = row.deactivated,
                                           .safelistedEvents = {}});
        EXPECT_EQ(controller.isEnabled(), row.enabled);
        EXPECT_EQ(controller.wasEnabledDuringInitialization(), row.enabled);
        EXPECT_EQ(controller.didInitializeComponents(), row.enabled);
    }
}

TEST_F(EngineStartTest, WhileDeactivatedEnablingOnlyLogs) {
    auto& controller = makeController({.appID = std::string(kAppID),
                                       .isAnalyticsCollectionEnabled = true,
                                       .isAnalyticsCollectionDeactivated = true,
                                       .safelistedEvents = {}});
    codes();
    controller.setEnabled(true);
    settle();
    EXPECT_EQ(codes(), std::vector<std::int64_t>{23206});
    EXPECT_FALSE(controller.isEnabled());
    EXPECT_FALSE(controller.didInitializeComponents());
}

TEST_F(EngineStartTest, AStoreThatCannotOpenTwiceDisablesCollectionUntilTheNextEnable) {
    const std::filesystem::path store = MSRMeasurementFilePath(environment().databaseName);
    std::filesystem::create_directories(store / "in-the-way");
    setFirstStart(true);  // no store can be marked before the start
    auto& controller = makeController();
    settle();  // the disable the failure asked for
    const auto logged = codes();
    EXPECT_TRUE(contains(logged, 23011));
    EXPECT_FALSE(contains(logged, 23016));
    EXPECT_FALSE(controller.isEnabled());
    EXPECT_FALSE(controller.didInitializeComponents());
    EXPECT_EQ(controller.database(), nullptr);

    std::filesystem::remove_all(store);
    controller.setEnabled(true);
    settle();
    EXPECT_TRUE(controller.isEnabled());
    EXPECT_TRUE(controller.didInitializeComponents());
    EXPECT_TRUE(contains(codes(), 23012));
}

TEST_F(EngineStartTest, AResetRetryCountOfOneToNineForcesAWipe) {
    struct Case {
        std::int64_t retries;
        bool forced;
    };
    for (const Case row : {Case{0, false}, Case{1, true}, Case{5, true}, Case{9, true}, Case{10, false}}) {
        SCOPED_TRACE(row.retries);
        MSRAnalytics::setResetRetryCount(row.retries);
        makeController();
        const auto logged = codes();
        const std::int64_t after = MSRAnalytics::resetRetryCount();
        if (row.forced) {
            // Tried once more: a wipe that worked clears the count, one
            // that failed leaves it raised for the next start.
            EXPECT_TRUE((after == 0 && !contains(logged, 23208)) ||
                        (after == row.retries + 1 && contains(logged, 23208)))
                << "count " << after;
        } else {
            EXPECT_EQ(after, row.retries);
            EXPECT_FALSE(contains(logged, 23208));
        }
    }
}

TEST_F(EngineStartTest, TheReportersFollowEnablement) {
    auto& controller = makeController();
    ASSERT_NE(controller.searchAdReporter(), nullptr);
    ASSERT_NE(controller.sessionReporter(), nullptr);
    ASSERT_NE(controller.tcfClient(), nullptr);
    EXPECT_TRUE(controller.searchAdReporter()->isSearchAdReporterEnabled());
    EXPECT_TRUE(controller.sessionReporter()->isReportingEnabled());
    controller.setEnabled(false);
    settle();
    EXPECT_FALSE(controller.isEnabled());
    EXPECT_FALSE(controller.searchAdReporter()->isSearchAdReporterEnabled());
    EXPECT_FALSE(controller.sessionReporter()->isReportingEnabled());
    EXPECT_TRUE(contains(codes(), 23013));
    controller.setEnabled(true);
    settle();
    EXPECT_TRUE(controller.searchAdReporter()->isSearchAdReporterEnabled());
    EXPECT_TRUE(controller.sessionReporter()->isReportingEnabled());
}

TEST_F(EngineStartTest, CodesComeInTheStartOrder) {
    makeController();
    const auto logged = codes();
    EXPECT_TRUE(inOrder(logged, {23007, 23008, 23009, 23207, 23010, 23016, 23012}));
    EXPECT_FALSE(contains(logged, 23011));
}

TEST_F(EngineStartTest, WithoutEndpointsThereIsNoClientAndEventsAreStillStored) {
    // Empty endpoints: the controller makes no client itself.
    auto environment = MSRMeasurementEnvironment{};
    environment.clock = &clock();
    auto controller =
        MSRMeasurement::initWithAppID({.appID = std::string(kAppID), .safelistedEvents = {}}, std::move(environment));
    ASSERT_NE(controller, nullptr);
    for (int index = 0; index < 100; ++index) {
        MSREventRequest made = request("generate_click", {{"file_type", platform::Value("pdf")}});
        controller->logEventWithOrigin(made);
    }
    controller->scheduler().dispatchSyncOnWorkerQueueBlockID("test", [] {});
    EXPECT_EQ(controller->network(), nullptr);
    EXPECT_TRUE(controller->isEnabled());
    const auto logged = codes();
    EXPECT_TRUE(contains(logged, 23010));
    EXPECT_FALSE(contains(logged, 23219));
    EXPECT_EQ(sqliteRows(controller->database()->databasePath(),
                         "SELECT COUNT(*) FROM raw_events WHERE name = 'generate_click'"),
              std::vector<std::string>{"100"});
    controller->scheduler().dispatchSyncOnWorkerQueueBlockID("test", [] {});
}

TEST_F(EngineStartTest, TheSharedInstanceInstallsItsServices) {
    auto environment = MSRMeasurementEnvironment{};
    environment.clock = &clock();
    environment.network = std::shared_ptr<LMUNetwork>();
    const auto controller =
        MSRMeasurement::initializeSharedInstance({.appID = std::string(kAppID), .safelistedEvents = {}}, environment);
    ASSERT_NE(controller, nullptr);
    controller->scheduler().dispatchSyncOnWorkerQueueBlockID("test", [] {});
    EXPECT_TRUE(MSRMeasurement::hasSharedInstance());

    MeasurementServices& services = MeasurementServices::current();
    EXPECT_EQ(services.database(), controller->database());
    EXPECT_EQ(services.scheduler(), &controller->scheduler());
    EXPECT_TRUE(services.isEnabled());
    EXPECT_EQ(services.appMeasurementLibraryVersion(), 110900);

    const Bytes bytes = protocEncode("MeasurementConfig",
                                     "app_id: \"" + std::string(kAppID) + "\" " +
                                         setting("measurement.upload.max_public_event_params", "30") +
                                         setting("measurement.store.max_stored_events_per_app", "5000"),
                                     root());
    auto config = MSRPBMeasurementConfig::initWithBuffer(bytes);
    ASSERT_TRUE(config);
    controller->scheduler().dispatchSyncOnWorkerQueueBlockID(
        "test", [&] { ASSERT_TRUE(controller->remoteConfigInstance()->updateMeasurementConfig(*config)); });
    EXPECT_EQ(services.remoteConfig().maxPublicEventParams, 30);
    EXPECT_EQ(services.remoteConfig().maxEventsStored, 5000);
    EXPECT_EQ(MSRMeasurement::remoteConfig(), controller->remoteConfigInstance());

    const MSRControllerFacts facts = currentControllerFacts();
    EXPECT_TRUE(facts.hasSharedInstance());
    EXPECT_TRUE(facts.isEnabled());
    EXPECT_EQ(MSRReportersController::current()->sessionReporter(), controller->sessionReporter());
    EXPECT_TRUE(MSRReportersController::current()->didInitializeComponents());

    // The write entry reaches the pipeline on the worker queue.
    auto event = MSREvent::initWithOrigin("app", true, "written_directly", now(), 0, {});
    ASSERT_TRUE(event);
    controller->scheduler().dispatchSyncOnWorkerQueueBlockID("test", [&] { services.writeEventOnWorkerQueue(*event); });
    EXPECT_EQ(sqliteRows(controller->database()->databasePath(),
                         "SELECT name FROM raw_events WHERE name = 'written_directly'"),
              std::vector<std::string>{"written_directly"});

    // Conditional user properties from the connector land in the engine's store.
    HLOAnalyticsConnector connector;
    connector.setConditionalUserProperty({{"name", platform::Value("plan")},
                                          {"origin", platform::Value("fcm")},
                                          {"value", platform::Value("gold")},
                                          {"creationTimestamp", platform::Value(now())},
                                          {"triggerTimeout", platform::Value(3600.0)},
                                          {"timeToLive", platform::Value(7200.0)}});
    controller->scheduler().dispatchSyncOnWorkerQueueBlockID("test", [] {});
    const auto properties = connector.conditionalUserProperties("fcm", "pl");
    ASSERT_EQ(properties.size(), 1u);
    EXPECT_EQ(properties[0].at("value"), platform::Value("gold"));

    controller->scheduler().dispatchSyncOnWorkerQueueBlockID("test", [] {});
    resetControllerFacts();
}

}  // namespace
}  // namespace kit::measurement::testing
