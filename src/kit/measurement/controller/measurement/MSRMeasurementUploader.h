#pragma once

#include "kit/core/network/Network.h"
#include "kit/measurement/messages/NanoMessage.h"
#include "platform/Error.h"
#include "platform/concurrency/Timers.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kit::measurement {

class MSRAlarm;
class MSRDatabase;
class MSRIdentity;
class MSRPersistedConfig;
class MSRRemoteConfig;
class MSRScheduler;
struct MSRQueuedBundle;

// What the uploader takes from the controller. The components the start
// makes after the uploader (store, settings, identity) are read through
// their getters at each use and may be null before the start.
struct MSRUploaderCollaborators {
    platform::SchedulingClock& clock;
    MSRScheduler& scheduler;
    std::shared_ptr<MSRPersistedConfig> persistedConfig;
    std::shared_ptr<LMUNetwork> network;  // null: nothing is sent
    std::function<MSRDatabase*()> database;
    std::function<MSRRemoteConfig*()> remoteConfig;
    std::function<MSRIdentity*()> identity;
    // The controller, weakly: the timer's and the network's blocks run only
    // while it lives.
    std::function<std::weak_ptr<void>()> lifetime;
    // The network's completions, handed to the worker queue.
    std::function<std::shared_ptr<platform::Executor>()> workerQueue;
    // Whether the controller is told of reachability changes.
    std::function<void(bool observe)> observeReachability;
    // The other concerns' operations an upload leads to.
    std::function<bool()> bundleRawEvents;
    std::function<void()> fetchRemoteConfig;
    std::function<void()> applyTCFConsent;
    std::function<bool()> isPSMRequestPostponed;
    std::function<void()> retrievePostponedPSMResponse;
};

// The upload timer and the uploads: when the next one runs, and one upload
// of queued bundles as one gzipped batch, deleted once the service took it.
// Owned by the controller, which forwards its upload operations here.
// Confined to the worker queue, like everything it owns; only the pending
// flag is read elsewhere.
class MSRMeasurementUploader {
public:
    // Uploads stay off this long (uptime seconds) after accepted bundles
    // could not be deleted, or a fetched configuration not recorded.
    static constexpr double kUploadSuspensionSeconds = 3600;

    explicit MSRMeasurementUploader(MSRUploaderCollaborators collaborators);
    ~MSRMeasurementUploader();
    MSRMeasurementUploader(const MSRMeasurementUploader&) = delete;
    MSRMeasurementUploader& operator=(const MSRMeasurementUploader&) = delete;

    // "Measurement timer", the one upload timer.
    MSRAlarm& alarm() { return *alarm_; }

    void updateSchedule();
    // Seconds since 1970; 0 for none.
    double nextUploadingTime();
    void uploadDataOrRegisterAlarm();
    void uploadData();
    std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>> filteredBundlesWithCompatibleAppID(
        std::string_view appID, std::string_view resettableDeviceID, std::string_view vendorDeviceID,
        const std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>>& bundlesToUpload);
    void networkUploadCompletionHandlerWithResponse(const std::optional<HTTPURLResponse>& response,
                                                    const std::optional<platform::Error>& error);
    void incrementRetryCounter();
    void setUploadInProgressWithBundleIDs(const std::vector<std::int64_t>& bundleIDs);
    bool isNetworkReadyForRequest();
    bool hasDataToUpload();
    bool removeBundlesFromDatabaseWithIDs(const std::vector<std::int64_t>& bundleIDs);
    // Writes the pending persisted settings now (no background sessions here).
    void terminateBackgroundTask();

    // Any thread.
    bool isNetworkRequestPending() const { return isNetworkRequestPending_; }
    void setIsNetworkRequestPending(bool pending) { isNetworkRequestPending_ = pending; }
    void setSuspendedUploadTimestamp(double uptimeSeconds) { suspendedUploadTimestamp_ = uptimeSeconds; }
    // A wipe: the batch in flight and the accepted bundles are forgotten.
    void forgetBundlesInFlight();

    // Seconds since 1970 and since boot, on the controller's clock.
    double nowSince1970() const;
    double nowSinceBoot() const;
    // The configuration's cache time has passed, on the controller's clock.
    bool isRemoteConfigExpired();
    bool isNetworkConnected();

private:
    struct UploadTarget {
        std::string url;
        LMUNetworkHeaders headers;
        bool isServerSideTagging = false;
    };
    // The bundles taken from the queue, with the app and device they share.
    struct Candidates {
        std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>> bundles;  // bundle, row ID
        std::string compatibleAppID;
        std::string resettableDeviceID;
        std::string vendorDeviceID;
    };
    // The batch to post and the row IDs of its bundles.
    struct Batch {
        std::vector<MSRPBMeasurementBundle> bundles;
        std::vector<std::int64_t> rowIDs;
    };

    // The steps of uploadData.
    // False when no upload may start now (each case rescheduled or logged).
    bool mayStartUpload();
    // Bundles the service took whose deletion failed go before anything is
    // posted; false (uploads suspended) while that still fails.
    bool settleAcceptedBundles();
    void bundlePendingRawEvents();
    // The queue's first bundles, rows that don't decode deleted; nothing
    // when the upload ends here (logged, settled).
    std::optional<std::vector<MSRQueuedBundle>> readQueue();
    void deleteUnreadableBundles(const std::vector<std::int64_t>& rowIDs);
    static Candidates takeCandidates(std::vector<MSRQueuedBundle>& queued);
    Batch fillBatch(std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>>& filtered,
                    std::optional<std::int64_t> uploadMillis);
    void postBatch(const UploadTarget& target, const Batch& batch, std::optional<std::int64_t> uploadMillis);

    bool uploadTarget(UploadTarget& target);
    void fillConsentFieldsForUpload(std::vector<MSRQueuedBundle>& queued);
    // Deletes the bundles of an accepted batch whose deletion failed before;
    // false (logged) while that still fails.
    bool deleteAcceptedBundles();
    void stopScheduling();
    // A batch the service refused as too large (413) goes again in parts of
    // at most `oversizedBatchLimit_` bundles while the queue's first bundle
    // is one of it; a single bundle refused so is deleted.
    std::size_t batchLimitFor(std::int64_t firstRowID);
    void handleOversizedBatch();

    MSRUploaderCollaborators collaborators_;
    std::unique_ptr<MSRAlarm> alarm_;
    std::vector<std::int64_t> uploadingBundleIDs_;  // the batch in flight
    std::vector<std::int64_t> acceptedBundleIDs_;   // taken by the service, not yet deleted
    std::size_t oversizedBatchLimit_ = 0;           // 0: no bound
    std::set<std::int64_t> oversizedBatchRowIDs_;
    double suspendedUploadTimestamp_ = 0;  // uptime seconds; 0: not suspended
    std::atomic<bool> isNetworkRequestPending_{false};
};

}  // namespace kit::measurement
