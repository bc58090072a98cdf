#include "kit/measurement/controller/MSRMeasurement.h"

// Raw events into bundles: one metadata record's run at a time, with daily
// counts, audiences, engagement and the bundle's metadata.
namespace kit::measurement {

bool MSRMeasurement::bundleRawEvents() { return false; }
std::optional<std::vector<MSRRawEventData>> MSRMeasurement::rawEventsWithMetadataFingerprint(std::int64_t) {
    return std::nullopt;
}
std::optional<std::vector<MSREvent>> MSRMeasurement::processRawEvents(const std::vector<MSRRawEventData>&,
                                                                      std::int64_t) {
    return std::nullopt;
}
MSRRawEventData MSRMeasurement::internalEventFromPublicEvent(const MSRRawEventData& rawEvent) { return rawEvent; }
bool MSRMeasurement::checkConversion(const MSRRawEventData&, MSRDailyCounts&) { return false; }
bool MSRMeasurement::checkRealtime(const MSRRawEventData&, MSRDailyCounts&) { return false; }
MSRRawEventData MSRMeasurement::validatePurchaseEvent(const MSRRawEventData& rawEvent) { return rawEvent; }
void MSRMeasurement::evaluationTimeFromRawEvents(const std::vector<MSRRawEventData>&, MSRPBMeasurementBundle&) {}
void MSRMeasurement::handleAnalyticsStorageConsentTransitions(MSRPBMeasurementBundle&) {}
std::optional<std::vector<MSREvent>> MSRMeasurement::eventsAfterUpdatingEventAggregates(
    const std::vector<MSREvent>&, MSRAudienceTimestampsCache&, bool) {
    return std::nullopt;
}
bool MSRMeasurement::updateAppMetadataForBundle(MSRPBMeasurementBundle&, double, double) { return false; }
bool MSRMeasurement::updateUserEngagement(std::int64_t, MSRPBMeasurementBundle&, bool) { return false; }
void MSRMeasurement::addBundleMetadataIntoBundle(MSRPBMeasurementBundle&, double, double) {}

}  // namespace kit::measurement
