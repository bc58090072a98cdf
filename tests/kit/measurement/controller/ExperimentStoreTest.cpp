// The snapshot store, read back with the sqlite3 shell, and the start of
// the task manager over what it holds.

#include "ExperimentTestSupport.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

namespace kit::measurement::testing {
namespace {

constexpr std::string_view kSDK = "app_measurement";
constexpr double kNow = 1800000000;

MSRESnapshot snapshotWith(std::string_view sdkName, const std::vector<std::int64_t>& experimentIDs, double timestamp) {
    std::vector<MSREExperiment> experiments;
    for (const std::int64_t identifier : experimentIDs) {
        auto flag = MSRFlagProtoWithNameValue(platform::Value("flag"), platform::Value(identifier));
        experiments.emplace_back(identifier, std::vector<MSRPBFlag>{*flag});
    }
    return *MSRESnapshot::initWithSDKName(sdkName, experiments, timestamp);
}

class ExperimentStoreTest : public ExperimentTest {
protected:
    std::filesystem::path path() { return root() / "experiments.sql"; }
    std::unique_ptr<MSREDatabase> open() {
        auto database = MSREDatabase::initWithPath(path());
        EXPECT_NE(database, nullptr);
        return database;
    }
    std::vector<std::string> rows(std::string_view table) {
        return sqliteRows(path(), "SELECT sdk_name, timestamp, quote(manually_activated) FROM " + std::string(table) +
                                      " ORDER BY sdk_name");
    }
    std::vector<int> stored(std::string_view table, std::string_view sdkName = kSDK) {
        return experimentIDsIn(storedSnapshotText(path(), table, sdkName, root()));
    }
};

TEST_F(ExperimentStoreTest, ActivationSplitsLaunchedFromActivatedAndDropsThePendingRow) {
    auto database = open();
    ASSERT_TRUE(database->upsertPendingExperimentSnapshots({snapshotWith(kSDK, {0, 7, 9}, kNow)}));
    ASSERT_TRUE(database->activateSnapshot(snapshotWith(kSDK, {0, 7, 9}, kNow), kNow + 5));
    EXPECT_EQ(stored(kMSRELaunchedSnapshotTable), std::vector<int>{0});
    EXPECT_EQ(stored(kMSREActivatedSnapshotTable), (std::vector<int>{7, 9}));
    EXPECT_EQ(rows(kMSREActivatedSnapshotTable), std::vector<std::string>{"app_measurement|1800000005.0|NULL"});
    EXPECT_TRUE(rows(kMSREPendingSnapshotTable).empty());

    // A pending row newer than the activation stays.
    ASSERT_TRUE(database->upsertPendingExperimentSnapshots({snapshotWith(kSDK, {7}, kNow + 100)}));
    ASSERT_TRUE(database->activateSnapshot(snapshotWith(kSDK, {0, 7, 9}, kNow), kNow + 50));
    EXPECT_EQ(rows(kMSREPendingSnapshotTable), std::vector<std::string>{"app_measurement|1800000100.0|0"});
}

TEST_F(ExperimentStoreTest, OnlyTheLaunchedExperimentWritesNoActivatedRow) {
    auto database = open();
    ASSERT_TRUE(database->activateSnapshot(snapshotWith(kSDK, {0}, kNow), kNow));
    EXPECT_EQ(stored(kMSRELaunchedSnapshotTable), std::vector<int>{0});
    EXPECT_TRUE(rows(kMSREActivatedSnapshotTable).empty());
}

TEST_F(ExperimentStoreTest, ManuallyActivatedRowsAreLeftForTheirSDK) {
    auto database = open();
    MSRESnapshot manual = snapshotWith("manual_sdk", {4}, kNow);
    manual.setManuallyActivated(true);
    ASSERT_TRUE(database->upsertPendingExperimentSnapshots({manual, snapshotWith("automatic_sdk", {5}, kNow)}));
    ASSERT_TRUE(database->activatePendingSnapshotsAutomatically());
    EXPECT_EQ(rows(kMSREPendingSnapshotTable), std::vector<std::string>{"manual_sdk|1800000000.0|1"});
    EXPECT_EQ(rows(kMSREActivatedSnapshotTable), std::vector<std::string>{"automatic_sdk|1800000000.0|NULL"});
    EXPECT_EQ(stored(kMSREActivatedSnapshotTable, "automatic_sdk"), std::vector<int>{5});
}

TEST_F(ExperimentStoreTest, ActivatedRowsThreeDaysOldAreStale) {
    auto database = open();
    ASSERT_TRUE(database->activateSnapshot(snapshotWith("stale_sdk", {1}, 0), kNow - kMSREStaleSnapshotAge));
    ASSERT_TRUE(database->activateSnapshot(snapshotWith("fresh_sdk", {2}, 0), kNow - kMSREStaleSnapshotAge + 1));
    ASSERT_TRUE(database->deleteStaleActivatedSnapshots(kNow));
    EXPECT_EQ(rows(kMSREActivatedSnapshotTable), std::vector<std::string>{"fresh_sdk|1799740801.0|NULL"});
}

TEST_F(ExperimentStoreTest, AnUnreadableRowIsDeletedAndTheStartCompletes) {
    // A good pending snapshot, activated automatically at start, beside a row
    // whose bytes are no snapshot in each table.
    {
        auto database = MSREDatabase::initWithPath(databasePath());
        ASSERT_NE(database, nullptr);
        ASSERT_TRUE(database->upsertPendingExperimentSnapshots({snapshotWith(kSDK, {0, 7, 9}, kNow)}));
    }
    for (const std::string_view table :
         {kMSREPendingSnapshotTable, kMSREActivatedSnapshotTable, kMSRELaunchedSnapshotTable}) {
        sqliteExecute(databasePath(), "INSERT INTO " + std::string(table) +
                                          " (sdk_name, snapshotProto, timestamp, manually_activated) "
                                          "VALUES ('broken_sdk', X'0AFFFFFF', 1800000000, 0)");
    }
    startManager(false);
    registerMeasurement();
    EXPECT_TRUE(services().logged(820009));
    EXPECT_FALSE(services().logged(820008));
    EXPECT_TRUE(services().logged(810008));
    EXPECT_EQ(manager_->experimentIDs(), (std::vector<std::int64_t>{7, 9}));
    ASSERT_TRUE(manager_->launchedSnapshot(kSDK));
    for (const std::string_view table :
         {kMSREPendingSnapshotTable, kMSREActivatedSnapshotTable, kMSRELaunchedSnapshotTable}) {
        EXPECT_TRUE(sqliteRows(databasePath(), "SELECT * FROM " + std::string(table) + " WHERE sdk_name = 'broken_sdk'")
                        .empty())
            << table;
    }
}

TEST_F(ExperimentStoreTest, ResetEmptiesTheStoreAndCloseAndDeleteRemovesIt) {
    auto database = open();
    ASSERT_TRUE(database->upsertPendingExperimentSnapshots({snapshotWith(kSDK, {3}, kNow)}));
    ASSERT_TRUE(database->reset());
    EXPECT_TRUE(rows(kMSREPendingSnapshotTable).empty());
    database->closeAndDelete();
    EXPECT_FALSE(std::filesystem::exists(path()));
}

// When the next fetch is due, from the last success S and failure F.
struct FetchTimeCase {
    const char* name;
    bool firstCall;
    double sinceStart;  // the clock, seconds after the task manager began
    double success;     // 0: none; else seconds after the start
    double failure;     // 0: none; else seconds after the start
    double expected;    // seconds after the start; 0: too many attempts
};

TEST_F(ExperimentTest, NextFetchTimeTable) {
    constexpr double h = 3600;
    const std::vector<FetchTimeCase> cases{
        {"first start, nothing recorded", true, 0, 0, 0, 10},
        {"first start, success an hour ago", true, 5 * h, 4 * h, 0, 8 * h},
        {"first start, success four hours ago", true, 5 * h, 1 * h, 0, 5 * h + 10},
        {"first start, success an hour in the future", true, 5 * h, 6 * h, 0, 8 * h},
        {"success, no failure", false, 5 * h, 2 * h, 0, 6 * h},
        {"no success, failure 2000 s after the start", false, 2100, 0, 2000, 5400},
        {"success S, failure at S + 15000", false, 20000, 100, 15100, 100 + 4 * h + 1800},
        {"failure past the fifth retry", false, 60000, 0, 55800, 113400},
        {"failure at the sixth retry", false, 120000, 0, 113400, 0},
    };
    const double start = seconds(kStart);
    for (const FetchTimeCase& row : cases) {
        SCOPED_TRACE(row.name);
        platform::TestClock clock{kStart};
        MSRETaskManager::Environment environment;
        environment.clock = &clock;
        environment.endpoints = kit::Endpoints{};
        environment.persistedStorage = suite_;
        auto taskManager = MSRETaskManager::create(std::move(environment));
        clock.advance(std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(row.sinceStart)));
        const double success = row.success != 0 ? start + row.success : 0;
        const double failure = row.failure != 0 ? start + row.failure : 0;
        double answer = -1;
        taskManager->dispatchSyncOnWorkerQueue([&] {
            if (!row.firstCall) {
                taskManager->fetchTimeFromLastSuccessfulTimestamp(0, 0);
            }
            answer = taskManager->fetchTimeFromLastSuccessfulTimestamp(success, failure);
        });
        EXPECT_EQ(answer, row.expected != 0 ? start + row.expected : 0);
    }
}

TEST_F(ExperimentTest, AnEarlierAlarmIsKeptAndALaterOneReplaced) {
    server_.script("/sdk-exp", {{204, {}, ""}});
    startManager();
    registerMeasurement();
    auto& taskManager = manager_->taskManager();
    ASSERT_EQ(taskManager.scheduledFetchTime(), kStart + 10s);
    // A success an hour ago would mean a fetch in 3 hours: the alarm due in 10 s stays.
    suite_->setDouble(seconds(kStart) - 3600, kMSRExperimentFetchSuccessTimestampKey);
    taskManager.dispatchSyncOnWorkerQueue([&] { taskManager.scheduleFetchingExperimentsOnWorkerQueue(); });
    EXPECT_EQ(taskManager.scheduledFetchTime(), kStart + 10s);
    // After a success the next one is 4 hours away; an alarm due later is replaced.
    runScheduledFetch();
    ASSERT_EQ(taskManager.scheduledFetchTime(), kStart + 10s + 4h);
    suite_->setDouble(seconds(kStart) - 3 * 3600, kMSRExperimentFetchSuccessTimestampKey);
    taskManager.dispatchSyncOnWorkerQueue([&] { taskManager.scheduleFetchingExperimentsOnWorkerQueue(); });
    EXPECT_EQ(taskManager.scheduledFetchTime(), kStart + 1h);
}

}  // namespace
}  // namespace kit::measurement::testing
