#pragma once

#include "kit/core/MutableDictionary.h"
#include "kit/measurement/messages/MSREventEditingInstance.h"
#include "kit/measurement/messages/MSRExperimentManager.h"
#include "kit/measurement/messages/MSRRemoteConfigStore.h"
#include "kit/measurement/messages/NanoMessage.h"
#include "platform/Value.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The measurement engine's remote configuration: the last configuration
// fetched and stored, every tunable limit of the engine as a typed setting
// with a compiled-in default and bounds, the per-event answers, the fetch and
// upload URLs, the consent values and the event-editing program.
//
// The controller owns one instance per app; defaultInstance() answers
// defaults wherever there is none. Readers on any thread see one whole
// configuration: each parse builds a new one and swaps it in under the lock.
namespace kit::measurement {

enum class MSRSetting : int;

class MSRRemoteConfig final : public MSREExperimentObserverDelegate,
                              public std::enable_shared_from_this<MSRRemoteConfig> {
public:
    using Dictionary = std::map<std::string, std::string, std::less<>>;
    using SettingsCache = kit::LMUMutableDictionary<std::string, platform::Value>;
    // Turns a parsed number into what the cache keeps (milliseconds into
    // seconds for the time settings).
    using NumberTransform = std::function<std::optional<platform::Value>(const platform::Value&)>;

    // --- Creation. Each answers null where the object is refused.

    // The controller's: an empty app identifier logs 29000, a null database
    // 29001; then the stored configuration is loaded.
    static std::shared_ptr<MSRRemoteConfig> initWithAppID(std::string_view appID,
                                                          std::shared_ptr<MSRRemoteConfigStore> database,
                                                          std::shared_ptr<MSRPersistedAppInstanceID> persistedConfig,
                                                          std::shared_ptr<MSREManager> experimentManager);
    static std::shared_ptr<MSRRemoteConfig> initWithAppID(std::string_view appID,
                                                          std::shared_ptr<MSRRemoteConfigStore> database,
                                                          std::shared_ptr<MSREManager> experimentManager);
    // The designated forms, without checks: any argument may be empty.
    static std::shared_ptr<MSRRemoteConfig> initWithAppID(std::string_view appID,
                                                          std::shared_ptr<MSRRemoteConfigStore> database,
                                                          std::optional<MSRPBMeasurementConfig> measurementConfig,
                                                          std::shared_ptr<MSREManager> experimentManager);
    static std::shared_ptr<MSRRemoteConfig> initWithAppID(std::string_view appID,
                                                          std::shared_ptr<MSRRemoteConfigStore> database,
                                                          std::optional<MSRPBMeasurementConfig> measurementConfig,
                                                          std::shared_ptr<MSRPersistedAppInstanceID> persistedConfig,
                                                          std::shared_ptr<MSREManager> experimentManager);

    // The shared instance without database: defaults only.
    static std::shared_ptr<MSRRemoteConfig> defaultInstance();

    ~MSRRemoteConfig() override;

    // --- Setting primitives.

    // One fixed grammar whatever the locale: an optional sign, digits, an
    // optional "." and fraction digits. An integer within 64 bits, or a
    // fraction whose integer part is; nothing for anything else.
    static std::optional<platform::Value> numberFromString(std::string_view text);
    // Stores `value` under `key` in the current cache and answers it; an
    // empty key or no value logs 29019 and answers nothing.
    std::optional<platform::Value> cacheValue(std::optional<platform::Value> value, std::string_view key) const;
    // The setting's number: a miss stores and answers the default; a stored
    // number answers as it is; a configuration text is parsed, transformed,
    // bounds-tested (the default replaces a value out of bounds) and stored.
    std::optional<platform::Value> numberFromCacheWithKey(std::string_view key, const platform::Value& defaultValue,
                                                          std::optional<platform::Value> maxValue,
                                                          std::optional<platform::Value> minValue,
                                                          const NumberTransform& block = {}) const;
    std::int32_t intValueFromCacheWithKey(std::string_view key, std::int32_t defaultValue, std::int32_t maxValue,
                                          std::int32_t minValue) const;
    std::int64_t int64ValueFromCacheWithKey(std::string_view key, std::int64_t defaultValue, std::int64_t maxValue,
                                            std::int64_t minValue) const;
    std::int64_t int64ValueFromCacheWithKey(std::string_view key, std::int64_t defaultValue) const;
    bool boolValueFromCacheWithKey(std::string_view key, bool defaultValue) const;
    // The configuration gives milliseconds; bounds and result are seconds.
    double timeIntervalInSecondsFromCacheWithKey(std::string_view key, double defaultValue, double maxValue,
                                                 double minValue) const;

    // --- The settings.

    double uploadingBackoffInterval() const;
    std::int32_t maxAudienceCount() const;
    std::int32_t maxFiltersPerAudience() const;
    std::int32_t maxFilterResultCount() const;
    std::int32_t maxParametersPerFilter() const;
    double databaseDeleteStaleBundlesInterval() const;
    double maxQueueTime() const;
    double adIDCacheTime() const;
    bool gateIDFAOnATTMASEnabled() const;
    double monitoringSamplePeriod() const;
    bool isNetworkBackgroundSessionEnabled() const;
    double networkTimeout() const;
    double sessionDefaultTimeoutInterval() const;
    double sessionEventUserEngagementInterval() const;
    bool efficientEngagementReportingEnabled() const;
    bool redundantEngagementRemovalEnabled() const;
    std::int32_t maxConversionsPerDay() const;
    std::int32_t maxEventsPerDay() const;
    std::int32_t maxPublicEventsPerDay() const;
    std::int32_t maxErrorEventsPerDay() const;
    std::int32_t maxTrackedCurrencies() const;
    std::int32_t maxPublicUserProperties() const;
    std::int32_t maxEventNameCardinality() const;
    std::int32_t maxPublicEventParams() const;
    std::int32_t maxEventsStored() const;
    double uploadingInterval() const;
    double uploadingInitialDelayInterval() const;
    std::int64_t uploadMaxBundlesLimit() const;
    std::int64_t uploadMaxEventsPerBundle() const;
    std::int64_t uploadMaxSizeLimitBytes() const;
    std::int32_t uploadingRetryCount() const;
    double uploadingRetryInterval() const;
    std::int32_t maxBundlesCreatedPerIteration() const;
    std::int32_t maxRealtimeEventCountPerDay() const;
    double uploadingDebugModeInterval() const;
    double uploadingRealTimeInterval() const;
    bool blocklistInternal() const;
    bool blocklistPublic() const;
    bool isEventSamplingEnabled() const;
    std::int32_t analyticsAccountTimeZoneOffsetMinutes() const;
    bool checksumEnabled() const;
    bool appInBackgroundParameterEnabled() const;
    std::int32_t maxItemScopedCustomParameters() const;
    std::int32_t maxPublicEventParameterValueLength() const;
    std::int32_t maxRealtimeDCUEventCountPerDay() const;
    std::int32_t maxPSMStartCount() const;
    std::int32_t maxPSMRetryCount() const;
    double PSMRetryInterval() const;
    std::int32_t hashPrefixBitLengthEmail() const;
    std::int32_t hashPrefixBitLengthPhone() const;
    std::int32_t maxSignInDelayInDays() const;
    bool isDeferredDeepLinkEnabled() const;
    std::int32_t maxDeferredDeepLinkRetryCount() const;
    double attributionCacheTTLInterval() const;
    double remoteConfigCacheTimeInterval() const;
    bool sessionStitchingTokenFeatureEnabled() const;
    bool SKANUpdateConversionValueEnabled() const;
    double SKANInitialCVFetchDelay() const;
    double SKANCVFetchRetryInterval() const;
    std::int32_t SKANCVFetchRetryLimit() const;
    double SKANFirstWindowCVFetchDelay() const;
    double SKANFirstWindowCVFetchRetryInterval() const;
    std::int32_t SKANFirstWindowCVFetchRetryLimit() const;
    double SKANFirstWindowUploadInterval() const;
    bool SSTUploadSettingEnabled() const;

    // The larger of 256 and the public limit.
    std::int32_t maxInternalEventParameterValueLength() const;
    // The experiment manager's; none without one.
    std::optional<std::vector<std::int64_t>> experimentIDs() const;

    // --- Configuration.

    bool isDefaultInstance() const { return isDefaultInstance_; }
    const std::string& appID() const { return appID_; }
    // Stores the configuration, then parses it; NO (with its line) when this
    // is the default instance, the message is missing, its app identifier
    // differs or the store fails.
    bool updateMeasurementConfig(const std::optional<MSRPBMeasurementConfig>& config);
    void parseRemoteConfigFromMeasurementConfig(const MSRPBMeasurementConfig& config);
    std::optional<MSRPBMeasurementConfig> measurementConfigFromDatabase();
    // Drops the configuration and every cache; the event editing and the
    // snapshot flag stay.
    void reset();
    // The active configuration's version; -1 without one.
    std::int64_t version() const;
    bool isExpired() const;
    double lastRemoteConfigUpdateTimestamp() const;
    std::shared_ptr<MSREventEditingInstance> eventEditing() const;
    // The active configuration, shared and never changed.
    std::shared_ptr<const MSRPBMeasurementConfig> remoteConfigProto() const;

    // --- Event configuration. Names are looked up as given (internal short
    // names for the events that have one).

    std::optional<MSRPBEventConfig> eventConfigWithName(std::string_view name) const;
    bool isEventBlocklisted(std::string_view name) const;
    bool isEventCustomConversion(std::string_view name) const;
    bool eventHasSamplingRate(std::string_view name) const;
    std::int32_t samplingRateForEvent(std::string_view name) const;

    // --- URLs and uploads. Nothing where the host is empty.

    std::optional<std::string> remoteConfigURLWithPlatform(std::optional<std::string_view> platform,
                                                           std::int64_t SDKVersion, std::int64_t runtimeVersion) const;
    std::optional<std::string> uploadURL() const;
    // Field 11 of the configuration, when present.
    std::optional<std::string> uploadSubdomain() const;
    bool SSTUploadEnabled() const;
    std::optional<std::string> SSTUploadURL() const;
    std::optional<Dictionary> SSTUploadHTTPHeaders() const;

    // --- Consent. Copies.

    Dictionary consentDefaults() const;
    Dictionary consentDelegations() const;
    Dictionary regionalDefaults() const;
    std::set<std::string> corePlatformServices() const;
    bool isDMARegion() const;
    std::vector<std::string> dataControls() const;

    // --- Experiments.

    void clientDidReceiveNewSnapshot(MSREClient& client) override;
    void clientDidReceiveFetchError(MSREClient& client, const std::optional<platform::Error>& error) override;
    bool shouldFetchExperimentsForClient(MSREClient& client) override;
    // Activates a waiting snapshot; NO when none waits or activation fails.
    bool activateNewSnapshot();
    // Nothing to refresh: no setting follows an experiment flag but through
    // the client.
    void updateCachedExperimentFlags();

    // One whole configuration as readers see it; never changed once published
    // (the settings cache only memoises parsed numbers).
    struct State;

private:
    struct Token {};

public:
    MSRRemoteConfig(Token, std::string_view appID, std::shared_ptr<MSRRemoteConfigStore> database,
                    std::shared_ptr<MSRPersistedAppInstanceID> persistedConfig,
                    std::shared_ptr<MSREManager> experimentManager);

private:
    static std::shared_ptr<MSRRemoteConfig> make(std::string_view appID, std::shared_ptr<MSRRemoteConfigStore> database,
                                                 std::optional<MSRPBMeasurementConfig> measurementConfig,
                                                 std::shared_ptr<MSRPersistedAppInstanceID> persistedConfig,
                                                 std::shared_ptr<MSREManager> experimentManager);
    void connectExperiments();
    void loadInitialConfiguration(std::optional<MSRPBMeasurementConfig> measurementConfig);

    std::shared_ptr<const State> state() const;
    void publish(std::shared_ptr<const State> state);

    std::int32_t intSetting(MSRSetting setting) const;
    std::int64_t int64Setting(MSRSetting setting) const;
    bool boolSetting(MSRSetting setting) const;
    double secondsSetting(MSRSetting setting) const;
    std::optional<std::string> settingText(std::string_view key) const;
    std::string uploadHost() const;

    const std::string appID_;
    const std::weak_ptr<MSRRemoteConfigStore> database_;
    const std::shared_ptr<MSRPersistedAppInstanceID> persistedConfig_;
    const std::shared_ptr<MSREManager> experimentManager_;
    const bool isDefaultInstance_;
    std::shared_ptr<MSREClient> experimentClient_;  // set once while being made

    mutable std::mutex mutex_;
    std::shared_ptr<const State> state_;  // guarded by mutex_; never null
    bool hasNewSnapshot_ = false;         // guarded by mutex_
};

}  // namespace kit::measurement
