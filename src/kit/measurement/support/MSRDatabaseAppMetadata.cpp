#include "kit/measurement/support/MSRDatabase.h"

#include "kit/measurement/support/MeasurementErrors.h"

namespace kit::measurement {

namespace {
platform::Unexpected notBuilt() { return platform::unexpected(msr_errorWithCode(3, "Not built yet")); }
}  // namespace

platform::Expected<std::optional<MSRAppMetadata>> MSRDatabase::queryAppMetadata() { return notBuilt(); }
platform::Expected<void> MSRDatabase::updateAppMetadata(const MSRAppMetadata&) { return notBuilt(); }
platform::Expected<MSRDailyCounts> MSRDatabase::dailyCounts() { return notBuilt(); }
platform::Expected<void> MSRDatabase::updateDailyCounts(const MSRDailyCounts&) { return notBuilt(); }
platform::Expected<void> MSRDatabase::updateRemoteConfig(const MSRPBMeasurementConfig&) { return notBuilt(); }
platform::Expected<void> MSRDatabase::updateRemoteConfigSuccessfulTimestamp(double) { return notBuilt(); }
platform::Expected<std::optional<MSRPBMeasurementConfig>> MSRDatabase::queryMeasurementConfigWithError() {
    return notBuilt();
}
platform::Expected<std::optional<double>> MSRDatabase::lastRemoteConfigUpdateTimestamp() { return notBuilt(); }
platform::Expected<std::int64_t> MSRDatabase::publicEventCount() { return notBuilt(); }
platform::Expected<std::vector<MSREventAggregates>> MSRDatabase::allEventAggregates() { return notBuilt(); }
platform::Expected<std::optional<MSREventAggregates>> MSRDatabase::eventAggregatesWithName(std::string_view) {
    return notBuilt();
}
platform::Expected<std::optional<MSREventAggregates>> MSRDatabase::eventAggregatesSnapshotWithName(std::string_view) {
    return notBuilt();
}
platform::Expected<std::optional<MSREventAggregates>> MSRDatabase::eventAggregatesWithName(std::string_view,
                                                                                           std::string_view) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::updateEventAggregates(const MSREventAggregates&) { return notBuilt(); }
platform::Expected<void> MSRDatabase::clearCurrentSessionCounts() { return notBuilt(); }
platform::Expected<void> MSRDatabase::deleteAllEventAggregates() { return notBuilt(); }
platform::Expected<void> MSRDatabase::deleteAllEventAggregatesInSnapshot() { return notBuilt(); }
platform::Expected<void> MSRDatabase::createEventsSnapshotTable() { return notBuilt(); }
platform::Expected<void> MSRDatabase::restoreFromEventsSnapshotTable() { return notBuilt(); }

}  // namespace kit::measurement
