#include "kit/measurement/controller/MSRMeasurement.h"

// First open, the stored campaign, session start, app and OS updates, and
// the personalised-ads state.
namespace kit::measurement {

void MSRMeasurement::reportFirstOpenOnWorkerQueue() {}
void MSRMeasurement::reportStoredCampaignEventOnWorkerQueue(std::optional<std::int64_t>) {}
void MSRMeasurement::reportSessionStartOnWorkerQueueWithTimestamp(double, bool) {}
void MSRMeasurement::reportAppUpdateOnWorkerQueue() {}
void MSRMeasurement::reportOSUpdateOnWorkerQueue() {}
void MSRMeasurement::setPersonalizedAdsUserPropertyOnWorkerQueue() {}
void MSRMeasurement::updateAdPersonalizationConsentFromNPAValue(const std::optional<MSRValue>&) {}
void MSRMeasurement::updateConsentSettingsUtilWithRemoteConfig() {}
std::int64_t MSRMeasurement::timestampMillisRoundedUpToNextHour(std::int64_t timestampMillis) {
    return timestampMillis;
}
bool MSRMeasurement::isVersionSameAsOriginalVersion() const { return true; }
void MSRMeasurement::setSessionTimeoutInterval(double) {}
void MSRMeasurement::backfillSessionNumber() {}

}  // namespace kit::measurement
