// The remote configuration over the measurement database: what one instance
// fetches and stores, a later instance over the same file answers.

#include "DatabaseTestSupport.h"
#include "RemoteConfigTestSupport.h"

namespace kit::measurement::testing {
namespace {

class RemoteConfigDatabase : public DatabaseTest {
protected:
    std::shared_ptr<CaptureMonitor> monitor_ = std::make_shared<CaptureMonitor>();
    RemoteConfigSeams seams_{monitor_};
    std::shared_ptr<FakeManager> manager_ = std::make_shared<FakeManager>();

    std::shared_ptr<MSRRemoteConfig> makeConfig(std::shared_ptr<MSRDatabase> database) {
        auto made = MSRRemoteConfig::initWithAppID(kTestRemoteAppID, std::move(database), nullptr, manager_);
        EXPECT_TRUE(made);
        return made;
    }
};

TEST_F(RemoteConfigDatabase, ANewInstanceOverTheReopenedFileAnswersTheServedValues) {
    {
        std::shared_ptr<MSRDatabase> database = open();
        ASSERT_TRUE(database);
        auto first = makeConfig(database);
        EXPECT_EQ(first->maxAudienceCount(), 100);
        ASSERT_TRUE(first->updateMeasurementConfig(appMeasurementConfig(R"(
            version: 8
            settings { name: "measurement.audience.max_count" value: "12" }
            settings { name: "measurement.config.cache_time" value: "120000" }
            event_config { name: "level_up" sampling_rate: 5 })")));
        EXPECT_EQ(first->maxAudienceCount(), 12);
    }
    monitor_->drain();

    std::shared_ptr<MSRDatabase> reopened = open();
    ASSERT_TRUE(reopened);
    auto stored = reopened->queryMeasurementConfigWithError();
    ASSERT_TRUE(stored);
    ASSERT_TRUE(*stored);
    auto second = makeConfig(reopened);
    EXPECT_EQ(second->version(), 8);
    EXPECT_EQ(second->maxAudienceCount(), 12);
    EXPECT_EQ(second->remoteConfigCacheTimeInterval(), 120.0);
    EXPECT_EQ(second->samplingRateForEvent("level_up"), 5);
    EXPECT_EQ(second->lastRemoteConfigUpdateTimestamp(), kTestNow);
    const std::optional<MSRPBMeasurementConfig> loaded = second->measurementConfigFromDatabase();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded->protoBuffer(), *stored->value().protoBuffer());
    // Loading what the first instance stored is no failure.
    for (const MonitorLine& line : monitor_->drain()) {
        EXPECT_GT(line.level, 2) << line.code << " " << line.message;
    }
}

}  // namespace
}  // namespace kit::measurement::testing
