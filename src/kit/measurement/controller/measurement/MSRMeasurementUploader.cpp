#include "MSRMeasurementUploader.h"

#include "BundleSlots.h"
#include "UploadLines.h"
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
#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

// The upload schedule and one upload: bundles from the queue into a batch,
// posted gzipped, deleted once the service took them.
namespace kit::measurement {

namespace {

using upload_lines::log;
namespace lines = upload_lines;
namespace slot = bundle_slots;

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

bool isNonEmpty(const std::optional<std::string>& text) { return text.has_value() && !text->empty(); }

}  // namespace

MSRMeasurementUploader::MSRMeasurementUploader(MSRUploaderCollaborators collaborators)
    : collaborators_(std::move(collaborators)),
      alarm_(std::make_unique<MSRAlarm>(collaborators_.scheduler.workerQueue(), "Measurement timer",
                                        collaborators_.clock)) {}

MSRMeasurementUploader::~MSRMeasurementUploader() = default;

double MSRMeasurementUploader::nowSince1970() const { return platform::secondsSince1970(collaborators_.clock.now()); }

double MSRMeasurementUploader::nowSinceBoot() const { return platform::uptimeSeconds(collaborators_.clock); }

bool MSRMeasurementUploader::isRemoteConfigExpired() {
    // The settings' own test reads the system clock; the engine's clock is
    // the one its schedule and its stored fetch times follow.
    MSRRemoteConfig* const remoteConfig = collaborators_.remoteConfig();
    if (remoteConfig == nullptr || remoteConfig->isDefaultInstance()) {
        return false;
    }
    return std::fabs(nowSince1970() - remoteConfig->lastRemoteConfigUpdateTimestamp()) >=
           remoteConfig->remoteConfigCacheTimeInterval();
}

bool MSRMeasurementUploader::isNetworkConnected() {
    return collaborators_.network != nullptr && collaborators_.network->isNetworkConnected();
}

void MSRMeasurementUploader::stopScheduling() {
    alarm_->cancel();
    collaborators_.observeReachability(false);
    terminateBackgroundTask();
}

void MSRMeasurementUploader::updateSchedule() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("updateSchedule");
    if (suspendedUploadTimestamp_ != 0 && !std::isnan(suspendedUploadTimestamp_)) {
        const double elapsed = std::fabs(nowSinceBoot() - suspendedUploadTimestamp_);
        if (elapsed < kUploadSuspensionSeconds) {
            log(lines::kUploadSuspended, kUploadSuspensionSeconds - elapsed);
            stopScheduling();
            return;
        }
        suspendedUploadTimestamp_ = 0;
    }
    // Asked after every stored event: the reads share one lock.
    bool hasData = false;
    double next = 0;
    const auto read = [&] {
        hasData = hasDataToUpload();
        if (hasData) {
            next = nextUploadingTime();
        }
    };
    MSRDatabase* const database = collaborators_.database();
    if (database != nullptr) {
        database->performReads(read);
    } else {
        read();
    }
    MSRRemoteConfig* const remoteConfig = collaborators_.remoteConfig();
    if (!hasData) {
        if (remoteConfig != nullptr) {
            remoteConfig->activateNewSnapshot();
        }
        log(lines::kNothingToSchedule);
        stopScheduling();
        return;
    }
    if (std::fabs(next) < kEpsilon) {
        log(lines::kNoNextUploadTime);
        stopScheduling();
        return;
    }
    if (!isNetworkConnected()) {
        log(lines::kNoNetworkToSchedule);
        collaborators_.observeReachability(true);
        alarm_->cancel();
        terminateBackgroundTask();
        return;
    }
    collaborators_.observeReachability(false);
    const double now = nowSince1970();
    if (const auto end = backoffEnd(collaborators_.persistedConfig->lastBackoffTimestamp(),
                                    remoteConfig->uploadingBackoffInterval(), now)) {
        next = std::max(next, *end);
    }
    if (const auto scheduled = alarm_->scheduledTimestamp()) {
        const double scheduledSeconds = platform::secondsSince1970(*scheduled);
        if (scheduledSeconds != 0 && scheduledSeconds <= next) {
            log(lines::kTaskAlreadyScheduled, scheduledSeconds - now);
            return;
        }
    }
    double delay = next - now;
    if (std::fabs(delay) < kEpsilon) {
        delay = 0.001;
    }
    // The uploader lives as long as the controller: both blocks run only
    // while the controller does.
    alarm_->runAfterDelay(delay, [this, lifetime = collaborators_.lifetime()] {
        if (const auto alive = lifetime.lock()) {
            collaborators_.scheduler.scheduleOnWorkerQueueBlockID("MSRMeasurement:1732", [this, lifetime] {
                if (const auto stillAlive = lifetime.lock()) {
                    uploadData();
                }
            });
        }
    });
    log(lines::kTaskScheduled, delay);
}

double MSRMeasurementUploader::nextUploadingTime() {
    MSRPersistedConfig& persistedConfig = *collaborators_.persistedConfig;
    MSRRemoteConfig& remoteConfig = *collaborators_.remoteConfig();
    MSRDatabase* const database = collaborators_.database();
    const double lastSuccess = persistedConfig.lastSuccessfulUploadTimestamp();
    const double lastFailure = persistedConfig.lastFailedUploadTimestamp();
    double latestRawEvent = 0;
    double latestBundle = 0;
    if (database != nullptr) {
        if (const auto time = database->queryLatestRawEventTime(); !time) {
            log(lines::kLatestRawEventTimeFailed, time.error());
        } else {
            latestRawEvent = time->value_or(0);
        }
        if (const auto time = database->queryLatestBundleTime(); !time) {
            log(lines::kLatestBundleTimeFailed, time.error());
        } else {
            latestBundle = time->value_or(0);
        }
    }
    const double latest = std::max(latestBundle, latestRawEvent);
    if (std::fabs(latest) < kEpsilon) {
        return 0;
    }
    const bool debugMode = MSRMeasurementMonitor().isDebugModeEnabled();
    bool realtime = debugMode;
    if (!realtime && database != nullptr) {
        if (const auto contains = database->containsRealtimeBundlesWithError(); !contains) {
            log(lines::kRealtimeBundleQueryFailed, contains.error());
        } else {
            realtime = *contains;
        }
    }
    if (!realtime && database != nullptr) {
        if (const auto contains = database->containsRealtimeRawEventsWithError(); !contains) {
            log(lines::kRealtimeRawEventQueryFailed, contains.error());
        } else {
            realtime = *contains;
        }
    }
    const double interval = realtime ? remoteConfig.uploadingRealTimeInterval() : remoteConfig.uploadingInterval();
    const double now = nowSince1970();
    const double base = now - std::fabs(latest - now);
    double candidate = std::fabs(now - lastSuccess) < interval ? lastSuccess + interval
                                                               : base + remoteConfig.uploadingInitialDelayInterval();
    if (lastFailure >= base) {
        const std::int32_t retryCount = remoteConfig.uploadingRetryCount();
        const double retryInterval = remoteConfig.uploadingRetryInterval();
        for (std::int32_t attempt = 0; attempt < retryCount; ++attempt) {
            candidate += retryInterval * std::ldexp(1.0, attempt);
            if (candidate > lastFailure) {
                return candidate;
            }
        }
        return 0;
    }
    if (debugMode) {
        return std::min(candidate, base + remoteConfig.uploadingDebugModeInterval());
    }
    return candidate;
}

void MSRMeasurementUploader::uploadDataOrRegisterAlarm() {
    if (isNetworkConnected() && hasDataToUpload()) {
        uploadData();
    } else {
        updateSchedule();
    }
}

bool MSRMeasurementUploader::deleteAcceptedBundles() {
    if (acceptedBundleIDs_.empty()) {
        return true;
    }
    if (!removeBundlesFromDatabaseWithIDs(acceptedBundleIDs_)) {
        log(lines::kAcceptedStillQueued, kUploadSuspensionSeconds);
        return false;
    }
    acceptedBundleIDs_.clear();
    return true;
}

void MSRMeasurementUploader::forgetBundlesInFlight() {
    uploadingBundleIDs_.clear();
    acceptedBundleIDs_.clear();
}

// ---- One upload, step by step

void MSRMeasurementUploader::uploadData() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("uploadData");
    if (!mayStartUpload() || !settleAcceptedBundles()) {
        return;
    }
    bundlePendingRawEvents();
    auto queued = readQueue();
    if (!queued) {
        return;
    }
    UploadTarget target;
    if (!uploadTarget(target)) {
        return;
    }
    fillConsentFieldsForUpload(*queued);

    const double lastSuccess = collaborators_.persistedConfig->lastSuccessfulUploadTimestamp();
    if (lastSuccess != 0) {
        log(lines::kUploadingEvents, std::fabs(nowSince1970() - lastSuccess));
    }

    const Candidates candidates = takeCandidates(*queued);
    auto filtered = filteredBundlesWithCompatibleAppID(candidates.compatibleAppID, candidates.resettableDeviceID,
                                                       candidates.vendorDeviceID, candidates.bundles);
    if (filtered.empty()) {
        // Only a first bundle without app ID leaves nothing: it can never be
        // sent, and posting an empty batch would repeat at once for ever.
        log(lines::kEmptyBundleList);
        if (candidates.compatibleAppID.empty()) {
            removeBundlesFromDatabaseWithIDs({candidates.bundles.front().second});
        }
        updateSchedule();
        return;
    }
    const auto uploadMillis = MSRMillisecondsFromSeconds(nowSince1970());
    postBatch(target, fillBatch(filtered, uploadMillis), uploadMillis);
}

bool MSRMeasurementUploader::mayStartUpload() {
    if (suspendedUploadTimestamp_ > 0) {
        updateSchedule();
        return false;
    }
    log(lines::kStartingUpload);
    if (!isNetworkReadyForRequest()) {
        log(lines::kRequestPending);
        return false;
    }
    if (!isNetworkConnected()) {
        log(lines::kNotConnected);
        updateSchedule();
        return false;
    }
    MSRRemoteConfig* const remoteConfig = collaborators_.remoteConfig();
    if (collaborators_.database() == nullptr || remoteConfig == nullptr) {
        return false;
    }
    // Every trigger (the timer, focus loss, a finished upload) keeps the quiet
    // the service asked for; the schedule wakes at its end.
    if (const auto end = backoffEnd(collaborators_.persistedConfig->lastBackoffTimestamp(),
                                    remoteConfig->uploadingBackoffInterval(), nowSince1970())) {
        log(lines::kServiceAskedForQuiet, *end - nowSince1970());
        updateSchedule();
        return false;
    }
    return true;
}

bool MSRMeasurementUploader::settleAcceptedBundles() {
    // Bundles the service took whose deletion failed go before anything is
    // posted, so that they are never sent twice.
    if (!deleteAcceptedBundles()) {
        suspendedUploadTimestamp_ = std::max(nowSinceBoot(), kEpsilon);
        updateSchedule();
        return false;
    }
    return true;
}

void MSRMeasurementUploader::bundlePendingRawEvents() {
    if (isRemoteConfigExpired()) {
        return;
    }
    const std::int32_t maximumBundles = collaborators_.remoteConfig()->maxBundlesCreatedPerIteration();
    for (std::int32_t made = 0; made < maximumBundles && collaborators_.bundleRawEvents(); ++made) {
    }
}

std::optional<std::vector<MSRQueuedBundle>> MSRMeasurementUploader::readQueue() {
    MSRRemoteConfig& remoteConfig = *collaborators_.remoteConfig();
    auto read = collaborators_.database()->queryBundlesWithCountLimit(remoteConfig.uploadMaxBundlesLimit(),
                                                                      remoteConfig.uploadMaxSizeLimitBytes());
    if (!read) {
        log(lines::kBundleQueryFailed, read.error());
        terminateBackgroundTask();
        return std::nullopt;
    }
    if (!read->skippedRowIDs.empty()) {
        deleteUnreadableBundles(read->skippedRowIDs);
    }
    if (!read->bundles.empty()) {
        return std::move(read->bundles);
    }
    remoteConfig.activateNewSnapshot();
    log(lines::kNothingToUpload);
    if (isRemoteConfigExpired()) {
        collaborators_.fetchRemoteConfig();
    } else {
        terminateBackgroundTask();
        if (!read->skippedRowIDs.empty()) {
            updateSchedule();
        }
    }
    return std::nullopt;
}

void MSRMeasurementUploader::deleteUnreadableBundles(const std::vector<std::int64_t>& rowIDs) {
    // A row that does not decode would otherwise stay first in line.
    const auto count = static_cast<std::int64_t>(rowIDs.size());
    if (const auto deleted = collaborators_.database()->deleteBundlesWithRowIDs(rowIDs); !deleted) {
        log(lines::kUnreadableBundlesNotDeleted, count, deleted.error());
    } else {
        log(lines::kUnreadableBundlesDeleted, count);
    }
}

// The compatible app ID is the first bundle's; the device key comes from
// the first bundle with a device ID, its resettable ID first.
MSRMeasurementUploader::Candidates MSRMeasurementUploader::takeCandidates(std::vector<MSRQueuedBundle>& queued) {
    Candidates batch;
    batch.compatibleAppID = NanoMessageGetString(queued.front().bundle, slot::kAppID).value_or("");
    for (const MSRQueuedBundle& entry : queued) {
        const auto resettable = NanoMessageGetString(entry.bundle, slot::kResettableDeviceID);
        const auto vendor = NanoMessageGetString(entry.bundle, slot::kVendorDeviceID);
        if (isNonEmpty(resettable)) {
            batch.resettableDeviceID = *resettable;
            break;
        }
        if (isNonEmpty(vendor)) {
            batch.vendorDeviceID = *vendor;
            break;
        }
    }
    batch.bundles.reserve(queued.size());
    for (MSRQueuedBundle& entry : queued) {
        batch.bundles.emplace_back(std::move(entry.bundle), entry.rowID);
    }
    return batch;
}

// Stamps the filtered bundles for sending and takes them up to the batch
// limit or the first one whose metadata differs from the first's.
MSRMeasurementUploader::Batch MSRMeasurementUploader::fillBatch(
    std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>>& filtered, std::optional<std::int64_t> uploadMillis) {
    MSRRemoteConfig& remoteConfig = *collaborators_.remoteConfig();
    MSRIdentity* const identity = collaborators_.identity();
    const std::int64_t libraryVersion = MSRIdentity::appMeasurementLibraryVersion();
    const bool checksumEnabled = remoteConfig.checksumEnabled();
    const auto dataControls = remoteConfig.dataControls();
    const std::set<std::string, std::less<>> redactedFields(dataControls.begin(), dataControls.end());
    const std::optional<MSRPBMeasurementBundle> reference =
        filtered.size() >= 2 ? std::optional(filtered.front().first) : std::nullopt;
    const std::size_t batchLimit = batchLimitFor(filtered.front().second);
    Batch batch;
    for (std::size_t index = 0; index < filtered.size(); ++index) {
        if (batchLimit != 0 && batch.bundles.size() == batchLimit) {
            break;
        }
        MSRPBMeasurementBundle& bundle = filtered[index].first;
        NanoMessageSetInt64(bundle, slot::kLibraryVersionAtUpload, libraryVersion);
        if (uploadMillis) {
            NanoMessageSetInt64(bundle, slot::kUploadTimestamp, *uploadMillis);
        }
        if (identity != nullptr) {
            MSRApplyDataControls(bundle, redactedFields, *identity);
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
        batch.bundles.push_back(std::move(bundle));
        batch.rowIDs.push_back(filtered[index].second);
    }
    return batch;
}

void MSRMeasurementUploader::postBatch(const UploadTarget& target, const Batch& batch,
                                       std::optional<std::int64_t> uploadMillis) {
    MSRRemoteConfig& remoteConfig = *collaborators_.remoteConfig();
    MSRPBMeasurementBatch message;
    NanoMessageSetArray(message, batch_slots::kBundles, batch.bundles);
    if (target.isServerSideTagging) {
        if (const auto subdomain = remoteConfig.uploadSubdomain(); isNonEmpty(subdomain)) {
            NanoMessageSetString(message, batch_slots::kUploadSubdomain, *subdomain);
        }
    }
    const auto payload = message.protoBuffer();
    if (!payload) {
        log(lines::kNoNetworkSession);
        return;
    }
    log(lines::kBatchSent, static_cast<std::int64_t>(uploadMillis.value_or(0)),
        static_cast<std::int64_t>(batch.bundles.size()));

    setUploadInProgressWithBundleIDs(batch.rowIDs);
    collaborators_.persistedConfig->setLastFailedUploadTimestamp(nowSince1970());
    isNetworkRequestPending_ = true;
    LMUNetwork& network = *collaborators_.network;
    network.setTimeoutInterval(remoteConfig.networkTimeout());
    // The uploader lives as long as the controller: the answer is handled
    // only while the controller does.
    const std::string sessionID = network.postURL(
        target.url, target.headers, *payload, collaborators_.workerQueue(), false,
        [this, lifetime = collaborators_.lifetime()](std::optional<HTTPURLResponse> response, std::vector<std::uint8_t>,
                                                     std::optional<platform::Error> error) {
            if (const auto alive = lifetime.lock()) {
                isNetworkRequestPending_ = false;
                networkUploadCompletionHandlerWithResponse(response, error);
            }
        },
        kMaximumUploadReplySize);
    if (sessionID.empty()) {
        log(lines::kNoNetworkSession);
        uploadingBundleIDs_.clear();
    }
}

bool MSRMeasurementUploader::uploadTarget(UploadTarget& target) {
    MSRRemoteConfig& remoteConfig = *collaborators_.remoteConfig();
    if (remoteConfig.SSTUploadEnabled()) {
        const auto url = remoteConfig.SSTUploadURL();
        if (!url) {
            log(lines::kNoSSTUploadURL);
            return false;
        }
        target.url = *url;
        target.isServerSideTagging = true;
        if (const auto headers = remoteConfig.SSTUploadHTTPHeaders()) {
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
    const auto url = remoteConfig.uploadURL();
    if (!url || collaborators_.network == nullptr) {
        // No upload host: nothing leaves the device.
        log(lines::kNoNetworkSession);
        terminateBackgroundTask();
        return false;
    }
    target.url = *url;
    return true;
}

void MSRMeasurementUploader::fillConsentFieldsForUpload(std::vector<MSRQueuedBundle>& queued) {
    collaborators_.applyTCFConsent();
    MSRRemoteConfig& remoteConfig = *collaborators_.remoteConfig();
    MSRIdentity* const identity = collaborators_.identity();
    const std::string signals = MSRConsentSettingsUtil::consentSignals();
    const std::string diagnostics = MSRConsentSettingsUtil::consentDiagnostics();
    const bool adUserDataDenied = MSRConsentSettingsUtil::isAdUserDataDenied();
    const bool gate = remoteConfig.gateIDFAOnATTMASEnabled();
    std::optional<MSRPBUserAttribute> npa;
    if (const auto attribute = collaborators_.database()->userAttributeWithName("_npa");
        attribute && attribute->has_value()) {
        npa = (*attribute)->protoUserAttribute();
    }
    bool overwrite = signals.find('0') != std::string::npos;
    for (MSRQueuedBundle& entry : queued) {
        if (!overwrite) {
            overwrite = MSRBundleHasFirstOpenEvent(entry.bundle);
        }
        if (identity != nullptr) {
            MSRFillBundleIdentityFields(entry.bundle, signals, gate, *identity, overwrite);
        }
        MSRFillBundleConsentFields(entry.bundle, diagnostics, adUserDataDenied, npa, remoteConfig, overwrite);
    }
}

std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>> MSRMeasurementUploader::filteredBundlesWithCompatibleAppID(
    std::string_view appID, std::string_view resettableDeviceID, std::string_view vendorDeviceID,
    const std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>>& bundlesToUpload) {
    if (!resettableDeviceID.empty() && !vendorDeviceID.empty()) {
        log(lines::kBothDeviceIDs);
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

// ---- The answer

void MSRMeasurementUploader::networkUploadCompletionHandlerWithResponse(const std::optional<HTTPURLResponse>& response,
                                                                        const std::optional<platform::Error>& error) {
    MSRPersistedConfig& persistedConfig = *collaborators_.persistedConfig;
    const int status = response ? response->statusCode : 0;
    const double now = nowSince1970();
    if (status != 200 && status != 204) {
        persistedConfig.setLastFailedUploadTimestamp(now);
        if (status == 503 || status == 429) {
            persistedConfig.setLastBackoffTimestamp(now);
        }
        log(lines::kUploadFailed, status, error ? MSRLogContext(*error) : MSRLogContext());
        incrementRetryCounter();
        if (status == kPayloadTooLargeStatus && !uploadingBundleIDs_.empty()) {
            handleOversizedBatch();
            return;
        }
        uploadingBundleIDs_.clear();
        updateSchedule();
        return;
    }
    log(lines::kUploadSucceeded, status, static_cast<std::int64_t>(response->expectedContentLength));
    persistedConfig.setLastSuccessfulUploadTimestamp(now);
    persistedConfig.setLastFailedUploadTimestamp(0);
    persistedConfig.setLastBackoffTimestamp(0);
    updateSchedule();
    if (!removeBundlesFromDatabaseWithIDs(uploadingBundleIDs_)) {
        log(lines::kUploadedNotDeleted, kUploadSuspensionSeconds);
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
    } else if (collaborators_.isPSMRequestPostponed()) {
        collaborators_.retrievePostponedPSMResponse();
    } else {
        updateSchedule();
    }
}

std::size_t MSRMeasurementUploader::batchLimitFor(std::int64_t firstRowID) {
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
void MSRMeasurementUploader::handleOversizedBatch() {
    const std::vector<std::int64_t> refused = std::exchange(uploadingBundleIDs_, {});
    if (refused.size() > 1) {
        oversizedBatchLimit_ = refused.size() / 2;
        oversizedBatchRowIDs_.insert(refused.begin(), refused.end());
        log(lines::kOversizedBatchSplit, static_cast<std::int64_t>(oversizedBatchLimit_));
    } else {
        if (!removeBundlesFromDatabaseWithIDs(refused)) {
            // Sent again later, by the schedule, not at once.
            updateSchedule();
            return;
        }
        log(lines::kOversizedBundleDeleted, refused.front());
        oversizedBatchLimit_ = 0;
        oversizedBatchRowIDs_.clear();
    }
    uploadDataOrRegisterAlarm();
}

void MSRMeasurementUploader::incrementRetryCounter() {
    MSRDatabase* const database = collaborators_.database();
    if (database == nullptr) {
        return;
    }
    if (const auto done = database->incrementRetryCounterForBundlesWithIDs(uploadingBundleIDs_); !done) {
        log(lines::kRetryCountsFailed, done.error());
    }
}

void MSRMeasurementUploader::setUploadInProgressWithBundleIDs(const std::vector<std::int64_t>& bundleIDs) {
    if (bundleIDs.empty()) {
        log(lines::kEmptyBundleList);
        return;
    }
    if (!uploadingBundleIDs_.empty()) {
        log(lines::kUploadAlreadyInProgress);
        return;
    }
    uploadingBundleIDs_ = bundleIDs;
}

bool MSRMeasurementUploader::isNetworkReadyForRequest() {
    const bool pending = isNetworkRequestPending_;
    const bool uploading = collaborators_.network != nullptr && collaborators_.network->hasUploadInProgress();
    if (!pending) {
        return !uploading;
    }
    if (!uploading) {
        log(lines::kPendingWithoutUpload);
    }
    return false;
}

bool MSRMeasurementUploader::hasDataToUpload() {
    MSRDatabase* const database = collaborators_.database();
    if (database == nullptr) {
        return false;
    }
    const auto queueEmpty = database->isQueuedBundleTableEmpty();
    if (!queueEmpty) {
        log(lines::kQueueEmptyCheckFailed, queueEmpty.error());
        return false;
    }
    if (!*queueEmpty) {
        return true;
    }
    const auto rawEmpty = database->isRawEventsTableEmpty();
    if (!rawEmpty) {
        log(lines::kRawEventsEmptyCheckFailed, rawEmpty.error());
        return false;
    }
    return !*rawEmpty;
}

bool MSRMeasurementUploader::removeBundlesFromDatabaseWithIDs(const std::vector<std::int64_t>& bundleIDs) {
    MSRDatabase* const database = collaborators_.database();
    if (database == nullptr) {
        return false;
    }
    if (const auto deleted = database->deleteBundlesWithRowIDs(bundleIDs); !deleted) {
        log(lines::kDeleteBundlesFailed, deleted.error());
        return false;
    }
    return true;
}

// Nothing runs in the background here: ending the task writes what the
// settings still hold unwritten.
void MSRMeasurementUploader::terminateBackgroundTask() { collaborators_.persistedConfig->flush(); }

}  // namespace kit::measurement
