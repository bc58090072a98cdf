#pragma once

// Field slots of the messages the controller fills and reads (slots, not
// wire tags: the typed accessors address fields by their declaration order).
namespace kit::measurement::slots {

namespace bundle {
inline constexpr int kProtocolVersion = 0;
inline constexpr int kEvents = 1;
inline constexpr int kUserAttributes = 2;
inline constexpr int kUploadTimestamp = 3;
inline constexpr int kStartTimestamp = 4;
inline constexpr int kEndTimestamp = 5;
inline constexpr int kPreviousBundleStartTimestamp = 6;
inline constexpr int kPreviousBundleEndTimestamp = 7;
inline constexpr int kPlatform = 8;
inline constexpr int kOSVersion = 9;
inline constexpr int kDeviceModel = 10;
inline constexpr int kAppID = 14;
inline constexpr int kUploadLibraryVersion = 18;
inline constexpr int kResettableDeviceID = 19;
inline constexpr int kVendorDeviceID = 20;
inline constexpr int kLimitedAdTracking = 21;
inline constexpr int kAppInstanceID = 22;
inline constexpr int kBundleIndex = 24;
inline constexpr int kMonitoringData = 25;
inline constexpr int kAudienceResults = 28;
inline constexpr int kConfigVersion = 34;
inline constexpr int kRetryCounter = 35;
inline constexpr int kExperimentIDs = 37;
inline constexpr int kChecksum = 38;
inline constexpr int kConsentSignals = 40;
inline constexpr int kTrackingConsentStatus = 41;
inline constexpr int kSessionStitchingToken = 43;
inline constexpr int kRedactedFields = 44;
inline constexpr int kEphemeralAppInstanceID = 45;
inline constexpr int kConsentDiagnostics = 47;
inline constexpr int kDMARegion = 48;
inline constexpr int kCorePlatformServices = 49;
inline constexpr int kDeliveryIndex = 51;
}  // namespace bundle

namespace event {
inline constexpr int kParams = 0;
inline constexpr int kName = 1;
inline constexpr int kTimestamp = 2;
inline constexpr int kPreviousTimestamp = 3;
}  // namespace event

namespace event_param {
inline constexpr int kName = 0;
inline constexpr int kStringValue = 1;
inline constexpr int kIntValue = 2;
}  // namespace event_param

namespace user_attribute {
inline constexpr int kSetTimestamp = 0;
inline constexpr int kName = 1;
inline constexpr int kIntValue = 3;
}  // namespace user_attribute

}  // namespace kit::measurement::slots
