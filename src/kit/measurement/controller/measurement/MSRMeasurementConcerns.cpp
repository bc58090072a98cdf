#include "kit/measurement/controller/MSRMeasurement.h"

#include "MSREventWritePipeline.h"
#include "MSRLifecycleReports.h"
#include "MSROnDeviceConversion.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/controller/MSRPrivateSetMembershipClient.h"
#include "kit/measurement/support/MSRScheduler.h"

// The controller's operations that its concern objects carry out: each
// forwards to the object that owns the concern's state.
namespace kit::measurement {

// --- Event write pipeline

const std::optional<std::vector<std::string>>& MSRMeasurement::safelistedEvents() const {
    return writePipeline_->safelistedEvents();
}
void MSRMeasurement::handleEventOnWorkerQueue(const MSREvent& event) {
    writePipeline_->handleEventOnWorkerQueue(event);
}
void MSRMeasurement::handleInternalEventOnWorkerQueue(const MSREvent& event) {
    writePipeline_->handleInternalEventOnWorkerQueue(event);
}
std::optional<MSREvent> MSRMeasurement::eventAfterSafelistingEvent(const MSREvent& event) {
    return writePipeline_->eventAfterSafelistingEvent(event);
}
void MSRMeasurement::processSessionFromEvent(const MSREvent& event) { writePipeline_->processSessionFromEvent(event); }
bool MSRMeasurement::dedupeSubscriptionEvent(const MSREvent& event) {
    return writePipeline_->dedupeSubscriptionEvent(event);
}
bool MSRMeasurement::shouldDropDuplicatedSessionStartWithRolloutEvent(const MSREvent& event) {
    return writePipeline_->shouldDropDuplicatedSessionStartWithRolloutEvent(event);
}
MSREvent MSRMeasurement::appExceptionEventWithHaloFeatureRollouts(const MSREvent& event) {
    return writePipeline_->appExceptionEventWithHaloFeatureRollouts(event);
}
void MSRMeasurement::writeSessionStartEventOnWorkerQueue(const MSREvent& event) {
    writePipeline_->writeSessionStartEventOnWorkerQueue(event);
}
void MSRMeasurement::writeEventOnWorkerQueue(const MSREvent& event) { writePipeline_->writeEventOnWorkerQueue(event); }
void MSRMeasurement::writeFilteredEventOnWorkerQueue(const MSREvent& event) {
    writePipeline_->writeFilteredEventOnWorkerQueue(event);
}
bool MSRMeasurement::updateLifetimeValueWithEvent(const MSREvent& event) {
    return writePipeline_->updateLifetimeValueWithEvent(event);
}
bool MSRMeasurement::shouldProcessEvent(const MSREvent& event, MSRDailyCounts& dailyCounts, bool isPublicEvent) {
    return writePipeline_->shouldProcessEvent(event, dailyCounts, isPublicEvent);
}
bool MSRMeasurement::isRealtimeEvent(MSREvent& event, const MSRDailyCounts& dailyCounts) {
    return writePipeline_->isRealtimeEvent(event, dailyCounts);
}
void MSRMeasurement::maybeAddDebugAndRealtimeParameters(MSREvent& event) {
    writePipeline_->maybeAddDebugAndRealtimeParameters(event);
}
bool MSRMeasurement::writeEvent(const MSREvent& event, bool isPublicEvent, bool isRealtime) {
    return writePipeline_->writeEvent(event, isPublicEvent, isRealtime);
}
MSRPBMeasurementBundle MSRMeasurement::createRawEventMetadataWithUserAttributes(
    const std::vector<MSRUserAttribute>& attributes) {
    return writePipeline_->createRawEventMetadataWithUserAttributes(attributes);
}
std::optional<MSRPBAdCampaignInfo> MSRMeasurement::adCampaignInfoFromEvent(const MSREvent& event) {
    return writePipeline_->adCampaignInfoFromEvent(event);
}
void MSRMeasurement::logFirstOpenConsentedEvent(double timestamp) {
    writePipeline_->logFirstOpenConsentedEvent(timestamp);
}

// --- Lifecycle reports

void MSRMeasurement::reportFirstOpenOnWorkerQueue() { lifecycleReports_->reportFirstOpenOnWorkerQueue(); }
void MSRMeasurement::reportStoredCampaignEventOnWorkerQueue(std::optional<std::int64_t> clickTimestampMillis) {
    lifecycleReports_->reportStoredCampaignEventOnWorkerQueue(clickTimestampMillis);
}
void MSRMeasurement::reportSessionStartOnWorkerQueueWithTimestamp(double timestamp, bool appInBackground) {
    lifecycleReports_->reportSessionStartOnWorkerQueueWithTimestamp(timestamp, appInBackground);
}
void MSRMeasurement::reportAppUpdateOnWorkerQueue() { lifecycleReports_->reportAppUpdateOnWorkerQueue(); }
void MSRMeasurement::reportOSUpdateOnWorkerQueue() { lifecycleReports_->reportOSUpdateOnWorkerQueue(); }
void MSRMeasurement::setPersonalizedAdsUserPropertyOnWorkerQueue() {
    lifecycleReports_->setPersonalizedAdsUserPropertyOnWorkerQueue();
}
void MSRMeasurement::updateAdPersonalizationConsentFromNPAValue(const std::optional<MSRValue>& npaValue) {
    lifecycleReports_->updateAdPersonalizationConsentFromNPAValue(npaValue);
}
void MSRMeasurement::updateConsentSettingsUtilWithRemoteConfig() {
    if (lifecycleReports_->updateConsentSettingsUtilWithRemoteConfig()) {
        shouldUpdateNPAUserProperty_ = true;
    }
}
std::int64_t MSRMeasurement::timestampMillisRoundedUpToNextHour(std::int64_t timestampMillis) {
    return MSRLifecycleReports::timestampMillisRoundedUpToNextHour(timestampMillis);
}
bool MSRMeasurement::isVersionSameAsOriginalVersion() const {
    return lifecycleReports_->isVersionSameAsOriginalVersion();
}
void MSRMeasurement::backfillSessionNumber() { lifecycleReports_->backfillSessionNumber(); }

void MSRMeasurement::setSessionTimeoutInterval(double seconds) {
    scheduleWeakBlock("MSRMeasurement:1554", [seconds](MSRMeasurement& self) {
        if (self.sessionReporter_ != nullptr) {
            self.sessionReporter_->setTimeoutSessionInterval(seconds);
        }
    });
}

// --- On-device conversion

std::shared_ptr<MSRPrivateSetMembershipClientClass> MSRMeasurement::PSMClientClass() const {
    return onDeviceConversion_->PSMClientClass();
}
void MSRMeasurement::checkPSMDependencyOnWorkerQueue() { onDeviceConversion_->checkPSMDependencyOnWorkerQueue(); }
bool MSRMeasurement::shouldRetrievePSMResponse() { return onDeviceConversion_->shouldRetrievePSMResponse(); }
bool MSRMeasurement::shouldRetrievePSMResponseWithEmailAddress(std::string_view emailAddress) {
    return onDeviceConversion_->shouldRetrievePSMResponseWithEmailAddress(emailAddress);
}
bool MSRMeasurement::shouldRetrievePSMResponseWithPhoneNumber(std::string_view phoneNumber) {
    return onDeviceConversion_->shouldRetrievePSMResponseWithPhoneNumber(phoneNumber);
}
bool MSRMeasurement::shouldRetrievePSMResponseWithHashedIdentifier(std::span<const std::uint8_t> hashedIdentifier) {
    return onDeviceConversion_->shouldRetrievePSMResponseWithHashedIdentifier(hashedIdentifier);
}
std::shared_ptr<MSRPrivateSetMembershipClient> MSRMeasurement::PSMClientWithEmailAddress(
    std::string_view emailAddress) {
    return onDeviceConversion_->PSMClientWithEmailAddress(emailAddress);
}
std::shared_ptr<MSRPrivateSetMembershipClient> MSRMeasurement::PSMClientWithPhoneNumber(std::string_view phoneNumber) {
    return onDeviceConversion_->PSMClientWithPhoneNumber(phoneNumber);
}
std::shared_ptr<MSRPrivateSetMembershipClient> MSRMeasurement::PSMClientWithHashedEmailAddress(
    std::span<const std::uint8_t> hashedEmailAddress) {
    return onDeviceConversion_->PSMClientWithHashedEmailAddress(hashedEmailAddress);
}
std::shared_ptr<MSRPrivateSetMembershipClient> MSRMeasurement::PSMClientWithHashedPhoneNumber(
    std::span<const std::uint8_t> hashedPhoneNumber) {
    return onDeviceConversion_->PSMClientWithHashedPhoneNumber(hashedPhoneNumber);
}
void MSRMeasurement::setUserDataOnWorkerQueue(const platform::Value::Dictionary& userData) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("setUserDataOnWorkerQueue");
    onDeviceConversion_->startWithUserData(userData);
}
void MSRMeasurement::retrievePSMResponse() { onDeviceConversion_->retrievePSMResponse(); }
void MSRMeasurement::retrievePostponedPSMResponseOnWorkerQueue() {
    onDeviceConversion_->retrievePostponedPSMResponseOnWorkerQueue();
}
void MSRMeasurement::maybeSchedulePSMRetry() { onDeviceConversion_->maybeSchedulePSMRetry(); }
void MSRMeasurement::handlePSMValueOnWorkerQueue(const std::string& value) {
    onDeviceConversion_->handlePSMValueOnWorkerQueue(value);
}
void MSRMeasurement::incrementPSMCountOnWorkerQueueWithName(std::string_view propertyName) {
    onDeviceConversion_->incrementPSMCountOnWorkerQueueWithName(propertyName);
}
void MSRMeasurement::maybeDeleteExpiredPSMValueOnWorkerQueue() {
    onDeviceConversion_->maybeDeleteExpiredPSMValueOnWorkerQueue();
}
void MSRMeasurement::resetPSMCounts() { onDeviceConversion_->resetPSMCounts(); }
bool MSRMeasurement::isPSMRequestInProgress() const { return onDeviceConversion_->isPSMRequestInProgress(); }
bool MSRMeasurement::isPSMRequestPostponed() const { return onDeviceConversion_->isPSMRequestPostponed(); }
const MSRAlarm* MSRMeasurement::PSMRetryAlarm() const { return onDeviceConversion_->PSMRetryAlarm(); }

}  // namespace kit::measurement
