#pragma once

// Field slots (declaration order, not wire tags) of the messages the
// controller fills: the measurement bundle, its user attributes and events,
// the ad campaign information, the batch and the configuration. Shared by
// the write pipeline, bundling, sampling and upload.
namespace kit::measurement::bundle_slots {

inline constexpr int kProtocolVersion = 0;
inline constexpr int kEvents = 1;
inline constexpr int kUserAttributes = 2;
inline constexpr int kPlatform = 8;
inline constexpr int kOSVersion = 9;
inline constexpr int kDeviceModel = 10;
inline constexpr int kUserDefaultLanguage = 11;
inline constexpr int kTimeZoneOffsetMinutes = 12;
inline constexpr int kInstallSource = 13;
inline constexpr int kAppID = 14;
inline constexpr int kAppVersion = 16;
inline constexpr int kLibraryVersion = 17;
inline constexpr int kResettableDeviceID = 19;
inline constexpr int kVendorDeviceID = 20;
inline constexpr int kLimitedAdTracking = 21;
inline constexpr int kAppInstanceID = 22;
inline constexpr int kLMPAppID = 26;
inline constexpr int kAudienceEvaluationResults = 28;
inline constexpr int kInstallationID = 29;
inline constexpr int kAppVersionMajor = 30;
inline constexpr int kAppVersionMinor = 31;
inline constexpr int kAppVersionRelease = 32;
inline constexpr int kConsentSignals = 40;
inline constexpr int kTrackingConsentStatus = 41;
inline constexpr int kSessionStitchingToken = 43;
inline constexpr int kConsentDiagnostics = 47;
inline constexpr int kDMARegion = 48;
inline constexpr int kCorePlatformServices = 49;
inline constexpr int kAdCampaignInfo = 52;
// Bundling.
inline constexpr int kStartTimestamp = 4;
inline constexpr int kEndTimestamp = 5;
inline constexpr int kPreviousBundleStartTimestamp = 6;
inline constexpr int kPreviousBundleEndTimestamp = 7;
inline constexpr int kBundleIndex = 24;
inline constexpr int kMonitoringData = 25;
inline constexpr int kConfigVersion = 34;
inline constexpr int kExperimentIDs = 37;
inline constexpr int kRedactedFields = 44;
inline constexpr int kEphemeralAppInstanceID = 45;
inline constexpr int kDeliveryIndex = 51;
// Written at upload.
inline constexpr int kUploadTimestamp = 3;
inline constexpr int kLibraryVersionAtUpload = 18;
inline constexpr int kChecksum = 38;

// MSRPBUserAttribute
inline constexpr int kUserAttributeSetTimestamp = 0;
inline constexpr int kUserAttributeName = 1;
inline constexpr int kUserAttributeIntValue = 3;

// MSRPBAdCampaignInfo
inline constexpr int kCampaignLclid = 0;
inline constexpr int kCampaignLbraid = 1;
inline constexpr int kCampaignSource = 2;
inline constexpr int kCampaignTimestampMillis = 3;

}  // namespace kit::measurement::bundle_slots

// MSRPBEvent and MSRPBEventParam.
namespace kit::measurement::event_slots {

inline constexpr int kParams = 0;
inline constexpr int kName = 1;
inline constexpr int kTimestamp = 2;
inline constexpr int kPreviousTimestamp = 3;

inline constexpr int kParamName = 0;
inline constexpr int kParamIntValue = 2;

}  // namespace kit::measurement::event_slots

// The upload's batch and the fetched configuration.
namespace kit::measurement::batch_slots {

inline constexpr int kBundles = 0;
inline constexpr int kUploadSubdomain = 2;

}  // namespace kit::measurement::batch_slots

namespace kit::measurement::config_slots {

inline constexpr int kAppID = 1;
inline constexpr int kAudiences = 5;

}  // namespace kit::measurement::config_slots
