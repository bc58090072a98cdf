#include "MSRLifecycleReports.h"

#include "LifecycleLines.h"
#include "kit/measurement/controller/MSRMeasurement.h"

#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/controller/MSRDeepLinks.h"
#include "kit/measurement/controller/MSREnvironmentInfo.h"
#include "kit/measurement/controller/MSRIdentity.h"
#include "kit/measurement/controller/MSRSessionReporter.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MSRScheduler.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/MessageFormat.h"

#include <cmath>
#include <limits>

namespace kit::measurement {

using namespace lifecycle_lines;

namespace {

constexpr std::int64_t kMillisecondsPerHour = 3'600'000;
constexpr std::string_view kNotSet = "(not set)";

MSRObject integer(std::int64_t value) { return MSRValue::initWithInt64(value); }

MSRObjectDictionary objects(const MSRParameters& parameters) {
    MSRObjectDictionary converted;
    for (const auto& [key, value] : parameters) {
        converted.emplace(key, value);
    }
    return converted;
}

// Seconds to whole milliseconds, truncated; a time that has no 64-bit
// millisecond form (not finite, or past the range) saturates rather than
// being cast, which would be undefined.
std::int64_t millisecondsFromSeconds(double seconds) {
    const double milliseconds = seconds * 1000.0;
    if (std::isnan(milliseconds)) {
        return 0;
    }
    constexpr double kLimit = 9.2233720368547758e18;  // 2^63
    if (milliseconds >= kLimit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (milliseconds < -kLimit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(milliseconds);
}

}  // namespace

MSRLifecycleReports::MSRLifecycleReports(MSRMeasurement& controller) : controller_(controller) {}

// --- First open

void MSRLifecycleReports::reportFirstOpenOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("reportFirstOpenOnWorkerQueue");
    MSRDatabase* database = controller_.database();
    if (database == nullptr) {
        return;
    }
    const auto reported = database->containsUserAttributeWithName("_fot");
    if (!reported) {
        log(kFirstOpenQueryFailed, reported.error());
        return;
    }
    const std::int64_t previousCount = controller_.storedFirstOpenCount();
    if (*reported) {
        reportRepeatedStart(previousCount);
        return;
    }

    const std::int64_t firstOpenAfterInstall = previousCount >= 1 ? 1 : (isVersionSameAsOriginalVersion() ? 1 : 0);
    const std::int64_t initMilliseconds = millisecondsFromSeconds(controller_.initTimestamp());
    if (!storeFirstOpenProperties(firstOpenAfterInstall, initMilliseconds)) {
        return;
    }
    reportFirstOpenEvents(previousCount, firstOpenAfterInstall);
    controller_.persistedConfig()->setFirstOpenTimestampMilliseconds(initMilliseconds);
    reportStoredCampaignEventOnWorkerQueue(
        initMilliseconds > std::numeric_limits<std::int64_t>::min() ? initMilliseconds - 1 : initMilliseconds);
}

// A start after the first open: only the session it may begin.
void MSRLifecycleReports::reportRepeatedStart(std::int64_t previousCount) {
    if (previousCount < 1) {
        controller_.setPreviousFirstOpenCount("1");
    }
    MSRAnalytics::setDeferredAnalyticsCollection(std::nullopt);
    if (MSRIsAppActive()) {
        reportSessionStartOnWorkerQueueWithTimestamp(controller_.initTimestamp(), false);
    }
    controller_.persistedConfig()->setLoadTimestampValue(std::nullopt);
}

// "_fi" and "_fot", each read back; false (logged) when one did not stick.
bool MSRLifecycleReports::storeFirstOpenProperties(std::int64_t firstOpenAfterInstall, std::int64_t initMilliseconds) {
    MSRDatabase& database = *controller_.database();
    const double initTimestamp = controller_.initTimestamp();
    const std::int64_t storedFirstOpen = controller_.persistedConfig()->firstOpenTimestampMilliseconds();
    const double firstOpenSetTime =
        storedFirstOpen != 0 ? static_cast<double>(storedFirstOpen) / 1000.0 : initTimestamp;
    if (auto attribute = MSRUserAttribute::initWithOrigin("auto", "_fi", MSRValue::initWithInt64(firstOpenAfterInstall),
                                                          firstOpenSetTime)) {
        controller_.setUserAttributeOnWorkerQueue(*attribute);
    }
    if (const auto stored = database.containsUserAttributeWithName("_fi"); !stored) {
        log(kFirstInstallRecheckFailed, stored.error());
        return false;
    } else if (!*stored) {
        log(kFirstInstallNotSet);
        return false;
    }

    if (auto attribute = MSRUserAttribute::initWithOrigin(
            "auto", "_fot", MSRValue::initWithInt64(timestampMillisRoundedUpToNextHour(initMilliseconds)),
            initTimestamp)) {
        controller_.setUserAttributeOnWorkerQueue(*attribute);
    }
    if (const auto stored = database.containsUserAttributeWithName("_fot"); !stored) {
        log(kFirstOpenRecheckFailed, stored.error());
        return false;
    } else if (!*stored) {
        log(kFirstOpenNotSet);
        return false;
    }
    return true;
}

// "_f", the session it begins and, unless the settings drop it, its first
// engagement.
void MSRLifecycleReports::reportFirstOpenEvents(std::int64_t previousCount, std::int64_t firstOpenAfterInstall) {
    const double initTimestamp = controller_.initTimestamp();
    const auto settings = controller_.remoteConfigOrDefault();
    MSRObjectDictionary parameters;
    if (const auto& previousLMPAppID = controller_.previousLMPAppID(); previousLMPAppID && !previousLMPAppID->empty()) {
        parameters.emplace("_plmp", MSRValue::initWithString(*previousLMPAppID));
    }
    parameters.emplace("_pfo", integer(previousCount >= 1 ? previousCount : 0));
    parameters.emplace("_uwa", integer(1 - firstOpenAfterInstall));
    if (const auto deferred = MSRAnalytics::deferredAnalyticsCollection();
        deferred && deferred->boolValue().value_or(false)) {
        parameters.emplace("_dac", integer(1));
    }
    if (settings->efficientEngagementReportingEnabled()) {
        parameters.emplace("_et", integer(1));
    }
    const MSRObjectDictionary screen = objects(MeasurementServices::current().screenParameters());
    if (auto firstOpen = MSREvent::initWithOrigin("auto", false, "_f", initTimestamp, 0, parameters)) {
        firstOpen->addScreenParameters(screen);
        controller_.handleInternalEventOnWorkerQueue(*firstOpen);
    }

    MSRAnalytics::setDeferredAnalyticsCollection(std::nullopt);
    controller_.persistedConfig()->setLoadTimestampValue(std::nullopt);
    if (MSRIsAppActive()) {
        reportSessionStartOnWorkerQueueWithTimestamp(initTimestamp, false);
    }
    if (!settings->redundantEngagementRemovalEnabled()) {
        MSRObjectDictionary engagement{{"_et", integer(1)}};
        if (settings->efficientEngagementReportingEnabled()) {
            engagement.emplace("_fr", integer(1));
        }
        if (auto event = MSREvent::initWithOrigin("auto", false, "_e", initTimestamp, 0, engagement)) {
            event->addScreenParameters(screen);
            controller_.handleInternalEventOnWorkerQueue(*event);
        }
    }
}

// --- Campaign from the stored launch link

void MSRLifecycleReports::reportStoredCampaignEventOnWorkerQueue(std::optional<std::int64_t> clickTimestampMillis) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName(
        "reportStoredCampaignEventWithClickTimestampInMillisOnWorkerQueue:");
    const auto defaults = MSRUserDefaults::sharedUserDefaults();
    auto link = defaults->stringForKey(kMSRStoredDeepLinkKey);
    if (!link || link->empty()) {
        return;
    }
    const auto storedTime = defaults->objectForKey(kMSRStoredDeepLinkTimestampKey);
    const double storedSeconds = storedTime ? storedTime->asDouble().value_or(0) : 0;

    platform::Value::Dictionary extras;
    if (MSRIsStoredDeepLinkExpired(*defaults, controller_.remoteConfigOrDefault()->attributionCacheTTLInterval(),
                                   controller_.clock())) {
        link = std::string(kNotSet);
        extras.emplace("utm_source", platform::Value(kNotSet));
        extras.emplace("utm_medium", platform::Value(kNotSet));
        extras.emplace("_cc", platform::Value(std::int64_t{1}));
    } else {
        extras.emplace("_cc",
                       platform::Value(MSRPreviousHourStartMilliseconds(millisecondsFromSeconds(storedSeconds))));
    }
    MSRClearStoredDeepLink(*defaults);
    if (const auto deepLinks = controller_.deepLinks(); deepLinks != nullptr) {
        deepLinks->handleOpenURLOnWorkerQueue(*link, clickTimestampMillis, storedSeconds, extras);
    }
}

// --- Session start

void MSRLifecycleReports::reportSessionStartOnWorkerQueueWithTimestamp(double timestamp, bool appInBackground) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("reportSessionStartOnWorkerQueue");
    const auto sessionReporter = controller_.sessionReporter();
    if (sessionReporter == nullptr) {
        return;
    }
    // The expiry test and the new-session update are one step, so an
    // activation on another thread cannot start the same session too.
    if (!sessionReporter->startNewSessionIfExpired()) {
        return;
    }
    if (auto sessionID = sessionReporter->sessionIDPropertyWithTimestamp(timestamp)) {
        controller_.setUserAttributeOnWorkerQueue(*sessionID);
    }
    if (auto sessionNumber = sessionReporter->sessionNumberProperty()) {
        controller_.setUserAttributeOnWorkerQueue(*sessionNumber);
    }
    const bool inBackground = appInBackground && controller_.remoteConfigOrDefault()->appInBackgroundParameterEnabled();
    MSRObjectDictionary parameters{
        {"_sid", integer(millisecondsFromSeconds(timestamp) / 1000)},
        {"_sno", integer(controller_.persistedConfig()->sessionNumber())},
    };
    if (inBackground) {
        parameters.emplace("_aib", integer(1));
    } else {
        for (const auto& [key, value] : MeasurementServices::current().screenParameters()) {
            parameters.insert_or_assign(key, value);
        }
    }
    if (auto event = MSREvent::initWithOrigin("auto", false, "_s", timestamp, 0, parameters)) {
        controller_.handleInternalEventOnWorkerQueue(*event);
    }
}

// --- Application and system updates

std::optional<std::string> MSRLifecycleReports::runningAppVersion() const {
    if (const auto& configured = controller_.environment().appVersion) {
        return configured;
    }
    const auto identity = controller_.identity();
    return identity != nullptr ? identity->appVersion() : std::nullopt;
}

void MSRLifecycleReports::reportAppUpdateOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("reportAppUpdateOnWorkerQueue");
    const auto current = runningAppVersion();
    // A version that cannot be read is no update: reporting one would name
    // the old version and forget it.
    if (!current || current->empty()) {
        return;
    }
    const auto persistedConfig = controller_.persistedConfig();
    const auto stored = persistedConfig->appVersion();
    if (stored == current) {
        return;
    }
    persistedConfig->setAppVersion(current);
    if (stored && !stored->empty()) {
        MeasurementServices::current().logInternalEventWithOrigin("auto", "_au",
                                                                  {{"_pv", MSRValue::initWithString(*stored)}});
    }
}

void MSRLifecycleReports::reportOSUpdateOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("reportOSUpdateOnWorkerQueue");
    const std::string current = MSREnvironmentInfo::sharedInstance().deviceOSVersion();
    if (current.empty()) {
        return;
    }
    const auto persistedConfig = controller_.persistedConfig();
    const auto stored = persistedConfig->osVersion();
    if (stored == current) {
        return;
    }
    persistedConfig->setOSVersion(current);
    if (stored && !stored->empty()) {
        MeasurementServices::current().logInternalEventWithOrigin("auto", "_ou",
                                                                  {{"_po", MSRValue::initWithString(*stored)}});
    }
}

bool MSRLifecycleReports::isVersionSameAsOriginalVersion() const {
    const auto stored = controller_.persistedConfig()->appVersion();
    if (!stored) {
        return true;
    }
    return runningAppVersion() == stored;
}

// --- Personalised ads and consent

void MSRLifecycleReports::setPersonalizedAdsUserPropertyOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("setPersonalizedAdsUserPropertyOnWorkerQueue");
    MSRDatabase* database = controller_.database();
    if (database == nullptr) {
        return;
    }
    const auto stored = database->userAttributeWithName("_npa");
    if (!stored) {
        log(kPersonalizedAdsReadFailed, stored.error());
        return;
    }
    const std::optional<bool> disable = controller_.shouldDisableAdPersonalization();
    if (!disable) {
        if (!*stored) {
            return;
        }
        if (auto removed = database->deleteUserAttributeWithName("_npa"); !removed) {
            log(kPersonalizedAdsNotRemoved, removed.error());
            return;
        }
        log(kPersonalizedAdsRemoved);
        MSRConsentSettingsUtil::setDiagnosticSource(0, kMSRConsentTypeAdPersonalization);
        return;
    }
    const std::int64_t value = *disable ? 1 : 0;
    const bool changed = !*stored || (*stored)->value().int64Value() != value;
    if (!MSRConsentSettingsUtil::adPersonalization()) {
        updateAdPersonalizationConsentFromNPAValue(MSRValue::initWithInt64(value));
    }
    if (changed) {
        if (auto attribute = MSRUserAttribute::initWithOrigin("auto", "_npa", MSRValue::initWithInt64(value),
                                                              controller_.nowSince1970())) {
            controller_.setUserAttributeOnWorkerQueue(*attribute);
        }
    }
}

void MSRLifecycleReports::updateAdPersonalizationConsentFromNPAValue(const std::optional<MSRValue>& npaValue) {
    const auto npaInteger = [&]() -> std::optional<bool> {
        if (!npaValue) {
            return std::nullopt;
        }
        if (npaValue->isInt64()) {
            return npaValue->int64Value() != 0;
        }
        if (npaValue->isDouble()) {
            return npaValue->doubleValue() != 0;
        }
        return std::nullopt;
    }();
    const auto current = MSRConsentSettingsUtil::adPersonalization();
    if (npaInteger && current && *npaInteger != (*current != 0)) {
        return;
    }
    const bool denied = npaInteger.value_or(false);
    MSRConsentSettingsUtil::updateSettings({{std::string(kMSRConsentTypeAdPersonalization),
                                             platform::Value(denied ? kMSRConsentDenied : kMSRConsentGranted)}});
    if (controller_.persistedConfig()->allowPersonalizedAds()) {
        MSRConsentSettingsUtil::setDiagnosticSource(5, kMSRConsentTypeAdPersonalization);
    } else if (foundAdPersonalizationPlistFlag_) {
        MSRConsentSettingsUtil::setDiagnosticSource(3, kMSRConsentTypeAdPersonalization);
    } else if (const auto defaults = MSRConsentSettingsUtil::defaultSettings();
               defaults && defaults->contains(kMSRConsentTypeAdPersonalization)) {
        MSRConsentSettingsUtil::setDiagnosticSource(1, kMSRConsentTypeAdPersonalization);
    }
}

bool MSRLifecycleReports::updateConsentSettingsUtilWithRemoteConfig() {
    const auto before = MSRConsentSettingsUtil::adPersonalization();
    const auto settings = controller_.remoteConfigOrDefault();
    const auto toConsent = [](const MSRRemoteConfig::Dictionary& entries) {
        MSRConsentDictionary consent;
        for (const auto& [key, value] : entries) {
            consent.emplace(key, platform::Value(value));
        }
        return consent;
    };
    const auto defaults = settings->consentDefaults();
    const auto delegations = settings->consentDelegations();
    if (!defaults.empty() || !delegations.empty()) {
        MSRConsentSettingsUtil::setDefaultSettings(toConsent(defaults));
        MSRConsentSettingsUtil::setDelegatedSettings(toConsent(delegations));
    }
    const auto regional = settings->regionalDefaults();
    MSRConsentSettingsUtil::setRegionalDefaults(
        regional.empty() ? std::nullopt : std::optional<MSRConsentDictionary>(toConsent(regional)));
    const auto after = MSRConsentSettingsUtil::adPersonalization();
    return after && after != before;
}

// --- Helpers

std::int64_t MSRLifecycleReports::timestampMillisRoundedUpToNextHour(std::int64_t timestampMillis) {
    std::int64_t hours = timestampMillis / kMillisecondsPerHour;
    if (timestampMillis % kMillisecondsPerHour < 0) {
        --hours;  // floor, not truncation, before 1970
    }
    std::int64_t rounded = 0;
    if (__builtin_mul_overflow(hours + 1, kMillisecondsPerHour, &rounded)) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return rounded;
}

void MSRLifecycleReports::backfillSessionNumber() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("backfillSessionNumber");
    const auto persistedConfig = controller_.persistedConfig();
    MSRDatabase* database = controller_.database();
    if (persistedConfig->sessionNumber() != 0 || database == nullptr) {
        return;
    }
    const auto aggregates = database->eventAggregatesWithName("_s");
    if (!aggregates) {
        log(kSessionAggregatesQueryFailed, MSRLogContext("_s"), aggregates.error());
        return;
    }
    persistedConfig->setSessionNumber(*aggregates ? (*aggregates)->lifetimeCount() : 0);
}

}  // namespace kit::measurement
