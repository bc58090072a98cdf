#pragma once

#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kit::measurement {

class MSRDatabase;
class MSRIdentity;
class MSRMeasurement;
class MSRRemoteConfig;

// One event from the worker queue to its stored row: allowlist, session,
// de-duplication, editing, daily limits, the row and its metadata record.
//
// Owned by the controller and confined to its worker queue. It keeps the
// allowlist given at the start, and reaches the store, the settings and
// the other concerns only through the controller's public operations.
class MSREventWritePipeline {
public:
    MSREventWritePipeline(MSRMeasurement& controller, std::optional<std::vector<std::string>> safelistedEvents);
    MSREventWritePipeline(const MSREventWritePipeline&) = delete;
    MSREventWritePipeline& operator=(const MSREventWritePipeline&) = delete;

    const std::optional<std::vector<std::string>>& safelistedEvents() const { return safelistedEvents_; }

    void handleEventOnWorkerQueue(const MSREvent& event);
    void handleInternalEventOnWorkerQueue(const MSREvent& event);
    std::optional<MSREvent> eventAfterSafelistingEvent(const MSREvent& event);
    void processSessionFromEvent(const MSREvent& event);
    bool dedupeSubscriptionEvent(const MSREvent& event);
    bool shouldDropDuplicatedSessionStartWithRolloutEvent(const MSREvent& event);
    MSREvent appExceptionEventWithHaloFeatureRollouts(const MSREvent& event);
    void writeSessionStartEventOnWorkerQueue(const MSREvent& event);
    void writeEventOnWorkerQueue(const MSREvent& event);
    void writeFilteredEventOnWorkerQueue(const MSREvent& event);
    bool updateLifetimeValueWithEvent(const MSREvent& event);
    bool shouldProcessEvent(const MSREvent& event, MSRDailyCounts& dailyCounts, bool isPublicEvent);
    bool isRealtimeEvent(MSREvent& event, const MSRDailyCounts& dailyCounts);
    void maybeAddDebugAndRealtimeParameters(MSREvent& event);
    bool writeEvent(const MSREvent& event, bool isPublicEvent, bool isRealtime);
    MSRPBMeasurementBundle createRawEventMetadataWithUserAttributes(const std::vector<MSRUserAttribute>& attributes);
    std::optional<MSRPBAdCampaignInfo> adCampaignInfoFromEvent(const MSREvent& event);
    void logFirstOpenConsentedEvent(double timestamp);

private:
    // The steps of handling one event.
    std::optional<MSREvent> acceptedEvent(const MSREvent& incoming);
    void writeEditedEventOnWorkerQueue(MSREvent event);
    // The steps of writing one event, inside the store's transaction.
    bool writeCountedEvent(MSREvent& event);
    bool ensureEventAggregates(MSRDatabase& database, const MSREvent& event, bool isPublicEvent);
    void rememberAdCampaign(const MSREvent& event);
    // The fingerprint of the stored metadata record; none (logged) on a
    // store failure.
    std::optional<std::int64_t> storeRawEventMetadata(MSRDatabase& database, const MSREvent& event,
                                                      const std::vector<MSRUserAttribute>& attributes);
    void countFirstOpen(const MSREvent& event);
    void fillIdentityMetadata(MSRPBMeasurementBundle& metadata, MSRIdentity& identity, const MSRRemoteConfig& settings);

    MSRMeasurement& controller_;
    // Set at the start, then read-only: when given, only these events pass.
    const std::optional<std::vector<std::string>> safelistedEvents_;
};

}  // namespace kit::measurement
