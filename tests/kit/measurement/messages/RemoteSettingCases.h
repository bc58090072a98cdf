#pragma once

// The settings as specified, kept apart from the product's table, with a
// builder of configurations that carry only settings.

#include "RemoteConfigTestSupport.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kit::measurement::testing {

enum class Kind { integer, boolean, seconds, secondsWhole };

struct SettingCase {
    const char* key;
    Kind kind;
    std::int64_t defaultValue;
    std::int64_t maxValue;
    std::int64_t minValue;
    std::function<double(const MSRRemoteConfig&)> getter;
};

// Our own copy of the specified table, so a slip in the product's shows.
inline const std::vector<SettingCase>& settingCases() {
    // clang-format off
    static const std::vector<SettingCase> cases{
    {"measurement.upload.backoff_period", Kind::seconds, 43200, 604800, 3600, [](const MSRRemoteConfig& c) { return static_cast<double>(c.uploadingBackoffInterval()); }},
    {"measurement.audience.max_count", Kind::integer, 100, 500, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxAudienceCount()); }},
    {"measurement.audience.filter_max_count_per_audience", Kind::integer, 10, 100, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxFiltersPerAudience()); }},
    {"measurement.audience.filter_result_max_count", Kind::integer, 200, 2000, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxFilterResultCount()); }},
    {"measurement.audience.parameter_max_count_filter", Kind::integer, 25, 250, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxParametersPerFilter()); }},
    {"measurement.upload.stale_data_deletion_interval", Kind::seconds, 86400, 604800, 3600, [](const MSRRemoteConfig& c) { return static_cast<double>(c.databaseDeleteStaleBundlesInterval()); }},
    {"measurement.upload.max_queue_time", Kind::seconds, 2419200, 7862400, 604800, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxQueueTime()); }},
    {"measurement.ad_id_cache_time", Kind::seconds, 1, 86400, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.adIDCacheTime()); }},
    {"measurement.attmas_gate", Kind::boolean, 0, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.gateIDFAOnATTMASEnabled()); }},
    {"measurement.monitoring.sample_period_millis", Kind::seconds, 86400, 604800, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.monitoringSamplePeriod()); }},
    {"measurement.network.background_session_enabled", Kind::boolean, 0, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.isNetworkBackgroundSessionEnabled()); }},
    {"measurement.network.network_timeout", Kind::seconds, 60, 3600, 30, [](const MSRRemoteConfig& c) { return static_cast<double>(c.networkTimeout()); }},
    {"measurement.session.default_timeout_interval", Kind::seconds, 1800, 86400, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.sessionDefaultTimeoutInterval()); }},
    {"measurement.session.event_user_engagement_interval", Kind::seconds, 3600, 86400, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.sessionEventUserEngagementInterval()); }},
    {"measurement.collection.efficient_engagement_reporting_enabled", Kind::boolean, 0, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.efficientEngagementReportingEnabled()); }},
    {"measurement.collection.redundant_engagement_removal_enabled", Kind::boolean, 0, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.redundantEngagementRemovalEnabled()); }},
    {"measurement.upload.max_conversions_per_day", Kind::integer, 10000, 1000000, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxConversionsPerDay()); }},
    {"measurement.upload.max_events_per_day", Kind::integer, 100000, 1000000, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxEventsPerDay()); }},
    {"measurement.upload.max_public_events_per_day", Kind::integer, 50000, 1000000, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxPublicEventsPerDay()); }},
    {"measurement.upload.max_error_events_per_day", Kind::integer, 1000, 1000000, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxErrorEventsPerDay()); }},
    {"measurement.lifetimevalue.max_currency_tracked", Kind::integer, 4, 100, 1, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxTrackedCurrencies()); }},
    {"measurement.upload.max_public_user_properties", Kind::integer, 100, 100, 25, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxPublicUserProperties()); }},
    {"measurement.upload.max_event_name_cardinality", Kind::integer, 2000, 2000, 500, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxEventNameCardinality()); }},
    {"measurement.upload.max_public_event_params", Kind::integer, 100, 100, 25, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxPublicEventParams()); }},
    {"measurement.store.max_stored_events_per_app", Kind::integer, 100000, 1000000, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxEventsStored()); }},
    {"measurement.upload.interval", Kind::seconds, 3600, 86400, 15, [](const MSRRemoteConfig& c) { return static_cast<double>(c.uploadingInterval()); }},
    {"measurement.upload.initial_upload_delay_time", Kind::seconds, 15, 86400, 1, [](const MSRRemoteConfig& c) { return static_cast<double>(c.uploadingInitialDelayInterval()); }},
    {"measurement.upload.max_bundles", Kind::integer, 100, 10000, 1, [](const MSRRemoteConfig& c) { return static_cast<double>(c.uploadMaxBundlesLimit()); }},
    {"measurement.upload.max_events_per_bundle", Kind::integer, 1000, 1000000, 1, [](const MSRRemoteConfig& c) { return static_cast<double>(c.uploadMaxEventsPerBundle()); }},
    {"measurement.upload.max_batch_size", Kind::integer, 65536, 10485760, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.uploadMaxSizeLimitBytes()); }},
    {"measurement.upload.retry_count", Kind::integer, 6, 24, 1, [](const MSRRemoteConfig& c) { return static_cast<double>(c.uploadingRetryCount()); }},
    {"measurement.upload.retry_time", Kind::seconds, 1800, 86400, 60, [](const MSRRemoteConfig& c) { return static_cast<double>(c.uploadingRetryInterval()); }},
    {"measurement.upload.max_bundles_created_per_iteration", Kind::secondsWhole, 100, 10000, 1, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxBundlesCreatedPerIteration()); }},
    {"measurement.upload.max_realtime_events_per_day", Kind::integer, 10, 10, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxRealtimeEventCountPerDay()); }},
    {"measurement.upload.debug_upload_interval", Kind::seconds, 1, 15, 1, [](const MSRRemoteConfig& c) { return static_cast<double>(c.uploadingDebugModeInterval()); }},
    {"measurement.upload.realtime_upload_interval", Kind::seconds, 10, 15, 10, [](const MSRRemoteConfig& c) { return static_cast<double>(c.uploadingRealTimeInterval()); }},
    {"measurement.upload.blacklist_internal", Kind::boolean, 0, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.blocklistInternal()); }},
    {"measurement.upload.blacklist_public", Kind::boolean, 0, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.blocklistPublic()); }},
    {"measurement.event_sampling_enabled", Kind::boolean, 0, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.isEventSamplingEnabled()); }},
    {"measurement.account.time_zone_offset_minutes", Kind::integer, 0, 900, -900, [](const MSRRemoteConfig& c) { return static_cast<double>(c.analyticsAccountTimeZoneOffsetMinutes()); }},
    {"measurement.quality.checksum", Kind::boolean, 0, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.checksumEnabled()); }},
    {"measurement.lifecycle.app_in_background_parameter", Kind::boolean, 1, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.appInBackgroundParameterEnabled()); }},
    {"measurement.upload.max_item_scoped_custom_parameters", Kind::integer, 27, 35, 10, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxItemScopedCustomParameters()); }},
    {"measurement.upload.max_event_parameter_value_length", Kind::integer, 500, 500, 100, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxPublicEventParameterValueLength()); }},
    {"measurement.dma.dcu_event_max_realtime_daily_count", Kind::integer, 1, 10, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxRealtimeDCUEventCountPerDay()); }},
    {"measurement.psm_start_count", Kind::integer, 3, 10, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxPSMStartCount()); }},
    {"measurement.psm_retry_count", Kind::integer, 5, 10, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxPSMRetryCount()); }},
    {"measurement.psm_retry_interval", Kind::seconds, 300, 1800, 30, [](const MSRRemoteConfig& c) { return static_cast<double>(c.PSMRetryInterval()); }},
    {"measurement.psm_prefix_email", Kind::integer, 14, 20, 6, [](const MSRRemoteConfig& c) { return static_cast<double>(c.hashPrefixBitLengthEmail()); }},
    {"measurement.psm_prefix_phone", Kind::integer, 11, 18, 6, [](const MSRRemoteConfig& c) { return static_cast<double>(c.hashPrefixBitLengthPhone()); }},
    {"measurement.psm_signin_delay", Kind::integer, 60, 90, 7, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxSignInDelayInDays()); }},
    {"measurement.ddl.enabled", Kind::boolean, 1, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.isDeferredDeepLinkEnabled()); }},
    {"measurement.ddl.retry_count", Kind::integer, 5, 10, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.maxDeferredDeepLinkRetryCount()); }},
    {"measurement.attribution.cache.ttl", Kind::seconds, 604800, 2592000, 86400, [](const MSRRemoteConfig& c) { return static_cast<double>(c.attributionCacheTTLInterval()); }},
    {"measurement.config.cache_time", Kind::seconds, 3600, 86400, 60, [](const MSRRemoteConfig& c) { return static_cast<double>(c.remoteConfigCacheTimeInterval()); }},
    {"measurement.session_stitching_token_enabled", Kind::boolean, 0, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.sessionStitchingTokenFeatureEnabled()); }},
    {"measurement.skan.update_conversion_value_enabled", Kind::boolean, 0, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.SKANUpdateConversionValueEnabled()); }},
    {"measurement.skan.initial_cv_fetch_delay_sec", Kind::seconds, 120, 3600, 30, [](const MSRRemoteConfig& c) { return static_cast<double>(c.SKANInitialCVFetchDelay()); }},
    {"measurement.skan.cv_fetch_retry_interval_sec", Kind::seconds, 120, 3600, 30, [](const MSRRemoteConfig& c) { return static_cast<double>(c.SKANCVFetchRetryInterval()); }},
    {"measurement.skan.cv_fetch_retry_limit", Kind::integer, 4, 10, 1, [](const MSRRemoteConfig& c) { return static_cast<double>(c.SKANCVFetchRetryLimit()); }},
    {"measurement.skan.first_window.initial_cv_fetch_delay_sec", Kind::seconds, 20, 3600, 1, [](const MSRRemoteConfig& c) { return static_cast<double>(c.SKANFirstWindowCVFetchDelay()); }},
    {"measurement.skan.first_window.cv_fetch_retry_interval_sec", Kind::seconds, 120, 3600, 30, [](const MSRRemoteConfig& c) { return static_cast<double>(c.SKANFirstWindowCVFetchRetryInterval()); }},
    {"measurement.skan.first_window.cv_fetch_retry_limit", Kind::integer, 4, 10, 1, [](const MSRRemoteConfig& c) { return static_cast<double>(c.SKANFirstWindowCVFetchRetryLimit()); }},
    {"measurement.skan.first_window.upload_interval_sec", Kind::seconds, 1800, 86400, 15, [](const MSRRemoteConfig& c) { return static_cast<double>(c.SKANFirstWindowUploadInterval()); }},
    {"measurement.sst_upload_enabled", Kind::boolean, 1, 1, 0, [](const MSRRemoteConfig& c) { return static_cast<double>(c.SSTUploadSettingEnabled()); }},
    };
    // clang-format on
    return cases;
}

inline MSRPBMeasurementConfig settingsConfig(const std::vector<std::pair<std::string, std::string>>& settings) {
    MSRPBMeasurementConfig config;
    NanoMessageSetString(config, 1, "1:42:test");
    std::vector<MSRPBSetting> list;
    for (const auto& [key, value] : settings) {
        MSRPBSetting setting;
        NanoMessageSetString(setting, 0, key);
        NanoMessageSetString(setting, 1, value);
        list.push_back(setting);
    }
    NanoMessageSetArray(config, 3, list);
    return config;
}

}  // namespace kit::measurement::testing
