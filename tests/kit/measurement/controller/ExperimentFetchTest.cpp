// The experiment component against a loopback experiment service: the
// request, the reply's way into the store and the manager, activation, flag
// order and the retry schedule.

#include "ExperimentTestSupport.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

namespace kit::measurement::testing {
namespace {

constexpr std::string_view kSDK = "app_measurement";

TEST_F(ExperimentTest, FirstStartPostsAfterTenSecondsAndTheReplyWaitsForActivation) {
    server_.script("/sdk-exp", {{200, {}, gzippedResponse(kThreeExperiments)}});
    diversionKey_ = nullptr;  // the identity's
    startManager();
    auto client = registerMeasurement({{"color", "green"}, {"size", 1}, {"shape", "round"}});
    const auto identity = MSRIdentity::sharedInstance();
    ASSERT_NE(identity, nullptr);
    const std::string diversionKey = identity->diversionKey();
    EXPECT_EQ(diversionKey.size(), 5u);

    // The store is made at once, under its own name.
    EXPECT_TRUE(std::filesystem::exists(databasePath()));
    ASSERT_EQ(manager_->taskManager().scheduledFetchTime(), kStart + 10s);
    clock_.advance(9s);
    EXPECT_TRUE(server_.requests().empty());
    clock_.advance(1s);
    ASSERT_TRUE(fetches_.waitFor(1));
    settle();

    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/sdk-exp");
    EXPECT_EQ(requests[0].header("content-encoding"), "gzip");
    const std::string request =
        protocDecode("ExperimentRequest", Bytes(requests[0].body.begin(), requests[0].body.end()), root());
    for (const char* expected :
         {"platform: \"macos\"", "language: \"en-gb\"", "bundle_id: \"com.stubforge.tests\"",
          "is_from_app_store: false", "sdk_version: 10000", "name: \"app_measurement\"", "version: 110900"}) {
        EXPECT_NE(request.find(expected), std::string::npos) << expected << " in\n" << request;
    }
    EXPECT_NE(request.find("diversion_key: \"" + diversionKey + "-app_measurement\""), std::string::npos) << request;

    // Pending, kept for the SDK's own activation, and the SDK is told.
    EXPECT_EQ(sqliteRows(databasePath(), "SELECT sdk_name, manually_activated FROM pending_snapshot_table"),
              std::vector<std::string>{"app_measurement|1"});
    EXPECT_EQ(experimentIDsIn(storedSnapshotText(databasePath(), kMSREPendingSnapshotTable, kSDK, root())),
              (std::vector<int>{0, 7, 9}));
    {
        std::lock_guard lock(observer_->mutex_);
        EXPECT_EQ(observer_->newSnapshots, 1);
    }
    EXPECT_TRUE(manager_->experimentIDs().empty());
    EXPECT_EQ(client->objectForKeyedSubscript("color"), platform::Value("green"));
    EXPECT_TRUE(suiteHas(kMSRExperimentFetchSuccessTimestampKey));
    EXPECT_EQ(manager_->taskManager().scheduledFetchTime(), kStart + 10s + 4h);

    ASSERT_TRUE(client->activateLatestSnapshot());
    settle();
    ASSERT_TRUE(manager_->launchedSnapshot(kSDK));
    ASSERT_TRUE(manager_->activatedSnapshot(kSDK));
    std::vector<std::int64_t> launched;
    const auto launchedSnapshot = manager_->launchedSnapshot(kSDK);
    for (const auto& entry : launchedSnapshot->experimentsByExperimentID()) {
        launched.push_back(entry.first);
    }
    EXPECT_EQ(launched, std::vector<std::int64_t>{0});
    EXPECT_EQ(manager_->experimentIDs(), (std::vector<std::int64_t>{7, 9}));
    EXPECT_FALSE(manager_->pendingSnapshot(kSDK));
    EXPECT_EQ(experimentIDsIn(storedSnapshotText(databasePath(), kMSREActivatedSnapshotTable, kSDK, root())),
              (std::vector<int>{7, 9}));
    EXPECT_EQ(experimentIDsIn(storedSnapshotText(databasePath(), kMSRELaunchedSnapshotTable, kSDK, root())),
              (std::vector<int>{0}));
    EXPECT_TRUE(sqliteRows(databasePath(), "SELECT * FROM pending_snapshot_table").empty());

    // Activated first, then launched, then the defaults.
    EXPECT_EQ(client->objectForKeyedSubscript("color"), platform::Value("blue"));
    EXPECT_EQ(client->objectForKeyedSubscript("speed"), platform::Value(1.5));
    EXPECT_EQ(client->objectForKeyedSubscript("size"), platform::Value(std::int64_t{3}));
    EXPECT_EQ(client->objectForKeyedSubscript("shape"), platform::Value("round"));
    EXPECT_FALSE(client->objectForKeyedSubscript("missing"));

    // A second activation has nothing to do and is no failure.
    EXPECT_TRUE(client->activateLatestSnapshot());
    EXPECT_TRUE(services().logged(800023));
}

TEST_F(ExperimentTest, TheStoredSnapshotsComeBackAtTheNextStart) {
    server_.script("/sdk-exp", {{200, {}, gzippedResponse(kThreeExperiments)}});
    startManager();
    auto client = registerMeasurement();
    runScheduledFetch();
    ASSERT_TRUE(client->activateLatestSnapshot());
    settle();
    manager_.reset();

    startManager();
    auto again = registerMeasurement();
    EXPECT_EQ(manager_->experimentIDs(), (std::vector<std::int64_t>{7, 9}));
    EXPECT_EQ(again->objectForKeyedSubscript("size"), platform::Value(std::int64_t{3}));
    // The last success was just now: the next fetch keeps the 4-hour rhythm.
    EXPECT_EQ(manager_->taskManager().scheduledFetchTime(), clock_.now() + 4h);
}

TEST_F(ExperimentTest, ServiceUnavailableHoldsTheNextAttemptBackTwelveHours) {
    server_.script("/sdk-exp", {{503, {}, ""}});
    startManager();
    registerMeasurement();
    runScheduledFetch();
    const platform::TimePoint failedAt = kStart + 10s;
    EXPECT_EQ(suiteDouble(kMSRExperimentFetchBackoffTimestampKey), seconds(failedAt));
    EXPECT_EQ(suiteDouble(kMSRExperimentFetchFailureTimestampKey), seconds(failedAt));
    EXPECT_TRUE(services().logged(820002));
    // Without the backoff it would be 1800 s after the start.
    EXPECT_EQ(manager_->taskManager().scheduledFetchTime(), failedAt + 12h);
    clock_.advance(12h - 1s);
    EXPECT_EQ(server_.requests().size(), 1u);
    clock_.advance(1s);
    ASSERT_TRUE(fetches_.waitFor(2));
    EXPECT_EQ(server_.requests().size(), 2u);
}

TEST_F(ExperimentTest, AfterSixFailedRetriesNothingIsScheduled) {
    server_.script("/sdk-exp", {{500, {}, "{\"error\": 1}"}});
    startManager();
    registerMeasurement();
    // The first attempt, then retries 1800, 5400, ... 113400 s after the start.
    std::vector<platform::TimePoint> attempts;
    for (int attempt = 0; attempt < 7; ++attempt) {
        ASSERT_FALSE(services().logged(820024)) << attempt;
        attempts.push_back(*manager_->taskManager().scheduledFetchTime());
        runScheduledFetch();
    }
    EXPECT_EQ(attempts, (std::vector<platform::TimePoint>{kStart + 10s, kStart + 1800s, kStart + 5400s, kStart + 12600s,
                                                          kStart + 27000s, kStart + 55800s, kStart + 113400s}));
    EXPECT_TRUE(services().logged(820024));
    EXPECT_FALSE(manager_->taskManager().scheduledFetchTime());
    EXPECT_FALSE(suiteHas(kMSRExperimentFetchSuccessTimestampKey));
    clock_.advance(72h);
    EXPECT_EQ(server_.requests().size(), 7u);
}

// What a 200 or 204 reply amounts to, by its body.
struct ReplyCase {
    const char* name;
    int status;
    std::string body;
    bool succeeded;
};

TEST_F(ExperimentTest, ARepliedBodyThatCannotBeReadIsAFailedFetch) {
    const Bytes undecodable{0x0a, 0xff, 0xff, 0xff};  // a field whose length runs past the end
    const auto zippedUndecodable = kit::lmu_dataByGzippingData(undecodable);
    const std::vector<ReplyCase> cases{
        {"no content", 204, "", true},
        {"empty 200", 200, "", true},
        {"corrupt gzip", 200, std::string("\x1f\x8b\x08\x00", 4) + "garbage that does not inflate", false},
        {"not gzip at all", 200, "plain text", false},
        {"gzip of bytes that are no response", 200,
         std::string((*zippedUndecodable)->begin(), (*zippedUndecodable)->end()), false},
    };
    for (const ReplyCase& reply : cases) {
        SCOPED_TRACE(reply.name);
        manager_.reset();
        suite_->clearAllData();
        const std::string& body = reply.body;
        server_.script("/sdk-exp", {{reply.status, {}, body}});
        startManager();
        registerMeasurement();
        runScheduledFetch();
        EXPECT_EQ(suiteHas(kMSRExperimentFetchSuccessTimestampKey), reply.succeeded);
        EXPECT_EQ(suiteHas(kMSRExperimentFetchFailureTimestampKey), !reply.succeeded);
        const auto next = manager_->taskManager().scheduledFetchTime();
        ASSERT_TRUE(next);
        // A success waits 4 hours; a failure retries 1800 s after this manager began.
        EXPECT_EQ(*next, reply.succeeded ? clock_.now() + 4h : clock_.now() - 10s + 1800s);
        EXPECT_FALSE(manager_->pendingSnapshot(kSDK));
    }
}

TEST_F(ExperimentTest, WithoutAnExperimentHostNothingIsSentAndNothingFails) {
    startManager(false);
    registerMeasurement();
    EXPECT_FALSE(manager_->taskManager().scheduledFetchTime());
    clock_.advance(48h);
    settle();
    EXPECT_TRUE(server_.requests().empty());
    EXPECT_FALSE(suiteHas(kMSRExperimentFetchFailureTimestampKey));
    EXPECT_FALSE(services().logged(820002));
    EXPECT_TRUE(services().logged(820029));
}

TEST_F(ExperimentTest, AnSDKThatWantsNoExperimentsPostponesTheFetch) {
    server_.script("/sdk-exp", {{200, {}, gzippedResponse(kThreeExperiments)}});
    observer_->wantsExperiments = false;
    startManager();
    registerMeasurement();
    const auto due = *manager_->taskManager().scheduledFetchTime();
    clock_.advance(due - clock_.now());
    settle();
    EXPECT_TRUE(server_.requests().empty());
    EXPECT_EQ(suiteDouble(kMSRExperimentFetchSuccessTimestampKey), seconds(due));
    EXPECT_EQ(manager_->taskManager().scheduledFetchTime(), due + 4h);
}

TEST_F(ExperimentTest, PerSDKRefusalsReachTheirClientsAsErrors) {
    server_.script("/sdk-exp", {{200, {}, gzippedResponse(R"(
        sdk_responses { field_1: "app_measurement" field_2: OPAQUE_CODE_2 })")}});
    startManager();
    registerMeasurement();
    runScheduledFetch();
    std::lock_guard lock(observer_->mutex_);
    EXPECT_EQ(observer_->errorCodes, std::vector<int>{-3});
}

TEST(ExperimentClientPropertyTest, AnAppIDIsSentOnlyWhenThePropertyHasOne) {
    constexpr int appIDField = 3;
    for (const std::string appID : {"", "1:42:linux:abc"}) {
        SCOPED_TRACE(appID);
        MSRESDKProperty property;
        property.name = "app_measurement";
        property.appID = appID;
        const auto message = MSREExperimentRequestBuilder::clientPropertyProto(property, [] { return "key"; });
        ASSERT_TRUE(message);
        EXPECT_EQ(NanoMessageHasField(*message, appIDField), !appID.empty());
        if (!appID.empty()) {
            EXPECT_EQ(NanoMessageGetString(*message, appIDField), appID);
        }
    }
}

}  // namespace
}  // namespace kit::measurement::testing
