#pragma once

// The measurement messages, one MESSAGE row per type (name, slot count) followed by
// one FIELD row per slot in slot order (tag, NanoFieldFlags word, field name, element or
// embedded type) and an UNSLOTTED row for a tag that is parsed and dropped.
// measurement.proto declares the same messages; the tests hold the two together.
// clang-format off
#define KIT_MEASUREMENT_MESSAGES(MESSAGE, FIELD, UNSLOTTED) \
    MESSAGE(AdCampaignInfo, 8) \
    FIELD(AdCampaignInfo, 1, 0x2002, lclid, None) \
    FIELD(AdCampaignInfo, 2, 0x2002, lbraid, None) \
    FIELD(AdCampaignInfo, 3, 0x2002, lad_source, None) \
    FIELD(AdCampaignInfo, 4, 0x202, timestamp_millis, None) \
    FIELD(AdCampaignInfo, 5, 0x2002, field_5, None) \
    FIELD(AdCampaignInfo, 6, 0x2002, field_6, None) \
    FIELD(AdCampaignInfo, 7, 0x2002, field_7, None) \
    FIELD(AdCampaignInfo, 8, 0x202, field_8, None) \
    MESSAGE(AppProperty, 7) \
    FIELD(AppProperty, 1, 0x2002, platform, None) \
    FIELD(AppProperty, 2, 0x2002, field_2, None) \
    FIELD(AppProperty, 3, 0x2002, field_3, None) \
    FIELD(AppProperty, 4, 0x2002, language, None) \
    FIELD(AppProperty, 5, 0x2002, bundle_id, None) \
    FIELD(AppProperty, 6, 0x22, is_from_app_store, None) \
    FIELD(AppProperty, 7, 0x202, sdk_version, None) \
    MESSAGE(Audience, 5) \
    FIELD(Audience, 1, 0x82, audience_id, None) \
    FIELD(Audience, 2, 0x4008, property_filters, PropertyFilter) \
    FIELD(Audience, 3, 0x4008, event_filters, EventFilter) \
    FIELD(Audience, 4, 0x22, field_4, None) \
    FIELD(Audience, 5, 0x22, field_5, None) \
    MESSAGE(AudienceLeafFilterResult, 4) \
    FIELD(AudienceLeafFilterResult, 1, 0x82, audience_id, None) \
    FIELD(AudienceLeafFilterResult, 2, 0x4002, current_data, ResultData) \
    FIELD(AudienceLeafFilterResult, 3, 0x4002, previous_data, ResultData) \
    FIELD(AudienceLeafFilterResult, 4, 0x22, new_audience, None) \
    MESSAGE(ClientProperty, 5) \
    FIELD(ClientProperty, 1, 0x2002, name, None) \
    FIELD(ClientProperty, 2, 0x2002, diversion_key, None) \
    FIELD(ClientProperty, 3, 0x202, version, None) \
    FIELD(ClientProperty, 4, 0x2002, app_id, None) \
    FIELD(ClientProperty, 5, 0x4008, custom_properties, CustomProperty) \
    MESSAGE(ConsentConfig, 5) \
    FIELD(ConsentConfig, 1, 0x4008, defaults, ConsentDefaultEntry) \
    FIELD(ConsentConfig, 2, 0x4008, delegations, ConsentDelegationEntry) \
    FIELD(ConsentConfig, 3, 0x4008, core_platform_services, CorePlatformServiceEntry) \
    FIELD(ConsentConfig, 4, 0x22, field_4, None) \
    FIELD(ConsentConfig, 5, 0x4008, enforced_defaults, ConsentDefaultEntry) \
    MESSAGE(ConsentDefaultEntry, 2) \
    FIELD(ConsentDefaultEntry, 1, 0x42, type, None) \
    FIELD(ConsentDefaultEntry, 2, 0x42, status, None) \
    MESSAGE(ConsentDelegationEntry, 2) \
    FIELD(ConsentDelegationEntry, 1, 0x42, type, None) \
    FIELD(ConsentDelegationEntry, 2, 0x42, field_2, None) \
    MESSAGE(CorePlatformServiceEntry, 2) \
    FIELD(CorePlatformServiceEntry, 1, 0x2002, field_1, None) \
    FIELD(CorePlatformServiceEntry, 2, 0x2002, field_2, None) \
    MESSAGE(CustomProperty, 2) \
    FIELD(CustomProperty, 1, 0x2002, name, None) \
    FIELD(CustomProperty, 2, 0x2002, value, None) \
    MESSAGE(DataControl, 3) \
    FIELD(DataControl, 1, 0x2002, field_1, None) \
    FIELD(DataControl, 2, 0x4008, opt_out_regions, Region) \
    FIELD(DataControl, 3, 0x22, field_3, None) \
    MESSAGE(DynamicFilterResultTimestamp, 2) \
    FIELD(DynamicFilterResultTimestamp, 1, 0x82, filter_id, None) \
    FIELD(DynamicFilterResultTimestamp, 2, 0x202, eval_timestamp, None) \
    MESSAGE(Event, 5) \
    FIELD(Event, 1, 0x4008, params, EventParam) \
    FIELD(Event, 2, 0x2002, name, None) \
    FIELD(Event, 3, 0x202, timestamp_millis, None) \
    FIELD(Event, 4, 0x202, previous_timestamp_millis, None) \
    FIELD(Event, 5, 0x82, field_5, None) \
    MESSAGE(EventConfig, 4) \
    FIELD(EventConfig, 1, 0x2002, name, None) \
    FIELD(EventConfig, 2, 0x22, blocklisted, None) \
    FIELD(EventConfig, 3, 0x22, custom_conversion, None) \
    FIELD(EventConfig, 4, 0x82, sampling_rate, None) \
    MESSAGE(EventFilter, 8) \
    FIELD(EventFilter, 1, 0x82, filter_id, None) \
    FIELD(EventFilter, 2, 0x2002, event_name, None) \
    FIELD(EventFilter, 3, 0x4008, filters, Filter) \
    FIELD(EventFilter, 4, 0x22, field_4, None) \
    FIELD(EventFilter, 5, 0x4002, number_filter, NumberFilter) \
    FIELD(EventFilter, 6, 0x22, field_6, None) \
    FIELD(EventFilter, 7, 0x22, field_7, None) \
    FIELD(EventFilter, 8, 0x22, field_8, None) \
    MESSAGE(EventParam, 6) \
    FIELD(EventParam, 1, 0x2002, name, None) \
    FIELD(EventParam, 2, 0x2002, string_value, None) \
    FIELD(EventParam, 3, 0x202, int_value, None) \
    FIELD(EventParam, 4, 0x802, float_value, None) \
    FIELD(EventParam, 5, 0x1002, double_value, None) \
    FIELD(EventParam, 6, 0x4008, param_value, EventParam) \
    MESSAGE(Experiment, 2) \
    FIELD(Experiment, 1, 0x82, field_1, None) \
    FIELD(Experiment, 2, 0x4008, flags, Flag) \
    MESSAGE(ExperimentRequest, 2) \
    FIELD(ExperimentRequest, 1, 0x4002, app_property, AppProperty) \
    FIELD(ExperimentRequest, 2, 0x4008, client_properties, ClientProperty) \
    MESSAGE(ExperimentResponse, 2) \
    FIELD(ExperimentResponse, 1, 0x4008, snapshots, Snapshot) \
    FIELD(ExperimentResponse, 2, 0x4008, sdk_responses, SdkResponse) \
    MESSAGE(Filter, 4) \
    FIELD(Filter, 1, 0x4002, string_filter, StringFilter) \
    FIELD(Filter, 2, 0x4002, number_filter, NumberFilter) \
    FIELD(Filter, 3, 0x22, field_3, None) \
    FIELD(Filter, 4, 0x2002, field_4, None) \
    MESSAGE(Flag, 5) \
    FIELD(Flag, 1, 0x2002, name, None) \
    FIELD(Flag, 2, 0x202, int_value, None) \
    FIELD(Flag, 3, 0x2002, string_value, None) \
    FIELD(Flag, 4, 0x1002, double_value, None) \
    FIELD(Flag, 5, 0x22, bool_value, None) \
    MESSAGE(MeasurementBatch, 4) \
    FIELD(MeasurementBatch, 1, 0x4008, bundles, MeasurementBundle) \
    FIELD(MeasurementBatch, 7, 0x2002, field_7, None) \
    FIELD(MeasurementBatch, 8, 0x2002, upload_subdomain, None) \
    FIELD(MeasurementBatch, 9, 0x42, field_9, None) \
    MESSAGE(MeasurementBundle, 53) \
    FIELD(MeasurementBundle, 1, 0x82, field_1, None) \
    FIELD(MeasurementBundle, 2, 0x4008, events, Event) \
    FIELD(MeasurementBundle, 3, 0x4008, user_attributes, UserAttribute) \
    FIELD(MeasurementBundle, 4, 0x202, upload_timestamp_millis, None) \
    FIELD(MeasurementBundle, 5, 0x202, start_timestamp_millis, None) \
    FIELD(MeasurementBundle, 6, 0x202, end_timestamp_millis, None) \
    FIELD(MeasurementBundle, 26, 0x202, previous_bundle_start_timestamp_millis, None) \
    FIELD(MeasurementBundle, 7, 0x202, previous_bundle_end_timestamp_millis, None) \
    FIELD(MeasurementBundle, 8, 0x2002, platform, None) \
    FIELD(MeasurementBundle, 9, 0x2002, os_version, None) \
    FIELD(MeasurementBundle, 10, 0x2002, device_model, None) \
    FIELD(MeasurementBundle, 11, 0x2002, user_default_language, None) \
    FIELD(MeasurementBundle, 12, 0x82, time_zone_offset_minutes, None) \
    FIELD(MeasurementBundle, 13, 0x2002, install_source, None) \
    FIELD(MeasurementBundle, 14, 0x2002, app_id, None) \
    FIELD(MeasurementBundle, 15, 0x202, field_15, None) \
    FIELD(MeasurementBundle, 16, 0x2002, app_version, None) \
    FIELD(MeasurementBundle, 17, 0x202, library_version, None) \
    FIELD(MeasurementBundle, 18, 0x202, upload_library_version, None) \
    FIELD(MeasurementBundle, 19, 0x2002, field_19, None) \
    FIELD(MeasurementBundle, 27, 0x2002, field_27, None) \
    FIELD(MeasurementBundle, 20, 0x22, limited_ad_tracking, None) \
    FIELD(MeasurementBundle, 21, 0x2002, field_21, None) \
    FIELD(MeasurementBundle, 22, 0x202, field_22, None) \
    FIELD(MeasurementBundle, 23, 0x82, bundle_index, None) \
    FIELD(MeasurementBundle, 24, 0x2002, monitoring_data, None) \
    FIELD(MeasurementBundle, 25, 0x2002, lmp_app_id, None) \
    FIELD(MeasurementBundle, 28, 0x22, field_28, None) \
    FIELD(MeasurementBundle, 29, 0x4008, audience_evaluation_results, AudienceLeafFilterResult) \
    FIELD(MeasurementBundle, 30, 0x2002, installation_id, None) \
    FIELD(MeasurementBundle, 31, 0x82, app_version_major, None) \
    FIELD(MeasurementBundle, 32, 0x82, app_version_minor, None) \
    FIELD(MeasurementBundle, 33, 0x82, app_version_release, None) \
    FIELD(MeasurementBundle, 34, 0x2002, field_34, None) \
    FIELD(MeasurementBundle, 35, 0x202, config_version, None) \
    FIELD(MeasurementBundle, 39, 0x82, field_39, None) \
    FIELD(MeasurementBundle, 41, 0x2002, field_41, None) \
    FIELD(MeasurementBundle, 45, 0x108, experiment_ids, None) \
    FIELD(MeasurementBundle, 47, 0x202, checksum, None) \
    FIELD(MeasurementBundle, 50, 0x2002, field_50, None) \
    FIELD(MeasurementBundle, 52, 0x2002, field_52, None) \
    FIELD(MeasurementBundle, 53, 0x42, field_53, None) \
    FIELD(MeasurementBundle, 55, 0x22, field_55, None) \
    FIELD(MeasurementBundle, 63, 0x2002, session_stitching_token, None) \
    FIELD(MeasurementBundle, 64, 0x2008, redacted_fields, None) \
    FIELD(MeasurementBundle, 65, 0x2002, field_65, None) \
    FIELD(MeasurementBundle, 67, 0x202, field_67, None) \
    FIELD(MeasurementBundle, 71, 0x2002, field_71, None) \
    FIELD(MeasurementBundle, 72, 0x22, field_72, None) \
    FIELD(MeasurementBundle, 73, 0x2002, field_73, None) \
    FIELD(MeasurementBundle, 75, 0x2002, field_75, None) \
    FIELD(MeasurementBundle, 77, 0x82, delivery_index, None) \
    FIELD(MeasurementBundle, 79, 0x4002, ad_campaign_info, AdCampaignInfo) \
    UNSLOTTED(MeasurementBundle, 84, BundleField84) \
    MESSAGE(MeasurementConfig, 16) \
    FIELD(MeasurementConfig, 1, 0x202, version, None) \
    FIELD(MeasurementConfig, 2, 0x2002, app_id, None) \
    FIELD(MeasurementConfig, 3, 0x82, field_3, None) \
    FIELD(MeasurementConfig, 4, 0x4008, settings, Setting) \
    FIELD(MeasurementConfig, 5, 0x4008, event_config, EventConfig) \
    FIELD(MeasurementConfig, 6, 0x4008, audiences, Audience) \
    FIELD(MeasurementConfig, 7, 0x2002, field_7, None) \
    FIELD(MeasurementConfig, 8, 0x22, field_8, None) \
    FIELD(MeasurementConfig, 9, 0x4008, dynamic_event_editing, Program) \
    FIELD(MeasurementConfig, 10, 0x4008, data_controls, DataControl) \
    FIELD(MeasurementConfig, 11, 0x2002, field_11, None) \
    FIELD(MeasurementConfig, 14, 0x2002, field_14, None) \
    FIELD(MeasurementConfig, 15, 0x4002, consent_config, ConsentConfig) \
    FIELD(MeasurementConfig, 16, 0x4002, psm_setting, PsmSetting) \
    FIELD(MeasurementConfig, 17, 0x4002, sst_setting, SstSetting) \
    FIELD(MeasurementConfig, 18, 0x4002, region, Region) \
    MESSAGE(NumberFilter, 5) \
    FIELD(NumberFilter, 1, 0x42, comparison_type, None) \
    FIELD(NumberFilter, 2, 0x22, field_2, None) \
    FIELD(NumberFilter, 3, 0x2002, comparison_value, None) \
    FIELD(NumberFilter, 4, 0x2002, min_comparison_value, None) \
    FIELD(NumberFilter, 5, 0x2002, max_comparison_value, None) \
    MESSAGE(OgtActivities, 1) \
    FIELD(OgtActivities, 1, 0x4008, activities, OgtActivity) \
    MESSAGE(OgtActivity, 2) \
    FIELD(OgtActivity, 1, 0x2002, field_1, None) \
    FIELD(OgtActivity, 2, 0x4008, data, RuntimeEntity) \
    MESSAGE(Program, 2) \
    FIELD(Program, 1, 0x4008, instructions, RuntimeEntity) \
    FIELD(Program, 2, 0x4002, ogt_activities, OgtActivities) \
    MESSAGE(PropertyFilter, 6) \
    FIELD(PropertyFilter, 1, 0x82, filter_id, None) \
    FIELD(PropertyFilter, 2, 0x2002, property_name, None) \
    FIELD(PropertyFilter, 3, 0x4002, filter, Filter) \
    FIELD(PropertyFilter, 4, 0x22, field_4, None) \
    FIELD(PropertyFilter, 5, 0x22, field_5, None) \
    FIELD(PropertyFilter, 6, 0x22, field_6, None) \
    MESSAGE(PsmSetting, 3) \
    FIELD(PsmSetting, 1, 0x82, psm_prefix_email, None) \
    FIELD(PsmSetting, 2, 0x82, psm_prefix_phone, None) \
    FIELD(PsmSetting, 3, 0x82, psm_signin_delay, None) \
    MESSAGE(Region, 2) \
    FIELD(Region, 1, 0x2002, field_1, None) \
    FIELD(Region, 2, 0x2002, field_2, None) \
    MESSAGE(ResultData, 4) \
    FIELD(ResultData, 1, 0x408, status, None) \
    FIELD(ResultData, 2, 0x408, results, None) \
    FIELD(ResultData, 3, 0x4008, dynamic_filter_timestamps, DynamicFilterResultTimestamp) \
    FIELD(ResultData, 4, 0x4008, sequence_filter_timestamps, SequenceFilterResultTimestamp) \
    MESSAGE(RuntimeEntity, 6) \
    FIELD(RuntimeEntity, 1, 0x42, field_1, None) \
    FIELD(RuntimeEntity, 2, 0x4008, value, RuntimeEntity) \
    FIELD(RuntimeEntity, 3, 0x2002, field_3, None) \
    FIELD(RuntimeEntity, 4, 0x2002, field_4, None) \
    FIELD(RuntimeEntity, 5, 0x22, field_5, None) \
    FIELD(RuntimeEntity, 6, 0x1002, field_6, None) \
    MESSAGE(SdkResponse, 3) \
    FIELD(SdkResponse, 1, 0x2002, field_1, None) \
    FIELD(SdkResponse, 2, 0x42, field_2, None) \
    FIELD(SdkResponse, 3, 0x4002, snapshot, Snapshot) \
    MESSAGE(SequenceFilterResultTimestamp, 2) \
    FIELD(SequenceFilterResultTimestamp, 1, 0x82, filter_id, None) \
    FIELD(SequenceFilterResultTimestamp, 2, 0x208, eval_timestamps, None) \
    MESSAGE(Setting, 2) \
    FIELD(Setting, 1, 0x2002, name, None) \
    FIELD(Setting, 2, 0x2002, value, None) \
    MESSAGE(Snapshot, 2) \
    FIELD(Snapshot, 1, 0x2002, field_1, None) \
    FIELD(Snapshot, 2, 0x4008, experiments, Experiment) \
    MESSAGE(SstSetting, 5) \
    FIELD(SstSetting, 1, 0x2002, field_1, None) \
    FIELD(SstSetting, 2, 0x2002, field_2, None) \
    FIELD(SstSetting, 3, 0x2002, field_3, None) \
    FIELD(SstSetting, 4, 0x82, field_4, None) \
    FIELD(SstSetting, 5, 0x2002, field_5, None) \
    MESSAGE(StringFilter, 4) \
    FIELD(StringFilter, 1, 0x42, match_type, None) \
    FIELD(StringFilter, 2, 0x2002, expression, None) \
    FIELD(StringFilter, 3, 0x22, field_3, None) \
    FIELD(StringFilter, 4, 0x2008, expression_list, None) \
    MESSAGE(UserAttribute, 6) \
    FIELD(UserAttribute, 1, 0x202, set_timestamp_millis, None) \
    FIELD(UserAttribute, 2, 0x2002, name, None) \
    FIELD(UserAttribute, 3, 0x2002, string_value, None) \
    FIELD(UserAttribute, 4, 0x202, int_value, None) \
    FIELD(UserAttribute, 5, 0x802, float_value, None) \
    FIELD(UserAttribute, 6, 0x1002, double_value, None) \
    MESSAGE(BundleField84, 4) \
    FIELD(BundleField84, 1, 0x4002, field_1, BundleField84Entry) \
    FIELD(BundleField84, 2, 0x4002, field_2, BundleField84Entry) \
    FIELD(BundleField84, 3, 0x4002, field_3, BundleField84Entry) \
    FIELD(BundleField84, 4, 0x4002, field_4, BundleField84Entry) \
    MESSAGE(BundleField84Entry, 2) \
    FIELD(BundleField84Entry, 1, 0x202, field_1, None) \
    FIELD(BundleField84Entry, 2, 0x2002, field_2, None)
// clang-format on
