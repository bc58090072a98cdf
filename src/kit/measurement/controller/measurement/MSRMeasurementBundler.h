#pragma once

#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRRecords.h"
#include "platform/Expected.h"
#include "platform/concurrency/Timers.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {
class RandomSource;
}

namespace kit::measurement {

class MSRAudience;
class MSRAudienceTimestampsCache;
class MSRDatabase;
class MSRIdentity;
class MSRPersistedConfig;
class MSRRemoteConfig;
struct MSRRawEventsRead;

// What the bundler takes from the controller. The components the start
// makes after the bundler (store, settings, audiences, identity) are read
// through their getters at each use.
struct MSRBundlerCollaborators {
    platform::SchedulingClock& clock;
    // Sampling rolls.
    platform::RandomSource& random;
    std::shared_ptr<MSRPersistedConfig> persistedConfig;
    std::function<MSRDatabase*()> database;
    std::function<MSRRemoteConfig*()> remoteConfig;
    std::function<MSRAudience*()> audience;
    std::function<MSRIdentity*()> identity;
    // The controller's user-property store, for the engagement totals.
    std::function<bool(const MSRUserAttribute&)> storeUserProperty;
    // Sets the personalised-ads user property when a consent change asked
    // for it.
    std::function<void()> applyPendingNPAUserProperty;
    // A bundle was queued: uploads are no longer suspended.
    std::function<void()> bundleQueued;
};

// Raw events into bundles: one metadata record's run at a time, with daily
// counts, sampling, audiences, engagement and the bundle's metadata. Owned
// by the controller, which forwards its bundling and sampling operations
// here. Confined to the worker queue.
class MSRMeasurementBundler {
public:
    explicit MSRMeasurementBundler(MSRBundlerCollaborators collaborators);
    ~MSRMeasurementBundler();
    MSRMeasurementBundler(const MSRMeasurementBundler&) = delete;
    MSRMeasurementBundler& operator=(const MSRMeasurementBundler&) = delete;

    // ----- Bundling

    // Turns the oldest run of raw events sharing one metadata record into
    // one queued bundle, in one transaction. True when a run was consumed.
    bool bundleRawEvents();
    // The run: the oldest rows of the fingerprint, up to the first row of
    // another hour, a gap in row IDs or the count and size limits. Rows
    // that don't decode are part of the run (in `skippedRowIDs`). Nothing
    // on a store failure.
    std::optional<MSRRawEventsRead> rawEventsWithMetadataFingerprint(std::int64_t fingerprint);
    // `runLastRowID`: the last row of the run when it is not the last event
    // (a row that didn't decode). Empty when every event was rejected (the
    // run is deleted); nothing on a store failure.
    std::optional<std::vector<MSREvent>> processRawEvents(const std::vector<MSRRawEventData>& rawEvents,
                                                          std::int64_t fingerprint,
                                                          std::optional<std::int64_t> runLastRowID = std::nullopt);
    MSRRawEventData internalEventFromPublicEvent(const MSRRawEventData& rawEvent);
    // Both answer whether they changed the counts; they mark the event.
    bool checkConversion(MSREvent& event, MSRDailyCounts& dailyCounts);
    bool checkRealtime(MSREvent& event, MSRDailyCounts& dailyCounts);
    MSRRawEventData validatePurchaseEvent(const MSRRawEventData& rawEvent);
    // Session start and engagement totals of the run.
    void evaluationTimeFromRawEvents(const std::vector<MSRRawEventData>& rawEvents, MSRPBMeasurementBundle& bundle);
    void handleAnalyticsStorageConsentTransitions(MSRPBMeasurementBundle& bundle);
    std::optional<std::vector<MSREvent>> eventsAfterUpdatingEventAggregates(
        const std::vector<MSREvent>& events, MSRAudienceTimestampsCache& audienceTimestampsCache,
        bool allowEventFilterEvaluation);
    bool updateAppMetadataForBundle(MSRPBMeasurementBundle& bundle, double bundleStartTimestamp,
                                    double bundleEndTimestamp);
    bool updateUserEngagement(std::int64_t engagementTimeMillis, MSRPBMeasurementBundle& bundle, bool sessionScoped);
    void addBundleMetadataIntoBundle(MSRPBMeasurementBundle& bundle, double bundleStartTimestamp,
                                     double bundleEndTimestamp);

    // ----- Sampling

    // The kept events in input order (some with "_sr" and "_efs" added), or
    // the store's error; the names' sampling state is saved once, after
    // every event was decided.
    platform::Expected<std::vector<MSRPBEvent>> sampleEvents(std::vector<MSRPBEvent> events);
    bool canEventBeSampled(const MSRPBEvent& event);
    // True with probability 1/rate, rolled on the controller's random source.
    bool isEventBundledAfterRoll(std::int64_t rate);

private:
    // One run of raw events on its way to the queue.
    struct Run;
    // How a step of bundleRawEvents ends: go on to the next step, commit,
    // roll back, or consume the run (commit when its rows went).
    enum class Step { next, commit, rollBack, consumeRun };

    // The steps of bundleRawEvents, in order, inside its transaction.
    bool bundleNextRun(bool& runConsumed);
    Step readNextRun(Run& run);
    Step readRunMetadata(Run& run);
    Step aggregateRunEvents(Run& run);
    Step sampleRunEvents(Run& run);
    Step completeBundle(Run& run);
    Step queueBundle(Run& run);

    // Deletes a consumed run: its rows up to `maxRowID`, then its metadata
    // record when no row refers to it any more.
    bool deleteBundledRawEvents(std::int64_t maxRowID, std::int64_t fingerprint);
    // The day index of the daily counts for now.
    std::uint32_t dailyCountsDay() const;
    double nowSince1970() const;
    // The components; the controller calls in only after its start made them.
    MSRDatabase& database() const { return *collaborators_.database(); }
    MSRRemoteConfig& remoteConfig() const { return *collaborators_.remoteConfig(); }
    MSRAudience& audience() const { return *collaborators_.audience(); }
    MSRPersistedConfig& persistedConfig() const { return *collaborators_.persistedConfig; }

    MSRBundlerCollaborators collaborators_;
};

}  // namespace kit::measurement
