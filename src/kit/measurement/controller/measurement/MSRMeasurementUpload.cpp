#include "kit/measurement/controller/MSRMeasurement.h"

#include "MSRMeasurementUploader.h"
#include "kit/measurement/support/MSRAlarm.h"
#include "kit/measurement/support/MSRScheduler.h"

#include <memory>
#include <utility>

// The controller's side of the upload: it makes the uploader over its
// components and forwards the upload operations to it.
namespace kit::measurement {

namespace {

static_assert(MSRMeasurement::kUploadSuspensionSeconds == MSRMeasurementUploader::kUploadSuspensionSeconds);

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

std::unique_ptr<MSRMeasurementUploader> MSRMeasurement::makeUploader() {
    return std::make_unique<MSRMeasurementUploader>(MSRUploaderCollaborators{
        .clock = *clock_,
        .scheduler = *scheduler_,
        .persistedConfig = persistedConfig_,
        .network = network_,
        .database = [this] { return database_.get(); },
        .remoteConfig = [this] { return remoteConfig_.get(); },
        .identity = [this] { return identity_.get(); },
        .lifetime = [this] { return std::weak_ptr<void>(weak_from_this()); },
        .workerQueue = [this] { return workerQueueExecutor(); },
        .observeReachability = [this](bool observe) { setReachabilityDelegateToSelf(observe); },
        .bundleRawEvents = [this] { return bundleRawEvents(); },
        .fetchRemoteConfig = [this] { fetchRemoteConfig(); },
        .applyTCFConsent = [this] { tcfClientSetConsentFromData(); },
        .isPSMRequestPostponed = [this] { return isPSMRequestPostponed(); },
        .retrievePostponedPSMResponse = [this] { retrievePostponedPSMResponseOnWorkerQueue(); },
    });
}

std::shared_ptr<platform::Executor> MSRMeasurement::workerQueueExecutor() {
    if (workerQueueExecutor_ == nullptr) {
        workerQueueExecutor_ = std::make_shared<WorkerQueueForwarder>(weak_from_this());
    }
    return workerQueueExecutor_;
}

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

double MSRMeasurement::nowSince1970() const { return platform::secondsSince1970(clock_->now()); }
double MSRMeasurement::nowSinceBoot() const { return platform::uptimeSeconds(*clock_); }
bool MSRMeasurement::isRemoteConfigExpired() { return uploader_->isRemoteConfigExpired(); }
bool MSRMeasurement::isNetworkConnected() { return uploader_->isNetworkConnected(); }

void MSRMeasurement::updateSchedule() { uploader_->updateSchedule(); }
double MSRMeasurement::nextUploadingTime() { return uploader_->nextUploadingTime(); }
void MSRMeasurement::uploadDataOrRegisterAlarm() { uploader_->uploadDataOrRegisterAlarm(); }
void MSRMeasurement::uploadData() { uploader_->uploadData(); }

std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>> MSRMeasurement::filteredBundlesWithCompatibleAppID(
    std::string_view appID, std::string_view resettableDeviceID, std::string_view vendorDeviceID,
    const std::vector<std::pair<MSRPBMeasurementBundle, std::int64_t>>& bundlesToUpload) {
    return uploader_->filteredBundlesWithCompatibleAppID(appID, resettableDeviceID, vendorDeviceID, bundlesToUpload);
}

void MSRMeasurement::networkUploadCompletionHandlerWithResponse(const std::optional<HTTPURLResponse>& response,
                                                                const std::optional<platform::Error>& error) {
    uploader_->networkUploadCompletionHandlerWithResponse(response, error);
}

void MSRMeasurement::incrementRetryCounter() { uploader_->incrementRetryCounter(); }
void MSRMeasurement::setUploadInProgressWithBundleIDs(const std::vector<std::int64_t>& bundleIDs) {
    uploader_->setUploadInProgressWithBundleIDs(bundleIDs);
}
bool MSRMeasurement::isNetworkReadyForRequest() { return uploader_->isNetworkReadyForRequest(); }
bool MSRMeasurement::hasDataToUpload() { return uploader_->hasDataToUpload(); }
bool MSRMeasurement::removeBundlesFromDatabaseWithIDs(const std::vector<std::int64_t>& bundleIDs) {
    return uploader_->removeBundlesFromDatabaseWithIDs(bundleIDs);
}
void MSRMeasurement::terminateBackgroundTask() { uploader_->terminateBackgroundTask(); }

MSRAlarm& MSRMeasurement::alarm() { return uploader_->alarm(); }
bool MSRMeasurement::isNetworkRequestPending() const { return uploader_->isNetworkRequestPending(); }
void MSRMeasurement::setIsNetworkRequestPending(bool pending) { uploader_->setIsNetworkRequestPending(pending); }
void MSRMeasurement::setSuspendedUploadTimestamp(double uptimeSeconds) {
    uploader_->setSuspendedUploadTimestamp(uptimeSeconds);
}

}  // namespace kit::measurement
