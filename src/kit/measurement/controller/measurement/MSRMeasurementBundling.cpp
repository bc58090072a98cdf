#include "kit/measurement/controller/MSRMeasurement.h"

#include "MSRMeasurementBundler.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "platform/Random.h"

#include <memory>
#include <utility>

// The controller's side of bundling and sampling: it makes the bundler over
// its components and forwards the bundling operations to it.
namespace kit::measurement {

std::unique_ptr<MSRMeasurementBundler> MSRMeasurement::makeBundler() {
    return std::make_unique<MSRMeasurementBundler>(MSRBundlerCollaborators{
        .clock = *clock_,
        .random = environment_.random != nullptr ? *environment_.random : platform::systemRandom(),
        .persistedConfig = persistedConfig_,
        .database = [this] { return database_.get(); },
        .remoteConfig = [this] { return remoteConfig_.get(); },
        .audience = [this] { return audience_.get(); },
        .identity = [this] { return identity_.get(); },
        .storeUserProperty =
            [this](const MSRUserAttribute& attribute) { return storeUserPropertyOnWorkerQueue(attribute); },
        .applyPendingNPAUserProperty =
            [this] {
                if (shouldUpdateNPAUserProperty_) {
                    setPersonalizedAdsUserPropertyOnWorkerQueue();
                    shouldUpdateNPAUserProperty_ = false;
                }
            },
        .bundleQueued = [this] { setSuspendedUploadTimestamp(0); },
    });
}

bool MSRMeasurement::bundleRawEvents() { return bundler_->bundleRawEvents(); }

std::optional<MSRRawEventsRead> MSRMeasurement::rawEventsWithMetadataFingerprint(std::int64_t fingerprint) {
    return bundler_->rawEventsWithMetadataFingerprint(fingerprint);
}

std::optional<std::vector<MSREvent>> MSRMeasurement::processRawEvents(const std::vector<MSRRawEventData>& rawEvents,
                                                                      std::int64_t fingerprint,
                                                                      std::optional<std::int64_t> runLastRowID) {
    return bundler_->processRawEvents(rawEvents, fingerprint, runLastRowID);
}

MSRRawEventData MSRMeasurement::internalEventFromPublicEvent(const MSRRawEventData& rawEvent) {
    return bundler_->internalEventFromPublicEvent(rawEvent);
}

bool MSRMeasurement::checkConversion(MSREvent& event, MSRDailyCounts& dailyCounts) {
    return bundler_->checkConversion(event, dailyCounts);
}

bool MSRMeasurement::checkRealtime(MSREvent& event, MSRDailyCounts& dailyCounts) {
    return bundler_->checkRealtime(event, dailyCounts);
}

MSRRawEventData MSRMeasurement::validatePurchaseEvent(const MSRRawEventData& rawEvent) {
    return bundler_->validatePurchaseEvent(rawEvent);
}

void MSRMeasurement::evaluationTimeFromRawEvents(const std::vector<MSRRawEventData>& rawEvents,
                                                 MSRPBMeasurementBundle& bundle) {
    bundler_->evaluationTimeFromRawEvents(rawEvents, bundle);
}

void MSRMeasurement::handleAnalyticsStorageConsentTransitions(MSRPBMeasurementBundle& bundle) {
    bundler_->handleAnalyticsStorageConsentTransitions(bundle);
}

std::optional<std::vector<MSREvent>> MSRMeasurement::eventsAfterUpdatingEventAggregates(
    const std::vector<MSREvent>& events, MSRAudienceTimestampsCache& audienceTimestampsCache,
    bool allowEventFilterEvaluation) {
    return bundler_->eventsAfterUpdatingEventAggregates(events, audienceTimestampsCache, allowEventFilterEvaluation);
}

bool MSRMeasurement::updateAppMetadataForBundle(MSRPBMeasurementBundle& bundle, double bundleStartTimestamp,
                                                double bundleEndTimestamp) {
    return bundler_->updateAppMetadataForBundle(bundle, bundleStartTimestamp, bundleEndTimestamp);
}

bool MSRMeasurement::updateUserEngagement(std::int64_t engagementTimeMillis, MSRPBMeasurementBundle& bundle,
                                          bool sessionScoped) {
    return bundler_->updateUserEngagement(engagementTimeMillis, bundle, sessionScoped);
}

void MSRMeasurement::addBundleMetadataIntoBundle(MSRPBMeasurementBundle& bundle, double bundleStartTimestamp,
                                                 double bundleEndTimestamp) {
    bundler_->addBundleMetadataIntoBundle(bundle, bundleStartTimestamp, bundleEndTimestamp);
}

platform::Expected<std::vector<MSRPBEvent>> MSRMeasurement::sampleEvents(std::vector<MSRPBEvent> events) {
    return bundler_->sampleEvents(std::move(events));
}

bool MSRMeasurement::canEventBeSampled(const MSRPBEvent& event) { return bundler_->canEventBeSampled(event); }

bool MSRMeasurement::isEventBundledAfterRoll(std::int64_t rate) { return bundler_->isEventBundledAfterRoll(rate); }

}  // namespace kit::measurement
