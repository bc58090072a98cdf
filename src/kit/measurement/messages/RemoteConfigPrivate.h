#pragma once

#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/messages/MessagesMonitor.h"
#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "RemoteConfigLines.h"

#include <array>
#include <cstdint>
#include <string_view>

// The remote configuration's inside: the published state, the settings
// table, the monitor lines and the test seams.
namespace kit::measurement {

struct MSRRemoteConfig::State {
    using EventConfigs = std::map<std::string, MSRPBEventConfig, std::less<>>;

    // Configuration texts under their keys, replaced by numbers as they are read.
    std::shared_ptr<SettingsCache> settings = std::make_shared<SettingsCache>();
    std::shared_ptr<const EventConfigs> eventConfigs = std::make_shared<const EventConfigs>();
    std::shared_ptr<const MSRPBMeasurementConfig> config;
    std::vector<std::string> dataControls;
    Dictionary consentDefaults;
    Dictionary consentDelegations;
    Dictionary regionalDefaults;
    std::set<std::string> corePlatformServices;
    bool isDMARegion = true;
    std::shared_ptr<MSREventEditingInstance> eventEditing;
};

enum class MSRSettingKind { integer32, integer64, boolean, seconds };

struct MSRSettingRow {
    std::string_view key;
    std::string_view getter;
    MSRSettingKind kind;
    std::int64_t defaultValue;
    std::int64_t maxValue;
    std::int64_t minValue;
};

enum class MSRSetting : int {
    uploadingBackoffInterval,
    maxAudienceCount,
    maxFiltersPerAudience,
    maxFilterResultCount,
    maxParametersPerFilter,
    databaseDeleteStaleBundlesInterval,
    maxQueueTime,
    adIDCacheTime,
    gateIDFAOnATTMASEnabled,
    monitoringSamplePeriod,
    isNetworkBackgroundSessionEnabled,
    networkTimeout,
    sessionDefaultTimeoutInterval,
    sessionEventUserEngagementInterval,
    efficientEngagementReportingEnabled,
    redundantEngagementRemovalEnabled,
    maxConversionsPerDay,
    maxEventsPerDay,
    maxPublicEventsPerDay,
    maxErrorEventsPerDay,
    maxTrackedCurrencies,
    maxPublicUserProperties,
    maxEventNameCardinality,
    maxPublicEventParams,
    maxEventsStored,
    uploadingInterval,
    uploadingInitialDelayInterval,
    uploadMaxBundlesLimit,
    uploadMaxEventsPerBundle,
    uploadMaxSizeLimitBytes,
    uploadingRetryCount,
    uploadingRetryInterval,
    maxBundlesCreatedPerIteration,
    maxRealtimeEventCountPerDay,
    uploadingDebugModeInterval,
    uploadingRealTimeInterval,
    blocklistInternal,
    blocklistPublic,
    isEventSamplingEnabled,
    analyticsAccountTimeZoneOffsetMinutes,
    checksumEnabled,
    appInBackgroundParameterEnabled,
    maxItemScopedCustomParameters,
    maxPublicEventParameterValueLength,
    maxRealtimeDCUEventCountPerDay,
    // PSM: on-device conversion measurement, which matches hashed e-mail
    // addresses and phone numbers; its start and retry limits.
    maxPSMStartCount,
    maxPSMRetryCount,
    PSMRetryInterval,
    hashPrefixBitLengthEmail,
    hashPrefixBitLengthPhone,
    maxSignInDelayInDays,
    isDeferredDeepLinkEnabled,
    maxDeferredDeepLinkRetryCount,
    attributionCacheTTLInterval,
    remoteConfigCacheTimeInterval,
    sessionStitchingTokenFeatureEnabled,
    SKANUpdateConversionValueEnabled,
    SKANInitialCVFetchDelay,
    SKANCVFetchRetryInterval,
    SKANCVFetchRetryLimit,
    SKANFirstWindowCVFetchDelay,
    SKANFirstWindowCVFetchRetryInterval,
    SKANFirstWindowCVFetchRetryLimit,
    SKANFirstWindowUploadInterval,
    SSTUploadSettingEnabled,
};

// clang-format off
inline constexpr std::array<MSRSettingRow, 65> kMSRSettingTable{{
    {"measurement.upload.backoff_period", "uploadingBackoffInterval", MSRSettingKind::seconds, 43200, 604800, 3600},
    {"measurement.audience.max_count", "maxAudienceCount", MSRSettingKind::integer32, 100, 500, 0},
    {"measurement.audience.filter_max_count_per_audience", "maxFiltersPerAudience", MSRSettingKind::integer32, 10, 100, 0},
    {"measurement.audience.filter_result_max_count", "maxFilterResultCount", MSRSettingKind::integer32, 200, 2000, 0},
    {"measurement.audience.parameter_max_count_filter", "maxParametersPerFilter", MSRSettingKind::integer32, 25, 250, 0},
    {"measurement.upload.stale_data_deletion_interval", "databaseDeleteStaleBundlesInterval", MSRSettingKind::seconds, 86400, 604800, 3600},
    {"measurement.upload.max_queue_time", "maxQueueTime", MSRSettingKind::seconds, 2419200, 7862400, 604800},
    {"measurement.ad_id_cache_time", "adIDCacheTime", MSRSettingKind::seconds, 1, 86400, 0},
    {"measurement.attmas_gate", "gateIDFAOnATTMASEnabled", MSRSettingKind::boolean, 0, 1, 0},
    {"measurement.monitoring.sample_period_millis", "monitoringSamplePeriod", MSRSettingKind::seconds, 86400, 604800, 0},
    {"measurement.network.background_session_enabled", "isNetworkBackgroundSessionEnabled", MSRSettingKind::boolean, 0, 1, 0},
    {"measurement.network.network_timeout", "networkTimeout", MSRSettingKind::seconds, 60, 3600, 30},
    {"measurement.session.default_timeout_interval", "sessionDefaultTimeoutInterval", MSRSettingKind::seconds, 1800, 86400, 0},
    {"measurement.session.event_user_engagement_interval", "sessionEventUserEngagementInterval", MSRSettingKind::seconds, 3600, 86400, 0},
    {"measurement.collection.efficient_engagement_reporting_enabled", "efficientEngagementReportingEnabled", MSRSettingKind::boolean, 0, 1, 0},
    {"measurement.collection.redundant_engagement_removal_enabled", "redundantEngagementRemovalEnabled", MSRSettingKind::boolean, 0, 1, 0},
    {"measurement.upload.max_conversions_per_day", "maxConversionsPerDay", MSRSettingKind::integer32, 10000, 1000000, 0},
    {"measurement.upload.max_events_per_day", "maxEventsPerDay", MSRSettingKind::integer32, 100000, 1000000, 0},
    {"measurement.upload.max_public_events_per_day", "maxPublicEventsPerDay", MSRSettingKind::integer32, 50000, 1000000, 0},
    {"measurement.upload.max_error_events_per_day", "maxErrorEventsPerDay", MSRSettingKind::integer32, 1000, 1000000, 0},
    {"measurement.lifetimevalue.max_currency_tracked", "maxTrackedCurrencies", MSRSettingKind::integer32, 4, 100, 1},
    {"measurement.upload.max_public_user_properties", "maxPublicUserProperties", MSRSettingKind::integer32, 100, 100, 25},
    {"measurement.upload.max_event_name_cardinality", "maxEventNameCardinality", MSRSettingKind::integer32, 2000, 2000, 500},
    {"measurement.upload.max_public_event_params", "maxPublicEventParams", MSRSettingKind::integer32, 100, 100, 25},
    {"measurement.store.max_stored_events_per_app", "maxEventsStored", MSRSettingKind::integer32, 100000, 1000000, 0},
    {"measurement.upload.interval", "uploadingInterval", MSRSettingKind::seconds, 3600, 86400, 15},
    {"measurement.upload.initial_upload_delay_time", "uploadingInitialDelayInterval", MSRSettingKind::seconds, 15, 86400, 1},
    {"measurement.upload.max_bundles", "uploadMaxBundlesLimit", MSRSettingKind::integer64, 100, 10000, 1},
    {"measurement.upload.max_events_per_bundle", "uploadMaxEventsPerBundle", MSRSettingKind::integer64, 1000, 1000000, 1},
    {"measurement.upload.max_batch_size", "uploadMaxSizeLimitBytes", MSRSettingKind::integer64, 65536, 10485760, 0},
    {"measurement.upload.retry_count", "uploadingRetryCount", MSRSettingKind::integer32, 6, 24, 1},
    {"measurement.upload.retry_time", "uploadingRetryInterval", MSRSettingKind::seconds, 1800, 86400, 60},
    {"measurement.upload.max_bundles_created_per_iteration", "maxBundlesCreatedPerIteration", MSRSettingKind::seconds, 100, 10000, 1},
    {"measurement.upload.max_realtime_events_per_day", "maxRealtimeEventCountPerDay", MSRSettingKind::integer32, 10, 10, 0},
    {"measurement.upload.debug_upload_interval", "uploadingDebugModeInterval", MSRSettingKind::seconds, 1, 15, 1},
    {"measurement.upload.realtime_upload_interval", "uploadingRealTimeInterval", MSRSettingKind::seconds, 10, 15, 10},
    {"measurement.upload.blacklist_internal", "blocklistInternal", MSRSettingKind::boolean, 0, 1, 0},
    {"measurement.upload.blacklist_public", "blocklistPublic", MSRSettingKind::boolean, 0, 1, 0},
    {"measurement.event_sampling_enabled", "isEventSamplingEnabled", MSRSettingKind::boolean, 0, 1, 0},
    {"measurement.account.time_zone_offset_minutes", "analyticsAccountTimeZoneOffsetMinutes", MSRSettingKind::integer32, 0, 900, -900},
    {"measurement.quality.checksum", "checksumEnabled", MSRSettingKind::boolean, 0, 1, 0},
    {"measurement.lifecycle.app_in_background_parameter", "appInBackgroundParameterEnabled", MSRSettingKind::boolean, 1, 1, 0},
    {"measurement.upload.max_item_scoped_custom_parameters", "maxItemScopedCustomParameters", MSRSettingKind::integer32, 27, 35, 10},
    {"measurement.upload.max_event_parameter_value_length", "maxPublicEventParameterValueLength", MSRSettingKind::integer32, 500, 500, 100},
    {"measurement.dma.dcu_event_max_realtime_daily_count", "maxRealtimeDCUEventCountPerDay", MSRSettingKind::integer32, 1, 10, 0},
    {"measurement.psm_start_count", "maxPSMStartCount", MSRSettingKind::integer32, 3, 10, 0},
    {"measurement.psm_retry_count", "maxPSMRetryCount", MSRSettingKind::integer32, 5, 10, 0},
    {"measurement.psm_retry_interval", "PSMRetryInterval", MSRSettingKind::seconds, 300, 1800, 30},
    {"measurement.psm_prefix_email", "hashPrefixBitLengthEmail", MSRSettingKind::integer32, 14, 20, 6},
    {"measurement.psm_prefix_phone", "hashPrefixBitLengthPhone", MSRSettingKind::integer32, 11, 18, 6},
    {"measurement.psm_signin_delay", "maxSignInDelayInDays", MSRSettingKind::integer32, 60, 90, 7},
    {"measurement.ddl.enabled", "isDeferredDeepLinkEnabled", MSRSettingKind::boolean, 1, 1, 0},
    {"measurement.ddl.retry_count", "maxDeferredDeepLinkRetryCount", MSRSettingKind::integer32, 5, 10, 0},
    {"measurement.attribution.cache.ttl", "attributionCacheTTLInterval", MSRSettingKind::seconds, 604800, 2592000, 86400},
    {"measurement.config.cache_time", "remoteConfigCacheTimeInterval", MSRSettingKind::seconds, 3600, 86400, 60},
    {"measurement.session_stitching_token_enabled", "sessionStitchingTokenFeatureEnabled", MSRSettingKind::boolean, 0, 1, 0},
    {"measurement.skan.update_conversion_value_enabled", "SKANUpdateConversionValueEnabled", MSRSettingKind::boolean, 0, 1, 0},
    {"measurement.skan.initial_cv_fetch_delay_sec", "SKANInitialCVFetchDelay", MSRSettingKind::seconds, 120, 3600, 30},
    {"measurement.skan.cv_fetch_retry_interval_sec", "SKANCVFetchRetryInterval", MSRSettingKind::seconds, 120, 3600, 30},
    {"measurement.skan.cv_fetch_retry_limit", "SKANCVFetchRetryLimit", MSRSettingKind::integer32, 4, 10, 1},
    {"measurement.skan.first_window.initial_cv_fetch_delay_sec", "SKANFirstWindowCVFetchDelay", MSRSettingKind::seconds, 20, 3600, 1},
    {"measurement.skan.first_window.cv_fetch_retry_interval_sec", "SKANFirstWindowCVFetchRetryInterval", MSRSettingKind::seconds, 120, 3600, 30},
    {"measurement.skan.first_window.cv_fetch_retry_limit", "SKANFirstWindowCVFetchRetryLimit", MSRSettingKind::integer32, 4, 10, 1},
    {"measurement.skan.first_window.upload_interval_sec", "SKANFirstWindowUploadInterval", MSRSettingKind::seconds, 1800, 86400, 15},
    {"measurement.sst_upload_enabled", "SSTUploadSettingEnabled", MSRSettingKind::boolean, 1, 1, 0},
}};
// clang-format on

inline const MSRSettingRow& settingRow(MSRSetting setting) {
    return kMSRSettingTable[static_cast<std::size_t>(setting)];
}

using RemoteConfigLine = log_lines::Line;

inline void logRemoteConfigLine(const RemoteConfigLine& line) {
    messagesMonitor().logWithLevel(line.level, line.code, line.text);
}
inline void logRemoteConfigLine(const RemoteConfigLine& line, MessagesMonitorContext context) {
    messagesMonitor().logWithLevel(line.level, line.code, line.text, std::move(context));
}

inline constexpr std::string_view kSSTInfoKey = "LUMEN_ANALYTICS_SST_UPLOAD_ENABLED";
inline constexpr std::string_view kExperimentSDKName = "app_measurement";
inline constexpr std::string_view kSessionStitchingFlag = "session_stitching_token_feature_enabled";
inline constexpr std::string_view kAppMetadataPlatform = "macos";

// The Info.plist the settings of the current kit context read (the main
// bundle unless one is set) and their clock of expiry (the system's unless
// one is set). Null puts the default back.
std::shared_ptr<const platform::Bundle> remoteConfigBundle();
void setRemoteConfigBundle(std::shared_ptr<const platform::Bundle> bundle);
platform::TimePoint remoteConfigNow();
void setRemoteConfigClock(std::shared_ptr<const platform::Clock> clock);

// 64-bit FNV-1a of the bytes: stable across runs, builds and machines.
std::uint64_t fnv1a64(std::string_view bytes);
// Dot-separated labels of letters, digits and "-", none empty, 253 bytes at most.
bool isValidSubdomain(std::string_view subdomain);
// Absolute, http or https, with a host.
bool isValidHttpURL(std::string_view text);

}  // namespace kit::measurement
