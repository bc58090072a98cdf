#include "kit/measurement/controller/MSRMeasurement.h"

// One event from the worker queue to its stored row: allowlist, session,
// de-duplication, editing, daily limits, the row and its metadata record.
namespace kit::measurement {

void MSRMeasurement::handleEventOnWorkerQueue(const MSREvent&) {}
void MSRMeasurement::handleInternalEventOnWorkerQueue(const MSREvent&) {}
std::optional<MSREvent> MSRMeasurement::eventAfterSafelistingEvent(const MSREvent& event) { return event.copy(); }
void MSRMeasurement::processSessionFromEvent(const MSREvent&) {}
bool MSRMeasurement::dedupeSubscriptionEvent(const MSREvent&) { return true; }
bool MSRMeasurement::shouldDropDuplicatedSessionStartWithRolloutEvent(const MSREvent&) { return false; }
MSREvent MSRMeasurement::appExceptionEventWithHaloFeatureRollouts(const MSREvent& event) { return event; }
void MSRMeasurement::writeSessionStartEventOnWorkerQueue(const MSREvent&) {}
void MSRMeasurement::writeEventOnWorkerQueue(const MSREvent&) {}
void MSRMeasurement::writeFilteredEventOnWorkerQueue(const MSREvent&) {}
bool MSRMeasurement::updateLifetimeValueWithEvent(const MSREvent&) { return false; }
bool MSRMeasurement::shouldProcessEvent(const MSREvent&, MSRDailyCounts&, bool) { return false; }
bool MSRMeasurement::isRealtimeEvent(const MSREvent&, const MSRDailyCounts&) { return false; }
void MSRMeasurement::maybeAddDebugAndRealtimeParameters(MSREvent&) {}
bool MSRMeasurement::writeEvent(const MSREvent&, bool, bool) { return false; }
MSRPBMeasurementBundle MSRMeasurement::createRawEventMetadataWithUserAttributes(const std::vector<MSRUserAttribute>&) {
    return {};
}
std::optional<MSRPBAdCampaignInfo> MSRMeasurement::adCampaignInfoFromEvent(const MSREvent&) { return std::nullopt; }
void MSRMeasurement::logFirstOpenConsentedEvent(double) {}

}  // namespace kit::measurement
