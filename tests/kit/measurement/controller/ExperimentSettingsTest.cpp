// The remote settings as the one SDK of the experiment manager: they
// register, hear of a fetched snapshot on the main queue, activate it and
// answer its experiment IDs.

#include "ExperimentTestSupport.h"
#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/messages/MSRRemoteConfigStore.h"

namespace kit::measurement::testing {
namespace {

class EmptyConfigStore final : public MSRRemoteConfigStore {
public:
    platform::Expected<void> updateRemoteConfig(const MSRPBMeasurementConfig&) override { return {}; }
    platform::Expected<std::optional<MSRPBMeasurementConfig>> queryMeasurementConfigWithError() override {
        return std::optional<MSRPBMeasurementConfig>();
    }
    platform::Expected<std::optional<double>> lastRemoteConfigUpdateTimestamp() override {
        return std::optional<double>();
    }
};

TEST_F(ExperimentTest, TheRemoteSettingsActivateAFetchedSnapshotAndCarryItsIDs) {
    server_.script("/sdk-exp", {{200, {}, gzippedResponse(kThreeExperiments)}});
    // The settings want experiments only while a controller collects.
    MSRControllerFacts facts;
    facts.hasSharedInstance = [] { return true; };
    facts.isEnabled = [] { return true; };
    facts.appMeasurementLibraryVersion = [] { return std::int64_t{110900}; };
    installControllerFacts(facts);
    startManager();
    auto store = std::make_shared<EmptyConfigStore>();
    auto settings = MSRRemoteConfig::initWithAppID("1:42:test", store, manager_);
    ASSERT_NE(settings, nullptr);
    settle();
    // Nothing pending at creation: no failure either.
    EXPECT_FALSE(services().logged(29023));
    EXPECT_FALSE(settings->activateNewSnapshot());

    runScheduledFetch();
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& body = requests[0].body;
    EXPECT_NE(protocDecode("ExperimentRequest", Bytes(body.begin(), body.end()), root()).find("version: 110900"),
              std::string::npos);
    // Kept pending until the settings activate it.
    EXPECT_EQ(sqliteRows(databasePath(), "SELECT manually_activated FROM pending_snapshot_table"),
              std::vector<std::string>{"1"});
    EXPECT_FALSE(settings->experimentIDs().value_or(std::vector<std::int64_t>{}).size());

    EXPECT_TRUE(settings->activateNewSnapshot());
    settle();
    EXPECT_EQ(settings->experimentIDs(), (std::vector<std::int64_t>{7, 9}));
    EXPECT_TRUE(sqliteRows(databasePath(), "SELECT * FROM pending_snapshot_table").empty());
    resetControllerFacts();
}

}  // namespace
}  // namespace kit::measurement::testing
