#include "kit/measurement/support/MSRDatabase.h"

#include "kit/measurement/support/MeasurementErrors.h"

namespace kit::measurement {

namespace {
platform::Unexpected notBuilt() { return platform::unexpected(msr_errorWithCode(3, "Not built yet")); }
}  // namespace

platform::Expected<void> MSRDatabase::insertIfNotExistsRawEventMetadata(const MSRPBMeasurementBundle&) {
    return notBuilt();
}
platform::Expected<std::optional<MSRPBMeasurementBundle>> MSRDatabase::queryRawEventsMetadataWithFingerprint(
    std::int64_t) {
    return notBuilt();
}
platform::Expected<void> MSRDatabase::deleteRawEventMetadataWithMetadataFingerprint(std::int64_t) { return notBuilt(); }
platform::Expected<void> MSRDatabase::deleteUnusedRawEventsMetadata() { return notBuilt(); }
platform::Expected<std::int64_t> MSRDatabase::insertRawEvent(const MSREvent&, std::int64_t, bool) { return notBuilt(); }
platform::Expected<void> MSRDatabase::updateRawEvent(const MSRRawEventData&) { return notBuilt(); }
platform::Expected<std::vector<MSRRawEventData>> MSRDatabase::allRawEventsWithError() { return notBuilt(); }
platform::Expected<bool> MSRDatabase::containsRawEventWithMetadataFingerprint(std::int64_t) { return notBuilt(); }
platform::Expected<bool> MSRDatabase::containsRealtimeRawEventsWithError() { return notBuilt(); }
platform::Expected<bool> MSRDatabase::isRawEventsTableEmpty() { return notBuilt(); }
platform::Expected<std::optional<double>> MSRDatabase::queryLatestRawEventTime() { return notBuilt(); }
platform::Expected<std::optional<std::int64_t>> MSRDatabase::nextMetadataFingerprintToProcess() { return notBuilt(); }
platform::Expected<void> MSRDatabase::deleteRawEventsWithMaxRowID(std::int64_t) { return notBuilt(); }
platform::Expected<std::int64_t> MSRDatabase::deleteRawEventsOverAbsoluteLimit() { return notBuilt(); }
platform::Expected<void> MSRDatabase::deleteStaleRawEventsDataOlderThanMaxAge(double) { return notBuilt(); }
platform::Expected<MSRRawEventData> MSRDatabase::rawEventDataFromDictionary(const MSRRecord&) { return notBuilt(); }

}  // namespace kit::measurement
