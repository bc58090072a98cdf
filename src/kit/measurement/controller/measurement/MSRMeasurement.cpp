#include "kit/measurement/controller/MSRMeasurement.h"

#include "kit/core/Endpoints.h"
#include "kit/measurement/controller/MSRExperimentManager.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/controller/MSRTCFClient.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRAlarm.h"
#include "kit/measurement/support/MSRAudience.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/Random.h"
#include "platform/concurrency/SerialQueue.h"

// The shared instance, construction, enablement and the one-time start of
// the engine's components.
namespace kit::measurement {

namespace {

struct SharedInstanceHolder {
    std::mutex mutex;
    bool creationAttempted = false;       // guarded by mutex
    std::shared_ptr<MSRMeasurement> instance;  // guarded by mutex
};

// Reached from queue blocks that may still run at exit: never destroyed.
SharedInstanceHolder& holder() {
    static auto* shared = new SharedInstanceHolder();
    return *shared;
}

}  // namespace

std::shared_ptr<MSRMeasurement> MSRMeasurement::initializeSharedInstance(const MSRMeasurementStartOptions& options,
                                                                         MSRMeasurementEnvironment environment) {
    auto& shared = holder();
    std::lock_guard lock(shared.mutex);
    if (!shared.creationAttempted) {
        shared.creationAttempted = true;
        shared.instance = initWithAppID(options, std::move(environment));
    }
    return shared.instance;
}

bool MSRMeasurement::hasSharedInstance() {
    auto& shared = holder();
    std::lock_guard lock(shared.mutex);
    return shared.instance != nullptr;
}

std::shared_ptr<MSRMeasurement> MSRMeasurement::sharedInstance() {
    auto& shared = holder();
    std::lock_guard lock(shared.mutex);
    return shared.instance;
}

void MSRMeasurement::resetSharedInstanceForTesting() {
    std::shared_ptr<MSRMeasurement> dropped;
    {
        auto& shared = holder();
        std::lock_guard lock(shared.mutex);
        shared.creationAttempted = false;
        dropped = std::move(shared.instance);
    }
}

std::shared_ptr<MSRMeasurementControllerFactory> MSRMeasurement::makeFactory(MSRMeasurementEnvironment environment) {
    class Factory final : public MSRMeasurementControllerFactory {
    public:
        explicit Factory(MSRMeasurementEnvironment environment) : environment_(std::move(environment)) {}
        std::shared_ptr<MSRMeasurementController> initializeSharedInstance(
            const MSRMeasurementStartOptions& options) override {
            return MSRMeasurement::initializeSharedInstance(options, environment_);
        }

    private:
        MSRMeasurementEnvironment environment_;
    };
    return std::make_shared<Factory>(std::move(environment));
}

std::shared_ptr<MSRMeasurement> MSRMeasurement::initWithAppID(const MSRMeasurementStartOptions& options,
                                                              MSRMeasurementEnvironment environment) {
    if (options.appID.empty()) {
        MSRMeasurementMonitor().logWithLevel(1, 23170, "Cannot start Measurement. App ID is empty.");
        return nullptr;
    }
    auto controller = std::make_shared<MSRMeasurement>(Private{}, options, std::move(environment));
    controller->wasEnabledDuringInitialization_ = controller->shouldEnableMeasurement();
    controller->setEnabled(controller->wasEnabledDuringInitialization_);
    return controller;
}

MSRMeasurement::MSRMeasurement(Private, const MSRMeasurementStartOptions& options,
                               MSRMeasurementEnvironment environment)
    : clock_(environment.clock != nullptr ? environment.clock : &platform::systemSchedulingClock()),
      environment_(std::move(environment)),
      databaseName_(environment_.databaseName),
      appID_(options.appID),
      safelistedEvents_(options.safelistedEvents),
      persistedConfig_(environment_.persistedConfig != nullptr ? environment_.persistedConfig
                                                               : MSRPersistedConfig::sharedInstance()),
      scheduler_(std::make_unique<MSRScheduler>(kMSRWorkerQueueLabel)),
      experimentManager_(environment_.experimentManager),
      isAnalyticsCollectionEnabled_(options.isAnalyticsCollectionEnabled),
      isAnalyticsCollectionDeactivated_(options.isAnalyticsCollectionDeactivated),
      random_(environment_.random != nullptr ? environment_.random : &platform::systemRandom()) {
    if (environment_.network.has_value()) {
        network_ = *environment_.network;
    } else if (const auto host = Endpoints::current().measurementHost; !host.empty()) {
        network_ = LMUNetwork::initWithReachabilityHost(host);
    }
    alarm_ = std::make_unique<MSRAlarm>(scheduler_->workerQueue(), "Measurement timer", *clock_);
}

MSRMeasurement::~MSRMeasurement() = default;

void MSRMeasurement::scheduleWeakBlock(std::string_view blockID, std::function<void(MSRMeasurement&)> block) {
    scheduler_->scheduleOnWorkerQueueBlockID(blockID, [weak = weak_from_this(), block = std::move(block)] {
        if (auto self = weak.lock()) {
            block(*self);
        }
    });
}

bool MSRMeasurement::shouldEnableMeasurement() const {
    if (isAnalyticsCollectionDeactivated_) {
        return false;
    }
    return isAnalyticsCollectionEnabled_;
}

void MSRMeasurement::setEnabled(bool enabled) {
    scheduleWeakBlock("MSRMeasurement:630", [enabled](MSRMeasurement& self) { self.setEnabledOnWorkerQueue(enabled); });
}

void MSRMeasurement::setEnabledOnWorkerQueue(bool enabled) {
    if (isAnalyticsCollectionDeactivated_ && enabled) {
        return;
    }
    enabled_ = enabled;
    if (enabled && !startMeasurementOnWorkerQueue()) {
        enabled_ = false;
    }
}

// A first cut of the component start: enough for the concerns built beside
// it to run against a real store.
bool MSRMeasurement::startMeasurementOnWorkerQueue() {
    std::lock_guard lock(initializeComponentsLock_);
    if (didInitializeComponents()) {
        return true;
    }
    identity_ = MSRIdentity::sharedInstance();
    if (identity_ == nullptr) {
        return false;
    }
    auto database = MSRDatabase::initWithDatabaseName(databaseName_, persistedConfig_, *clock_);
    if (!database) {
        return false;
    }
    database_ = std::shared_ptr<MSRDatabase>(std::move(*database));
    remoteConfig_ = MSRRemoteConfig::initWithAppID(appID_, database_, experimentManager_);
    if (remoteConfig_ == nullptr) {
        return false;
    }
    audience_ = std::make_unique<MSRAudience>(*database_);
    sessionReporter_ = MSRSessionReporter::initWithPersistedConfig(persistedConfig_, *clock_);
    setDidInitializeComponents(true);
    return true;
}

bool MSRMeasurement::shouldWipeDataWithAppID(std::string_view, const std::optional<std::string>&,
                                             const std::optional<std::string>&) const {
    return false;
}
void MSRMeasurement::setProspectiveConsentSettings() {}
void MSRMeasurement::updatePersistedAppIDFromLMP() {}
void MSRMeasurement::reachabilityDidChange() {
    scheduleWeakBlock("MSRMeasurement:999", [](MSRMeasurement& self) { self.updateSchedule(); });
}
void MSRMeasurement::tcfClientSetConsentFromData() {}

MSRAlarm& MSRMeasurement::alarm() { return *alarm_; }
MSRAudience* MSRMeasurement::audience() { return audience_.get(); }
MSRDatabase* MSRMeasurement::database() { return database_.get(); }
std::shared_ptr<MSRIdentity> MSRMeasurement::identity() { return identity_; }
std::shared_ptr<LMUNetwork> MSRMeasurement::network() { return network_; }
std::shared_ptr<MSRPersistedConfig> MSRMeasurement::persistedConfig() { return persistedConfig_; }
std::shared_ptr<MSRRemoteConfig> MSRMeasurement::remoteConfigInstance() { return remoteConfig_; }
MSRScheduler& MSRMeasurement::scheduler() { return *scheduler_; }
std::shared_ptr<MSRSessionReporter> MSRMeasurement::sessionReporter() { return sessionReporter_; }
std::shared_ptr<MSRSearchAdReporter> MSRMeasurement::searchAdReporter() { return searchAdReporter_; }
std::shared_ptr<MSRTCFClient> MSRMeasurement::tcfClient() { return tcfClient_; }
bool MSRMeasurement::isEnabled() const { return enabled_; }
bool MSRMeasurement::wasEnabledDuringInitialization() { return wasEnabledDuringInitialization_; }
bool MSRMeasurement::isAnalyticsCollectionEnabled() const { return isAnalyticsCollectionEnabled_; }
void MSRMeasurement::setIsAnalyticsCollectionEnabled(bool value) { isAnalyticsCollectionEnabled_ = value; }
bool MSRMeasurement::isAnalyticsCollectionDeactivated() const { return isAnalyticsCollectionDeactivated_; }
void MSRMeasurement::setIsAnalyticsCollectionDeactivated(bool value) { isAnalyticsCollectionDeactivated_ = value; }
bool MSRMeasurement::isNetworkRequestPending() const { return isNetworkRequestPending_; }
void MSRMeasurement::setIsNetworkRequestPending(bool pending) { isNetworkRequestPending_ = pending; }
void MSRMeasurement::setSuspendedUploadTimestamp(double uptimeSeconds) { suspendedUploadTimestamp_ = uptimeSeconds; }

}  // namespace kit::measurement
