// The manager's own rules: registration twice, stale activated snapshots
// and resets to the defaults.

#include "ExperimentTestSupport.h"

namespace kit::measurement::testing {
namespace {

constexpr std::string_view kSDK = "app_measurement";

class ExperimentManagerTest : public ExperimentTest {
protected:
    // A fetched snapshot with experiment 7 ("color" = "blue") that waits for
    // its SDK, stored before the manager starts.
    void storeManualSnapshot() {
        auto database = MSREDatabase::initWithPath(databasePath());
        ASSERT_NE(database, nullptr);
        auto flag = MSRFlagProtoWithNameValue(platform::Value("color"), platform::Value("blue"));
        auto snapshot = MSRESnapshot::initWithSDKName(kSDK, {MSREExperiment(7, {*flag})}, seconds(kStart));
        snapshot->setManuallyActivated(true);
        ASSERT_TRUE(database->upsertPendingExperimentSnapshots({*snapshot}));
    }
};

TEST_F(ExperimentManagerTest, RegisteringTwiceReplacesTheDefaults) {
    startManager(false);
    auto first = registerMeasurement({{"color", "green"}});
    auto second = registerMeasurement({{"color", "yellow"}});
    EXPECT_TRUE(services().logged(800003));
    EXPECT_EQ(first->objectForKeyedSubscript("color"), platform::Value("yellow"));
    EXPECT_EQ(manager_->clientForSDKName(kSDK), second);
    // A value that makes no flag refuses the registration.
    MSRESDKProperty property;
    property.name = "other_sdk";
    EXPECT_EQ(manager_->registerSDKProperty(property, {{"list", platform::Value(platform::Value::Array{})}}), nullptr);
    EXPECT_TRUE(services().logged(800002));
}

TEST_F(ExperimentManagerTest, AnActivatedSnapshotGoesStaleAfterThreeDays) {
    storeManualSnapshot();
    startManager(false);
    auto client = registerMeasurement({{"color", "green"}});
    auto* experiments = dynamic_cast<MSRExperimentClient*>(client.get());
    ASSERT_NE(experiments, nullptr);
    EXPECT_EQ(manager_->activatedSnapshotStatusOfSDKName(kSDK), -2);
    EXPECT_EQ(manager_->activatedSnapshotStatusOfSDKName("unknown_sdk"), -1);
    ASSERT_TRUE(client->activateLatestSnapshot());
    EXPECT_EQ(client->objectForKeyedSubscript("color"), platform::Value("blue"));
    EXPECT_EQ(manager_->activatedSnapshotStatusOfSDKName(kSDK), 0);
    clock_.advance(std::chrono::seconds(259200));
    EXPECT_FALSE(experiments->hasStaleSnapshot());
    clock_.advance(1s);
    EXPECT_TRUE(experiments->hasStaleSnapshot());
}

TEST_F(ExperimentManagerTest, ResetToDefaultsForgetsTheActivatedSnapshot) {
    storeManualSnapshot();
    startManager(false);
    auto client = registerMeasurement({{"color", "green"}});
    ASSERT_TRUE(client->activateLatestSnapshot());
    settle();
    ASSERT_EQ(sqliteRows(databasePath(), "SELECT sdk_name FROM activated_snapshot_table"),
              std::vector<std::string>{"app_measurement"});
    dynamic_cast<MSRExperimentClient&>(*client).resetToDefaults();
    settle();
    EXPECT_EQ(client->objectForKeyedSubscript("color"), platform::Value("green"));
    EXPECT_TRUE(manager_->experimentIDs().empty());
    EXPECT_TRUE(sqliteRows(databasePath(), "SELECT sdk_name FROM activated_snapshot_table").empty());
}

}  // namespace
}  // namespace kit::measurement::testing
