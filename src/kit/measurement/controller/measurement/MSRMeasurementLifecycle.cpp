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

// First open, the stored campaign, session start, app and OS updates, and
// the personalised-ads state.
namespace kit::measurement {

namespace {

constexpr std::int64_t kMillisecondsPerHour = 3'600'000;
constexpr std::string_view kNotSet = "(not set)";

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

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

// --- First open

void MSRMeasurement::reportFirstOpenOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("reportFirstOpenOnWorkerQueue");
    if (database_ == nullptr) {
        return;
    }
    const auto reported = database_->containsUserAttributeWithName("_fot");
    if (!reported) {
        monitor().logWithLevel(1, 23019, "Failed to query first open property. Error", reported.error());
        return;
    }
    const std::int64_t previousCount = storedFirstOpenCount();

    if (*reported) {
        if (previousCount < 1) {
            setPreviousFirstOpenCount("1");
        }
        MSRAnalytics::setDeferredAnalyticsCollection(std::nullopt);
        if (MSRIsAppActive()) {
            reportSessionStartOnWorkerQueueWithTimestamp(initTimestamp_, false);
        }
        persistedConfig_->setLoadTimestampValue(std::nullopt);
        return;
    }

    const std::int64_t firstOpenAfterInstall = previousCount >= 1 ? 1 : (isVersionSameAsOriginalVersion() ? 1 : 0);
    const std::int64_t storedFirstOpen = persistedConfig_->firstOpenTimestampMilliseconds();
    const double firstOpenSetTime =
        storedFirstOpen != 0 ? static_cast<double>(storedFirstOpen) / 1000.0 : initTimestamp_;
    if (auto attribute = MSRUserAttribute::initWithOrigin("auto", "_fi", MSRValue::initWithInt64(firstOpenAfterInstall),
                                                          firstOpenSetTime)) {
        setUserAttributeOnWorkerQueue(*attribute);
    }
    if (const auto stored = database_->containsUserAttributeWithName("_fi"); !stored) {
        monitor().logWithLevel(1, 23161, "Failed to query first open after install property after setting it. Error",
                               stored.error());
        return;
    } else if (!*stored) {
        monitor().logWithLevel(1, 23162, "Failed to set first open after install property");
        return;
    }

    const std::int64_t initMilliseconds = millisecondsFromSeconds(initTimestamp_);
    if (auto attribute = MSRUserAttribute::initWithOrigin(
            "auto", "_fot", MSRValue::initWithInt64(timestampMillisRoundedUpToNextHour(initMilliseconds)),
            initTimestamp_)) {
        setUserAttributeOnWorkerQueue(*attribute);
    }
    if (const auto stored = database_->containsUserAttributeWithName("_fot"); !stored) {
        monitor().logWithLevel(1, 23020, "Failed to query first open property after setting it. Error",
                               stored.error());
        return;
    } else if (!*stored) {
        monitor().logWithLevel(1, 23021, "Failed to set first open property");
        return;
    }

    const auto settings = remoteConfigOrDefault();
    MSRObjectDictionary parameters;
    if (previousLMPAppID_ && !previousLMPAppID_->empty()) {
        parameters.emplace("_plmp", MSRValue::initWithString(*previousLMPAppID_));
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
    if (auto firstOpen = MSREvent::initWithOrigin("auto", false, "_f", initTimestamp_, 0, parameters)) {
        firstOpen->addScreenParameters(screen);
        handleInternalEventOnWorkerQueue(*firstOpen);
    }

    MSRAnalytics::setDeferredAnalyticsCollection(std::nullopt);
    persistedConfig_->setLoadTimestampValue(std::nullopt);
    if (MSRIsAppActive()) {
        reportSessionStartOnWorkerQueueWithTimestamp(initTimestamp_, false);
    }
    if (!settings->redundantEngagementRemovalEnabled()) {
        MSRObjectDictionary engagement{{"_et", integer(1)}};
        if (settings->efficientEngagementReportingEnabled()) {
            engagement.emplace("_fr", integer(1));
        }
        if (auto event = MSREvent::initWithOrigin("auto", false, "_e", initTimestamp_, 0, engagement)) {
            event->addScreenParameters(screen);
            handleInternalEventOnWorkerQueue(*event);
        }
    }
    persistedConfig_->setFirstOpenTimestampMilliseconds(initMilliseconds);
    reportStoredCampaignEventOnWorkerQueue(initMilliseconds > std::numeric_limits<std::int64_t>::min()
                                               ? initMilliseconds - 1
                                               : initMilliseconds);
}

// --- Campaign from the stored launch link

void MSRMeasurement::reportStoredCampaignEventOnWorkerQueue(std::optional<std::int64_t> clickTimestampMillis) {
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
    if (MSRIsStoredDeepLinkExpired(*defaults, remoteConfigOrDefault()->attributionCacheTTLInterval(), *clock_)) {
        link = std::string(kNotSet);
        extras.emplace("utm_source", platform::Value(kNotSet));
        extras.emplace("utm_medium", platform::Value(kNotSet));
        extras.emplace("_cc", platform::Value(std::int64_t{1}));
    } else {
        extras.emplace("_cc",
                       platform::Value(MSRPreviousHourStartMilliseconds(millisecondsFromSeconds(storedSeconds))));
    }
    MSRClearStoredDeepLink(*defaults);
    if (deepLinks_ != nullptr) {
        deepLinks_->handleOpenURLOnWorkerQueue(*link, clickTimestampMillis, storedSeconds, extras);
    }
}

// --- Session start

void MSRMeasurement::reportSessionStartOnWorkerQueueWithTimestamp(double timestamp, bool appInBackground) {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("reportSessionStartOnWorkerQueue");
    if (sessionReporter_ == nullptr) {
        return;
    }
    // The expiry test and the new-session update are one step, so an
    // activation on another thread cannot start the same session too.
    if (!sessionReporter_->startNewSessionIfExpired()) {
        return;
    }
    if (auto sessionID = sessionReporter_->sessionIDPropertyWithTimestamp(timestamp)) {
        setUserAttributeOnWorkerQueue(*sessionID);
    }
    if (auto sessionNumber = sessionReporter_->sessionNumberProperty()) {
        setUserAttributeOnWorkerQueue(*sessionNumber);
    }
    const bool inBackground = appInBackground && remoteConfigOrDefault()->appInBackgroundParameterEnabled();
    MSRObjectDictionary parameters{
        {"_sid", integer(millisecondsFromSeconds(timestamp) / 1000)},
        {"_sno", integer(persistedConfig_->sessionNumber())},
    };
    if (inBackground) {
        parameters.emplace("_aib", integer(1));
    } else {
        for (const auto& [key, value] : MeasurementServices::current().screenParameters()) {
            parameters.insert_or_assign(key, value);
        }
    }
    if (auto event = MSREvent::initWithOrigin("auto", false, "_s", timestamp, 0, parameters)) {
        handleInternalEventOnWorkerQueue(*event);
    }
}

// --- Application and system updates

void MSRMeasurement::reportAppUpdateOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("reportAppUpdateOnWorkerQueue");
    const auto current = environment_.appVersion ? environment_.appVersion
                         : identity_ != nullptr  ? identity_->appVersion()
                                                 : std::nullopt;
    // A version that cannot be read is no update: reporting one would name
    // the old version and forget it.
    if (!current || current->empty()) {
        return;
    }
    const auto stored = persistedConfig_->appVersion();
    if (stored == current) {
        return;
    }
    persistedConfig_->setAppVersion(current);
    if (stored && !stored->empty()) {
        MeasurementServices::current().logInternalEventWithOrigin("auto", "_au",
                                                                  {{"_pv", MSRValue::initWithString(*stored)}});
    }
}

void MSRMeasurement::reportOSUpdateOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("reportOSUpdateOnWorkerQueue");
    const std::string current = MSREnvironmentInfo::sharedInstance().deviceOSVersion();
    if (current.empty()) {
        return;
    }
    const auto stored = persistedConfig_->osVersion();
    if (stored == current) {
        return;
    }
    persistedConfig_->setOSVersion(current);
    if (stored && !stored->empty()) {
        MeasurementServices::current().logInternalEventWithOrigin("auto", "_ou",
                                                                  {{"_po", MSRValue::initWithString(*stored)}});
    }
}

bool MSRMeasurement::isVersionSameAsOriginalVersion() const {
    const auto stored = persistedConfig_->appVersion();
    if (!stored) {
        return true;
    }
    const auto running = environment_.appVersion ? environment_.appVersion
                         : identity_ != nullptr  ? identity_->appVersion()
                                                 : std::nullopt;
    return running == stored;
}

// --- Personalised ads and consent

void MSRMeasurement::setPersonalizedAdsUserPropertyOnWorkerQueue() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("setPersonalizedAdsUserPropertyOnWorkerQueue");
    if (database_ == nullptr) {
        return;
    }
    const auto stored = database_->userAttributeWithName("_npa");
    if (!stored) {
        monitor().logWithLevel(1, 23172, "Unable to read personalized ads user property. Error", stored.error());
        return;
    }
    const std::optional<bool> disable = shouldDisableAdPersonalization();
    if (!disable) {
        if (!*stored) {
            return;
        }
        if (auto removed = database_->deleteUserAttributeWithName("_npa"); !removed) {
            monitor().logWithLevel(1, 23173, "Unable to remove personalized ads user property in the database. Error",
                                   removed.error());
            return;
        }
        monitor().logWithLevel(4, 23180, "No value set for personalized ads. Removing user property.");
        MSRConsentSettingsUtil::setDiagnosticSource(0, kMSRConsentTypeAdPersonalization);
        return;
    }
    const std::int64_t value = *disable ? 1 : 0;
    const bool changed = !*stored || (*stored)->value().int64Value() != value;
    if (!MSRConsentSettingsUtil::adPersonalization()) {
        updateAdPersonalizationConsentFromNPAValue(MSRValue::initWithInt64(value));
    }
    if (changed) {
        if (auto attribute =
                MSRUserAttribute::initWithOrigin("auto", "_npa", MSRValue::initWithInt64(value), nowSince1970())) {
            setUserAttributeOnWorkerQueue(*attribute);
        }
    }
}

void MSRMeasurement::updateAdPersonalizationConsentFromNPAValue(const std::optional<MSRValue>& npaValue) {
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
    MSRConsentSettingsUtil::updateSettings(
        {{std::string(kMSRConsentTypeAdPersonalization), platform::Value(denied ? kMSRConsentDenied : kMSRConsentGranted)}});
    if (persistedConfig_->allowPersonalizedAds()) {
        MSRConsentSettingsUtil::setDiagnosticSource(5, kMSRConsentTypeAdPersonalization);
    } else if (foundAdPersonalizationPlistFlag_) {
        MSRConsentSettingsUtil::setDiagnosticSource(3, kMSRConsentTypeAdPersonalization);
    } else if (const auto defaults = MSRConsentSettingsUtil::defaultSettings();
               defaults && defaults->contains(kMSRConsentTypeAdPersonalization)) {
        MSRConsentSettingsUtil::setDiagnosticSource(1, kMSRConsentTypeAdPersonalization);
    }
}

void MSRMeasurement::updateConsentSettingsUtilWithRemoteConfig() {
    const auto before = MSRConsentSettingsUtil::adPersonalization();
    const auto settings = remoteConfigOrDefault();
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
    MSRConsentSettingsUtil::setRegionalDefaults(regional.empty() ? std::nullopt
                                                                 : std::optional<MSRConsentDictionary>(toConsent(regional)));
    const auto after = MSRConsentSettingsUtil::adPersonalization();
    if (after && after != before) {
        shouldUpdateNPAUserProperty_ = true;
    }
}

// --- Helpers

std::int64_t MSRMeasurement::timestampMillisRoundedUpToNextHour(std::int64_t timestampMillis) {
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

void MSRMeasurement::setSessionTimeoutInterval(double seconds) {
    scheduleWeakBlock("MSRMeasurement:1554", [seconds](MSRMeasurement& self) {
        if (self.sessionReporter_ != nullptr) {
            self.sessionReporter_->setTimeoutSessionInterval(seconds);
        }
    });
}

void MSRMeasurement::backfillSessionNumber() {
    MSRScheduler::checkOnBackgroundThreadWithMethodName("backfillSessionNumber");
    if (persistedConfig_->sessionNumber() != 0 || database_ == nullptr) {
        return;
    }
    const auto aggregates = database_->eventAggregatesWithName("_s");
    if (!aggregates) {
        monitor().logWithLevel(1, 23063, "Unable to query event aggregates. Name, error", MSRLogContext("_s"),
                               aggregates.error());
        return;
    }
    persistedConfig_->setSessionNumber(*aggregates ? (*aggregates)->lifetimeCount() : 0);
}

}  // namespace kit::measurement
