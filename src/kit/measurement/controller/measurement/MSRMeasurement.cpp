#include "kit/measurement/controller/MSRMeasurement.h"
#include "MSREventWritePipeline.h"
#include "MSRLifecycleReports.h"
#include "MSRMeasurementBundler.h"
#include "MSRMeasurementUploader.h"
#include "MSROnDeviceConversion.h"
#include "MeasurementStartLines.h"

#include "kit/core/KitContext.h"
#include "kit/core/MainBundle.h"

#include "kit/core/Endpoints.h"
#include "kit/core/KitPaths.h"
#include "kit/core/LaunchArguments.h"
#include "kit/core/network/CurlTransport.h"
#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRDeepLinks.h"
#include "kit/measurement/controller/MSRExperimentManager.h"
#include "kit/measurement/controller/MSRIdentifiers.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRSearchAdReporter.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/controller/MSRTCFClient.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRAlarm.h"
#include "kit/measurement/support/MSRAudience.h"
#include "kit/measurement/support/MSRBackwardCompatibilityUtil.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/Bundle.h"
#include "platform/MessageFormat.h"
#include "platform/Random.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/SerialQueue.h"

// The shared instance, construction, enablement and the one-time start of
// the engine's components.
namespace kit::measurement {

using namespace start_lines;

namespace {

constexpr std::string_view kDefaultVersionText = "110900000";
constexpr std::string_view kHLOAnalyticsClassName = "HLOAnalytics";

struct SharedInstanceHolder {
    std::mutex mutex;
    bool creationAttempted = false;            // guarded by mutex
    std::shared_ptr<MSRMeasurement> instance;  // guarded by mutex
};

// One per kit context, which stops the queue blocks that reach it before
// it lets it go.
SharedInstanceHolder& holder() { return KitContext::current().service<SharedInstanceHolder>(); }

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

bool isHLOAnalyticsPresent() { return kit::classRegistry().contains(kHLOAnalyticsClassName); }

// "host", "host:port" or a test's "http://host:port": the part reachability watches.
std::string reachabilityHost(std::string_view host) {
    if (const auto scheme = host.find("://"); scheme != std::string_view::npos) {
        host.remove_prefix(scheme + 3);
    }
    if (const auto path = host.find('/'); path != std::string_view::npos) {
        host = host.substr(0, path);
    }
    return std::string(host);
}

// The logging hints end with where the switches are documented, when the
// endpoints name a page.
void logHint(const Line& line, bool isOn, const std::string& argument) {
    std::string hint = platform::formatMessage(
        line.text, {platform::MessageArgument(isOn ? "disable" : "enable"), platform::MessageArgument(argument)});
    if (const std::string url = Endpoints::current().loggingDocumentationURL; !url.empty()) {
        hint += " (see " + url + ")";
    }
    monitor().logWithLevel(line.level, line.code, hint);
}

void logStartBanner() {
    const bool hasHLOAnalytics = isHLOAnalyticsPresent();
    const std::string version = hasHLOAnalytics ? HLOAnalytics::topLevelVersion() : std::string(kDefaultVersionText);
    monitor().logWithLevel(kStarted.level, kStarted.code, platform::formatMessage(kStarted.text, {version}));
    if (hasHLOAnalytics) {
        monitor().logWithLevel(kBuild.level, kBuild.code,
                               platform::formatMessage(
                                   kBuild.text, {static_cast<long long>(MSRIdentity::appMeasurementLibraryVersion())}));
    }
    const std::string_view prefix = hasHLOAnalytics ? "HLO" : "MSR";
    const std::string debugOn = "-" + std::string(prefix) + "AnalyticsDebugEnabled";
    const std::string debugOff = "-no" + std::string(prefix) + "AnalyticsDebugEnabled";
    const bool debugMode = monitor().isDebugModeEnabled();
    logHint(kDebugHint, debugMode, debugMode ? debugOff : debugOn);
    log(kDebugLogging);
    const bool verbose = monitor().isVerboseLoggingEnabled();
    logHint(
        kVerboseHint, verbose,
        "-" + std::string(prefix) + (verbose ? "AnalyticsVerboseLoggingDisabled" : "AnalyticsVerboseLoggingEnabled"));
}

// Decided consent from transparency-and-consent data goes to the facade,
// which applies and persists it before the call returns.
class FacadeConsentSink final : public MSRConsentSink {
public:
    void setConsent(const MSRConsentDictionary& settings, std::string_view key) override {
        MSRAnalytics::setConsent(settings, key);
    }
};

}  // namespace

// --- Shared instance

std::shared_ptr<MSRMeasurement> MSRMeasurement::initializeSharedInstance(const MSRMeasurementStartOptions& options,
                                                                         MSRMeasurementEnvironment environment) {
    bool made = false;
    std::shared_ptr<MSRMeasurement> instance;
    {
        auto& shared = holder();
        std::lock_guard lock(shared.mutex);
        if (!shared.creationAttempted) {
            shared.creationAttempted = true;
            if (!options.appID.empty()) {
                monitor();
                shared.instance = initWithAppID(options, std::move(environment));
                made = shared.instance != nullptr;
            }
        }
        instance = shared.instance;
    }
    // Outside the lock: the services read the shared instance under it.
    if (made) {
        installControllerServices();
    }
    return instance;
}

bool MSRMeasurement::hasSharedInstance() {
    auto& shared = holder();
    std::lock_guard lock(shared.mutex);
    return shared.creationAttempted && shared.instance != nullptr;
}

std::shared_ptr<MSRMeasurement> MSRMeasurement::sharedInstance() {
    auto& shared = holder();
    std::lock_guard lock(shared.mutex);
    if (!shared.creationAttempted && isHLOAnalyticsPresent()) {
        log(kNotCreated);
    }
    return shared.instance;
}

std::shared_ptr<MSRRemoteConfig> MSRMeasurement::remoteConfig() {
    std::shared_ptr<MSRMeasurement> controller;
    {
        auto& shared = holder();
        std::lock_guard lock(shared.mutex);
        controller = shared.instance;
    }
    if (controller != nullptr) {
        if (auto settings = controller->remoteConfigInstance()) {
            return settings;
        }
    }
    return MSRRemoteConfig::defaultInstance();
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

// --- Construction

std::shared_ptr<MSRMeasurement> MSRMeasurement::initWithAppID(const MSRMeasurementStartOptions& options,
                                                              MSRMeasurementEnvironment environment) {
    if (options.appID.empty()) {
        log(kEmptyAppID);
        return nullptr;
    }
    logStartBanner();
    auto controller = std::make_shared<MSRMeasurement>(Private{}, options, std::move(environment));

    // What needs the controller's own reference: the network's delegates and the deep links.
    if (controller->network_ != nullptr) {
        controller->network_->setLoggerDelegate(controller);
        controller->network_->setIsDebugModeEnabled(monitor().isDebugModeEnabled());
    }
    MSRDeepLinks::Dependencies links;
    links.controller = controller;
    links.scheduler = controller->scheduler_;
    links.remoteConfig = [weak = std::weak_ptr<MSRMeasurement>(controller)]() -> std::shared_ptr<MSRRemoteConfig> {
        const auto self = weak.lock();
        return self != nullptr ? self->remoteConfigInstance() : nullptr;
    };
    links.persistedConfig = controller->persistedConfig_;
    links.userDefaults = MSRUserDefaults::sharedUserDefaults();
    links.clock = controller->clock_;
    links.environment.resettableDeviceID = [weak = std::weak_ptr<MSRMeasurement>(controller)] {
        const auto self = weak.lock();
        const auto identity = self != nullptr ? self->identity() : nullptr;
        return identity != nullptr ? identity->resettableDeviceID() : std::nullopt;
    };
    links.environment.trackingConsentStatus = [weak = std::weak_ptr<MSRMeasurement>(controller)] {
        const auto self = weak.lock();
        const auto identity = self != nullptr ? self->identity() : nullptr;
        return identity != nullptr ? identity->appleConsentStatus() : kMSRTrackingUnsupported;
    };
    links.environment.appID = [] { return kit::mainBundle().bundleIdentifier(); };
    links.environment.limitedAdTracking = [weak = std::weak_ptr<MSRMeasurement>(controller)] {
        const auto self = weak.lock();
        const auto identity = self != nullptr ? self->identity() : nullptr;
        return identity != nullptr ? std::optional<bool>(identity->limitedAdTracking()) : std::nullopt;
    };
    links.environment.isFAS = [weak = std::weak_ptr<MSRMeasurement>(controller)] {
        const auto self = weak.lock();
        const auto identity = self != nullptr ? self->identity() : nullptr;
        return identity != nullptr && identity->isFromAppStore();
    };
    links.environment.appMeasurementLibraryVersion = [] { return MSRIdentity::appMeasurementLibraryVersion(); };
    if (const auto* info = controller->infoDictionary().asDictionary()) {
        links.environment.infoDictionary = *info;
    }
    links.environment.launchArguments = kit::launchArguments();
    controller->deepLinks_ = MSRDeepLinks::create(std::move(links));

    const bool enable = controller->shouldEnableMeasurement();
    controller->setEnabled(enable);
    controller->wasEnabledDuringInitialization_ = enable;
    return controller;
}

MSRMeasurement::MSRMeasurement(Private, const MSRMeasurementStartOptions& options,
                               MSRMeasurementEnvironment environment)
    : clock_(environment.clock != nullptr ? environment.clock : &platform::systemSchedulingClock()),
      environment_(std::move(environment)),
      databaseName_(environment_.databaseName),
      appID_(options.appID),
      persistedConfig_(environment_.persistedConfig != nullptr ? environment_.persistedConfig
                                                               : MSRPersistedConfig::sharedInstance()),
      scheduler_(std::make_shared<MSRScheduler>(kMSRWorkerQueueLabel)),
      experimentManager_(environment_.experimentManager),
      isAnalyticsCollectionEnabled_(options.isAnalyticsCollectionEnabled),
      isAnalyticsCollectionDeactivated_(options.isAnalyticsCollectionDeactivated) {
    if (environment_.network.has_value()) {
        network_ = *environment_.network;
    } else {
        const Endpoints endpoints = Endpoints::current();
        const std::string host = reachabilityHost(endpoints.measurementHost);
        if (!host.empty()) {
            LMUNetworkConfiguration configuration;
            configuration.transport = TransportOptions::fromEndpoints(endpoints);
            network_ = LMUNetwork::initWithReachabilityHost(host, std::move(configuration));
        }
    }
    // Without a client the engine keeps its events and sends nothing.
    if (network_ == nullptr) {
        log(kNoNetwork);
    }
    uploader_ = makeUploader();
    bundler_ = makeBundler();
    writePipeline_ = std::make_unique<MSREventWritePipeline>(*this, options.safelistedEvents);
    lifecycleReports_ = std::make_unique<MSRLifecycleReports>(*this);
    onDeviceConversion_ = std::make_unique<MSROnDeviceConversion>(*this);

    if (persistedConfig_ != nullptr) {
        if (const auto stored = persistedConfig_->loadTimestampValue(); stored && stored->isNumber()) {
            initTimestamp_ = stored->asDouble().value_or(0);
        } else {
            initTimestamp_ = MSRAnalytics::loadTimestamp();
            persistedConfig_->setLoadTimestampValue(platform::Value(initTimestamp_));
        }
    } else {
        initTimestamp_ = MSRAnalytics::loadTimestamp();
    }
}

MSRMeasurement::~MSRMeasurement() {
    // The alarms are confined to the worker queue, so they go there. Blocks
    // still queued find the controller gone and do nothing.
    const auto release = [this] {
        searchAdReporter_.reset();
        uploader_.reset();
    };
    if (platform::SerialQueue::current() == &scheduler_->workerQueue()) {
        release();
    } else {
        scheduler_->dispatchSyncOnWorkerQueueBlockID("MSRMeasurement:dealloc", release);
    }
}

void MSRMeasurement::scheduleWeakBlock(std::string_view blockID, std::function<void(MSRMeasurement&)> block) {
    scheduler_->scheduleOnWorkerQueueBlockID(blockID, [weak = weak_from_this(), block = std::move(block)] {
        if (auto self = weak.lock()) {
            block(*self);
        }
    });
}

// --- Enablement

bool MSRMeasurement::shouldEnableMeasurement() const {
    if (isAnalyticsCollectionDeactivated_) {
        return false;
    }
    const std::int64_t state = persistedConfig_ != nullptr ? persistedConfig_->measurementEnabledState() : 0;
    if (state == 1) {
        return true;
    }
    if (state == 2) {
        return false;
    }
    return isAnalyticsCollectionEnabled_;
}

void MSRMeasurement::setEnabled(bool enabled) {
    scheduleWeakBlock("MSRMeasurement:630", [enabled](MSRMeasurement& self) { self.setEnabledOnWorkerQueue(enabled); });
}

void MSRMeasurement::setEnabledOnWorkerQueue(bool enabled) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("setIsEnabledOnWorkerQueue");
    if (isAnalyticsCollectionDeactivated_ && enabled) {
        log(kDeactivated);
        return;
    }
    if (!isAnalyticsCollectionDeactivated_ && !MSRAnalytics::deferredAnalyticsCollection()) {
        MSRAnalytics::setDeferredAnalyticsCollection(platform::Value(std::int64_t{enabled ? 0 : 1}));
    }
    enabled_ = enabled;
    if (enabled) {
        if (!startMeasurementOnWorkerQueue()) {
            log(kStartFailed);
            setEnabled(false);
            return;
        }
        if (sessionReporter_ != nullptr) {
            sessionReporter_->setReportingEnabled(true);
        }
        if (searchAdReporter_ != nullptr) {
            searchAdReporter_->setSearchAdReporterEnabled(true);
        }
        log(kEnabled);
        return;
    }
    MSRClearStoredDeepLinkIfExpired(*MSRUserDefaults::sharedUserDefaults(), *remoteConfigOrDefault(), *clock_);
    alarm().cancel();
    if (sessionReporter_ != nullptr) {
        sessionReporter_->setReportingEnabled(false);
    }
    if (searchAdReporter_ != nullptr) {
        searchAdReporter_->setSearchAdReporterEnabled(false);
    }
    log(kDisabled);
}

// --- Start

bool MSRMeasurement::startMeasurementOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("startMeasurementOnWorkerQueue");
    {
        std::lock_guard lock(initializeComponentsLock_);
        if (!didInitializeComponents()) {
            if (!initializeComponentsOnWorkerQueue()) {
                return false;
            }
            setDidInitializeComponents(true);
        }
    }
    setPersonalizedAdsUserPropertyOnWorkerQueue();
    if (MSRAnalytics::needFirstOpenAfterReset()) {
        reportFirstOpenOnWorkerQueue();
        MSRAnalytics::removeNeedFirstOpenAfterReset();
    }
    updateSchedule();
    if (MSRBackwardCompatibilityUtil::disableLMRMeasurement()) {
        log(kLMRDisabled);
    }
    return true;
}

// The one-time start, in its order: identity, consent and a pending wipe,
// identifiers, the store and settings, the store's upkeep, the start
// reports, then the reporters and observers.
bool MSRMeasurement::initializeComponentsOnWorkerQueue() {
    if (!takeSharedIdentity()) {
        return false;
    }
    applyStartConsentAndPendingWipe();
    refreshIdentifiers();
    if (!openStoreAndSettings()) {
        return false;
    }
    prepareStore();
    runStartReports();
    startReportersAndObservers();
    return true;
}

bool MSRMeasurement::takeSharedIdentity() {
    auto identity = MSRIdentity::sharedInstance();
    if (identity == nullptr) {
        return false;
    }
    std::lock_guard lock(componentsMutex_);
    identity_ = std::move(identity);
    return true;
}

void MSRMeasurement::applyStartConsentAndPendingWipe() {
    setProspectiveConsentSettings();
    MSRAnalytics::removeStartUpConsentSettings();
    MSRAnalytics::removeDeferredResetOnDeniedConsent();

    if (shouldWipeDataWithAppID(appID_, identity_->appIDFromLMP(), persistedConfig_->appIDFromLMP())) {
        MSRAnalytics::setResetRetryCount(MSRAnalytics::resetRetryCount() + 1);
        if (wipeoutAnalyticsDataAndResetComponents()) {
            MSRAnalytics::setResetRetryCount(0);
        } else {
            log(kWipeFailed);
        }
    }
}

void MSRMeasurement::refreshIdentifiers() {
    identity_->updateIdentifiers();
    if (const auto afterReset = MSRAnalytics::appInstanceIDAfterReset(); afterReset && !afterReset->empty()) {
        identity_->setAppInstanceID(*afterReset);
        MSRAnalytics::setAppInstanceIDAfterReset(std::nullopt);
    }
    updatePersistedAppIDFromLMP();
}

// The store (a second try when the first open fails), the remote settings
// over it, the audiences and the session reporter.
bool MSRMeasurement::openStoreAndSettings() {
    auto opened = MSRDatabase::initWithDatabaseName(databaseName_, persistedConfig_, *clock_);
    if (!opened) {
        opened = MSRDatabase::initWithDatabaseName(databaseName_, persistedConfig_, *clock_);
    }
    if (!opened) {
        return false;
    }
    database_ = std::shared_ptr<MSRDatabase>(std::move(*opened));

    auto manager = experimentManager_ != nullptr ? experimentManager_
                                                 : std::shared_ptr<MSREManager>(MSRExperimentManager::sharedInstance());
    auto settings = MSRRemoteConfig::initWithAppID(appID_, database_, std::move(manager));
    if (settings == nullptr) {
        return false;
    }
    {
        std::lock_guard lock(componentsMutex_);
        remoteConfig_ = std::move(settings);
    }

    audience_ = std::make_unique<MSRAudience>(*database_);
    {
        auto reporter = MSRSessionReporter::initWithPersistedConfig(persistedConfig_, *clock_);
        std::lock_guard lock(componentsMutex_);
        sessionReporter_ = std::move(reporter);
    }
    return true;
}

void MSRMeasurement::prepareStore() {
    // Nothing is backed up here, so excluding the folder cannot fail.
    if (auto excluded = MSRExcludePathFromBackup(kit::kitDataDirectory() / "Lumen" / "Measurement"); !excluded) {
        log(kBackupExclusionFailed, excluded.error());
    }
    log(kReady);
    monitor().setEncodeContexts(environment_.isFromAppStore ? environment_.isFromAppStore()
                                                            : identity_->isFromAppStore());

    if (auto deleted = database_->maybeDeleteStaleData(); !deleted) {
        log(kStaleDataNotDeleted, deleted.error());
    }
}

// Consent from the settings, on-device conversion upkeep, personalised
// ads, then first open, the campaign or a deferred deep link, and updates.
void MSRMeasurement::runStartReports() {
    updateConsentSettingsUtilWithRemoteConfig();
    checkPSMDependencyOnWorkerQueue();
    maybeDeleteExpiredPSMValueOnWorkerQueue();
    setPersonalizedAdsUserPropertyOnWorkerQueue();
    backfillSessionNumber();
    reportFirstOpenOnWorkerQueue();

    if (MSRHasStoredDeepLink(*MSRUserDefaults::sharedUserDefaults())) {
        reportStoredCampaignEventOnWorkerQueue(std::nullopt);
    } else if (deepLinks_ != nullptr && deepLinks_->shouldAllowRequestDeferredDeepLink()) {
        if (remoteConfigOrDefault()->isExpired()) {
            shouldRequestDeferredDeepLinkAfterConfigFetch_ = true;
        } else {
            deepLinks_->requestDeferredDeepLink();
        }
    }

    reportAppUpdateOnWorkerQueue();
    reportOSUpdateOnWorkerQueue();
}

void MSRMeasurement::startReportersAndObservers() {
    MSRSearchAdEnvironment searchAds;
    searchAds.clock = clock_;
    searchAdReporter_ =
        MSRSearchAdReporter::initWithWorkerQueue(scheduler_.get(), persistedConfig_, std::move(searchAds));
    if (searchAdReporter_ != nullptr) {
        searchAdReporter_->setSearchAdReporterEnabled(true);
        searchAdReporter_->start();
    }

    MSRTCFClient::Environment consent;
    consent.consentSink =
        environment_.consentSink != nullptr ? environment_.consentSink : std::make_shared<FacadeConsentSink>();
    tcfClient_ = std::make_shared<MSRTCFClient>(std::move(consent));
    tcfClient_->setIsDMARegion(remoteConfigOrDefault()->isDMARegion());
    tcfClientSetConsentFromData();

    if (persistedConfig_->haloFeatureRollouts() && !isHaloRemoteConfigSDKPresent()) {
        persistedConfig_->setHaloFeatureRollouts(std::nullopt);
    }
    subscribeForAppForegroundBackgroundNotifications();
}

bool MSRMeasurement::shouldWipeDataWithAppID(std::string_view /*appID*/, const std::optional<std::string>& appIDFromLMP,
                                             const std::optional<std::string>& persistedAppIDFromLMP) const {
    const std::int64_t retries = MSRAnalytics::resetRetryCount();
    if (retries >= 1 && retries <= 9) {
        return true;
    }
    return appIDFromLMP && !appIDFromLMP->empty() && persistedAppIDFromLMP && !persistedAppIDFromLMP->empty() &&
           *appIDFromLMP != *persistedAppIDFromLMP;
}

void MSRMeasurement::updatePersistedAppIDFromLMP() {
    const auto current = identity_->appIDFromLMP();
    if (current != persistedConfig_->appIDFromLMP()) {
        persistedConfig_->setAppIDFromLMP(current);
    }
    if (MSRIdentifiers::sharedInstance().origin() == "fa") {
        persistedConfig_->setAppIDFromLMP(appID_);
    }
    persistedConfig_->setAppIDFromAdKit(std::nullopt);
}

void MSRMeasurement::setProspectiveConsentSettings() {
    const auto nonEmpty = [](const std::optional<MSRConsentDictionary>& settings) {
        return settings && !settings->empty();
    };
    const auto thirdParty = MSRAnalytics::consentSettings3P();
    const auto onStart = MSRAnalytics::consentSettings1PStart();
    const MSRConsentDictionary plist = MSRConsentSettingsUtil::consentSettingsFromPlist();
    const auto tcf = MSRAnalytics::consentSettingsTCF();
    const std::int64_t current = MSRConsentSettingsUtil::consentSource();

    std::optional<MSRConsentDictionary> chosen;
    std::int64_t source = kMSRConsentSourceThirdParty;
    if (nonEmpty(tcf) && MSRConsentSettingsUtil::isConsentSourceHigherPriority(kMSRConsentSourceTCF) &&
        (!nonEmpty(thirdParty) || current == kMSRConsentSourceTCF)) {
        chosen = tcf;
        source = kMSRConsentSourceTCF;
    } else if (!plist.empty() && MSRConsentSettingsUtil::isConsentSourceHigherPriority(kMSRConsentSourcePlist)) {
        chosen = plist;
        source = kMSRConsentSourcePlist;
    } else if (isHLOAnalyticsPresent() && (current == kMSRConsentSourceOnStart || current == kMSRConsentSourceAPI)) {
        MSRAnalytics::clearConsent();
        source = kMSRConsentSourceThirdParty;
    } else if (nonEmpty(onStart) && MSRConsentSettingsUtil::isConsentSourceHigherPriority(kMSRConsentSourceOnStart)) {
        chosen = onStart;
        source = kMSRConsentSourceOnStart;
    } else {
        chosen = thirdParty;
        source = kMSRConsentSourceThirdParty;
    }
    if (nonEmpty(chosen) && MSRConsentSettingsUtil::isConsentSourceHigherPriority(source)) {
        MSRConsentSettingsUtil::setConsentSettings(chosen);
        MSRConsentSettingsUtil::setConsentSource(source);
        MSRAnalytics::persistConsentSettings(*chosen, source);
    }
}

void MSRMeasurement::reachabilityDidChange() {
    scheduleWeakBlock("MSRMeasurement:999", [](MSRMeasurement& self) { self.updateSchedule(); });
}

void MSRMeasurement::tcfClientSetConsentFromData() {
    if (tcfClient_ != nullptr) {
        tcfClient_->setConsentFromTCFData();
    }
}

// --- Accessors

MSRAudience* MSRMeasurement::audience() { return audience_.get(); }
MSRDatabase* MSRMeasurement::database() { return database_.get(); }
std::shared_ptr<MSRIdentity> MSRMeasurement::identity() {
    std::lock_guard lock(componentsMutex_);
    return identity_;
}
std::shared_ptr<LMUNetwork> MSRMeasurement::network() { return network_; }
std::shared_ptr<MSRPersistedConfig> MSRMeasurement::persistedConfig() { return persistedConfig_; }
std::shared_ptr<MSRRemoteConfig> MSRMeasurement::remoteConfigOrDefault() {
    return remoteConfig_ != nullptr ? remoteConfig_ : MSRRemoteConfig::defaultInstance();
}
std::shared_ptr<MSRRemoteConfig> MSRMeasurement::remoteConfigInstance() {
    std::lock_guard lock(componentsMutex_);
    return remoteConfig_;
}
MSRScheduler& MSRMeasurement::scheduler() { return *scheduler_; }
std::shared_ptr<MSRSessionReporter> MSRMeasurement::sessionReporter() {
    std::lock_guard lock(componentsMutex_);
    return sessionReporter_;
}
std::shared_ptr<MSRSearchAdReporter> MSRMeasurement::searchAdReporter() { return searchAdReporter_; }
std::shared_ptr<MSRTCFClient> MSRMeasurement::tcfClient() { return tcfClient_; }
std::shared_ptr<MSRDeepLinks> MSRMeasurement::deepLinks() { return deepLinks_; }
bool MSRMeasurement::isEnabled() const { return enabled_; }
bool MSRMeasurement::wasEnabledDuringInitialization() { return wasEnabledDuringInitialization_; }
bool MSRMeasurement::isAnalyticsCollectionEnabled() const { return isAnalyticsCollectionEnabled_; }
void MSRMeasurement::setIsAnalyticsCollectionEnabled(bool value) { isAnalyticsCollectionEnabled_ = value; }
bool MSRMeasurement::isAnalyticsCollectionDeactivated() const { return isAnalyticsCollectionDeactivated_; }
void MSRMeasurement::setIsAnalyticsCollectionDeactivated(bool value) { isAnalyticsCollectionDeactivated_ = value; }

}  // namespace kit::measurement
