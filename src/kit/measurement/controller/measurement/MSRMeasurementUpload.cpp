#include "BundleSlots.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/controller/MSRDeepLinks.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRAlarm.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRDigests.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

// The upload schedule and one upload: bundles from the queue into a batch,
// posted gzipped, deleted once the service took them.
namespace kit::measurement {

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

// When the quiet a 429 or 503 asked for ends, or nothing while none holds.
std::optional<double> backoffEnd(double backoff, double interval, double now) {
    if (std::fabs(backoff) >= kEpsilon && interval > now - backoff) {
        return backoff + interval;
    }
    return std::nullopt;
}
// The upload reads only the status and headers of its reply.
constexpr std::size_t kMaximumUploadReplySize = std::size_t{64} << 10;
// The service's answer to a batch larger than it takes.
constexpr int kPayloadTooLargeStatus = 413;

namespace slot = bundle_slots;

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }


bool isNonEmpty(const std::optional<std::string>& text) { return text.has_value() && !text->empty(); }

// Hands the network's completions to the worker queue while the controller
// lives; afterwards they go nowhere.
class WorkerQueueForwarder final : public platform::Executor {
public:
    explicit WorkerQueueForwarder(std::weak_ptr<MSRMeasurement> controller) : controller_(std::move(controller)) {}
    void async(platform::Work work) override {
        if (const auto controller = controller_.lock()) {
            controller->scheduler().scheduleOnWorkerQueueBlockID("MSRMeasurement:network", std::move(work));
        }
    }

private:
    const std::weak_ptr<MSRMeasurement> controller_;
};

}  // namespace

double MSRMeasurement::nowSince1970() const { return platform::secondsSince1970(clock_->now()); }

double MSRMeasurement::nowSinceBoot() const { return platform::uptimeSeconds(*clock_); }

bool MSRMeasurement::isRemoteConfigExpired() {
    // The settings' own test reads the system clock; the engine's clock is
    // the one its schedule and its stored fetch times follow.
    if (remoteConfig_ == nullptr || remoteConfig_->isDefaultInstance()) {
        return false;
    }
    return std::fabs(nowSince1970() - remoteConfig_->lastRemoteConfigUpdateTimestamp()) >=
           remoteConfig_->remoteConfigCacheTimeInterval();
}

std::shared_ptr<platform::Executor> MSRMeasurement::workerQueueExecutor() {
    if (workerQueueExecutor_ == nullptr) {
        workerQueueExecutor_ = std::make_shared<WorkerQueueForwarder>(weak_from_this());
    }
    return workerQueueExecutor_;
}

bool MSRMeasurement::isNetworkConnected() { return network_ != nullptr && network_->isNetworkConnected(); }

void MSRMeasurement::setReachabilityDelegateToSelf(bool observe) {
    if (network_ == nullptr) {
        return;
    }
    if (observe) {
        network_->setReachabilityDelegate(std::weak_ptr<LMUNetworkReachabilityDelegate>(shared_from_this()));
    } else {
        network_->setReachabilityDelegate({});
    }
}

void MSRMeasurement::updateSchedule() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("updateSchedule");
    if (suspendedUploadTimestamp_ != 0 && !std::isnan(suspendedUploadTimestamp_)) {
        const double elapsed = std::fabs(nowSinceBoot() - suspendedUploadTimestamp_);
        if (elapsed < kUploadSuspensionSeconds) {
            monitor().logWithLevel(3, 23023, "Upload has been suspended. Will update scheduling later. Seconds",
                                   kUploadSuspensionSeconds - elapsed);
            alarm_->cancel();
            setReachabilityDelegateToSelf(false);
            terminateBackgroundTask();
            return;
        }
        suspendedUploadTimestamp_ = 0;
    }
    const auto stopScheduling = [this] {
        alarm_->cancel();
        setReachabilityDelegateToSelf(false);
        terminateBackgroundTask();
    };
    // Asked after every stored event: the reads share one lock.
    bool hasData = false;
    double next = 0;
    const auto read = [&] {
        hasData = hasDataToUpload();
        if (hasData) {
            next = nextUploadingTime();
        }
    };
    if (database_ != nullptr) {
        database_->performReads(read);
    } else {
        read();
    }
    if (!hasData) {
        if (remoteConfig_ != nullptr) {
            remoteConfig_->activateNewSnapshot();
        }
        monitor().logWithLevel(8, 23024, "No data to upload. Upload task will not be scheduled");
        stopScheduling();
        return;
    }
    if (std::fabs(next) < kEpsilon) {
        monitor().logWithLevel(8, 23025, "No next uploading time. Upload task will not be scheduled");
        stopScheduling();
        return;
    }
    if (!isNetworkConnected()) {
        monitor().logWithLevel(8, 23026, "No network. Upload task will not be scheduled");
        setReachabilityDelegateToSelf(true);
        alarm_->cancel();
        terminateBackgroundTask();
        return;
    }
    setReachabilityDelegateToSelf(false);
    const double now = nowSince1970();
    if (const auto end = backoffEnd(persistedConfig_->lastBackoffTimestamp(),
                                    remoteConfig_->uploadingBackoffInterval(), now)) {
        next = std::max(next, *end);
    }
    if (const auto scheduled = alarm_->scheduledTimestamp()) {
        const double scheduledSeconds = platform::secondsSince1970(*scheduled);
        if (scheduledSeconds != 0 && scheduledSeconds <= next) {
            monitor().logWithLevel(8, 23027,
                                   "Do not schedule an upload task. Task already exists. Will be executed in seconds",
                                   scheduledSeconds - now);
            return;
        }
    }
    double delay = next - now;
    if (std::fabs(delay) < kEpsilon) {
        delay = 0.001;
    }
    alarm_->runAfterDelay(delay, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->scheduleWeakBlock("MSRMeasurement:1732", [](MSRMeasurement& controller) { controller.uploadData(); });
        }
    });
    monitor().logWithLevel(8, 23028, "Upload task scheduled to be executed in approx. (s)", delay);
}

double MSRMeasurement::nextUploadingTime() {
    const double lastSuccess = persistedConfig_->lastSuccessfulUploadTimestamp();
    const double lastFailure = persistedConfig_->lastFailedUploadTimestamp();
    double latestRawEvent = 0;
    double latestBundle = 0;
    if (database_ != nullptr) {
        if (const auto time = database_->queryLatestRawEventTime(); !time) {
            monitor().logWithLevel(5, 23029, "Failed to query latest raw event time. Error", time.error());
        } else {
            latestRawEvent = time->value_or(0);
        }
        if (const auto time = database_->queryLatestBundleTime(); !time) {
            monitor().logWithLevel(5, 23030, "Failed to query latest bundle time. Error", time.error());
        } else {
            latestBundle = time->value_or(0);
        }
    }
    const double latest = std::max(latestBundle, latestRawEvent);
    if (std::fabs(latest) < kEpsilon) {
        return 0;
    }
    const bool debugMode = monitor().isDebugModeEnabled();
    bool realtime = debugMode;
    if (!realtime && database_ != nullptr) {
        if (const auto contains = database_->containsRealtimeBundlesWithError(); !contains) {
            monitor().logWithLevel(5, 23031, "Failed to query for real-time bundle indicator. Error", contains.error());
        } else {
            realtime = *contains;
        }
    }
    if (!realtime && database_ != nullptr) {
        if (const auto contains = database_->containsRealtimeRawEventsWithError(); !contains) {
            monitor().logWithLevel(5, 23032, "Failed to query for real-time raw event indicator. Error",
                                   contains.error());
        } else {
            realtime = *contains;
        }
    }
    const double interval = realtime ? remoteConfig_->uploadingRealTimeInterval() : remoteConfig_->uploadingInterval();
    const double now = nowSince1970();
    const double base = now - std::fabs(latest - now);
    double candidate = std::fabs(now - lastSuccess) < interval ? lastSuccess + interval
                                                               : base + remoteConfig_->uploadingInitialDelayInterval();
    if (lastFailure >= base) {
        const std::int32_t retryCount = remoteConfig_->uploadingRetryCount();
        const double retryInterval = remoteConfig_->uploadingRetryInterval();
        for (std::int32_t attempt = 0; attempt < retryCount; ++attempt) {
            candidate += retryInterval * std::ldexp(1.0, attempt);
            if (candidate > lastFailure) {
                return candidate;
            }
        }
        return 0;
    }
    if (debugMode) {
        return std::min(candidate, base + remoteConfig_->uploadingDebugModeInterval());
    }
    return candidate;
}

void MSRMeasurement::uploadDataOrRegisterAlarm() {
    if (isNetworkConnected() && hasDataToUpload()) {
        uploadData();
    } else {
        updateSchedule();
    }
}

bool MSRMeasurement::deleteAcceptedBundles() {
    if (acceptedBundleIDs_.empty()) {
        return true;
    }
    if (!removeBundlesFromDatabaseWithIDs(acceptedBundleIDs_)) {
        monitor().logWithLevel(1, 23241,
                               "Bundles the service accepted are still queued. Uploads will be suspended "
                               "for seconds",
                               kUploadSuspensionSeconds);
        return false;
    }
    acceptedBundleIDs_.clear();
    return true;
}

void MSRMeasurement::uploadData() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("uploadData");
    if (suspendedUploadTimestamp_ > 0) {
        updateSchedule();
        return;
    }
    monitor().logWithLevel(8, 23033, "Starting data upload");
    if (!isNetworkReadyForRequest()) {
        monitor().logWithLevel(8, 23034, "Network operation is pending. Ignoring upload request");
        return;
    }
    if (!isNetworkConnected()) {
        monitor().logWithLevel(7, 23035, "Network not connected, ignoring upload request");
        updateSchedule();
        return;
    }
    if (database_ == nullptr || remoteConfig_ == nullptr) {
        return;
    }
    // Every trigger (the timer, focus loss, a finished upload) keeps the quiet
    // the service asked for; the schedule wakes at its end.
    if (const auto end = backoffEnd(persistedConfig_->lastBackoffTimestamp(),
                                    remoteConfig_->uploadingBackoffInterval(), nowSince1970())) {
        monitor().logWithLevel(3, 23242, "The service asked for quiet. Upload postponed for seconds",
                               *end - nowSince1970());
        updateSchedule();
        return;
    }
    // Bundles the service took whose deletion failed go before anything is
    // posted, so that they are never sent twice.
    if (!deleteAcceptedBundles()) {
        suspendedUploadTimestamp_ = std::max(nowSinceBoot(), kEpsilon);
        updateSchedule();
        return;
    }
    if (!isRemoteConfigExpired()) {
        const std::int32_t maximumBundles = remoteConfig_->maxBundlesCreatedPerIteration();
        for (std::int32_t made = 0; made < maximumBundles && bundleRawEvents(); ++made) {
        }
    }
    auto read = database_->queryBundlesWithCountLimit(remoteConfig_->uploadMaxBundlesLimit(),
                                                      remoteConfig_->uploadMaxSizeLimitBytes());
    if (!read) {
        monitor().logWithLevel(1, 23036, "Failed to query bundles. Error", read.error());
        terminateBackgroundTask();
        return;
    }
    if (!read->skippedRowIDs.empty()) {
        // A row that does not decode would otherwise stay first in line.
        if (const auto deleted = database_->deleteBundlesWithRowIDs(read->skippedRowIDs); !deleted) {
            monitor().logWithLevel(1, 23240, "Failed to delete queued bundles that could not be read. Count, error",
                                   static_cast<std::int64_t>(read->skippedRowIDs.size()), deleted.error());
        } else {
            monitor().logWithLevel(2, 23240, "Deleted queued bundles that could not be read. Count",
                                   static_cast<std::int64_t>(read->skippedRowIDs.size()));
        }
    }
    std::vector<MSRQueuedBundle>& queued = read->bundles;
    if (queued.empty()) {
        remoteConfig_->activateNewSnapshot();
        monitor().logWithLevel(8, 23037, "No data to upload");
        if (isRemoteConfigExpired()) {
            fetchRemoteConfig();
        } else {
            terminateBackgroundTask();
            if (!read->skippedRowIDs.empty()) {
                updateSchedule();
            }
        }
        return;
    }

    UploadTarget target;
    if (!uploadTarget(target)) {
        return;
    }
    fillConsentFieldsForUpload(queued);

    const double lastSuccess = persistedConfig_->lastSuccessfulUploadTimestamp();
    if (lastSuccess != 0) {
        monitor().logWithLevel(8, 23038, "Uploading events. Elapsed time since last successful upload (s)",
                               std::fabs(nowSince1970() - lastSuccess));
    }

    const MSRPBMeasurementBundle& first = queued.front().bundle;
    const std::string compatibleAppID = NanoMessageGetString(first, slot::kAppID).value_or("");
    std::string resettableDeviceID;
    std::string vendorDeviceID;
    for (const MSRQueuedBundle& entry : queued) {
        const auto resettable = NanoMessageGetString(entry.bundle, slot::kResettableDeviceID);
        const auto vendor = NanoMessageGetString(entry.bundle, slot::kVendorDeviceID);
        if (isNonEmpty(resettable)) {
            resettableDeviceID = *resettable;
            break;
        }
        if (isNonEmpty(vendor)) {
            vendorDeviceID = *vendor;
            break;
        }
    }
    std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>> pairs;
    pairs.reserve(queued.size());
    for (MSRQueuedBundle& entry : queued) {
        pairs.emplace_back(std::move(entry.bundle), entry.rowID);
    }
    auto filtered = filteredBundlesWithCompatibleAppID(compatibleAppID, resettableDeviceID, vendorDeviceID, pairs);
    if (filtered.empty()) {
        // Only a first bundle without app ID leaves nothing: it can never be
        // sent, and posting an empty batch would repeat at once for ever.
        monitor().logWithLevel(2, 23046, "Bundle list is empty. Cancelling upload");
        if (compatibleAppID.empty()) {
            removeBundlesFromDatabaseWithIDs({pairs.front().second});
        }
        updateSchedule();
        return;
    }

    const auto uploadMillis = MSRMillisecondsFromSeconds(nowSince1970());
    const std::int64_t libraryVersion = MSRIdentity::appMeasurementLibraryVersion();
    const bool checksumEnabled = remoteConfig_->checksumEnabled();
    const auto dataControls = remoteConfig_->dataControls();
    const std::set<std::string, std::less<>> redactedFields(dataControls.begin(), dataControls.end());
    const std::optional<MSRPBMeasurementBundle> reference =
        filtered.size() >= 2 ? std::optional(filtered.front().first) : std::nullopt;
    const std::size_t batchLimit = batchLimitFor(filtered.front().second);
    std::vector<MSRPBMeasurementBundle> batchBundles;
    std::vector<std::int64_t> batchRowIDs;
    for (std::size_t index = 0; index < filtered.size(); ++index) {
        if (batchLimit != 0 && batchBundles.size() == batchLimit) {
            break;
        }
        MSRPBMeasurementBundle& bundle = filtered[index].first;
        NanoMessageSetInt64(bundle, slot::kLibraryVersionAtUpload, libraryVersion);
        if (uploadMillis) {
            NanoMessageSetInt64(bundle, slot::kUploadTimestamp, *uploadMillis);
        }
        if (identity_ != nullptr) {
            MSRApplyDataControls(bundle, redactedFields, *identity_);
        }
        if (checksumEnabled) {
            NanoMessageClearField(bundle, slot::kChecksum);
            if (const auto encoded = bundle.protoBuffer()) {
                NanoMessageSetInt64(bundle, slot::kChecksum, msr_64LSBMD5(*encoded));
            }
        }
        if (reference && index != 0 && !MSRBundlesHaveCompatibleMetadata(*reference, bundle)) {
            break;
        }
        batchBundles.push_back(std::move(bundle));
        batchRowIDs.push_back(filtered[index].second);
    }

    MSRPBMeasurementBatch batch;
    NanoMessageSetArray(batch, batch_slots::kBundles, batchBundles);
    if (target.isServerSideTagging) {
        if (const auto subdomain = remoteConfig_->uploadSubdomain(); isNonEmpty(subdomain)) {
            NanoMessageSetString(batch, batch_slots::kUploadSubdomain, *subdomain);
        }
    }
    const auto payload = batch.protoBuffer();
    if (!payload) {
        monitor().logWithLevel(2, 23040, "Unable to create network session.");
        return;
    }
    monitor().logWithLevel(7, 23039, "Measurement data sent to network. Timestamp (ms), data",
                           static_cast<std::int64_t>(uploadMillis.value_or(0)),
                           static_cast<std::int64_t>(batchBundles.size()));

    setUploadInProgressWithBundleIDs(batchRowIDs);
    persistedConfig_->setLastFailedUploadTimestamp(nowSince1970());
    isNetworkRequestPending_ = true;
    network_->setTimeoutInterval(remoteConfig_->networkTimeout());
    const std::string sessionID =
        network_->postURL(target.url, target.headers, *payload, workerQueueExecutor(), shouldUseBackgroundSession(),
                          [weak = weak_from_this()](std::optional<HTTPURLResponse> response, std::vector<std::uint8_t>,
                                                    std::optional<platform::Error> error) {
                              if (const auto self = weak.lock()) {
                                  self->isNetworkRequestPending_ = false;
                                  self->networkUploadCompletionHandlerWithResponse(response, error);
                              }
                          },
                          kMaximumUploadReplySize);
    if (sessionID.empty()) {
        monitor().logWithLevel(2, 23040, "Unable to create network session.");
        uploadingBundleIDs_.clear();
    }
}

bool MSRMeasurement::uploadTarget(UploadTarget& target) {
    if (remoteConfig_->SSTUploadEnabled()) {
        const auto url = remoteConfig_->SSTUploadURL();
        if (!url) {
            monitor().logWithLevel(1, 23263, "Unable to get a valid SST upload URL.");
            return false;
        }
        target.url = *url;
        target.isServerSideTagging = true;
        if (const auto headers = remoteConfig_->SSTUploadHTTPHeaders()) {
            for (const auto& [name, value] : *headers) {
                target.headers[name] = value;
            }
        }
        if (const auto preview = MSRDeepLinks::SSTPreviewHeaders()) {
            for (const auto& [name, value] : *preview) {
                if (const auto* text = value.asString()) {
                    target.headers[name] = *text;
                }
            }
        }
        return true;
    }
    const auto url = remoteConfig_->uploadURL();
    if (!url || network_ == nullptr) {
        // No upload host: nothing leaves the device.
        monitor().logWithLevel(2, 23040, "Unable to create network session.");
        terminateBackgroundTask();
        return false;
    }
    target.url = *url;
    return true;
}

void MSRMeasurement::fillConsentFieldsForUpload(std::vector<MSRQueuedBundle>& queued) {
    tcfClientSetConsentFromData();
    const std::string signals = MSRConsentSettingsUtil::consentSignals();
    const std::string diagnostics = MSRConsentSettingsUtil::consentDiagnostics();
    const bool adUserDataDenied = MSRConsentSettingsUtil::isAdUserDataDenied();
    const bool gate = remoteConfig_->gateIDFAOnATTMASEnabled();
    std::optional<MSRPBUserAttribute> npa;
    if (const auto attribute = database_->userAttributeWithName("_npa"); attribute && attribute->has_value()) {
        npa = (*attribute)->protoUserAttribute();
    }
    bool overwrite = signals.find('0') != std::string::npos;
    for (MSRQueuedBundle& entry : queued) {
        if (!overwrite) {
            overwrite = MSRBundleHasFirstOpenEvent(entry.bundle);
        }
        if (identity_ != nullptr) {
            MSRFillBundleIdentityFields(entry.bundle, signals, gate, *identity_, overwrite);
        }
        MSRFillBundleConsentFields(entry.bundle, diagnostics, adUserDataDenied, npa, *remoteConfig_, overwrite);
    }
}

std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>> MSRMeasurement::filteredBundlesWithCompatibleAppID(
    std::string_view appID, std::string_view resettableDeviceID, std::string_view vendorDeviceID,
    const std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>>& bundlesToUpload) {
    if (!resettableDeviceID.empty() && !vendorDeviceID.empty()) {
        monitor().logWithLevel(2, 23042, "Bundle filter must not specify both resettableDeviceID and vendorDeviceID");
        return {};
    }
    const bool keyIsResettable = !resettableDeviceID.empty();
    const std::string_view key = keyIsResettable ? resettableDeviceID : vendorDeviceID;
    const int comparedField = keyIsResettable ? slot::kResettableDeviceID : slot::kVendorDeviceID;
    std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>> result;
    for (const auto& entry : bundlesToUpload) {
        const auto compared = NanoMessageGetString(entry.first, comparedField);
        if (!key.empty() && isNonEmpty(compared) && *compared != key) {
            break;
        }
        // A bundle without app ID matches none, not even another without one.
        const auto bundleAppID = NanoMessageGetString(entry.first, slot::kAppID);
        if (appID.empty() || !isNonEmpty(bundleAppID) || *bundleAppID != appID) {
            break;
        }
        result.push_back(entry);
    }
    return result;
}

void MSRMeasurement::networkUploadCompletionHandlerWithResponse(const std::optional<HTTPURLResponse>& response,
                                                                const std::optional<platform::Error>& error) {
    const int status = response ? response->statusCode : 0;
    const double now = nowSince1970();
    if (status != 200 && status != 204) {
        persistedConfig_->setLastFailedUploadTimestamp(now);
        if (status == 503 || status == 429) {
            persistedConfig_->setLastBackoffTimestamp(now);
        }
        monitor().logWithLevel(7, 23043, "Network upload failed. Will retry later. Code, error", status,
                               error ? MSRLogContext(*error) : MSRLogContext());
        incrementRetryCounter();
        if (status == kPayloadTooLargeStatus && !uploadingBundleIDs_.empty()) {
            handleOversizedBatch();
            return;
        }
        uploadingBundleIDs_.clear();
        updateSchedule();
        return;
    }
    monitor().logWithLevel(7, 23044, "Successful upload. Got network response. Code, size", status,
                           static_cast<std::int64_t>(response->expectedContentLength));
    persistedConfig_->setLastSuccessfulUploadTimestamp(now);
    persistedConfig_->setLastFailedUploadTimestamp(0);
    persistedConfig_->setLastBackoffTimestamp(0);
    updateSchedule();
    if (!removeBundlesFromDatabaseWithIDs(uploadingBundleIDs_)) {
        monitor().logWithLevel(1, 23045, "Unable to delete uploaded bundles. Uploads will be suspended for seconds",
                               kUploadSuspensionSeconds);
        // Kept so that the next attempt deletes them before it posts again.
        acceptedBundleIDs_.insert(acceptedBundleIDs_.end(), uploadingBundleIDs_.begin(), uploadingBundleIDs_.end());
        suspendedUploadTimestamp_ = std::max(nowSinceBoot(), kEpsilon);
    } else {
        suspendedUploadTimestamp_ = 0;
    }
    uploadingBundleIDs_.clear();
    if (isNetworkConnected() && hasDataToUpload()) {
        uploadData();
    } else if (isRemoteConfigExpired()) {
        uploadData();
    } else if (isPSMRequestPostponed_) {
        isPSMRequestPostponed_ = false;
        retrievePSMResponse();
    } else {
        updateSchedule();
    }
}

std::size_t MSRMeasurement::batchLimitFor(std::int64_t firstRowID) {
    if (oversizedBatchLimit_ != 0 && oversizedBatchRowIDs_.contains(firstRowID)) {
        return oversizedBatchLimit_;
    }
    // The refused batch has gone: later batches are whole again.
    oversizedBatchLimit_ = 0;
    oversizedBatchRowIDs_.clear();
    return 0;
}

// The same bundles would be refused again at every retry, and every bundle
// queued behind them would wait: the batch goes again at once in halves,
// and a bundle refused on its own can never be sent.
void MSRMeasurement::handleOversizedBatch() {
    const std::vector<std::int64_t> refused = std::exchange(uploadingBundleIDs_, {});
    if (refused.size() > 1) {
        oversizedBatchLimit_ = refused.size() / 2;
        oversizedBatchRowIDs_.insert(refused.begin(), refused.end());
        monitor().logWithLevel(7, 23244, "Batch too large for the server; sending it in parts. Bundles per batch",
                               static_cast<std::int64_t>(oversizedBatchLimit_));
    } else {
        if (!removeBundlesFromDatabaseWithIDs(refused)) {
            // Sent again later, by the schedule, not at once.
            updateSchedule();
            return;
        }
        monitor().logWithLevel(2, 23243, "Bundle too large for the server; deleted. Bundle ID", refused.front());
        oversizedBatchLimit_ = 0;
        oversizedBatchRowIDs_.clear();
    }
    if (isNetworkConnected() && hasDataToUpload()) {
        uploadData();
    } else {
        updateSchedule();
    }
}

void MSRMeasurement::incrementRetryCounter() {
    if (database_ == nullptr) {
        return;
    }
    if (const auto done = database_->incrementRetryCounterForBundlesWithIDs(uploadingBundleIDs_); !done) {
        monitor().logWithLevel(2, 23166, "Failed to update the bundles' retry counts. Error", done.error());
    }
}

void MSRMeasurement::setUploadInProgressWithBundleIDs(const std::vector<std::int64_t>& bundleIDs) {
    if (bundleIDs.empty()) {
        monitor().logWithLevel(2, 23046, "Bundle list is empty. Cancelling upload");
        return;
    }
    if (!uploadingBundleIDs_.empty()) {
        monitor().logWithLevel(2, 23047, "Set uploading progress before finishing the previous upload");
        return;
    }
    uploadingBundleIDs_ = bundleIDs;
}

bool MSRMeasurement::isNetworkReadyForRequest() {
    const bool pending = isNetworkRequestPending_;
    const bool uploading = network_ != nullptr && network_->hasUploadInProgress();
    if (!pending) {
        return !uploading;
    }
    if (!uploading) {
        monitor().logWithLevel(1, 23041, "Analytics is uploading but network is not uploading");
    }
    return false;
}

bool MSRMeasurement::hasDataToUpload() {
    if (database_ == nullptr) {
        return false;
    }
    const auto queueEmpty = database_->isQueuedBundleTableEmpty();
    if (!queueEmpty) {
        monitor().logWithLevel(1, 23117, "Failed to check if queue table is empty. Error", queueEmpty.error());
        return false;
    }
    if (!*queueEmpty) {
        return true;
    }
    const auto rawEmpty = database_->isRawEventsTableEmpty();
    if (!rawEmpty) {
        monitor().logWithLevel(1, 23118, "Failed to check if raw events table is empty. Error", rawEmpty.error());
        return false;
    }
    return !*rawEmpty;
}

bool MSRMeasurement::removeBundlesFromDatabaseWithIDs(const std::vector<std::int64_t>& bundleIDs) {
    if (database_ == nullptr) {
        return false;
    }
    if (const auto deleted = database_->deleteBundlesWithRowIDs(bundleIDs); !deleted) {
        monitor().logWithLevel(1, 23122, "Failed to delete bundles from database. Error", deleted.error());
        return false;
    }
    return true;
}

// Nothing runs in the background here: ending the task writes what the
// settings still hold unwritten.
void MSRMeasurement::terminateBackgroundTask() { persistedConfig_->flush(); }

}  // namespace kit::measurement
