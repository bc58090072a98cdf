#include "kit/measurement/controller/MSRAnalytics.h"

#include "FacadeLines.h"
#include "FacadeState.h"
#include "kit/core/CoreTexts.h"
#include "kit/core/HLOApp.h"
#include "kit/core/Logger.h"
#include "kit/core/proxy/AppDelegateSwizzler.h"
#include "kit/measurement/controller/MSRAppDelegateInterceptor.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSRLumenServiceFileUtil.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MeasurementErrors.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/NotificationCenter.h"

#include <algorithm>

namespace kit::measurement {
namespace {

using platform::Value;

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

std::optional<MSRConsentDictionary> dictionaryIn(const std::optional<Value>& value) {
    if (value && value->isDictionary()) {
        return *value->asDictionary();
    }
    return std::nullopt;
}

// The safelist of the start options, when it is an array of valid internal
// event names; anything else drops it whole.
std::optional<std::vector<std::string>> checkedSafelist(const Value& value) {
    const auto* array = value.asArray();
    if (array == nullptr) {
        facade_lines::log(facade_lines::kInvalidSafelistedEventParameterTypeArray, value);
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const Value& element : *array) {
        const auto* name = element.asString();
        if (name == nullptr || !MSRDataTypeValidator::isValidInternalEventName(*name)) {
            facade_lines::log(facade_lines::kInvalidEventNameSafelisting, element);
            return std::nullopt;
        }
        names.push_back(*name);
    }
    return names;
}

std::optional<bool> booleanIn(const Value::Dictionary& dictionary, std::string_view key) {
    const auto found = dictionary.find(key);
    if (found == dictionary.end()) {
        return std::nullopt;
    }
    if (found->second.isBool()) {
        return found->second.asBool();
    }
    if (found->second.isNumber()) {
        return found->second.asDouble().value_or(0) != 0;
    }
    return std::nullopt;
}

// `block`, counted in the facade's queued blocks until it is freed.
platform::Work counted(platform::Work block) {
    const auto queued = facadeState().queuedBlocks;
    ++*queued;
    auto mark = std::shared_ptr<void>(nullptr, [queued](void*) { --*queued; });
    return [block = std::move(block), mark = std::move(mark)]() mutable { block(); };
}

void createController(const MSRMeasurementStartOptions& options) {
    FacadeState& state = facadeState();
    const auto factory = MSRAnalytics::seams().controllerFactory;
    auto controller = factory != nullptr ? factory->initializeSharedInstance(options) : nullptr;
    {
        std::lock_guard lock(state.mutex);
        state.controller = controller;
    }
    if (LMUAppDelegateSwizzler::isAppDelegateProxyEnabled()) {
        if (!state.collectionDeactivated.load()) {
            platform::MainQueue::get()->async([] { MSRAnalytics::createAppDelegateProxy(); });
        }
    } else {
        facade_lines::log(facade_lines::kAppDelegateProxyDisabled);
    }
    state.analyticsEnabled.store(controller != nullptr && controller->wasEnabledDuringInitialization());
    MSRAnalytics::maybeEnableTagManager();
}

// The stored settings the start reads and writes, then the controller: the
// first block of the serial queue, so the caller (the window's thread) never
// waits for a settings queue that is busy writing.
void startOnSerialQueue(const std::string& appID, const std::string& origin,
                        const MSRMeasurementStartOptions& startOptions, const MSRConsentDictionary& startConsent) {
    if (MSRConsentSettingsUtil::consentSource() == kMSRConsentSourceNone) {
        MSRAnalytics::loadPersistedConsentSettings();
    }
    const auto config = MSRPersistedConfig::sharedInstance();
    const auto storedAppID = config->appIDFromLMP();
    if (origin == "fa" && storedAppID != appID) {
        config->setAppIDFromLMP(appID);
        facade_lines::log(facade_lines::kAnalyticsRequiresLumenAppIDLumenService,
                          storedAppID ? MSRLogContext(*storedAppID) : MSRLogContext(nullptr), MSRLogContext(appID));
    }
    platform::NotificationCenter::defaultCenter().post(std::string(kHLOAnalyticsWillStartNotification));
    if (const auto identity = MSRAnalytics::seams().identity) {
        identity->setIdentifiersOrigin(origin);
    }
    if (!startConsent.empty()) {
        MSRAnalytics::suite().setObject(Value(startConsent), kMSRConsentSettingsOnStartKey);
    }
    createController(startOptions);
}

void runStartBlock(std::string_view appID, std::string_view origin, const Value::Dictionary& options,
                   const void* configuration) {
    FacadeState& state = facadeState();
    MSRMeasurementStartOptions startOptions;
    startOptions.appID = std::string(appID);
    MSRConsentDictionary startConsent;
    state.collectionDeactivated.store(false);
    if (!options.empty()) {
        startOptions.isAnalyticsCollectionEnabled = booleanIn(options, kMSRStartOptionEnabled).value_or(true);
        startOptions.isAnalyticsCollectionDeactivated = booleanIn(options, kMSRStartOptionDeactivated).value_or(false);
        state.collectionDeactivated.store(startOptions.isAnalyticsCollectionDeactivated);
        if (const auto found = options.find(kMSRStartOptionSafelistedEvents); found != options.end()) {
            startOptions.safelistedEvents = checkedSafelist(found->second);
        }
        startConsent = MSRConsentSettingsUtil::consentSettingsFromDictionary(options);
    }
    MSRAnalytics::dispatchAsyncOnSerialQueue(
        [appID = std::string(appID), origin = std::string(origin), startOptions, startConsent] {
            startOnSerialQueue(appID, origin, startOptions, startConsent);
        });
    if (configuration != nullptr) {
        MSRAnalytics::observeNotificationsForAnalyticsConfiguration(configuration);
    }
    platform::MainQueue::get()->async([observer = state.paymentObserver] {
        platform::PaymentQueue::defaultQueue().addTransactionObserver(observer);
    });
    state.started.store(true);
    MSRAnalytics::unsuspendOperationQueue();
}

// True when no facade block is queued or running and the worker queue has
// nothing scheduled: an event handed over earlier is in the store.
bool nothingQueued() {
    if (facadeState().queuedBlocks->load() != 0) {
        return false;
    }
    const MSRScheduler* worker = MeasurementServices::current().scheduler();
    return worker == nullptr || worker->isIdle();
}

// How long a pause of the operation queue lasts at most, should the serial
// queue not come to the block that ends it.
constexpr auto kPauseCeiling = std::chrono::seconds(60);

// Ends the operation queue's pause `pause`, unless a later pause began.
void endPause(std::uint64_t pause) {
    FacadeState& state = facadeState();
    std::shared_ptr<platform::Timer> ceiling;
    {
        std::lock_guard lock(state.mutex);
        if (state.pauses != pause || state.pauseEnded) {
            return;
        }
        state.pauseEnded = true;
        ceiling = std::move(state.unsuspendTimer);
    }
    if (ceiling) {
        ceiling->cancel();
    }
    MSRAnalytics::unsuspendOperationQueue();
}

}  // namespace

// --- Setup

void MSRAnalytics::installSeams(MSRAnalyticsSeams seams) {
    FacadeState& state = facadeState();
    std::lock_guard lock(state.mutex);
    if (seams.controllerFactory) {
        state.seams.controllerFactory = std::move(seams.controllerFactory);
    }
    if (seams.identity) {
        state.seams.identity = std::move(seams.identity);
    }
    if (seams.installations) {
        state.seams.installations = std::move(seams.installations);
    }
    if (seams.entryPoints) {
        state.seams.entryPoints = std::move(seams.entryPoints);
    }
    if (seams.screenViews) {
        state.seams.screenViews = std::move(seams.screenViews);
    }
}

MSRAnalyticsSeams MSRAnalytics::defaultSeams() { return facadeState().defaults; }

MSRAnalyticsSeams MSRAnalytics::seams() {
    FacadeState& state = facadeState();
    std::lock_guard lock(state.mutex);
    return state.seams;
}

void MSRAnalytics::setClock(platform::SchedulingClock& clock) {
    FacadeState& state = facadeState();
    std::lock_guard lock(state.mutex);
    state.clock = &clock;
}

// --- Queues

platform::SerialQueue& MSRAnalytics::queue() { return facadeState().serialQueue; }

void MSRAnalytics::dispatchAsyncOnSerialQueue(platform::Work block) { queue().async(counted(std::move(block))); }

bool MSRAnalytics::isCurrentQueueSerialQueue() {
    const platform::SerialQueue* current = platform::SerialQueue::current();
    return current != nullptr && current->label() == kMSRAnalyticsQueueLabel;
}

void MSRAnalytics::queueOperationWithBlock(platform::Work block) {
    facadeState().operationQueue.addOperation(
        [block = counted(std::move(block))]() mutable { MSRAnalytics::queue().async(std::move(block)); });
}

void MSRAnalytics::queueOperationWithBlockThenWait(platform::Work block) {
    FacadeState& state = facadeState();
    queueOperationWithBlock(std::move(block));
    if (state.operationQueue.isSuspended()) {
        return;
    }
    state.operationQueue.waitUntilAllOperationsAreFinished();
    state.operationQueue.suspend();
    // Later calls flow again once the serial queue has taken in what was
    // just queued: the block that lets them is queued behind it. Should the
    // serial queue stall, the ceiling lets them flow all the same.
    std::uint64_t pause = 0;
    {
        std::lock_guard lock(state.mutex);
        pause = ++state.pauses;
        state.pauseEnded = false;
        if (state.unsuspendTimer) {
            state.unsuspendTimer->cancel();
        }
        state.unsuspendTimer = state.clock->after(kPauseCeiling, platform::globalQueue(), [pause] { endPause(pause); });
    }
    state.serialQueue.async([pause] { endPause(pause); });
}

void MSRAnalytics::unsuspendOperationQueue() { facadeState().operationQueue.resume(); }

void MSRAnalytics::waitUntilIdleForTesting() {
    FacadeState& state = facadeState();
    if (!state.operationQueue.isSuspended()) {
        state.operationQueue.waitUntilAllOperationsAreFinished();
    }
    state.serialQueue.sync([] {});
}

bool MSRAnalytics::drainForTermination(std::chrono::milliseconds timeout) {
    bool drained = true;
    // Not the controller: it is made on the serial queue, and a quit right
    // after the start would find none yet and drop what is queued behind it.
    // Nothing to wait for when no block is on its way: the facade's queues
    // are read first, as their blocks hand on to the worker before they end.
    if (facadeState().started.load() && !nothingQueued()) {
        // Shared with the blocks, which may finish after a timed-out wait.
        auto passed = std::make_shared<platform::Group>();
        passed->enter();
        queueOperationWithBlock([passed] {
            MSRScheduler* worker = MeasurementServices::current().scheduler();
            if (worker == nullptr) {
                passed->leave();
                return;
            }
            worker->scheduleOnWorkerQueueBlockID("MSRAnalytics:drainForTermination", [passed] { passed->leave(); });
        });
        drained = passed->wait(timeout);
        if (!drained) {
            facade_lines::log(facade_lines::kAnalyticsQueuesDidNotDrainBefore,
                              static_cast<std::int64_t>(timeout.count()));
        }
    }
    MSRPersistedConfig::sharedInstance()->synchronizeToDisk();
    // The kit writes its lines on queues of its own: what was logged up to
    // here reaches the sink before the process ends.
    monitor().waitUntilIdle();
    kit::LMULoggerFlush();
    return drained;
}

// --- Start

void MSRAnalytics::startWithAppID(std::string_view appID, std::string_view origin, const Value::Dictionary& options,
                                  const void* configuration) {
    auto& registry = kit::classRegistry();
    if (registry.contains(kMSROlderAnalyticsClassName)) {
        facade_lines::log(facade_lines::kDetectedOlderVersionLumenAnalyticsHalo);
        return;
    }
    if (registry.contains(kit::HLOAnalyticsStarting::kClassName)) {
        if (origin != "fa") {
            facade_lines::log(facade_lines::kDeferringHaloEventDataCollection);
            return;
        }
    } else if (MSRLumenServiceFileUtil::lumenServiceInfoPlistPath()) {
        facade_lines::log(facade_lines::kDeferringLumenAnalyticsHaloEventData);
        return;
    }
    if (!options.empty()) {
        const auto found = options.find(kMSRStartOptionLogTag);
        const std::string* tag = found != options.end() ? found->second.asString() : nullptr;
        if (tag != nullptr && !tag->empty()) {
            monitor().setLogTag(*tag);
        } else {
            facade_lines::log(facade_lines::kInvalidMonitorTagNonEmptyString);
        }
    }
    facadeState().startOnce.call([&] { runStartBlock(appID, origin, options, configuration); });
}

double MSRAnalytics::loadTimestamp() {
    FacadeState& state = facadeState();
    std::lock_guard lock(state.mutex);
    return state.loadTimestamp;
}

void MSRAnalytics::setLoadTimestamp(double seconds) {
    FacadeState& state = facadeState();
    std::lock_guard lock(state.mutex);
    state.loadTimestamp = seconds;
}

// --- Flags

bool MSRAnalytics::isAnalyticsEnabled() { return facadeState().analyticsEnabled.load(); }

bool MSRAnalytics::isCollectionDeactivated() { return facadeState().collectionDeactivated.load(); }

std::shared_ptr<MSRMeasurementController> MSRAnalytics::controller() {
    FacadeState& state = facadeState();
    std::lock_guard lock(state.mutex);
    return state.controller;
}

// --- Enablement

void MSRAnalytics::setAnalyticsEnabled(bool enabled) { setAnalyticsEnabled(enabled, false); }

void MSRAnalytics::setAnalyticsEnabled(bool enabled, bool persistSetting) {
    dispatchAsyncOnSerialQueue([enabled, persistSetting] {
        if (persistSetting) {
            MSRPersistedConfig::sharedInstance()->setMeasurementEnabledState(enabled ? 1 : 2);
        }
        FacadeState& state = facadeState();
        if (state.collectionDeactivated.load() && enabled) {
            return;
        }
        state.analyticsEnabled.store(enabled);
        if (const auto controller = MSRAnalytics::controller()) {
            controller->setEnabled(enabled);
        }
    });
}

void MSRAnalytics::observeNotificationsForAnalyticsConfiguration(const void* configuration) {
    FacadeState& state = facadeState();
    auto& center = platform::NotificationCenter::defaultCenter();
    std::optional<platform::NotificationCenter::Token> previous;
    {
        std::lock_guard lock(state.mutex);
        previous = std::exchange(state.configurationObserver, std::nullopt);
    }
    if (previous) {
        center.removeObserver(*previous);
    }
    if (configuration == nullptr) {
        return;
    }
    auto token = center.addObserver(
        std::string(kit::core_texts::kAnalyticsConfigurationSetEnabledNotification), configuration,
        [](const platform::Notification& notification) { MSRAnalytics::handleSetEnabled(notification.userInfo); });
    std::lock_guard lock(state.mutex);
    state.configurationObserver = token;
}

void MSRAnalytics::handleSetEnabled(const Value& userInfo) {
    const auto* dictionary = userInfo.asDictionary();
    const auto value = dictionary != nullptr
                           ? booleanIn(*dictionary, kit::core_texts::kAnalyticsConfigurationSetEnabledNotification)
                           : std::nullopt;
    if (!value) {
        Value entry;
        if (dictionary != nullptr) {
            if (const auto found = dictionary->find(kit::core_texts::kAnalyticsConfigurationSetEnabledNotification);
                found != dictionary->end()) {
                entry = found->second;
            }
        }
        facade_lines::log(facade_lines::kReceivedSetEnabledNotificationWithoutNSNumber, entry);
        return;
    }
    setAnalyticsEnabled(*value, false);
}

// --- Session and identity

void MSRAnalytics::setSessionTimeoutInterval(double seconds) {
    dispatchAsyncOnSerialQueue([seconds] {
        if (seconds < 0) {
            facade_lines::log(facade_lines::kSessionTimeoutIntervalCannotSetNegative);
            return;
        }
        const auto controller = MSRAnalytics::controller();
        if (controller != nullptr && controller->hasInitializedComponents()) {
            controller->setSessionTimeoutInterval(seconds);
        } else {
            MSRPersistedConfig::sharedInstance()->setSessionTimeoutValue(Value(seconds));
        }
        facade_lines::log(facade_lines::kSessionTimeoutIntervalSet, seconds);
    });
}

void MSRAnalytics::sessionIDWithCompletion(MSRSessionIDCompletion completion) {
    if (!completion) {
        facade_lines::log(facade_lines::kAnalyticsSessionIDCompletionCannotNil);
        return;
    }
    MSRSessionIDCompletion onPool = [completion](std::int64_t sessionID, std::optional<platform::Error> error) {
        platform::globalQueue().async([completion, sessionID, error] { completion(sessionID, error); });
    };
    dispatchAsyncOnSerialQueue([onPool] {
        const auto controller = MSRAnalytics::controller();
        if (controller != nullptr && controller->hasInitializedComponents()) {
            controller->sessionIDWithCompletion(onPool);
        } else {
            onPool(0, msr_errorWithCode(MSRErrorCode::sessionIDUnavailable, "Analytics uninitialized"));
        }
    });
}

std::optional<std::string> MSRAnalytics::appInstanceID() {
    if (MSRConsentSettingsUtil::isAnalyticsStorageDenied()) {
        return std::nullopt;
    }
    if (auto stored = appInstanceIDAfterReset(); stored && !stored->empty()) {
        return stored;
    }
    const auto identity = seams().identity;
    return identity != nullptr ? identity->appInstanceID() : std::nullopt;
}

// --- Reset and user data

void MSRAnalytics::resetAnalyticsData() {
    setLoadTimestamp(platform::secondsSince1970(facadeClock().now()));
    setResetRetryCount(resetRetryCount() + 1);
    setNeedFirstOpenAfterReset(true);
    const auto identity = seams().identity;
    const std::string fresh = identity != nullptr ? identity->randomAppInstanceID() : std::string();
    if (fresh.empty()) {
        facade_lines::log(facade_lines::kCannotGenerateNewAppInstanceID);
        return;
    }
    std::optional<std::string> used;
    if (!MSRConsentSettingsUtil::isAnalyticsStorageDenied()) {
        used = fresh;
        setAppInstanceIDAfterReset(fresh);
    }
    queueOperationWithBlock([used] {
        const auto controller = MSRAnalytics::controller();
        if (controller == nullptr || !controller->resetAnalyticsDataWithAppInstanceID(used)) {
            // The suite stays as it is, so the controller's next start retries.
            facade_lines::log(facade_lines::kFailedResetAnalyticsData);
            return;
        }
        MSRAnalytics::setResetRetryCount(0);
        if (MSRAnalytics::appInstanceIDAfterReset() == used) {
            MSRAnalytics::setAppInstanceIDAfterReset(std::nullopt);
        }
    });
}

void MSRAnalytics::setUserData(const Value::Dictionary& userData) {
    queueOperationWithBlockThenWait([userData] {
        if (!MSRAnalytics::isAnalyticsEnabled()) {
            facade_lines::log(facade_lines::kAnalyticsDisabled);
            return;
        }
        if (const auto controller = MSRAnalytics::controller()) {
            controller->setUserData(userData);
        }
    });
}

// --- Queries

void MSRAnalytics::userPropertiesIncludingInternal(bool includingInternal, platform::Executor* queue,
                                                   std::function<void(Value::Dictionary)> callback) {
    queueOperationWithBlock([includingInternal, queue, callback = std::move(callback)] {
        if (!callback) {
            facade_lines::log(facade_lines::kAnalyticsUserPropertiesCallbackCannotNil);
            return;
        }
        if (queue == nullptr) {
            facade_lines::log(facade_lines::kCannotQueryAnalyticsUserProperties);
            platform::MainQueue::get()->async([callback] { callback({}); });
            return;
        }
        const auto controller = MSRAnalytics::controller();
        if (!MSRAnalytics::isAnalyticsEnabled() || controller == nullptr) {
            facade_lines::log(facade_lines::kCannotQueryPublicUserPropertiesWhen);
            queue->async([callback] { callback({}); });
            return;
        }
        controller->userPropertiesIncludingInternal(includingInternal, [queue, callback](Value::Dictionary result) {
            queue->async([callback, result = std::move(result)] { callback(result); });
        });
    });
}

void MSRAnalytics::maxUserPropertiesForOrigin(std::string_view origin, platform::Executor* queue,
                                              std::function<void(std::int64_t)> callback) {
    if (origin.empty()) {
        facade_lines::log(facade_lines::kCannotQueryAnalyticsMaxUserProperties);
        return;
    }
    if (queue == nullptr) {
        facade_lines::log(facade_lines::kCannotQueryAnalyticsMaxUserProperties2, origin);
        return;
    }
    if (!callback) {
        facade_lines::log(facade_lines::kCannotQueryAnalyticsMaxUserProperties3, origin);
        return;
    }
    queueOperationWithBlock([origin = std::string(origin), queue, callback = std::move(callback)] {
        if (const auto controller = MSRAnalytics::controller()) {
            controller->maxUserPropertiesForOrigin(origin, [queue, callback](std::int64_t count) {
                queue->async([callback, count] { callback(count); });
            });
        }
    });
}

// --- Consent

void MSRAnalytics::setConsent(const MSRConsentDictionary& consent) { setConsent(consent, kMSRConsentSettingsKey); }

void MSRAnalytics::setConsent(const MSRConsentDictionary& consent, std::string_view key) {
    if (MSRConsentSettingsUtil::consentSource() == kMSRConsentSourceNone) {
        loadPersistedConsentSettings();
    }
    MSRConsentDictionary settings = MSRConsentSettingsUtil::consentSettingsFromDictionary(consent);
    std::erase_if(settings, [](const auto& entry) {
        const auto* text = entry.second.asString();
        const bool valid = text != nullptr && (*text == kMSRConsentGranted || *text == kMSRConsentDenied);
        if (!valid) {
            facade_lines::log(facade_lines::kValidConsentValuesGrantedDenied, entry.second);
        }
        return !valid;
    });
    if (settings.empty()) {
        facade_lines::log(facade_lines::kDiscardingEmptyConsentSettings);
        return;
    }
    const std::int64_t source = key == kMSRConsentSettingsTCFKey  ? kMSRConsentSourceTCF
                                : key == kMSRConsentSettings3PKey ? kMSRConsentSourceThirdParty
                                                                  : kMSRConsentSourceAPI;
    if (!MSRConsentSettingsUtil::isConsentSourceHigherPriority(source)) {
        facade_lines::log(facade_lines::kIgnoringLowerPriorityConsentSettings);
        return;
    }
    const bool adUserDataWasDenied = MSRConsentSettingsUtil::isAdUserDataDenied();
    MSRConsentSettingsUtil::updateSettings(settings, source);
    persistConsentSettings(MSRConsentSettingsUtil::consentSettings().value_or(MSRConsentDictionary{}), source);
    if (key == kMSRConsentSettings3PKey) {
        monitor().logWithLevel(8, 25055, MSRConsentSettingsUtil::description());
    }
    const auto entryPoints = seams().entryPoints;
    const auto defaults = MSRConsentSettingsUtil::defaultSettings();
    if (entryPoints != nullptr && defaults && !defaults->empty() &&
        MSRConsentSettingsUtil::didAdUserDataConsentChange(adUserDataWasDenied)) {
        entryPoints->logInternalEventWithOrigin("auto", "_dcu", {{"_r", Value(std::int64_t{1})}});
    }
    if (entryPoints != nullptr && settings.contains(kMSRConsentTypeAdPersonalization)) {
        if (const auto personalization = MSRConsentSettingsUtil::adPersonalization()) {
            entryPoints->setUserPropertyString(*personalization != 0 ? "YES" : "NO", "allow_personalized_ads");
        }
    }
}

void MSRAnalytics::persistConsentSettings(const MSRConsentDictionary& settings, std::int64_t source) {
    const std::string_view key = source == kMSRConsentSourceTCF ? kMSRConsentSettingsTCFKey
                                 : source < 21                  ? kMSRConsentSettings3PKey
                                                                : kMSRConsentSettingsKey;
    suite().setObject(Value(settings), key);
    suite().setObject(Value(source), kMSRConsentSourceKey);
}

std::int64_t MSRAnalytics::persistedConsentSource() {
    const auto stored = suite().objectForKey(kMSRConsentSourceKey);
    const auto source = stored ? stored->asInteger() : std::nullopt;
    return source.value_or(kMSRConsentSourceNone);
}

void MSRAnalytics::loadPersistedConsentSettings() {
    const std::int64_t persisted = persistedConsentSource();
    if (persisted == kMSRConsentSourceNone) {
        return;
    }
    const std::pair<std::optional<MSRConsentDictionary>, std::int64_t> candidates[] = {
        {consentSettingsTCF(), kMSRConsentSourceTCF},
        {consentSettings3P(), kMSRConsentSourcePlist},
        {consentSettings1P(), kMSRConsentSourceOnStart},
    };
    for (const auto& [settings, ceiling] : candidates) {
        if (settings) {
            MSRConsentSettingsUtil::setConsentSettings(settings);
            MSRConsentSettingsUtil::setConsentSource(std::min(persisted, ceiling));
            return;
        }
    }
    MSRConsentSettingsUtil::setConsentSource(persisted);
}

void MSRAnalytics::clearConsent() {
    for (const std::string_view key :
         {kMSRConsentSourceKey, kMSRConsentSettings3PKey, kMSRConsentSettingsKey, kMSRConsentSettingsOnStartKey,
          kMSRDeferredConsentResetKey, kMSRConsentSettingsTCFKey}) {
        suite().removeObjectForKey(key);
    }
    MSRConsentSettingsUtil::clearAllSettings();
}

// --- The suite

MSRUserDefaults& MSRAnalytics::suite() { return facadeState().suite; }

std::int64_t MSRAnalytics::resetRetryCount() { return suite().integerForKey(kMSRResetRetryCountKey); }

void MSRAnalytics::setResetRetryCount(std::int64_t count) {
    if (count < 1) {
        suite().removeObjectForKey(kMSRResetRetryCountKey);
    } else {
        suite().setObject(Value(count), kMSRResetRetryCountKey);
    }
}

bool MSRAnalytics::needFirstOpenAfterReset() { return suite().boolForKey(kMSRNeedFirstOpenAfterResetKey); }

void MSRAnalytics::setNeedFirstOpenAfterReset(bool need) {
    suite().setObject(Value(need), kMSRNeedFirstOpenAfterResetKey);
}

void MSRAnalytics::removeNeedFirstOpenAfterReset() { suite().removeObjectForKey(kMSRNeedFirstOpenAfterResetKey); }

std::optional<std::string> MSRAnalytics::appInstanceIDAfterReset() {
    const auto stored = suite().objectForKey(kMSRAppInstanceIDAfterResetKey);
    if (stored && stored->asString() != nullptr) {
        return *stored->asString();
    }
    return std::nullopt;
}

void MSRAnalytics::setAppInstanceIDAfterReset(const std::optional<std::string>& identifier) {
    suite().setObject(identifier ? std::optional<Value>(Value(*identifier)) : std::nullopt,
                      kMSRAppInstanceIDAfterResetKey);
}

std::optional<Value> MSRAnalytics::deferredAnalyticsCollection() {
    return suite().objectForKey(kMSRDeferredAnalyticsCollectionKey);
}

void MSRAnalytics::setDeferredAnalyticsCollection(const std::optional<Value>& value) {
    suite().setObject(value, kMSRDeferredAnalyticsCollectionKey);
}

std::optional<MSRConsentDictionary> MSRAnalytics::consentSettings1P() {
    return dictionaryIn(suite().objectForKey(kMSRConsentSettingsKey));
}

std::optional<MSRConsentDictionary> MSRAnalytics::consentSettings3P() {
    return dictionaryIn(suite().objectForKey(kMSRConsentSettings3PKey));
}

std::optional<MSRConsentDictionary> MSRAnalytics::consentSettingsTCF() {
    return dictionaryIn(suite().objectForKey(kMSRConsentSettingsTCFKey));
}

std::optional<MSRConsentDictionary> MSRAnalytics::consentSettings1PStart() {
    return dictionaryIn(suite().objectForKey(kMSRConsentSettingsOnStartKey));
}

void MSRAnalytics::removeStartUpConsentSettings() { suite().removeObjectForKey(kMSRConsentSettingsOnStartKey); }

std::optional<Value> MSRAnalytics::deferredResetOnDeniedConsent() {
    return suite().objectForKey(kMSRDeferredConsentResetKey);
}

void MSRAnalytics::removeDeferredResetOnDeniedConsent() { suite().removeObjectForKey(kMSRDeferredConsentResetKey); }

// --- Platform hooks

void MSRAnalytics::createAppDelegateProxy() {
    facadeState().delegateProxyOnce.call([] {
        LMUAppDelegateSwizzler::proxyOriginalDelegate();
        LMUAppDelegateSwizzler::registerAppDelegateInterceptor(MSRAppDelegateInterceptor::sharedInstance());
    });
}

void MSRAnalytics::maybeEnableTagManager() {
    auto& registry = kit::classRegistry();
    if (!registry.contains(MSRTagManagerClass::kClassName)) {
        return;
    }
    const auto tagManager = registry.lookup<MSRTagManagerClass>(MSRTagManagerClass::kClassName);
    if (tagManager == nullptr || !tagManager->initializeSharedInstance()) {
        facade_lines::log(facade_lines::kTGKManagerClassDoesnTDefineInitializeSharedInstance);
    }
}

}  // namespace kit::measurement
