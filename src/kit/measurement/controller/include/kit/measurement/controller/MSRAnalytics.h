#pragma once

#include "kit/measurement/controller/MSRAnalyticsSeams.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/controller/MSRDeepLinks.h"
#include "kit/measurement/controller/MSRInAppPurchaseTransactionReporter.h"
#include "platform/Value.h"
#include "platform/concurrency/Executor.h"
#include "platform/concurrency/Timers.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class SerialQueue;
}

// The facade between the public analytics interface and the measurement
// controller. Every call reaches the controller through two queues: a
// suspended operation queue that holds calls until the engine has started,
// then the serial queue "MSRAnalyticsQueue". All state is process-wide, in
// one holder that tests reset.
namespace kit::measurement {

inline constexpr std::string_view kMSRAnalyticsSuiteName = "MSRAnalyticsSuiteName";
inline constexpr std::string_view kMSRAnalyticsQueueLabel = "MSRAnalyticsQueue";
inline constexpr std::string_view kMSRAnalyticsOperationQueueName = "MSRAnalyticsOperationQueue";
inline constexpr std::string_view kHLOAnalyticsWillStartNotification = "kHLOAnalyticsWillStartNotification";

// Start options.
inline constexpr std::string_view kMSRStartOptionConfiguration = "HALO_ANALYTICS_CONFIGURATION";
inline constexpr std::string_view kMSRStartOptionDeactivated = "HALO_ANALYTICS_COLLECTION_DEACTIVATED";
inline constexpr std::string_view kMSRStartOptionEnabled = "HALO_ANALYTICS_COLLECTION_ENABLED";
inline constexpr std::string_view kMSRStartOptionLogTag = "app_measurement_log_tag";
inline constexpr std::string_view kMSRStartOptionSafelistedEvents = "safelisted_events";

// Keys of the suite.
inline constexpr std::string_view kMSRResetRetryCountKey = "reset_retry_count";
inline constexpr std::string_view kMSRNeedFirstOpenAfterResetKey = "need_first_open_after_reset";
inline constexpr std::string_view kMSRAppInstanceIDAfterResetKey = "app_instance_id_after_reset";
inline constexpr std::string_view kMSRDeferredAnalyticsCollectionKey = "deferred_analytics_collection";
inline constexpr std::string_view kMSRConsentSettingsKey = "consent_settings";
inline constexpr std::string_view kMSRConsentSettings3PKey = "consent_settings_3p";
inline constexpr std::string_view kMSRConsentSettingsTCFKey = "consent_settings_tcf";
inline constexpr std::string_view kMSRConsentSourceKey = "consent_source";
inline constexpr std::string_view kMSRConsentSettingsOnStartKey = "consent_settings_on_start";
inline constexpr std::string_view kMSRDeferredConsentResetKey = "deferred_consent_reset";

class MSRUserDefaults;

class MSRAnalytics {
public:
    MSRAnalytics() = delete;

    // --- Setup: the registration call, the seams, and tests' resets.
    // Registers "HLOAnalytics" and the connector library, and sets the
    // load timestamp to now.
    static void registerLibrary();
    static void installSeams(MSRAnalyticsSeams seams);
    // The seams as they stand before anyone installs a part: the answers a
    // start still gets from a seam nobody wired.
    static MSRAnalyticsSeams defaultSeams();
    // The controller library's own part of every seam, each a fresh
    // instance: the shared controller's factory, the shared identity, the
    // facade's entry points and the shared screen-view reporter. The
    // installation identifier is the installations library's to give.
    static MSRAnalyticsSeams controllerSeams();
    // Timers and the load timestamp come from `clock` (tests: a TestClock).
    static void setClock(platform::SchedulingClock& clock);

    // --- Queues.
    static platform::SerialQueue& queue();
    static void dispatchAsyncOnSerialQueue(platform::Work block);
    static bool isCurrentQueueSerialQueue();
    static void queueOperationWithBlock(platform::Work block);
    static void queueOperationWithBlockThenWait(platform::Work block);
    static void unsuspendOperationQueue();
    // Tests: waits until everything queued so far has run on the serial queue.
    static void waitUntilIdleForTesting();
    // At quit: waits up to `timeout` for what is queued so far to pass the
    // operation queue, the serial queue and one turn of the controller's
    // worker queue, then writes the persisted settings. Answers whether the
    // queues drained in time. Before the start nothing is waited for: what
    // is queued then waits for a start that has not come.
    // Never call it from those queues.
    static bool drainForTermination(std::chrono::milliseconds timeout);

    // --- Start.
    // `configuration` is the analytics configuration whose collection
    // switch the facade follows (a plain value cannot hold it); may be null.
    static void startWithAppID(std::string_view appID, std::string_view origin,
                               const platform::Value::Dictionary& options, const void* configuration = nullptr);
    static double loadTimestamp();
    static void setLoadTimestamp(double seconds);

    // --- Flags and controller.
    static bool isAnalyticsEnabled();
    static bool isCollectionDeactivated();
    static std::shared_ptr<MSRMeasurementController> controller();
    static MSRAnalyticsSeams seams();

    // --- Enablement.
    static void setAnalyticsEnabled(bool enabled);
    static void setAnalyticsEnabled(bool enabled, bool persistSetting);
    // Follows the analytics configuration's collection switch; null stops.
    static void observeNotificationsForAnalyticsConfiguration(const void* configuration);
    static void handleSetEnabled(const platform::Value& userInfo);

    // --- Session and identity.
    static void setSessionTimeoutInterval(double seconds);
    // The completion runs on a pool thread; without a controller it gets
    // 0 and code 13, "Analytics uninitialized".
    static void sessionIDWithCompletion(MSRSessionIDCompletion completion);
    static std::optional<std::string> appInstanceID();

    // --- Reset and user data.
    static void resetAnalyticsData();
    static void setUserData(const platform::Value::Dictionary& userData);

    // --- Events. Validation and copying happen on the caller's thread, so an
    // invalid call is reported at once; the event reaches the controller
    // through the queues, in order, after start.
    using Parameters = platform::Value::Dictionary;
    using LogEventListener = MSRAnalyticsEntryPoints::LogEventListener;
    using ListenerToken = MSRAnalyticsEntryPoints::ListenerToken;
    using OpenURLListener = std::function<void(const std::string& url)>;

    static void logEventWithName(std::string_view name, const Parameters& parameters);
    static void logEventWithOrigin(std::string_view origin, std::string_view name, const Parameters& parameters);
    // An "am" event's decimal "_aeid" text becomes an integer first.
    static void logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                           const Parameters& parameters);
    static void logEventWithOrigin(std::string_view origin, bool isPublicEvent, std::string_view name,
                                   const Parameters& parameters);
    static void logInternalEventWithOrigin(std::string_view origin, std::string_view name, double timestamp,
                                           const Parameters& parameters);
    static void logEventWithOrigin(std::string_view origin, bool isPublicEvent, std::string_view name,
                                   const Parameters& parameters, double timestamp, bool ignoreEnabled,
                                   bool ignoreInterceptor);
    static void logEventOnSerialQueueWithOrigin(std::string origin, bool isPublicEvent, std::string name,
                                                Parameters parameters, double timestamp, bool ignoreEnabled,
                                                bool ignoreInterceptor, MSRParameters addedScreenParameters);
    // Null clears them.
    static void setDefaultEventParameters(const std::optional<Parameters>& parameters);
    // A verified store transaction, handed on the caller's thread to the
    // shared purchase reporter.
    static void logTransactionWithProductID(const MSRVerifiedTransaction& transaction);

    // --- User properties.
    static void setUserPropertyString(const std::optional<std::string>& value, std::string_view name);
    // Anything but a string or nothing is refused (25004).
    static void setUserID(const std::optional<platform::Value>& userID);
    static void removeUserAttributeForName(std::string_view name);
    static void setUserAttributeNumber(const platform::Value& number, std::string_view name);
    static void setInternalUserProperty(const std::optional<platform::Value>& value, std::string_view name,
                                        std::string_view origin);
    static void removeInternalUserAttributeForName(std::string_view name);

    // --- Listeners and the interceptor; touched only on the serial queue.
    static void setLogEventInterceptor(MSRLogEventInterceptor interceptor);
    // Null for a null listener.
    static ListenerToken addLogEventListener(LogEventListener listener);
    static void removeLogEventListener(const ListenerToken& token);
    static void notifyEventListeners(const MSREvent& event);
    static void notifyEventListenersOnSerialQueue(const MSREvent& event);

    // --- Links.
    static void handleOpenURL(const std::string& url);
    static void handleUserActivity(const MSRUserActivity& activity);
    static void setOpenURLListener(OpenURLListener listener);

    // --- Queries; answers arrive on `queue` (callers' executors outlive them).
    static void userPropertiesIncludingInternal(bool includingInternal, platform::Executor* queue,
                                                std::function<void(platform::Value::Dictionary)> callback);
    static void maxUserPropertiesForOrigin(std::string_view origin, platform::Executor* queue,
                                           std::function<void(std::int64_t)> callback);

    // --- Consent.
    static void setConsent(const MSRConsentDictionary& consent);
    static void setConsent(const MSRConsentDictionary& consent, std::string_view key);
    static void loadPersistedConsentSettings();
    static void persistConsentSettings(const MSRConsentDictionary& settings, std::int64_t source);
    static std::int64_t persistedConsentSource();
    static void clearConsent();

    // --- The suite.
    static MSRUserDefaults& suite();
    static std::int64_t resetRetryCount();
    static void setResetRetryCount(std::int64_t count);
    static bool needFirstOpenAfterReset();
    static void setNeedFirstOpenAfterReset(bool need);
    static void removeNeedFirstOpenAfterReset();
    static std::optional<std::string> appInstanceIDAfterReset();
    static void setAppInstanceIDAfterReset(const std::optional<std::string>& identifier);
    static std::optional<platform::Value> deferredAnalyticsCollection();
    static void setDeferredAnalyticsCollection(const std::optional<platform::Value>& value);
    static std::optional<MSRConsentDictionary> consentSettings1P();
    static std::optional<MSRConsentDictionary> consentSettings3P();
    static std::optional<MSRConsentDictionary> consentSettingsTCF();
    static std::optional<MSRConsentDictionary> consentSettings1PStart();
    static void removeStartUpConsentSettings();
    static std::optional<platform::Value> deferredResetOnDeniedConsent();
    static void removeDeferredResetOnDeniedConsent();

    // --- Platform hooks.
    static void createAppDelegateProxy();
    static void maybeEnableTagManager();
};

// The optional tag manager of the host, found by name ("TGKManager").
class MSRTagManagerClass {
public:
    static constexpr std::string_view kClassName = "TGKManager";
    virtual ~MSRTagManagerClass() = default;
    // False when the class has no such operation.
    virtual bool initializeSharedInstance() = 0;
};

// An older analytics library that must not run beside this one ("HLOADatabase").
inline constexpr std::string_view kMSROlderAnalyticsClassName = "HLOADatabase";

}  // namespace kit::measurement
