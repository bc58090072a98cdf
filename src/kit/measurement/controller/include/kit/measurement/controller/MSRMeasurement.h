#pragma once

#include "kit/core/network/Network.h"
#include "kit/measurement/controller/MSRAnalyticsSeams.h"
#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/support/MSREvent.h"
#include "kit/measurement/support/MSRRecords.h"
#include "kit/measurement/support/MSRValue.h"
#include "platform/Expected.h"
#include "platform/Value.h"
#include "platform/concurrency/Timers.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class RandomSource;
}

// The measurement engine's controller: one per process. It owns the worker
// queue, the store, the remote settings, the identity, the upload timer and
// the reporters, and every event, user property and upload passes through
// it. The public operations may be called from any thread and only hand a
// block to the worker queue; the operations named "...OnWorkerQueue" (and
// every other one not marked "any thread") run on that queue.
//
// The class is large, so its sources are split by concern under
// controller/measurement/: construction and start, lifecycle reports, event
// entry, the write pipeline, user properties, on-device conversion, upload,
// configuration fetch and app notifications, bundling, sampling, and the
// plain bundle functions. Each section of this header lists one concern's
// operations and the state only it touches. The write pipeline, the
// lifecycle reports and on-device conversion are objects of their own that
// hold their state; their operations here forward to them.
namespace kit::measurement {

class MSRAlarm;
class MSRAudience;
class MSRAudienceTimestampsCache;
class MSRConsentSink;
class MSRDatabase;
class MSRDeepLinks;
class MSREManager;
class MSREventWritePipeline;
class MSRIdentity;
class MSRLifecycleReports;
class MSRMeasurementBundler;
class MSRMeasurementUploader;
class MSROnDeviceConversion;
class MSRPersistedConfig;
class MSRPrivateSetMembershipClient;
struct MSRPrivateSetMembershipClientClass;
class MSRRemoteConfig;
class MSRScheduler;
class MSRSearchAdReporter;
class MSRSessionReporter;
class MSRTCFClient;
struct MSRRawEventsRead;

// What the controller is made with. Every field has a product default;
// tests replace what they need.
struct MSRMeasurementEnvironment {
    // Wall time, uptime and timers (the upload alarm, retries). Must
    // outlive the controller. Null: the system clock.
    platform::SchedulingClock* clock = nullptr;
    // Null: the process-wide persisted settings.
    std::shared_ptr<MSRPersistedConfig> persistedConfig;
    // The HTTP client. Unset: made over the collection host of the
    // endpoints resource, none when it names no host.
    std::optional<std::shared_ptr<LMUNetwork>> network;
    // Null: the shared experiment manager.
    std::shared_ptr<MSREManager> experimentManager;
    // File name of the store in the measurement directory.
    std::string databaseName = "lumen-measurement.sql";
    // Sampling rolls. Null: the system's random words.
    platform::RandomSource* random = nullptr;
    // Whether the application came from the App Store; never on Linux.
    std::function<bool()> isFromAppStore;
    // Where transparency-and-consent data hands its consent. Null: the
    // facade's set-consent call.
    std::shared_ptr<MSRConsentSink> consentSink;
    // The running version that isVersionSameAsOriginalVersion compares.
    // Unset: the identity's application version.
    std::optional<std::string> appVersion;
    // The Info.plist dictionary. None: the main bundle's.
    std::optional<platform::Value> infoDictionary;
};

class MSRMeasurement final : public MSRMeasurementController,
                             public LMUNetworkLoggerDelegate,
                             public LMUNetworkReachabilityDelegate,
                             public std::enable_shared_from_this<MSRMeasurement> {
public:
    // ===== Shared instance, construction, enablement, start, accessors

    // The one controller of the process. The first call with a non-empty
    // app ID makes it; an empty app ID logs and makes none, and later calls
    // do nothing. Any thread.
    static std::shared_ptr<MSRMeasurement> initializeSharedInstance(const MSRMeasurementStartOptions& options,
                                                                    MSRMeasurementEnvironment environment = {});
    static bool hasSharedInstance();
    static std::shared_ptr<MSRMeasurement> sharedInstance();
    // The shared controller's remote settings, else the defaults. Any thread.
    static std::shared_ptr<MSRRemoteConfig> remoteConfig();
    // Puts the shared controller's answers into the seams the lower
    // libraries and the facade read: MeasurementServices, the controller
    // facts, the identity provider, the messages monitor, the reporters'
    // controller, the deep links' facts and the connector's store. Done
    // when the shared instance is made; tests call it themselves.
    static void installControllerServices();
    // The factory the facade calls; installs the controller's services.
    static std::shared_ptr<MSRMeasurementControllerFactory> makeFactory(MSRMeasurementEnvironment environment = {});

    // Null for an empty app ID (logged).
    static std::shared_ptr<MSRMeasurement> initWithAppID(const MSRMeasurementStartOptions& options,
                                                         MSRMeasurementEnvironment environment = {});
    ~MSRMeasurement() override;
    MSRMeasurement(const MSRMeasurement&) = delete;
    MSRMeasurement& operator=(const MSRMeasurement&) = delete;

    bool shouldEnableMeasurement() const;
    void setEnabled(bool enabled) override;  // any thread
    void setEnabledOnWorkerQueue(bool enabled);
    bool startMeasurementOnWorkerQueue();
    bool shouldWipeDataWithAppID(std::string_view appID, const std::optional<std::string>& appIDFromLMP,
                                 const std::optional<std::string>& persistedAppIDFromLMP) const;
    void setProspectiveConsentSettings();
    void updatePersistedAppIDFromLMP();
    bool didInitializeComponents() const { return didInitializeComponents_.load(); }
    void setDidInitializeComponents(bool value) { didInitializeComponents_.store(value); }
    void reachabilityDidChange() override;  // any thread
    void tcfClientSetConsentFromData();

    MSRAlarm& alarm();
    MSRAudience* audience();
    MSRDatabase* database();
    std::shared_ptr<MSRIdentity> identity();
    std::shared_ptr<LMUNetwork> network();
    std::shared_ptr<MSRPersistedConfig> persistedConfig();
    std::shared_ptr<MSRRemoteConfig> remoteConfigInstance();
    MSRScheduler& scheduler();
    std::shared_ptr<MSRSessionReporter> sessionReporter();
    std::shared_ptr<MSRSearchAdReporter> searchAdReporter();
    std::shared_ptr<MSRTCFClient> tcfClient();
    std::shared_ptr<MSRDeepLinks> deepLinks();
    const std::optional<std::vector<std::string>>& safelistedEvents() const;
    platform::SchedulingClock& clock() { return *clock_; }
    const MSRMeasurementEnvironment& environment() const { return environment_; }
    bool isEnabled() const;
    bool wasEnabledDuringInitialization() override;
    bool hasInitializedComponents() override { return didInitializeComponents(); }
    bool isAnalyticsCollectionEnabled() const;
    void setIsAnalyticsCollectionEnabled(bool value);
    bool isAnalyticsCollectionDeactivated() const;
    void setIsAnalyticsCollectionDeactivated(bool value);
    bool isNetworkRequestPending() const;
    void setIsNetworkRequestPending(bool pending) override;
    void setSuspendedUploadTimestamp(double uptimeSeconds);
    const std::string& appID() const { return appID_; }
    double initTimestamp() const { return initTimestamp_; }

    // ===== Lifecycle reports: first open, campaign, session start, app and OS update

    void reportFirstOpenOnWorkerQueue();
    // `clickTimestampMillis`: none when the click time is unknown.
    void reportStoredCampaignEventOnWorkerQueue(std::optional<std::int64_t> clickTimestampMillis);
    void reportSessionStartOnWorkerQueueWithTimestamp(double timestamp, bool appInBackground);
    void reportAppUpdateOnWorkerQueue();
    void reportOSUpdateOnWorkerQueue();
    void setPersonalizedAdsUserPropertyOnWorkerQueue();
    void updateAdPersonalizationConsentFromNPAValue(const std::optional<MSRValue>& npaValue);
    void updateConsentSettingsUtilWithRemoteConfig();
    static std::int64_t timestampMillisRoundedUpToNextHour(std::int64_t timestampMillis);
    bool isVersionSameAsOriginalVersion() const;
    void setSessionTimeoutInterval(double seconds) override;  // any thread
    void backfillSessionNumber();
    // The configured app ID before the last wipe, reported with first open.
    const std::optional<std::string>& previousLMPAppID() const { return previousLMPAppID_; }

    // ===== Event entry, default parameters and backfill

    void logEventWithOrigin(const MSREventRequest& request) override;  // any thread
    void logEventOnWorkerQueueWithOrigin(const MSREventRequest& request);
    void logEventOnWorkerQueue(const MSREvent& event, bool notifyEventListeners);
    void logEvent(const std::optional<MSREvent>& event);  // any thread
    void setDefaultEventParameters(const std::optional<platform::Value::Dictionary>& parameters) override;  // any
    void handleSetDefaultEventParametersOnWorkerQueue(const std::optional<platform::Value::Dictionary>& parameters,
                                                      bool backfillEvents);
    bool shouldBackfillEvents();
    // `eventFilter` empty: every stored event.
    void backfillEventsWithParameters(const MSRObjectDictionary& parameters, bool isPublic,
                                      const std::function<bool(const MSRRawEventData&)>& eventFilter);
    platform::Value::Dictionary parametersWithAddedDefaultEventParameters(
        const platform::Value::Dictionary& parameters);
    double backfillStartTimestampForSessionID(std::int64_t sessionID);
    // Whether a stored row belongs to the session that starts at
    // `backfillStartTimestamp` and has none yet.
    bool shouldBackfillSessionID(double backfillStartTimestamp, const MSRRawEventData& row);
    void backfillSessionID(std::int64_t sessionID, std::int64_t sessionNumber);
    std::optional<std::string> previousFirstOpenCount();
    void setPreviousFirstOpenCount(const std::optional<std::string>& count);

    // ===== Event write pipeline

    void handleEventOnWorkerQueue(const MSREvent& event);
    void handleInternalEventOnWorkerQueue(const MSREvent& event) override;
    std::optional<MSREvent> eventAfterSafelistingEvent(const MSREvent& event);
    void processSessionFromEvent(const MSREvent& event);
    // False: drop the event.
    bool dedupeSubscriptionEvent(const MSREvent& event);
    // True: drop the event.
    bool shouldDropDuplicatedSessionStartWithRolloutEvent(const MSREvent& event);
    MSREvent appExceptionEventWithHaloFeatureRollouts(const MSREvent& event);
    void writeSessionStartEventOnWorkerQueue(const MSREvent& event);
    void writeEventOnWorkerQueue(const MSREvent& event);
    void writeFilteredEventOnWorkerQueue(const MSREvent& event);
    bool updateLifetimeValueWithEvent(const MSREvent& event);
    bool shouldProcessEvent(const MSREvent& event, MSRDailyCounts& dailyCounts, bool isPublicEvent);
    // May take the real-time flag away, or add it with the debug flag.
    bool isRealtimeEvent(MSREvent& event, const MSRDailyCounts& dailyCounts);
    void maybeAddDebugAndRealtimeParameters(MSREvent& event);
    bool writeEvent(const MSREvent& event, bool isPublicEvent, bool isRealtime);
    MSRPBMeasurementBundle createRawEventMetadataWithUserAttributes(const std::vector<MSRUserAttribute>& attributes);
    std::optional<MSRPBAdCampaignInfo> adCampaignInfoFromEvent(const MSREvent& event);
    void logFirstOpenConsentedEvent(double timestamp);
    // The remote settings, or the defaults before the start made them.
    std::shared_ptr<MSRRemoteConfig> remoteConfigOrDefault();
    std::int64_t storedFirstOpenCount();

    // ===== User properties and user data

    void setUserAttribute(const MSRUserAttribute& attribute) override;  // any thread
    void setUserAttributeOnWorkerQueue(const MSRUserAttribute& attribute);
    void setUserPropertyInDatabaseOnWorkerQueue(const MSRUserAttribute& attribute) override;
    // The same, answering whether the property was stored.
    bool storeUserPropertyOnWorkerQueue(const MSRUserAttribute& attribute);
    void removeUserAttribute(const MSRUserAttribute& attribute) override;  // any thread
    void removeUserAttributeOnWorkerQueue(const MSRUserAttribute& attribute);
    // The callbacks of these readers run on the global queue, never on the
    // worker queue; nothing is called once the controller is gone.
    void userAttributeWithName(std::string_view name,
                               std::function<void(std::optional<MSRUserAttribute>)> callback);  // any thread
    void userPropertiesIncludingInternal(bool includingInternal,
                                         std::function<void(platform::Value::Dictionary)> callback) override;
    void maxUserPropertiesForOrigin(std::string_view origin, std::function<void(std::int64_t)> callback) override;
    // True: disable, false: allow; nothing when no source decides.
    std::optional<bool> shouldDisableAdPersonalization() override;  // any thread
    bool shouldAllowAdNetworkRegistration() const;                  // any thread
    void setLastAdvertisingIDResetUserPropertyOnWorkerQueue();
    bool hasUserPropertyUserIDOnWorkerQueue();
    // The completion runs once, on the worker queue.
    void sessionIDWithCompletion(MSRSessionIDCompletion completion) override;  // any thread
    void setUserData(const platform::Value::Dictionary& userData) override;    // any thread
    void setUserDataOnWorkerQueue(const platform::Value::Dictionary& userData);

    // ===== On-device conversion

    // What is registered as "MSRPrivateSetMembershipClient"; null when nothing is.
    std::shared_ptr<MSRPrivateSetMembershipClientClass> PSMClientClass() const;
    void checkPSMDependencyOnWorkerQueue();
    bool shouldRetrievePSMResponse();
    bool shouldRetrievePSMResponseWithEmailAddress(std::string_view emailAddress);
    bool shouldRetrievePSMResponseWithPhoneNumber(std::string_view phoneNumber);
    bool shouldRetrievePSMResponseWithHashedIdentifier(std::span<const std::uint8_t> hashedIdentifier);
    std::shared_ptr<MSRPrivateSetMembershipClient> PSMClientWithEmailAddress(std::string_view emailAddress);
    std::shared_ptr<MSRPrivateSetMembershipClient> PSMClientWithPhoneNumber(std::string_view phoneNumber);
    std::shared_ptr<MSRPrivateSetMembershipClient> PSMClientWithHashedEmailAddress(
        std::span<const std::uint8_t> hashedEmailAddress);
    std::shared_ptr<MSRPrivateSetMembershipClient> PSMClientWithHashedPhoneNumber(
        std::span<const std::uint8_t> hashedPhoneNumber);
    void retrievePSMResponse();
    // For the upload's completion: sends the request that waited for the
    // network, if one did.
    void retrievePostponedPSMResponseOnWorkerQueue();
    void maybeSchedulePSMRetry();
    void handlePSMValueOnWorkerQueue(const std::string& value);
    void incrementPSMCountOnWorkerQueueWithName(std::string_view propertyName);
    void maybeDeleteExpiredPSMValueOnWorkerQueue();
    void resetPSMCounts();
    bool isPSMRequestInProgress() const;
    bool isPSMRequestPostponed() const;
    // "On-device conversion measurement timer"; null until the first retry.
    const MSRAlarm* PSMRetryAlarm() const;

    // ===== Upload scheduling and upload

    void updateSchedule() override;
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
    bool shouldUseBackgroundSession() const { return false; }
    // Writes the pending persisted settings now (no background sessions here).
    void terminateBackgroundTask();
    // Uploads stay off this long (uptime seconds) after accepted bundles
    // could not be deleted, or a fetched configuration not recorded.
    static constexpr double kUploadSuspensionSeconds = 3600;
    // Seconds since 1970 and since boot, on the controller's clock.
    double nowSince1970() const;
    double nowSinceBoot() const;
    // The configuration's cache time has passed, on the controller's clock.
    bool isRemoteConfigExpired();
    bool isNetworkConnected();

    // ===== Configuration fetch, reset and wipe, app notifications

    void fetchRemoteConfig();
    void networkRemoteConfigFetchCompletionHandler(const std::optional<HTTPURLResponse>& response,
                                                   const std::optional<std::vector<std::uint8_t>>& data,
                                                   const std::optional<platform::Error>& error);
    bool resetAnalyticsDataWithAppInstanceID(const std::optional<std::string>& appInstanceID) override;
    bool wipeoutAnalyticsDataAndResetComponents();
    // Seconds since 1970; 0 when none is known.
    double firstOpenTimestamp();
    void paymentQueueUpdatedTransactions(const std::vector<platform::PaymentTransaction>& transactions) override;
    void filterPurchaseTransactions(const std::vector<platform::PaymentTransaction>& transactions,
                                    std::function<void(std::vector<platform::PaymentTransaction>)> callback);
    // Subscribes once per process.
    static void subscribeForAppDidFinishLaunchingNotifications();
    static void handleAppDidFinishLaunching(const platform::Value& userInfo);
    void subscribeForAppForegroundBackgroundNotifications();
    void handleAppDidBecomeActiveEvent();
    void handleAppWillResignActiveEvent();
    static bool isHaloRemoteConfigSDKPresent();
    void handleNonFirstOpenEventURL(const std::string& url, double eventTimestamp) override;  // any thread
    void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                 const LMUNetworkLogContexts& contexts) override;
    void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                 const std::optional<std::string>& context) override;
    void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message) override;

    // ===== Event sampling

    // The kept events in input order (some with "_sr" and "_efs" added), or
    // the store's error; the names' sampling state is saved once, after
    // every event was decided.
    platform::Expected<std::vector<MSRPBEvent>> sampleEvents(std::vector<MSRPBEvent> events);
    bool canEventBeSampled(const MSRPBEvent& event);
    // True with probability 1/rate, rolled on the environment's random source.
    bool isEventBundledAfterRoll(std::int64_t rate);

    // ===== Raw-event bundling

    // Turns the oldest run of raw events sharing one metadata record into
    // one queued bundle, in one transaction. True when a run was consumed.
    bool bundleRawEvents();
    // The run: the oldest rows of the fingerprint, up to the first row of
    // another hour, a gap in row IDs or the count and size limits. Rows
    // that don't decode are part of the run (in `skippedRowIDs`). Nothing
    // on a store failure.
    std::optional<MSRRawEventsRead> rawEventsWithMetadataFingerprint(std::int64_t fingerprint);
    // `runLastRowID`: the last row of the run when it is not the last event
    // (a row that didn't decode). Empty when every event was rejected (the
    // run is deleted); nothing on a store failure.
    std::optional<std::vector<MSREvent>> processRawEvents(const std::vector<MSRRawEventData>& rawEvents,
                                                          std::int64_t fingerprint,
                                                          std::optional<std::int64_t> runLastRowID = std::nullopt);
    MSRRawEventData internalEventFromPublicEvent(const MSRRawEventData& rawEvent);
    // Both answer whether they changed the counts; they mark the event.
    bool checkConversion(MSREvent& event, MSRDailyCounts& dailyCounts);
    bool checkRealtime(MSREvent& event, MSRDailyCounts& dailyCounts);
    MSRRawEventData validatePurchaseEvent(const MSRRawEventData& rawEvent);
    // Session start and engagement totals of the run.
    void evaluationTimeFromRawEvents(const std::vector<MSRRawEventData>& rawEvents, MSRPBMeasurementBundle& bundle);
    void handleAnalyticsStorageConsentTransitions(MSRPBMeasurementBundle& bundle);
    std::optional<std::vector<MSREvent>> eventsAfterUpdatingEventAggregates(
        const std::vector<MSREvent>& events, MSRAudienceTimestampsCache& audienceTimestampsCache,
        bool allowEventFilterEvaluation);
    bool updateAppMetadataForBundle(MSRPBMeasurementBundle& bundle, double bundleStartTimestamp,
                                    double bundleEndTimestamp);
    bool updateUserEngagement(std::int64_t engagementTimeMillis, MSRPBMeasurementBundle& bundle, bool sessionScoped);
    void addBundleMetadataIntoBundle(MSRPBMeasurementBundle& bundle, double bundleStartTimestamp,
                                     double bundleEndTimestamp);

private:
    struct Private {};

public:
    MSRMeasurement(Private, const MSRMeasurementStartOptions& options, MSRMeasurementEnvironment environment);

private:
    // Hands `block` to the worker queue under `blockID`; the block runs with
    // the controller when it still exists, and does nothing otherwise.
    void scheduleWeakBlock(std::string_view blockID, std::function<void(MSRMeasurement&)> block);
    bool initializeComponentsOnWorkerQueue();
    // The steps of the start, in order.
    bool takeSharedIdentity();
    void applyStartConsentAndPendingWipe();
    void refreshIdentifiers();
    bool openStoreAndSettings();
    void prepareStore();
    void runStartReports();
    void startReportersAndObservers();

    // ----- Construction and start. Confined to the worker queue unless noted.
    platform::SchedulingClock* clock_;
    MSRMeasurementEnvironment environment_;
    const std::string databaseName_;
    const std::string appID_;
    std::atomic<bool> didInitializeComponents_{false};
    std::mutex initializeComponentsLock_;
    std::shared_ptr<MSRPersistedConfig> persistedConfig_;
    std::shared_ptr<LMUNetwork> network_;
    std::shared_ptr<MSRScheduler> scheduler_;
    std::shared_ptr<MSREManager> experimentManager_;
    std::shared_ptr<MSRIdentity> identity_;
    std::shared_ptr<MSRDatabase> database_;
    // The components other threads reach through the installed services
    // (identity provider, reporters, settings): written by the start on the
    // worker queue under componentsMutex_, read elsewhere under it.
    mutable std::mutex componentsMutex_;
    std::shared_ptr<MSRRemoteConfig> remoteConfig_;
    std::unique_ptr<MSRAudience> audience_;
    std::shared_ptr<MSRSessionReporter> sessionReporter_;
    std::shared_ptr<MSRSearchAdReporter> searchAdReporter_;
    std::shared_ptr<MSRTCFClient> tcfClient_;
    std::shared_ptr<MSRDeepLinks> deepLinks_;  // made with the controller, then read-only
    double initTimestamp_ = 0;
    std::atomic<bool> enabled_{false};
    std::atomic<bool> wasEnabledDuringInitialization_{false};
    std::atomic<bool> isAnalyticsCollectionEnabled_{false};
    std::atomic<bool> isAnalyticsCollectionDeactivated_{false};

    // ----- Lifecycle reports.
    // Raised when the settings change the ad-personalisation consent; the
    // bundler takes it down once the stored "_npa" property follows.
    bool shouldUpdateNPAUserProperty_ = false;

    // ----- Event entry and write pipeline.

    // ----- User properties.
    // The Info.plist the personalised-ads and ad-network settings come from.
    const platform::Value& infoDictionary() const;

    // ----- The concern objects, made with the controller and confined to
    // the worker queue; each owns its concern's state.
    std::unique_ptr<MSREventWritePipeline> writePipeline_;
    std::unique_ptr<MSRLifecycleReports> lifecycleReports_;
    std::unique_ptr<MSROnDeviceConversion> onDeviceConversion_;

    // ----- Upload, bundling and sampling. The uploader (the upload timer,
    // the batch in flight, the suspension) and the bundler own their state
    // and reach the controller only through the collaborators it makes them
    // with; both live on the worker queue and go with the controller.
    std::unique_ptr<MSRMeasurementUploader> makeUploader();
    std::unique_ptr<MSRMeasurementBundler> makeBundler();
    std::unique_ptr<MSRMeasurementUploader> uploader_;
    std::unique_ptr<MSRMeasurementBundler> bundler_;
    void setReachabilityDelegateToSelf(bool observe);
    std::shared_ptr<platform::Executor> workerQueueExecutor();
    std::shared_ptr<platform::Executor> workerQueueExecutor_;

    // ----- Configuration fetch, reset and wipe, notifications.
    // The steps of a configuration fetch's answer.
    void recordFailedConfigurationFetch(int status, const std::optional<platform::Error>& error, double now);
    bool recordUnchangedConfiguration(int status, double now);
    bool applyFetchedConfiguration(const HTTPURLResponse& response,
                                   const std::optional<std::vector<std::uint8_t>>& data, double now);
    void finishConfigurationFetch(bool timestampUpdated);
    std::optional<std::string> previousLMPAppID_;
    bool shouldRequestDeferredDeepLinkAfterConfigFetch_ = false;
    // Removes the controller's lifecycle observers when it goes.
    struct NotificationSubscription {
        NotificationSubscription() = default;
        NotificationSubscription(const NotificationSubscription&) = delete;
        NotificationSubscription& operator=(const NotificationSubscription&) = delete;
        ~NotificationSubscription();
        std::vector<std::uint64_t> tokens;
    };
    std::unique_ptr<NotificationSubscription> notificationSubscription_;
};

// ===== Plain functions on bundles (write pipeline, upload, bundling)

void MSRFillBundleIdentityFields(MSRPBMeasurementBundle& bundle, std::string_view consentSignals,
                                 bool gateIDFAOnATTMASEnabled, MSRIdentity& identity, bool overwrite);
void MSRFillBundleConsentFields(MSRPBMeasurementBundle& bundle, std::string_view consentDiagnostics,
                                bool adUserDataDenied, const std::optional<MSRPBUserAttribute>& npaAttribute,
                                const MSRRemoteConfig& remoteConfig, bool overwrite);
bool MSRBundleHasFirstOpenEvent(const MSRPBMeasurementBundle& bundle);
bool MSRBundlesHaveCompatibleMetadata(const MSRPBMeasurementBundle& first, const MSRPBMeasurementBundle& second);
void MSRApplyDataControls(MSRPBMeasurementBundle& bundle, const std::set<std::string, std::less<>>& redactedFields,
                          MSRIdentity& identity);
bool MSRIsAnalyticsStorageDeniedInSignals(std::string_view consentSignals);

}  // namespace kit::measurement
